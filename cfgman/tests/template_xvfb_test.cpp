// The real cfgman on a desktop of its own: a user makes an auto-reply
// template from the File menu, inserts the account's name as a merge code
// and saves it; an AUTO-REPLY agent sends it with the real posta to
// aiosmtpd, and the reply carries the account's name.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/msmsg.h"
#include "mail/tests/smtp_sink.h"

#include <QElapsedTimer>
#include <QThread>

namespace cfgtest {
namespace {

const QString kApp = QStringLiteral("Quelta Mail Management System");

class TemplateXvfbTest : public CfgTest {
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

TEST_F(TemplateXvfbTest, ATemplateMadeInTheWindowRepliesWithTheAccountsName) {
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
