// Every entry of every pop-up a user can open in the real cfgman, on a
// desktop of its own: the tree's for each kind of node, the agent history's,
// the three message lists', the agents list's, and the templates page's
// buttons. Each entry chosen must do something the user sees (a window, a
// question, a change in the files); the entries that do nothing by design
// are listed by name and must stay so. Popups are not in the accessibility
// tree, so they are found as windows and driven with keys.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "cfgman/tests/ui/desktop.h"

#include <QElapsedTimer>
#include <QThread>
#include <set>

namespace cfgtest {
namespace {

using uitest::TUiNode;

const QString kApp = QStringLiteral("Quelta Mail Management System");
const QString kCaption = QStringLiteral("Quelta Configuration Manager");
const QString kStatus = QStringLiteral("quelta System Status");
const QString kQuestion = QStringLiteral(" Delete Confirmation");

// Waits bound a hang only: a loaded machine may take long for any step.
constexpr int kHang = 180000;

// Entries that do nothing by design: in-place editing is refused for the
// root and for attached agents.
const std::set<QString> kNoAction = {QStringLiteral("tree, root: Rename"),
                                     QStringLiteral("tree, attached agent: Rename")};

struct TWindow {
    QString Id, Title;
    int X = 0, Y = 0;
};

// How a window that an entry opened is put away again.
enum class TDismiss { Escape, FileClose, MoveAway };

class PopupsXvfbTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }

    // The program's visible windows.
    std::vector<TWindow> Windows() {
        QString ids;
        std::vector<TWindow> windows;
        if (!desktop_.XdoTool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                               QStringLiteral("--pid"), QString::number(pid_)},
                              &ids))
            return windows;
        for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
            TWindow w{id, {}};
            QString geometry;
            if (!desktop_.XdoTool({QStringLiteral("getwindowname"), id}, &w.Title) ||
                !desktop_.XdoTool(
                    {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id},
                    &geometry))
                continue; // gone meanwhile
            if (w.Title.endsWith('\n'))
                w.Title.chop(1);
            for (const QString& line : geometry.split('\n')) {
                if (line.startsWith(QStringLiteral("X=")))
                    w.X = line.mid(2).toInt();
                if (line.startsWith(QStringLiteral("Y=")))
                    w.Y = line.mid(2).toInt();
            }
            windows.push_back(w);
        }
        return windows;
    }
    static bool Has(const std::vector<TWindow>& list, const QString& id) {
        for (const TWindow& w : list)
            if (w.Id == id)
                return true;
        return false;
    }
    // The windows that show and that `before` lacks, as soon as there is one.
    std::vector<TWindow> NewWindows(const std::vector<TWindow>& before) {
        QElapsedTimer timer;
        timer.start();
        do {
            std::vector<TWindow> fresh;
            for (const TWindow& w : Windows())
                if (!Has(before, w.Id))
                    fresh.push_back(w);
            if (!fresh.empty())
                return fresh;
            QThread::msleep(100);
        } while (timer.elapsed() < kHang);
        return {};
    }
    std::optional<TWindow> NewWindow(const std::vector<TWindow>& before) {
        const std::vector<TWindow> fresh = NewWindows(before);
        if (fresh.empty())
            return std::nullopt;
        return fresh.front();
    }
    bool WaitGone(const QString& id) {
        QElapsedTimer timer;
        timer.start();
        while (Has(Windows(), id)) {
            if (timer.elapsed() > kHang)
                return false;
            QThread::msleep(100);
        }
        return true;
    }
    bool Key(const QStringList& keys) {
        for (const QString& k : keys)
            if (!desktop_.XdoTool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), k}))
                return false;
        return true;
    }
    bool Focus(const QString& id) {
        return desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }
    bool MainFocus() {
        const QString id = desktop_.WaitForWindow(kCaption, kHang);
        return !id.isEmpty() && Focus(id);
    }

    // The nodes of the accessibility tree under the first one that pick
    // finds (the whole tree without it).
    std::vector<TUiNode> Under(const std::function<bool(const TUiNode&)>& pick) {
        const std::vector<TUiNode> all = desktop_.Tree(kApp);
        std::vector<TUiNode> inside;
        int depth = -1;
        for (const TUiNode& n : all) {
            if (depth >= 0 && n.Depth <= depth)
                break;
            if (depth >= 0)
                inside.push_back(n);
            else if (pick(n))
                depth = n.Depth;
        }
        return inside;
    }
    // A cell of the account tree (the first tree of the main window).
    std::optional<TUiNode> TreeCell(const QString& text) {
        for (const TUiNode& n : Under([](const TUiNode& n) { return n.Role == "tree"; }))
            if (n.Role == "table cell" && n.Name == text && n.W > 0)
                return n;
        return std::nullopt;
    }
    std::optional<TUiNode> WaitTreeCell(const QString& text) {
        QElapsedTimer timer;
        timer.start();
        do {
            if (auto cell = TreeCell(text))
                return cell;
            QThread::msleep(200);
        } while (timer.elapsed() < kHang);
        return std::nullopt;
    }
    // A node with this role and name that has a place on the screen.
    std::optional<TUiNode> Showing(const QString& role, const QString& name) {
        TUiNode found;
        if (desktop_.WaitFor(
                kApp,
                [&](const TUiNode& n) {
                    return n.Role == role && n.Name.trimmed() == name && n.W > 0 && n.H > 0;
                },
                kHang, &found))
            return found;
        return std::nullopt;
    }
    // As Showing, once its place stays the same between two readings (a
    // panel may still be sliding).
    std::optional<TUiNode> Settled(const QString& role, const QString& name) {
        std::optional<TUiNode> last = Showing(role, name);
        QElapsedTimer timer;
        timer.start();
        while (last && timer.elapsed() < kHang) {
            const std::optional<TUiNode> now = Showing(role, name);
            if (!now || (now->X == last->X && now->Y == last->Y && now->H == last->H))
                return now;
            last = now;
        }
        return std::nullopt;
    }
    // A click in the node, never where the last one was: two presses at one
    // place in quick succession are a double click, which opens no popup.
    bool Click(const TUiNode& n, int button = 1) {
        QPoint at(n.X + n.W / 2, n.Y + n.H / 2);
        if ((at - lastClick_).manhattanLength() < 20)
            at.rx() += at.x() - n.X > n.W / 4 ? -24 : 24;
        lastClick_ = at;
        return desktop_.XdoTool({QStringLiteral("mousemove"), QString::number(at.x()),
                                 QString::number(at.y()), QStringLiteral("click"),
                                 QString::number(button)});
    }

    // A popup opens where the mouse is, under the application's name.
    bool IsPopup(const TWindow& w) const {
        return w.Title == kApp && std::abs(w.X - lastClick_.x()) <= 2 &&
               std::abs(w.Y - lastClick_.y()) <= 2;
    }
    // A right click on the node, and the popup it opens. Nothing else may
    // show with it: what does is the previous entry's doing, and fails `what`.
    bool OpenPopup(const TUiNode& at, const QString& what) {
        const std::vector<TWindow> before = Windows();
        if (!Click(at, 3))
            return false;
        bool popup = false;
        for (const TWindow& w : NewWindows(before)) {
            if (IsPopup(w)) {
                popup = true;
                continue;
            }
            ADD_FAILURE() << what.toStdString() << ": \"" << w.Title.toStdString()
                          << "\" opened although it should do nothing";
            Dismiss(w, TDismiss::Escape);
        }
        // The pointer off the popup, so that no entry is under it and the
        // keys alone choose.
        desktop_.XdoTool({QStringLiteral("mousemove"), QString::number(lastClick_.x() - 12),
                          QString::number(lastClick_.y() - 12)});
        if (!popup) {
            std::string seen;
            for (const TWindow& w : Windows())
                seen += " [" + w.Title.toStdString() + " at " + std::to_string(w.X) + "," +
                        std::to_string(w.Y) + "]";
            ADD_FAILURE() << "no popup opened on " << at.Name.toStdString() << " at "
                          << lastClick_.x() << "," << lastClick_.y() << "; windows:" << seen;
        }
        return popup;
    }
    // Chooses an entry of the popup opened on `at` with its keys; the
    // window it opens must have the title given, and is put away again.
    void ExpectWindow(const TUiNode& at, const QString& what, const QStringList& keys,
                      const QString& title, TDismiss dismiss) {
        SCOPED_TRACE(what.toStdString());
        tried_.insert(what);
        ASSERT_TRUE(OpenPopup(at, what));
        const std::vector<TWindow> before = Windows();
        ASSERT_TRUE(Key(keys));
        std::optional<TWindow> w = NewWindow(before);
        // The popup itself going away is no window of the entry's.
        ASSERT_TRUE(w) << what.toStdString() << " opened nothing";
        EXPECT_EQ(w->Title.toStdString(), title.toStdString()) << what.toStdString();
        Dismiss(*w, dismiss);
    }
    // Chooses an entry that must do nothing: opening the popup once more
    // shows that the entry was handled and opened no window meanwhile.
    void ExpectNothing(const TUiNode& at, const QString& what, const QStringList& keys) {
        SCOPED_TRACE(what.toStdString());
        tried_.insert(what);
        ASSERT_TRUE(kNoAction.count(what)) << what.toStdString();
        ASSERT_TRUE(OpenPopup(at, what));
        ASSERT_TRUE(Key(keys));
        if (OpenPopup(at, what))
            ClosePopup();
    }
    void ClosePopup() {
        const std::vector<TWindow> open = Windows();
        Key({QStringLiteral("Escape")});
        for (const TWindow& w : open)
            if (w.Title == kApp)
                WaitGone(w.Id);
    }
    void Dismiss(const TWindow& w, TDismiss how) {
        switch (how) {
        case TDismiss::Escape:
            ASSERT_TRUE(Focus(w.Id));
            ASSERT_TRUE(Key({QStringLiteral("Escape")}));
            EXPECT_TRUE(WaitGone(w.Id)) << w.Title.toStdString() << " stayed";
            break;
        case TDismiss::FileClose:
            ASSERT_TRUE(Focus(w.Id));
            ASSERT_TRUE(Key({QStringLiteral("alt+f"), QStringLiteral("c")}));
            EXPECT_TRUE(WaitGone(w.Id)) << w.Title.toStdString() << " stayed";
            break;
        case TDismiss::MoveAway:
            // A window without a command to close it: out of the way.
            desktop_.XdoTool({QStringLiteral("windowmove"), w.Id, QStringLiteral("3000"),
                              QStringLiteral("3000")});
            break;
        }
    }
    // Renames through the popup: the name typed is in the tree and the table.
    void ExpectRename(const TUiNode& at, const QString& what, const QString& name) {
        SCOPED_TRACE(what.toStdString());
        tried_.insert(what);
        // The name is typed into the main window.
        ASSERT_TRUE(MainFocus());
        ASSERT_TRUE(OpenPopup(at, what));
        ASSERT_TRUE(Key({QStringLiteral("m"), QStringLiteral("ctrl+a")}));
        ASSERT_TRUE(desktop_.Type(name));
        ASSERT_TRUE(Key({QStringLiteral("Return")}));
        EXPECT_TRUE(WaitTreeCell(name)) << what.toStdString();
    }

    void Prepare() {
        PointIniAtTest();
        AddGroup("G1", "Sales");
        // Nothing answers on the POP3 port and no SMTP server is named, so
        // the preview and the sending fail: their errors are what shows.
        AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                                {"LINK_ID", "G1"},
                                {"NODE", "Shop"},
                                {"NEXTTIME", "08:00"},
                                {"ADDRESS", "shop@example.com"},
                                {"POPADDRESS", "127.0.0.1:1"},
                                {"LOGIN", "shop"},
                                {"PASSWORD", "secret"}});
        Attach("T1", "A1", "Reply");
        Spit(root_ + "agents/Reply.agent", "[MAIN]\r\nAgentType=MESSAGE\r\n");
        Spit(root_ + "agents/Forwarder.agent", "[MAIN]\r\nAgentType=MESSAGE\r\n");
        Spit(root_ + "templates/Welcome.eml",
             "From: shop@example.com\r\nSubject: Welcome aboard\r\n\r\nHello\r\n");
        const std::string messages = root_ + "messages/A1/";
        Spit(messages + "In/-r1@x-.eml",
             "From: Bob <bob@example.com>\r\nSubject: Received one\r\n\r\nHi\r\n");
        Spit(messages + "Out/o1.eml", "To: ann@example.com\r\nSubject: Outbox one\r\n\r\nHi\r\n");
        Spit(messages + "Sent/s1.eml", "To: ann@example.com\r\nSubject: Sent one\r\n\r\nHi\r\n");
        AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<r1@x>"},
                                   {"LINK_ID", "A1"},
                                   {"FROM", "Bob"},
                                   {"SUBJECT", "Received one"},
                                   {"FILENAME", "-r1@x-.eml"}});
        for (const auto& [table, id, subject, file] :
             {std::tuple{"outbox.dbf", "O1", "Outbox one", "o1.eml"},
              std::tuple{"sent.dbf", "S1", "Sent one", "s1.eml"}})
            AppendRow(table, {{"UNIQUE_ID", id},
                              {"LINK_ID", "A1"},
                              {"SUBJECT", subject},
                              {"TONAME", "Ann"},
                              {"TOADDRESS", "ann@example.com"},
                              {"FILENAME", file}});
        AppendRow("ACTIONS.DBF", {{"UNIQUE_ID", "X1"},
                                  {"AGENT_ID", "T1"},
                                  {"MESSAGE_ID", "<r1@x>"},
                                  {"NODE_ID", "A1"},
                                  {"ACTION", "Replied"}});
    }

    // Chooses an entry whose question is answered Yes.
    void ExpectYes(const TUiNode& at, const QString& what, const QStringList& keys,
                   const QString& question) {
        SCOPED_TRACE(what.toStdString());
        tried_.insert(what);
        ASSERT_TRUE(OpenPopup(at, what));
        AnswerYes(keys, question);
    }
    // Keys to the focused window that ask a question, answered Yes.
    void AnswerYes(const QStringList& keys, const QString& question) {
        const std::vector<TWindow> before = Windows();
        ASSERT_TRUE(Key(keys));
        const std::optional<TWindow> w = NewWindow(before);
        ASSERT_TRUE(w) << "no question";
        ASSERT_EQ(w->Title.toStdString(), question.toStdString());
        ASSERT_TRUE(Focus(w->Id));
        ASSERT_TRUE(Key({QStringLiteral("y")}));
        EXPECT_TRUE(WaitGone(w->Id)) << "the question stayed";
    }
    // Keys to the main window that must open nothing: the File menu opened
    // after them is the first window that shows.
    void ExpectNothingOpens(const QStringList& keys) {
        ASSERT_TRUE(MainFocus());
        const std::vector<TWindow> before = Windows();
        ASSERT_TRUE(Key(keys + QStringList{QStringLiteral("alt+f")}));
        for (const TWindow& w : NewWindows(before)) {
            EXPECT_EQ(w.Title.toStdString(), kApp.toStdString())
                << keys.join(' ').toStdString() << " opened a window";
            if (w.Title != kApp)
                Dismiss(w, TDismiss::Escape);
        }
        ClosePopup();
    }
    // Polls the table as dbfread reads it until it holds these rows.
    QStringList Eventually(const char* table, const QStringList& fields, const QStringList& rows) {
        QElapsedTimer timer;
        timer.start();
        QStringList now = DbfRows(db_ + table, fields);
        while (now != rows && timer.elapsed() < kHang) {
            QThread::msleep(200);
            now = DbfRows(db_ + table, fields);
        }
        return now;
    }
    // A row deleted by another program: this test's own process.
    void DeleteElsewhere(const std::string& table, const std::string& key) {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            if (t.FieldByName("UNIQUE_ID").AsString() == key) {
                t.Delete();
                break;
            }
        t.Close();
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
    qint64 pid_ = 0;
    QPoint lastClick_;
    std::set<QString> tried_;
};

