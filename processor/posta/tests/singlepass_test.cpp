// The real program, run headless as a user runs it: posta /SINGLEPASS over
// a store and tables made by mkschema, with libQuelta.so registered.
#include "processor/posta/tests/postafixture.h"

#include <QProcessEnvironment>

using postatest::PostaTest;

TEST_F(PostaTest, SinglePassProgramRunsAScriptThatEditsTheFiledMessage) {
    Ini().WriteBool("AgentSettings", "AutoEnabled", false);
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "stamp");
    const std::string script = root_ + "scripts/stamp.bas";
    passtest::Spit(script, "Sub Main\r\n"
                           "  CurrentMessage.Subject = \"[seen] \" & CurrentMessage.Subject\r\n"
                           "End Sub\r\n");
    WriteAgent("stamp", {{"Subject", "contains", "invoice"}},
               {{{"RUN AN QUELTASCRIPT", script, ""}}});
    AddMessage("ACC1", "m.eml", "Ann <ann@example.com>", "Your invoice 42", "Total: 42\r\n",
               "Message-ID: <inv.42@example.com>\r\n");
    AddMessage("ACC1", "n.eml", "Bob <bob@example.com>", "Lunch", "Noon?\r\n");

    // An installation of its own: the program keeps its log beside it and
    // finds the socket library there.
    const std::string program = root_ + "prog/posta";
    std::filesystem::copy_file(QUELTA_BIN_DIR "/posta", program);
    std::filesystem::create_symlink(QUELTA_BIN_DIR "/libwsock32.so", root_ + "prog/libwsock32.so");
    QProcess posta;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
    posta.setProcessEnvironment(env);
    posta.setProcessChannelMode(QProcess::MergedChannels);
    posta.start(QString::fromStdString(program), {"/SinglePass"});
    ASSERT_TRUE(posta.waitForFinished(120000)) << posta.readAll().toStdString();
    const std::string log = passtest::Slurp(root_ + "prog/agentproc.log");
    EXPECT_EQ(posta.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(posta.exitCode(), 0) << posta.readAll().toStdString() << log;

    const std::string filed = passtest::Slurp(In("ACC1") + "m.eml");
    EXPECT_NE(filed.find(" [seen] Your invoice 42\r\n"), std::string::npos) << filed;
    EXPECT_NE(filed.find("Total: 42"), std::string::npos);
    EXPECT_NE(passtest::Slurp(In("ACC1") + "n.eml").find(" Lunch\r\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
    EXPECT_EQ(Actions(), std::vector<std::string>{"Ran quelta-Script: " + script});
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
    EXPECT_NE(log.find(" -- Running in single pass mode."), std::string::npos) << log;
    EXPECT_EQ(log.find("Error-"), std::string::npos) << log;
    EXPECT_EQ(Ini().ReadInteger("AWindowPos", "Width", 0), 359);
}
