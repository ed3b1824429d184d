// The real cfgman on a desktop of its own, with aiosmtpd: a user makes an
// auto-reply template from the File menu, inserts the account's name as a
// merge code and saves it, and an AUTO-REPLY agent sends it with the real
// posta; a user sends an outbox message from the account's list, and again
// with the server stopped. The tables are read back with dbfread.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/msmsg.h"
#include "mail/tests/smtp_sink.h"

#include <QElapsedTimer>
#include <QThread>

namespace cfgtest {
namespace {

const QString kApp = QStringLiteral("Quelta Mail Management System");

class MessagesXvfbTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        if (!testpeers::HaveAiosmtpd())
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }
    bool Focus(const QString& title) {
        const QString id = desktop_.WaitForWindow(title, 20000);
        return !id.isEmpty() &&
               desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }
    // A right click in the middle of the node.
    bool RightClick(const uitest::TUiNode& n) {
        return desktop_.XdoTool({QStringLiteral("mousemove"), QString::number(n.X + n.W / 2),
                                 QString::number(n.Y + n.H / 2), QStringLiteral("click"),
                                 QStringLiteral("3")});
    }
    bool Shows(const QString& role, const QString& name, uitest::TUiNode* node = nullptr) {
        return desktop_.WaitFor(kApp, uitest::Named(role, name), 20000, node);
    }
    // The row's popup, and its "&Send Selected..." by its key (popups are
    // not in the accessibility tree).
    bool SendFromRow(const QString& subject) {
        uitest::TUiNode row;
        if (!Shows(QStringLiteral("table cell"), subject, &row) || !desktop_.Click(row) ||
            !RightClick(row))
            return false;
        QThread::msleep(500);
        return desktop_.Keys({QStringLiteral("s")});
    }
    bool Gone(const QString& title) {
        QElapsedTimer timer;
        timer.start();
        while (!desktop_.WaitForWindow(title, 200).isEmpty())
            if (timer.elapsed() > 10000)
                return false;
        return true;
    }
    // An agent file as the agent editors write it.
    void WriteAgent(const std::string& name, const std::string& templatePath) {
        Spit(root_ + "agents/" + name + ".agent",
             "[MAIN]\r\nAgentType=MESSAGE\r\nTriggerCount=1\r\nActionCount=1\r\n"
             "[HEADER]\r\nEntry1=Subject\r\n[CONDITION]\r\nEntry1=contains\r\n"
             "[VALUE]\r\nEntry1=order\r\n"
             "[ACTIONPARAM1]\r\nEntry1=AUTO-REPLY\r\n[ACTIONPARAM2]\r\nEntry1=" +
                 templatePath + "\r\n[ACTIONPARAM3]\r\nEntry1=\r\n");
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
};

TEST_F(MessagesXvfbTest, ATemplateMadeInTheWindowRepliesWithTheAccountsName) {
    testpeers::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Sales Desk"},
                            {"ADDRESS", "sales@example.com"},
                            {"SMTPADDRES", "127.0.0.1:" + std::to_string(sink.Port())}});
    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(desktop_.WaitFor(
        kApp, uitest::Named(QStringLiteral("table cell"), QStringLiteral("E-Mail Accounts")),
        20000));

    // File, New..., Auto-Reply Template...: the editor with the subject entry open.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("n"), QStringLiteral("t")}));
    ASSERT_TRUE(Focus(QStringLiteral("New Message")));
    QThread::msleep(300);
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Re: your order")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Tab")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Hello from ")));

    // Insert, Merge Code...: System, the value typed, Enter.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+i"), QStringLiteral("m")}));
    ASSERT_TRUE(Focus(QStringLiteral("Insert Merge Code")));
    QThread::msleep(300);
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Down"), QStringLiteral("alt+v")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("currentnode")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(Gone(QStringLiteral("Insert Merge Code")));
    ASSERT_TRUE(Focus(QStringLiteral("Re: your order")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral(", thanks.")));

    // File, Save As...: the path typed into the dialog.
    const std::string path = root_ + "templates/Order reply.eml";
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("a")}));
    ASSERT_TRUE(Focus(QStringLiteral("Save As")));
    QThread::msleep(500);
    ASSERT_TRUE(desktop_.Type(QString::fromStdString(path)));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    QElapsedTimer timer;
    timer.start();
    while (!std::filesystem::exists(path) && timer.elapsed() < 15000)
        QThread::msleep(100);
    ASSERT_TRUE(std::filesystem::exists(path)) << "Save As wrote nothing";
    // The templates page lists it.
    EXPECT_TRUE(desktop_.WaitFor(
        kApp, uitest::Named(QStringLiteral("table cell"), QStringLiteral("Order reply")), 15000));
    ASSERT_TRUE(Focus(QStringLiteral("Order reply.eml - Quelta Mail Management System")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("c")}));
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(20000));
    EXPECT_EQ(cfgman->exitCode(), 0);

    TmsMessage saved;
    saved.LoadFromFile(path);
    EXPECT_EQ(saved.Subject(), "Re: your order");
    ASSERT_EQ(saved.Body().Lines(),
              std::vector<std::string>{"Hello from <<SYSTEM~CURRENTNODE>>, thanks."});

    // An agent that answers orders with the template, and a message for it.
    WriteAgent("Order answer", path);
    AppendRow("Agents.dbf", {{"UNIQUE_ID", "T1"}, {"LINK_ID", "A1"}, {"AGENT", "Order answer"}});
    Spit(root_ + "messages/A1/Pending/m.eml",
         "From: Ann Smith <ann@example.com>\r\nTo: sales@example.com\r\n"
         "Message-ID: <order.7@example.com>\r\nSubject: my order\r\n\r\nThree lamps.\r\n");
    Ini().WriteBool("AgentSettings", "AutoEnabled", false);
    ASSERT_EQ(QProcess::execute(QUELTA_BIN_DIR "/regsvr", {"/s", QUELTA_BIN_DIR "/libQuelta.so"}),
              0);
    const std::string prog = root_ + "prog/";
    for (const char* file : {"posta", "libwsock32.so"})
        std::filesystem::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    QProcess posta;
    QProcessEnvironment headless = env_;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    posta.setProcessEnvironment(headless);
    posta.setProcessChannelMode(QProcess::MergedChannels);
    posta.start(QString::fromStdString(prog + "posta"), {QStringLiteral("/SINGLEPASS")});
    ASSERT_TRUE(posta.waitForFinished(120000));
    const std::string log = Slurp(prog + "agentproc.log");
    EXPECT_EQ(posta.exitCode(), 0) << log;
    ASSERT_EQ(sink.Count(), 1) << log;
    const std::string reply = sink.Read("1.eml");
    EXPECT_NE(reply.find("Hello from Sales Desk, thanks."), std::string::npos) << reply;
    EXPECT_NE(reply.find("Subject:  Re: your order\r\n"), std::string::npos) << reply;
    EXPECT_NE(sink.Read("1.json").find("ann@example.com"), std::string::npos);
}

} // namespace
} // namespace cfgtest