TEST_F(PopupsXvfbTest, EveryEntryOfEveryPopupDoesWhatItSays) {
    Prepare();
    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    pid_ = cfgman->processId();
    ASSERT_TRUE(MainFocus()) << "the main window never showed";
    using E = TDismiss;
    const QString wizard = QStringLiteral("Mail Account Wizard");
    const QString folder = QStringLiteral("Create New Folder");

    // The tree: the root, a group, an account, an attached agent.
    auto root = WaitTreeCell(QStringLiteral("E-Mail Accounts"));
    ASSERT_TRUE(root);
    ExpectWindow(*root, "tree, root: New, Folder", {"n", "f"}, folder, E::Escape);
    ExpectWindow(*root, "tree, root: New, Account...", {"n", "a"}, wizard, E::Escape);
    ExpectNothing(*root, "tree, root: Rename", {"m"});
    // Deleting the root deletes nothing; the tree is shown again, all open.
    ASSERT_FALSE(TreeCell(QStringLiteral("Reply")));
    tried_.insert("tree, root: Delete...");
    ASSERT_TRUE(OpenPopup(*root, "tree, root: Delete..."));
    ASSERT_TRUE(Key({"d"}));
    EXPECT_TRUE(WaitTreeCell(QStringLiteral("Reply"))) << "the tree was not shown again";

    auto group = WaitTreeCell(QStringLiteral("Sales"));
    ASSERT_TRUE(group);
    ExpectWindow(*group, "tree, group: New, Folder", {"n", "f"}, folder, E::Escape);
    ExpectWindow(*group, "tree, group: New, Account...", {"n", "a"}, wizard, E::Escape);
    // The only group is kept, with the reason.
    ExpectWindow(*group, "tree, group: Delete...", {"d"}, kApp, E::Escape);
    ExpectRename(*group, "tree, group: Rename", QStringLiteral("Retail"));

    auto account = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(account);
    ExpectWindow(*account, "tree, account: New, Folder", {"n", "f"}, folder, E::Escape);
    ExpectWindow(*account, "tree, account: New, Account...", {"n", "a"}, wizard, E::Escape);
    ExpectWindow(*account, "tree, account: Delete...", {"d"}, kQuestion, E::Escape);
    ExpectWindow(*account, "tree, account: Attach Agent...", {"a"},
                 QStringLiteral("Attach Agent to Account"), E::Escape);
    ExpectWindow(*account, "tree, account: Properties...", {"p"},
                 QStringLiteral("Modify Account Properties"), E::Escape);
    ExpectRename(*account, "tree, account: Rename", QStringLiteral("Webshop"));

    auto agent = WaitTreeCell(QStringLiteral("Reply"));
    ASSERT_TRUE(agent);
    ExpectWindow(*agent, "tree, attached agent: Detach Agent...", {"d"},
                 QStringLiteral("Removal Confirmation"), E::Escape);
    ExpectNothing(*agent, "tree, attached agent: Rename", {"m"});

    // The agent's history, open under the tree while the agent is selected.
    ASSERT_TRUE(Click(*agent));
    auto history = Settled(QStringLiteral("table cell"), QStringLiteral("Replied"));
    ASSERT_TRUE(history);
    ExpectWindow(*history, "history: View Message...", {"Down", "Return"},
                 QStringLiteral("Received one"), E::FileClose);

    // The three lists of the account's stored messages.
    account = WaitTreeCell(QStringLiteral("Webshop"));
    ASSERT_TRUE(account);
    ASSERT_TRUE(Click(*account));
    auto received = Settled(QStringLiteral("table cell"), QStringLiteral("Received one"));
    ASSERT_TRUE(received);
    ExpectWindow(*received, "received list: Open...", {"o"}, QStringLiteral("Received one"),
                 E::MoveAway);
    ExpectWindow(*received, "received list: Delete...", {"d"}, kQuestion, E::Escape);
    ExpectWindow(*received, "received list: Forward...", {"f"},
                 QStringLiteral("Forward from Webshop: Received one"), E::FileClose);
    ExpectWindow(*received, "received list: Preview Waiting Messages...",
                 {"Down", "Down", "Down", "Down", "Return"}, kStatus, E::Escape);
    ExpectWindow(*received, "received list: Properties...", {"p"},
                 QStringLiteral("Message Properties"), E::Escape);

    auto tab = Showing(QStringLiteral("page tab"), QStringLiteral("Outbox"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    auto outbox = Showing(QStringLiteral("table cell"), QStringLiteral("Outbox one"));
    ASSERT_TRUE(outbox);
    ExpectWindow(*outbox, "outbox list: Open", {"o"}, QStringLiteral("Outbox one"), E::FileClose);
    ExpectWindow(*outbox, "outbox list: New Message...", {"n"}, QStringLiteral("New Message"),
                 E::FileClose);
    ExpectWindow(*outbox, "outbox list: Delete...", {"d"}, kQuestion, E::Escape);
    ExpectWindow(*outbox, "outbox list: Send Selected...", {"s"}, kStatus, E::Escape);
    ExpectWindow(*outbox, "outbox list: Properties...", {"p"}, QStringLiteral("Message Properties"),
                 E::Escape);

    tab = Showing(QStringLiteral("page tab"), QStringLiteral("Sent"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    auto sent = Showing(QStringLiteral("table cell"), QStringLiteral("Sent one"));
    ASSERT_TRUE(sent);
    ExpectWindow(*sent, "sent list: Open...", {"o"}, QStringLiteral("Sent one"), E::FileClose);
    ExpectWindow(*sent, "sent list: Delete...", {"d"}, kQuestion, E::Escape);
    // No SMTP server named: the reason.
    ExpectWindow(*sent, "sent list: Re-Send...", {"r"}, kApp, E::Escape);
    ExpectWindow(*sent, "sent list: Properties...", {"p"}, QStringLiteral("Message Properties"),
                 E::Escape);

    // The agents list.
    tab = Showing(QStringLiteral("page tab"), QStringLiteral("Agents"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    auto agentRow = Showing(QStringLiteral("table cell"), QStringLiteral("Forwarder"));
    ASSERT_TRUE(agentRow);
    // The right click selects the row, which Properties and Delete need; New
    // comes last, as it reads the list again once its wizard has closed.
    ExpectWindow(*agentRow, "agents list: Properties...", {"Down", "Down", "Return"},
                 QStringLiteral("Agent Properties"), E::Escape);
    ExpectWindow(*agentRow, "agents list: Delete...", {"Down", "Down", "Down", "Return"}, kQuestion,
                 E::Escape);
    ExpectWindow(*agentRow, "agents list: New...", {"Down", "Return"},
                 QStringLiteral("Agent Wizard"), E::Escape);

    // The templates page has no popup: its buttons.
    tab = Showing(QStringLiteral("page tab"), QStringLiteral("Auto-Reply Templates"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    auto templateRow = Showing(QStringLiteral("table cell"), QStringLiteral("Welcome"));
    ASSERT_TRUE(templateRow);
    ASSERT_TRUE(Click(*templateRow));
    for (const auto& [button, title, dismiss] :
         {std::tuple{QStringLiteral("New"), QStringLiteral("New Message"), E::FileClose},
          std::tuple{QStringLiteral("Modify"), QStringLiteral("Welcome aboard"), E::FileClose},
          std::tuple{QStringLiteral("Delete"), kQuestion, E::Escape}}) {
        SCOPED_TRACE(button.toStdString());
        tried_.insert("templates page: " + button);
        const std::vector<TWindow> before = Windows();
        auto node = Showing(QStringLiteral("push button"), button);
        ASSERT_TRUE(node);
        ASSERT_TRUE(Click(*node));
        const std::optional<TWindow> w = NewWindow(before);
        ASSERT_TRUE(w) << button.toStdString() << " opened nothing";
        EXPECT_EQ(w->Title.toStdString(), title.toStdString());
        Dismiss(*w, dismiss);
        if (button == "New") {
            // The new template's editor leaves the page to its list.
            templateRow = Showing(QStringLiteral("table cell"), QStringLiteral("Welcome"));
            ASSERT_TRUE(templateRow);
            ASSERT_TRUE(Click(*templateRow));
        }
    }

    // Every entry of the lists above was tried, the ones that do nothing included.
    for (const QString& entry : kNoAction)
        EXPECT_TRUE(tried_.count(entry)) << entry.toStdString();

    // The answers were No and Cancel: only the two renames changed a file.
    ASSERT_TRUE(MainFocus());
    ASSERT_TRUE(Key({"alt+f", "x"}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    EXPECT_EQ(DbfRows(db_ + "GROUPS.DBF", {"GROUP"}), QStringList{"Retail"});
    EXPECT_EQ(DbfRows(db_ + "NODES.DBF", {"NODE"}), QStringList{"Webshop"});
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"AGENT"}), QStringList{"Reply"});
    for (const char* table : {"RECEIVED.DBF", "outbox.dbf", "sent.dbf"})
        EXPECT_EQ(DbfRows(db_ + table, {"LINK_ID"}), QStringList{"A1"}) << table;
    for (const char* file :
         {"agents/Reply.agent", "agents/Forwarder.agent", "templates/Welcome.eml",
          "messages/A1/In/-r1@x-.eml", "messages/A1/Out/o1.eml", "messages/A1/Sent/s1.eml"})
        EXPECT_TRUE(std::filesystem::exists(root_ + file)) << file;
}

TEST_F(PopupsXvfbTest, YesChangesTheRowOfTheNodeChosenAndNothingElse) {
    // An account before the one the walk uses: a table standing on its
    // first row stands on another account than the one chosen.
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A0"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Archive"},
                            {"NEXTTIME", "08:00"},
                            {"FREQVAL", "-5"},
                            {"POPADDRESS", "127.0.0.1:1"}});
    Prepare();
    AddGroup("G2", "Support");
    AddAccount("A2", "G1", "Spare");
    AddAccount("A3", "G1", "Closed");
    Attach("T2", "A2", "Forwarder");
    for (const char* account : {"A0", "A1"})
        AppendRow("rules.dbf", {{"UNIQUE_ID", std::string("R") + account},
                                {"LINK_ID", account},
                                {"RULE", "Control Restriction"},
                                {"COND", "A"},
                                {"ACT1", "Y"},
                                {"ACT2", "Y"}});
    Spit(root_ + "agents/Old.agent", "[MAIN]\r\nAgentType=MESSAGE\r\n");
    Spit(root_ + "templates/Old.eml", "Subject: Old\r\n\r\nx\r\n");
    const std::string messages = root_ + "messages/A1/";
    Spit(messages + "In/-r2@x-.eml",
         "From: Eve <eve@example.com>\r\nSubject: Received two\r\n\r\n");
    Spit(messages + "Out/o2.eml", "To: ann@example.com\r\nSubject: Outbox two\r\n\r\nHi\r\n");
    Spit(messages + "Sent/s2.eml", "To: ann@example.com\r\nSubject: Sent two\r\n\r\nHi\r\n");
    Spit(root_ + "messages/A2/In/-r3@x-.eml", "Subject: Spare mail\r\n\r\n");
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<r3@x>"},
                               {"LINK_ID", "A2"},
                               {"SUBJECT", "Spare mail"},
                               {"FILENAME", "-r3@x-.eml"}});
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<r2@x>"},
                               {"LINK_ID", "A1"},
                               {"FROM", "Eve"},
                               {"SUBJECT", "Received two"},
                               {"FILENAME", "-r2@x-.eml"}});
    for (const auto& [table, id, subject, file] :
         {std::tuple{"outbox.dbf", "O2", "Outbox two", "o2.eml"},
          std::tuple{"sent.dbf", "S2", "Sent two", "s2.eml"}})
        AppendRow(table, {{"UNIQUE_ID", id},
                          {"LINK_ID", "A1"},
                          {"SUBJECT", subject},
                          {"TONAME", "Ann"},
                          {"TOADDRESS", "ann@example.com"},
                          {"FILENAME", file}});

    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    pid_ = cfgman->processId();
    ASSERT_TRUE(MainFocus()) << "the main window never showed";
    const QString removal = QStringLiteral("Removal Confirmation");

    // Detach an attached agent with Ctrl+Del, Yes, the keyboard in its
    // history; then Ctrl+Del again: nothing is chosen, nothing is asked,
    // the other attachment stays.
    auto shop = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(shop);
    ASSERT_TRUE(Click(*shop));
    ASSERT_TRUE(Key({QStringLiteral("Right")}));
    auto reply = WaitTreeCell(QStringLiteral("Reply"));
    ASSERT_TRUE(reply);
    ASSERT_TRUE(Click(*reply));
    auto history = Settled(QStringLiteral("table cell"), QStringLiteral("Replied"));
    ASSERT_TRUE(history);
    ASSERT_TRUE(Click(*history));
    AnswerYes({QStringLiteral("ctrl+Delete")}, removal);
    EXPECT_EQ(Eventually("Agents.dbf", {"UNIQUE_ID"}, {"T2"}), QStringList{"T2"});
    ExpectNothingOpens({QStringLiteral("ctrl+Delete")});
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"UNIQUE_ID"}), QStringList{"T2"});

    // Delete an account with Del, Yes, the keyboard in its received list;
    // then Ctrl+Ins attaches nowhere.
    auto spare = WaitTreeCell(QStringLiteral("Spare"));
    ASSERT_TRUE(spare);
    ASSERT_TRUE(Click(*spare));
    auto spareMail = Settled(QStringLiteral("table cell"), QStringLiteral("Spare mail"));
    ASSERT_TRUE(spareMail);
    ASSERT_TRUE(Click(*spareMail));
    AnswerYes({QStringLiteral("Delete")}, kQuestion);
    EXPECT_EQ(Eventually("NODES.DBF", {"NODE"}, {"Archive", "Shop", "Closed"}),
              (QStringList{"Archive", "Shop", "Closed"}));
    ExpectNothingOpens({QStringLiteral("ctrl+Insert")});
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"UNIQUE_ID"}), QStringList{"T2"});

    // Attach from the popup of an account another program deleted: refused,
    // though the views still stand on the account chosen before.
    shop = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(shop);
    ASSERT_TRUE(Click(*shop));
    DeleteElsewhere("NODES.DBF", "A3");
    auto closed = WaitTreeCell(QStringLiteral("Closed"));
    ASSERT_TRUE(closed);
    ExpectWindow(*closed, "tree, account deleted elsewhere: Attach Agent...", {"a"}, kApp,
                 TDismiss::Escape);
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"UNIQUE_ID"}), QStringList{"T2"});

    // Attach from the popup of the account chosen, then detach it again.
    shop = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(shop);
    tried_.insert("tree, account: Attach Agent... OK");
    ASSERT_TRUE(OpenPopup(*shop, "tree, account: Attach Agent... OK"));
    ASSERT_TRUE(Key({QStringLiteral("a")}));
    auto forwarder = Showing(QStringLiteral("list item"), QStringLiteral("Forwarder"));
    ASSERT_TRUE(forwarder);
    ASSERT_TRUE(Click(*forwarder));
    auto ok = Showing(QStringLiteral("push button"), QStringLiteral("OK"));
    ASSERT_TRUE(ok);
    ASSERT_TRUE(Click(*ok));
    QStringList links =
        Eventually("Agents.dbf", {"LINK_ID", "AGENT"}, {"A2|Forwarder", "A1|Forwarder"});
    EXPECT_EQ(links, (QStringList{"A2|Forwarder", "A1|Forwarder"}));
    auto attached = WaitTreeCell(QStringLiteral("Forwarder"));
    ASSERT_TRUE(attached);
    ExpectYes(*attached, "tree, attached agent: Detach Agent... Yes", {"d"}, removal);
    EXPECT_EQ(Eventually("Agents.dbf", {"UNIQUE_ID"}, {"T2"}), QStringList{"T2"});

    // Compress with a group chosen after an account; Modify opens that
    // account, and OK changes its row only.
    shop = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(shop);
    ASSERT_TRUE(Click(*shop));
    auto group = WaitTreeCell(QStringLiteral("Sales"));
    ASSERT_TRUE(group);
    ASSERT_TRUE(Click(*group));
    ASSERT_TRUE(MainFocus());
    // Rename and Maintain share their key: up from Exit instead (Properties
    // is off for a group).
    ASSERT_TRUE(Key({QStringLiteral("alt+f"), QStringLiteral("Up"), QStringLiteral("Up"),
                     QStringLiteral("Up"), QStringLiteral("Right"), QStringLiteral("c")}));
    QElapsedTimer packing;
    packing.start();
    while (DbfRecordCount(db_ + "NODES.DBF") != 2u && packing.elapsed() < kHang)
        QThread::msleep(200);
    ASSERT_EQ(DbfRecordCount(db_ + "NODES.DBF"), 2u) << "Compress did not run";
    const QString properties = QStringLiteral("Modify Account Properties");
    auto modify = Showing(QStringLiteral("push button"), QStringLiteral("Modify"));
    ASSERT_TRUE(modify);
    const std::vector<TWindow> before = Windows();
    ASSERT_TRUE(Click(*modify));
    std::optional<TWindow> dialog = NewWindow(before);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->Title.toStdString(), properties.toStdString());
    ASSERT_TRUE(Focus(dialog->Id));
    ASSERT_TRUE(Key({QStringLiteral("alt+u"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("shop2")));
    ASSERT_TRUE(Key({QStringLiteral("Return")}));
    EXPECT_TRUE(WaitGone(dialog->Id));
    EXPECT_EQ(Eventually("NODES.DBF", {"NODE", "LOGIN"}, {"Archive|", "Shop|shop2"}),
              (QStringList{"Archive|", "Shop|shop2"}));

    // OK on an account whose interval the box cannot show keeps it.
    auto archive = WaitTreeCell(QStringLiteral("Archive"));
    ASSERT_TRUE(archive);
    ASSERT_TRUE(Click(*archive));
    ASSERT_TRUE(MainFocus());
    const std::vector<TWindow> open = Windows();
    ASSERT_TRUE(Key({QStringLiteral("alt+f"), QStringLiteral("p")}));
    dialog = NewWindow(open);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->Title.toStdString(), properties.toStdString());
    ASSERT_TRUE(Focus(dialog->Id));
    ASSERT_TRUE(Key({QStringLiteral("alt+u"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("arch")));
    ASSERT_TRUE(Key({QStringLiteral("Return")}));
    EXPECT_TRUE(WaitGone(dialog->Id));
    EXPECT_EQ(Eventually("NODES.DBF", {"NODE", "LOGIN", "FREQVAL"},
                         {"Archive|arch|-5", "Shop|shop2|None"}),
              (QStringList{"Archive|arch|-5", "Shop|shop2|None"}));

    // An empty group deleted from its popup.
    auto support = WaitTreeCell(QStringLiteral("Support"));
    ASSERT_TRUE(support);
    ExpectYes(*support, "tree, group: Delete... Yes", {"d"}, kQuestion);
    EXPECT_EQ(Eventually("GROUPS.DBF", {"GROUP"}, {"Sales"}), QStringList{"Sales"});

    // A row of each of the account's lists.
    shop = WaitTreeCell(QStringLiteral("Shop"));
    ASSERT_TRUE(shop);
    ASSERT_TRUE(Click(*shop));
    auto received = Settled(QStringLiteral("table cell"), QStringLiteral("Received two"));
    ASSERT_TRUE(received);
    ExpectYes(*received, "received list: Delete... Yes", {"d"}, kQuestion);
    EXPECT_EQ(Eventually("RECEIVED.DBF", {"MESSAGE_ID"}, {"<r1@x>", "<r3@x>"}),
              (QStringList{"<r1@x>", "<r3@x>"}));
    for (const auto& [tab, subject, table, left] :
         {std::tuple{"Outbox", "Outbox two", "outbox.dbf", "O1"},
          std::tuple{"Sent", "Sent two", "sent.dbf", "S1"}}) {
        auto page = Showing(QStringLiteral("page tab"), QString::fromLatin1(tab));
        ASSERT_TRUE(page);
        ASSERT_TRUE(Click(*page));
        auto row = Showing(QStringLiteral("table cell"), QString::fromLatin1(subject));
        ASSERT_TRUE(row);
        ExpectYes(*row, QString::fromLatin1(tab) + " list: Delete... Yes", {"d"}, kQuestion);
        EXPECT_EQ(Eventually(table, {"UNIQUE_ID"}, {left}), QStringList{left}) << table;
    }

    // An agent and a template.
    auto tab = Showing(QStringLiteral("page tab"), QStringLiteral("Agents"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    auto old = Showing(QStringLiteral("table cell"), QStringLiteral("Old"));
    ASSERT_TRUE(old);
    ExpectYes(*old, "agents list: Delete... Yes", {"Down", "Down", "Down", "Return"}, kQuestion);
    tab = Showing(QStringLiteral("page tab"), QStringLiteral("Auto-Reply Templates"));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(Click(*tab));
    old = Showing(QStringLiteral("table cell"), QStringLiteral("Old"));
    ASSERT_TRUE(old);
    ASSERT_TRUE(Click(*old));
    auto button = Showing(QStringLiteral("push button"), QStringLiteral("Delete"));
    ASSERT_TRUE(button);
    const std::vector<TWindow> asking = Windows();
    ASSERT_TRUE(Click(*button));
    const std::optional<TWindow> question = NewWindow(asking);
    ASSERT_TRUE(question);
    ASSERT_EQ(question->Title.toStdString(), kQuestion.toStdString());
    ASSERT_TRUE(Focus(question->Id));
    ASSERT_TRUE(Key({QStringLiteral("y")}));
    EXPECT_TRUE(WaitGone(question->Id));

    ASSERT_TRUE(MainFocus());
    ASSERT_TRUE(Key({"alt+f", "x"}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    // Every table as an outside reader sees it: only the rows chosen went.
    EXPECT_EQ(DbfRows(db_ + "GROUPS.DBF", {"GROUP"}), QStringList{"Sales"});
    EXPECT_EQ(DbfRows(db_ + "NODES.DBF", {"UNIQUE_ID", "LOGIN", "FREQVAL"}),
              (QStringList{"A0|arch|-5", "A1|shop2|None"}));
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"UNIQUE_ID", "LINK_ID"}), QStringList{"T2|A2"});
    EXPECT_EQ(DbfRows(db_ + "RECEIVED.DBF", {"MESSAGE_ID"}), (QStringList{"<r1@x>", "<r3@x>"}));
    EXPECT_EQ(DbfRows(db_ + "outbox.dbf", {"UNIQUE_ID"}), QStringList{"O1"});
    EXPECT_EQ(DbfRows(db_ + "sent.dbf", {"UNIQUE_ID"}), QStringList{"S1"});
    EXPECT_EQ(DbfRows(db_ + "rules.dbf", {"LINK_ID"}), (QStringList{"A0", "A1"}));
    for (const char* gone : {"agents/Old.agent", "templates/Old.eml", "messages/A1/In/-r2@x-.eml",
                             "messages/A1/Out/o2.eml", "messages/A1/Sent/s2.eml"})
        EXPECT_FALSE(std::filesystem::exists(root_ + gone)) << gone;
    for (const char* kept :
         {"agents/Reply.agent", "agents/Forwarder.agent", "templates/Welcome.eml",
          "messages/A1/In/-r1@x-.eml", "messages/A1/Out/o1.eml", "messages/A1/Sent/s1.eml"})
        EXPECT_TRUE(std::filesystem::exists(root_ + kept)) << kept;
}

} // namespace
} // namespace cfgtest
