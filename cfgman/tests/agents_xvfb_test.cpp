// The road of one agent as a user takes it: made in the real cfgman on a
// desktop of its own (keys and clicks by xdotool, windows read through the
// accessibility interface) and attached to an account; the real posta
// forwards a pending message to aiosmtpd; back in cfgman the agent's
// history shows the row, and rename, detach and delete reach the file and
// the rows.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/tests/smtp_sink.h"
#include "processor/agentfile.h"

#include <QThread>
#include <iostream>

namespace cfgtest {
namespace {

using uitest::Named;
using uitest::TUiNode;

const QString kApp = QStringLiteral("Quelta Mail Management System");
const QString kCaption = QStringLiteral("Quelta Configuration Manager");

// A visible node of this role and name.
std::function<bool(const TUiNode&)> Shown(const QString& role, const QString& name) {
    return [role, name](const TUiNode& n) {
        return n.Role == role && n.Name == name && n.W > 0 && n.H > 0;
    };
}

class AgentRoadTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        if (!testpeers::HaveAiosmtpd())
            GTEST_SKIP() << "aiosmtpd is not installed";
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }
    // The account tree's nodes and the hidden pages' list rows share names;
    // the tree's cells stand right of its root, the rows of the Agents list
    // left of it.
    std::function<bool(const TUiNode&)> Node(const QString& name) {
        return [this, name](const TUiNode& n) {
            return n.Role == QStringLiteral("table cell") && n.Name == name && n.X >= rootX_;
        };
    }
    std::function<bool(const TUiNode&)> ListRow(const QString& name) {
        return [this, name](const TUiNode& n) {
            return n.Role == QStringLiteral("table cell") && n.Name == name && n.X < rootX_ &&
                   n.W > 0;
        };
    }
    bool ClickOn(const std::function<bool(const TUiNode&)>& pick) {
        TUiNode node;
        return Shows(pick, uitest::kHang, &node) && desktop_.Click(node);
    }
    // Clicks the node once it shows.
    bool ClickOn(const QString& role, const QString& name, int ms = uitest::kHang) {
        TUiNode node;
        return Shows(Shown(role, name), ms, &node) && desktop_.Click(node);
    }
    // Waits for the node; what is shown is printed when it never comes.
    bool Shows(const std::function<bool(const TUiNode&)>& pick, int ms = uitest::kHang,
               TUiNode* found = nullptr) {
        if (desktop_.WaitFor(kApp, pick, ms, found))
            return true;
        std::cerr << "not shown; the program shows:\n";
        for (const TUiNode& n : desktop_.Tree(kApp))
            if (n.W > 0)
                std::cerr << std::string(std::size_t(n.Depth), ' ') << n.Role.toStdString() << " \""
                          << n.Name.toStdString() << "\" " << n.X << "," << n.Y << "\n";
        return false;
    }
    bool Focus(const QString& title) {
        const QString id = desktop_.WaitForWindow(title, uitest::kHang);
        return !id.isEmpty() &&
               desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }
    // A box's answer: its button, once the box shows the text.
    bool Answer(const QString& text, const QString& button) {
        return Shows([text](const TUiNode& n) { return n.Name.contains(text); }) &&
               ClickOn(QStringLiteral("push button"), button);
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
    int rootX_ = 0;
};

TEST_F(AgentRoadTest, AnAgentMadeInCfgmanForwardsThroughPostaAndLeavesItsHistory) {
    testpeers::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "ACC1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Shop"},
                            {"ADDRESS", "shop@example.com"},
                            {"SMTPADDRES", "127.0.0.1:" + std::to_string(sink.Port())}});
    const std::string agents = root_ + "agents/";

    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption));
    TUiNode root;
    ASSERT_TRUE(Shows(Named(QStringLiteral("table cell"), QStringLiteral("E-Mail Accounts")),
                      uitest::kHang, &root));
    rootX_ = root.X;
    ASSERT_TRUE(Shows(Node(QStringLiteral("Shop"))));

    // File, New..., Agent...: the wizard, a step at a time.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("n"), QStringLiteral("a")}));
    ASSERT_TRUE(Focus(QStringLiteral("Agent Wizard")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Next >")));
    ASSERT_TRUE(ClickOn(QStringLiteral("radio button"),
                        QStringLiteral("Only certain messages should trigger this agent")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Add")));
    ASSERT_TRUE(Focus(QStringLiteral("Trigger Settings")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Tab"), QStringLiteral("Tab")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("order")));
    ASSERT_TRUE(Shows([](const TUiNode& n) {
        return n.Name == QStringLiteral("If the Subject contains order");
    }));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(Focus(QStringLiteral("Agent Wizard")));
    ASSERT_TRUE(Shows(Shown(QStringLiteral("table cell"), QStringLiteral("order"))));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Next >")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Add")));
    ASSERT_TRUE(Focus(QStringLiteral("Add Action")));
    ASSERT_TRUE(ClickOn(QStringLiteral("list item"), QStringLiteral("Forward To")));
    ASSERT_TRUE(ClickOn(QStringLiteral("text"), QStringLiteral("Forward to e-mail address(s)")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("orders@example.net")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("OK")));
    ASSERT_TRUE(Focus(QStringLiteral("Agent Wizard")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Next >")));
    ASSERT_TRUE(ClickOn(QStringLiteral("text"), QStringLiteral("Name")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Orders")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("Finish")));
    ASSERT_TRUE(Shows(ListRow(QStringLiteral("Orders"))));
    EXPECT_EQ(Crudini(agents + "Orders.agent", "MAIN", "AgentType"), "MESSAGE");
    EXPECT_EQ(Crudini(agents + "Orders.agent", "MAIN", "TriggerCount"), "1");
    EXPECT_EQ(Crudini(agents + "Orders.agent", "VALUE", "Entry1"), "order");
    EXPECT_EQ(Crudini(agents + "Orders.agent", "ACTIONPARAM1", "Entry1"), "FORWARD TO");
    EXPECT_EQ(Crudini(agents + "Orders.agent", "ACTIONPARAM2", "Entry1"), "orders@example.net");

    // Attach it to the account: its tree node, Ctrl+Insert, the agent, OK.
    ASSERT_TRUE(ClickOn(QStringLiteral("page tab"), QStringLiteral("Mail Accounts")));
    ASSERT_TRUE(ClickOn(Node(QStringLiteral("Shop"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("ctrl+Insert")}));
    ASSERT_TRUE(Focus(QStringLiteral("Attach Agent to Account")));
    ASSERT_TRUE(ClickOn(QStringLiteral("list item"), QStringLiteral("Orders")));
    ASSERT_TRUE(ClickOn(QStringLiteral("push button"), QStringLiteral("OK")));
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(Shows(Node(QStringLiteral("Orders"))));
    const QStringList attached = DbfRows(db_ + "Agents.dbf", {"UNIQUE_ID", "LINK_ID", "AGENT"});
    ASSERT_EQ(attached.size(), 1);
    const QString key = attached[0].section('|', 0, 0);
    EXPECT_TRUE(key.endsWith(QStringLiteral("Orders")) && key.size() == 20) << key.toStdString();
    EXPECT_EQ(attached[0].section('|', 1), QStringLiteral("ACC1|Orders"));

    // A pending message, and one pass of the real posta with the automation
    // library registered and the socket layer beside it.
    Spit(root_ + "messages/ACC1/Pending/m.eml",
         "From: Ann <ann@example.com>\r\nTo: shop@example.com\r\nSubject: Your order 42\r\n"
         "Message-ID: <o42@example.com>\r\nDate: Tue, 8 Dec 1998 10:20:30 +0100\r\n\r\n"
         "Two boxes, please.\r\n");
    ASSERT_EQ(RunProgram(QStringLiteral(QUELTA_BIN_DIR "/regsvr"),
                         {QStringLiteral("/s"), QStringLiteral(QUELTA_BIN_DIR "/libQuelta.so")},
                         nullptr, env_),
              0);
    const std::string prog = root_ + "prog/";
    std::filesystem::copy_file(QUELTA_BIN_DIR "/posta", prog + "posta");
    std::filesystem::create_symlink(QUELTA_BIN_DIR "/libwsock32.so", prog + "libwsock32.so");
    QProcessEnvironment headless = env_;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QString out;
    EXPECT_EQ(RunProgram(QString::fromStdString(prog + "posta"), {QStringLiteral("/SINGLEPASS")},
                         &out, headless),
              0)
        << out.toStdString();
    const std::string log = Slurp(prog + "agentproc.log");
    EXPECT_EQ(log.find("Error-"), std::string::npos) << log;
    ASSERT_EQ(sink.Count(), 1) << log;
    const std::string sent = sink.Read("1.eml");
    EXPECT_NE(sent.find("X-QueltaForward: True"), std::string::npos) << sent;
    EXPECT_NE(sent.find("Two boxes, please."), std::string::npos) << sent;
    EXPECT_NE(sink.Read("1.json").find("orders@example.net"), std::string::npos);
    const QStringList actions = DbfRows(db_ + "ACTIONS.DBF", {"AGENT_ID", "ACTION"});
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0], key + QStringLiteral("|Message Forwarded to: orders@example.net"));

    // Back in cfgman: the agent's node opens its history with that row.
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(ClickOn(Node(QStringLiteral("Orders"))));
    EXPECT_TRUE(Shows(Shown(QStringLiteral("table cell"),
                            QStringLiteral("Message Forwarded to: orders@example.net")),
                      uitest::kHang));

    // Rename on the Agents page: the file and the row follow.
    ASSERT_TRUE(ClickOn(QStringLiteral("page tab"), QStringLiteral("Agents")));
    ASSERT_TRUE(ClickOn(ListRow(QStringLiteral("Orders"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("F2"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Big orders")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(Shows(ListRow(QStringLiteral("Big orders"))));
    EXPECT_FALSE(std::filesystem::exists(agents + "Orders.agent"));
    EXPECT_EQ(Crudini(agents + "Big orders.agent", "ACTIONPARAM2", "Entry1"), "orders@example.net");
    EXPECT_EQ(DbfRows(db_ + "Agents.dbf", {"AGENT"}), QStringList{"Big orders"});

    // Detach from the tree: asked first, then the row goes.
    // The tree was built again with the new name; the account opens.
    ASSERT_TRUE(ClickOn(QStringLiteral("page tab"), QStringLiteral("Mail Accounts")));
    ASSERT_TRUE(ClickOn(Node(QStringLiteral("Shop"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Right")}));
    ASSERT_TRUE(ClickOn(Node(QStringLiteral("Big orders"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("ctrl+Delete")}));
    ASSERT_TRUE(Answer(QStringLiteral("Are you sure you want to detach this agent?"),
                       QStringLiteral("Yes")));
    ASSERT_TRUE(Focus(kCaption));
    for (int i = 0;
         i < uitest::kHang / 200 && desktop_.WaitFor(kApp, Node(QStringLiteral("Big orders")), 0);
         ++i)
        QThread::msleep(200);
    EXPECT_FALSE(desktop_.WaitFor(kApp, Node(QStringLiteral("Big orders")), 0));
    for (int i = 0; i < uitest::kHang / 200 && !DbfRows(db_ + "Agents.dbf", {"AGENT"}).isEmpty();
         ++i)
        QThread::msleep(200);
    EXPECT_TRUE(DbfRows(db_ + "Agents.dbf", {"AGENT"}).isEmpty());

    // Delete on the Agents page: asked first, then the file goes.
    // The renamed row is still the selected one: a click on it would edit it.
    ASSERT_TRUE(ClickOn(QStringLiteral("page tab"), QStringLiteral("Agents")));
    ASSERT_TRUE(Shows(ListRow(QStringLiteral("Big orders"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Delete")}));
    ASSERT_TRUE(Answer(QStringLiteral("Are you sure you want to delete this agent?"),
                       QStringLiteral("Yes")));
    for (int i = 0; i < uitest::kHang / 200 && std::filesystem::exists(agents + "Big orders.agent");
         ++i)
        QThread::msleep(200);
    EXPECT_FALSE(std::filesystem::exists(agents + "Big orders.agent"));
    // The history row stays with its key.
    EXPECT_EQ(DbfRows(db_ + "ACTIONS.DBF", {"AGENT_ID"}), QStringList{key});

    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(uitest::kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);
}

} // namespace
} // namespace cfgtest