namespace cfgtest {
namespace {

TEST_F(MessagesXvfbTest, AnOutboxMessageSentFromTheListArrivesAndAStoppedServerMovesNothing) {
    auto sink = std::make_unique<testpeers::SmtpSink>();
    ASSERT_GT(sink->Port(), 0);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Sales Desk"},
                            {"ADDRESS", "sales@example.com"},
                            {"SMTPADDRES", "127.0.0.1:" + std::to_string(sink->Port())}});
    const std::string out = root_ + "messages/A1/Out/";
    const std::string sentFolder = root_ + "messages/A1/Sent/";
    const struct {
        const char *Id, *File, *Subject, *Body;
    } outbox[] = {{"O1", "o1.eml", "Your offer", "The prices are attached."},
                  {"O2", "o2.eml", "Second offer", "Another price."}};
    for (const auto& m : outbox) {
        AppendRow("outbox.dbf", {{"UNIQUE_ID", m.Id},
                                 {"LINK_ID", "A1"},
                                 {"SUBJECT", m.Subject},
                                 {"TONAME", "Ann Smith"},
                                 {"TOADDRESS", "ann@customer.example"},
                                 {"FILENAME", m.File}});
        Spit(out + m.File, std::string("From: Sales Desk <sales@example.com>\r\n"
                                       "To: Ann Smith <ann@customer.example>\r\n"
                                       "Subject: ") +
                               m.Subject + "\r\n\r\n" + m.Body + "\r\n");
    }

    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    uitest::TUiNode node;
    ASSERT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("Sales Desk"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Outbox"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    ASSERT_TRUE(SendFromRow(QStringLiteral("Your offer")));
    QElapsedTimer timer;
    timer.start();
    while (sink->Count() < 1 && timer.elapsed() < 30000)
        QThread::msleep(100);
    ASSERT_EQ(sink->Count(), 1);
    EXPECT_TRUE(Shows(QStringLiteral("label"), QStringLiteral("The message has been sent.")));
    EXPECT_NE(sink->Read("1.eml").find("The prices are attached."), std::string::npos);
    EXPECT_NE(sink->Read("1.json").find("ann@customer.example"), std::string::npos);
    // The sent list shows it, and the outbox only the second.
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Sent"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    EXPECT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("Your offer")));
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Outbox"), &node));
    ASSERT_TRUE(desktop_.Click(node));

    // The server is gone: the error is reported and nothing moves.
    sink.reset();
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(SendFromRow(QStringLiteral("Second offer")));
    EXPECT_FALSE(desktop_.WaitForWindow(QStringLiteral("quelta System Status"), 60000).isEmpty());
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(20000));
    EXPECT_EQ(cfgman->exitCode(), 0);

    EXPECT_EQ(DbfRead(db_ + "outbox.dbf", "FILENAME"), std::vector<std::string>{"o2.eml"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "FILENAME"), std::vector<std::string>{"o1.eml"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "LINK_ID"), std::vector<std::string>{"A1"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "TOADDRESS"),
              std::vector<std::string>{"ann@customer.example"});
    EXPECT_TRUE(std::filesystem::exists(sentFolder + "o1.eml"));
    EXPECT_FALSE(std::filesystem::exists(out + "o1.eml"));
    EXPECT_TRUE(std::filesystem::exists(out + "o2.eml"));
    EXPECT_FALSE(std::filesystem::exists(sentFolder + "o2.eml"));
}

} // namespace
} // namespace cfgtest
