// Every entry of every popup of the main window, offscreen: opened as a
// right click opens it, each entry chosen must do what it says (a window,
// a question, a change in the tables), Yes given where Yes changes rows and
// the tables read back. Entries are found by their text, and every entry a
// popup shows must have been chosen once.
#include "cfgman/frmagents.h"
#include "cfgman/frmmodify.h"
#include "cfgman/frmnewgroup.h"
#include "cfgman/tests/mainfixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <set>

namespace cfgtest {
namespace {

using Keys = std::vector<std::string>;

class PopupsTest : public MainTest {
protected:
    void SetUp() override {
        MainTest::SetUp();
        AddGroup("G1", "Sales");
        AddGroup("G2", "Support");
        // Nothing answers on the POP3 port and no SMTP server is named, so
        // the preview and the sending fail: their errors are what shows.
        AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                                {"LINK_ID", "G1"},
                                {"NODE", "Shop"},
                                {"ADDRESS", "shop@example.com"},
                                {"POPADDRESS", "127.0.0.1:1"}});
        AddAccount("A2", "G1", "Spare");
        Attach("T1", "A1", "Reply");
        Attach("T2", "A2", "Reply");
        for (const char* agent : {"Reply", "Forwarder", "Old"})
            Spit(root_ + "agents/" + agent + ".agent", "[MAIN]\r\nAgentType=MESSAGE\r\n");
        const std::string messages = root_ + "messages/A1/";
        for (const char* n : {"1", "2"}) {
            const std::string id = std::string("<r") + n + "@x>";
            Spit(messages + "In/-r" + n + "@x-.eml",
                 std::string("From: Bob <bob@example.com>\r\n") + "Subject: Received " + n +
                     "\r\n\r\nHi\r\n");
            AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", id},
                                       {"LINK_ID", "A1"},
                                       {"FROM", "Bob"},
                                       {"SUBJECT", std::string("Received ") + n},
                                       {"FILENAME", std::string("-r") + n + "@x-.eml"}});
            for (const auto& [table, folder, key, what] :
                 {std::tuple{"outbox.dbf", "Out/", "O", "Outbox "},
                  std::tuple{"sent.dbf", "Sent/", "S", "Sent "}}) {
                const std::string file = std::string(key) + n + ".eml";
                Spit(messages + folder + file,
                     std::string("To: ann@example.com\r\nSubject: ") + what + n + "\r\n\r\nHi\r\n");
                AppendRow(table, {{"UNIQUE_ID", std::string(key) + n},
                                  {"LINK_ID", "A1"},
                                  {"SUBJECT", std::string(what) + n},
                                  {"TONAME", "Ann"},
                                  {"TOADDRESS", "ann@example.com"},
                                  {"FILENAME", file}});
            }
        }
        AppendRow("ACTIONS.DBF", {{"UNIQUE_ID", "X1"},
                                  {"AGENT_ID", "T1"},
                                  {"MESSAGE_ID", "<r1@x>"},
                                  {"NODE_ID", "A1"},
                                  {"ACTION", "Replied"}});
    }

    QTreeWidgetItem* Named(const QString& text) {
        const auto found = main_->treeMain->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found[0];
    }
    static QMenu* OpenMenu() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible())
                return menu;
        return nullptr;
    }
    // Opens the popup of `on` as a right click does, notes every entry it
    // shows under `where`, closes it and chooses `entry` ("menu/entry" in a
    // submenu) when it is shown and enabled.
    bool Choose(QWidget* on, const std::string& where, const std::string& entry) {
        emit on->customContextMenuRequested(QPoint(4, 4));
        QMenu* menu = OpenMenu();
        if (!menu) {
            ADD_FAILURE() << where << ": no popup opened";
            return false;
        }
        QAction* chosen = nullptr;
        std::function<void(QMenu*, const std::string&)> walk = [&](QMenu* m,
                                                                   const std::string& prefix) {
            for (QAction* a : m->actions()) {
                if (a->isSeparator() || !a->isVisible())
                    continue;
                const std::string name = prefix + a->text().toStdString();
                if (a->menu()) {
                    walk(a->menu(), name + "/");
                    continue;
                }
                seen_.insert(where + ": " + name);
                if (name == entry)
                    chosen = a;
            }
        };
        walk(menu, "");
        menu->close();
        tried_.insert(where + ": " + entry);
        if (!chosen || !chosen->isEnabled()) {
            ADD_FAILURE() << where << ": " << entry << " is not offered";
            return false;
        }
        chosen->trigger();
        QCoreApplication::processEvents();
        return true;
    }
    // A modal dialog of this title is expected, and closed.
    static void Closes(const QString& title) {
        WhenModal<QDialog>([title](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), title);
            d->reject();
        });
    }
    // The editor window the entry opened, with this title; closed again.
    void OpensEditor(const QString& title) {
        auto editors = Editors();
        ASSERT_FALSE(editors.empty());
        EXPECT_EQ(editors.back()->windowTitle(), title);
        for (cfgman::TMessageEditor* e : editors) {
            e->SetModified(false);
            e->close();
        }
        QCoreApplication::processEvents();
    }
    // The tree's node, chosen with the Mail Accounts page shown.
    QTreeWidget* Tree(const QString& node) {
        main_->pageControlMain->setCurrentWidget(main_->TSaccounts);
        QTreeWidgetItem* item = Named(node);
        EXPECT_NE(item, nullptr) << node.toStdString();
        if (item)
            Select(item);
        return main_->treeMain;
    }
    // The list's row that shows the text, chosen.
    static QAbstractItemView* RowOf(QAbstractItemView* list, const QString& text) {
        QAbstractItemModel* model = list->model();
        for (int r = 0; r < model->rowCount(); ++r)
            for (int c = 0; c < model->columnCount(); ++c)
                if (model->index(r, c).data().toString() == text) {
                    list->setCurrentIndex(model->index(r, 0));
                    list->selectionModel()->select(model->index(r, 0),
                                                   QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
                    QCoreApplication::processEvents();
                    return list;
                }
        ADD_FAILURE() << "no row shows " << text.toStdString();
        return list;
    }
    // The name typed into the tree's edit, and Enter.
    void TypeName(const QString& name) {
        auto* edit = main_->treeMain->findChild<QLineEdit*>();
        if (!edit) {
            ADD_FAILURE() << "no edit opened";
            return;
        }
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
        // The edit ends from the queue, and its editor goes.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::vector<std::string> Field(const std::string& table, const char* field) {
        std::vector<std::string> values;
        for (const Row& r : Rows(table))
            values.push_back(r.at(field));
        return values;
    }

    std::set<std::string> seen_, tried_;
};

TEST_F(PopupsTest, EveryEntryOfEveryPopupDoesWhatItSays) {
    Start();
    const QString wizard = QStringLiteral("Mail Account Wizard");
    const QString folder = QStringLiteral("Create New Folder");
    const std::string root = "tree, root", group = "tree, group", account = "tree, account",
                      agent = "tree, attached agent";

    // The root.
    WhenModal<cfgman::TfrmNewGroup>([](cfgman::TfrmNewGroup* d) {
        d->edtGroupName->setText(QStringLiteral("North"));
        d->btnOK->click();
    });
    Choose(Tree("E-Mail Accounts"), root, "&New/&Folder");
    EXPECT_EQ(Field("GROUPS.DBF", "GROUP"), (Keys{"Sales", "Support", "North"}));
    Closes(wizard);
    Choose(Tree("E-Mail Accounts"), root, "&New/&Account...");
    Choose(Tree("E-Mail Accounts"), root, "Rena&me");
    EXPECT_EQ(main_->treeMain->findChild<QLineEdit*>(), nullptr) << "the root was edited";
    // Deleting the root deletes nothing; the tree is shown again, all open.
    Named("Shop")->setExpanded(false);
    Choose(Tree("E-Mail Accounts"), root, "&Delete...");
    EXPECT_TRUE(Named("Shop")->isExpanded());
    EXPECT_EQ(Field("NODES.DBF", "NODE"), (Keys{"Shop", "Spare"}));

    // A group with accounts, one without.
    Closes(folder);
    Choose(Tree("Sales"), group, "&New/&Folder");
    Closes(wizard);
    Choose(Tree("Sales"), group, "&New/&Account...");
    answers_ = {win::IDNO};
    Choose(Tree("Sales"), group, "&Delete...");
    EXPECT_EQ(boxes_.back(), "WARNING THIS GROUP HAS ACCOUNTS: Are you sure you want to delete "
                             "this group and all accounts inside it?");
    Choose(Tree("Sales"), group, "Rena&me");
    TypeName(QStringLiteral("Retail"));
    EXPECT_EQ(Field("GROUPS.DBF", "GROUP"), (Keys{"Retail", "Support", "North"}));
    answers_ = {win::IDYES};
    Choose(Tree("Support"), group, "&Delete...");
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this group?");
    EXPECT_EQ(Field("GROUPS.DBF", "GROUP"), (Keys{"Retail", "North"}));

    // Accounts: one deleted, one used for every other entry.
    answers_ = {win::IDYES};
    Choose(Tree("Spare"), account, "&Delete...");
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this account?");
    EXPECT_EQ(Field("NODES.DBF", "NODE"), Keys{"Shop"});
    Closes(folder);
    Choose(Tree("Shop"), account, "&New/&Folder");
    Closes(wizard);
    Choose(Tree("Shop"), account, "&New/&Account...");
    WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
        const auto found = d->lstVAgents->findItems(QStringLiteral("Forwarder"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        found[0]->setSelected(true);
        d->btnOK->click();
    });
    Choose(Tree("Shop"), account, "&Attach Agent...");
    EXPECT_EQ(Field("Agents.dbf", "AGENT"), (Keys{"Reply", "Reply", "Forwarder"}));
    EXPECT_EQ(Field("Agents.dbf", "LINK_ID"), (Keys{"A1", "A2", "A1"}));
    WhenModal<cfgman::TfrmModify>([](cfgman::TfrmModify* p) {
        EXPECT_EQ(p->edtName->text(), "Shop");
        p->reject();
    });
    Choose(Tree("Shop"), account, "&Properties...");
    Choose(Tree("Shop"), account, "Rena&me");
    TypeName(QStringLiteral("Webshop"));
    EXPECT_EQ(Field("NODES.DBF", "NODE"), Keys{"Webshop"});
    answers_ = {win::IDNO};
    Choose(Tree("Webshop"), account, "&Delete...");
    EXPECT_EQ(Field("NODES.DBF", "NODE"), Keys{"Webshop"});

    // The attached agent and its history.
    if (QTreeWidgetItem* webshop = Named("Webshop"))
        webshop->setExpanded(true);
    Choose(Tree("Reply"), agent, "Rena&me");
    EXPECT_EQ(main_->treeMain->findChild<QLineEdit*>(), nullptr) << "the agent was edited";
    Choose(RowOf(main_->GridAgentHistory, QStringLiteral("Replied")), "history", "View Message...");
    OpensEditor(QStringLiteral("Received 1"));
    answers_ = {win::IDYES};
    Choose(Tree("Reply"), agent, "&Detach Agent...");
    EXPECT_EQ(Field("Agents.dbf", "UNIQUE_ID").size(), 2u);
    EXPECT_EQ(Field("Agents.dbf", "LINK_ID"), (Keys{"A2", "A1"}));
    EXPECT_EQ(Field("Agents.dbf", "AGENT"), (Keys{"Reply", "Forwarder"}));

    // The account's three lists.
    Tree("Webshop");
    QAbstractItemView* received = main_->lstVReceived;
    Choose(RowOf(received, QStringLiteral("Received 1")), "received list", "&Open...");
    OpensEditor(QStringLiteral("Received 1"));
    Choose(RowOf(received, QStringLiteral("Received 1")), "received list", "&Forward...");
    OpensEditor(QStringLiteral("Forward from Webshop: Received 1"));
    Closes(QStringLiteral("Message Properties"));
    Choose(RowOf(received, QStringLiteral("Received 1")), "received list", "&Properties...");
    const int errors = main_->ErrorCount();
    Choose(RowOf(received, QStringLiteral("Received 1")), "received list",
           "Preview Waiting Messages...");
    EXPECT_EQ(main_->ErrorCount(), errors + 1) << "the preview did not try the server";
    answers_ = {win::IDYES};
    Choose(RowOf(received, QStringLiteral("Received 2")), "received list", "&Delete...");
    EXPECT_EQ(Field("RECEIVED.DBF", "MESSAGE_ID"), Keys{"<r1@x>"});

    main_->pageMessages->setCurrentIndex(1);
    QAbstractItemView* outbox = main_->lstVOutBox;
    Choose(RowOf(outbox, QStringLiteral("Outbox 1")), "outbox list", "&Open");
    OpensEditor(QStringLiteral("Outbox 1"));
    Choose(RowOf(outbox, QStringLiteral("Outbox 1")), "outbox list", "&New Message...");
    OpensEditor(QStringLiteral("New Message"));
    Closes(QStringLiteral("Message Properties"));
    Choose(RowOf(outbox, QStringLiteral("Outbox 1")), "outbox list", "&Properties...");
    Choose(RowOf(outbox, QStringLiteral("Outbox 1")), "outbox list", "&Send Selected...");
    EXPECT_EQ(main_->ErrorCount(), errors + 2) << "the sending did not try a server";
    answers_ = {win::IDYES};
    Choose(RowOf(outbox, QStringLiteral("Outbox 2")), "outbox list", "&Delete...");
    EXPECT_EQ(Field("outbox.dbf", "UNIQUE_ID"), Keys{"O1"});

    main_->pageMessages->setCurrentIndex(2);
    QAbstractItemView* sent = main_->lstVSent;
    Choose(RowOf(sent, QStringLiteral("Sent 1")), "sent list", "&Open...");
    OpensEditor(QStringLiteral("Sent 1"));
    Choose(RowOf(sent, QStringLiteral("Sent 1")), "sent list", "&Re-Send...");
    EXPECT_EQ(boxes_.back(), "The Server Name is blank for node - Webshop");
    Closes(QStringLiteral("Message Properties"));
    Choose(RowOf(sent, QStringLiteral("Sent 1")), "sent list", "&Properties...");
    answers_ = {win::IDYES};
    Choose(RowOf(sent, QStringLiteral("Sent 2")), "sent list", "&Delete...");
    EXPECT_EQ(Field("sent.dbf", "UNIQUE_ID"), Keys{"S1"});

    // The agents list.
    main_->pageControlMain->setCurrentWidget(main_->TSagents);
    QAbstractItemView* agents = main_->lstVAgents;
    Closes(QStringLiteral("Agent Properties"));
    Choose(RowOf(agents, QStringLiteral("Forwarder")), "agents list", "Properties...");
    answers_ = {win::IDYES};
    Choose(RowOf(agents, QStringLiteral("Old")), "agents list", "Delete...");
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this agent?");
    EXPECT_FALSE(std::filesystem::exists(root_ + "agents/Old.agent"));
    EXPECT_TRUE(std::filesystem::exists(root_ + "agents/Forwarder.agent"));
    Closes(QStringLiteral("Agent Wizard"));
    Choose(RowOf(agents, QStringLiteral("Forwarder")), "agents list", "New...");

    // Every entry shown was chosen once; the files of the rows that stayed
    // are all there.
    for (const std::string& entry : seen_)
        EXPECT_TRUE(tried_.count(entry)) << entry << " was never chosen";
    for (const char* file : {"messages/A1/In/-r1@x-.eml", "messages/A1/Out/O1.eml",
                             "messages/A1/Sent/S1.eml", "agents/Reply.agent"})
        EXPECT_TRUE(std::filesystem::exists(root_ + file)) << file;
    for (const char* file :
         {"messages/A1/In/-r2@x-.eml", "messages/A1/Out/O2.eml", "messages/A1/Sent/S2.eml"})
        EXPECT_FALSE(std::filesystem::exists(root_ + file)) << file;
    // The preview and the sending failed as expected, nothing else.
    EXPECT_EQ(main_->ErrorCount(), errors + 2) << LastLine();
}

} // namespace
} // namespace cfgtest
