// The whole road, round and round: postp fetches an account's mail from a
// real POP3 server (Dovecot), posta answers it through a real SMTP server
// (aiosmtpd), and that server brings back into the account's mailbox what
// the world would: mail to the account itself, another auto-responder's
// answer, a bounce. However many rounds run, the mail sent stops growing
// after the first replies.
#include "mail/tests/dovecot_server.h"
#include "mail/tests/smtp_sink.h"
#include "processor/posta/tests/postafixture.h"

#include <QProcessEnvironment>

using postatest::PostaTest;
namespace fs = std::filesystem;

namespace {

// relay.py beside this file: the SMTP sink that also delivers back.
class Relay : public testpeers::SmtpSink {
public:
    Relay(const std::string& account, const std::string& maildir, const std::string& responder)
        : SmtpSink(QUELTA_SOURCE_DIR "/processor/posta/tests/relay.py",
                   {QString::fromStdString(account), QString::fromStdString(maildir),
                    QString::fromStdString(responder)}) {}
};

std::string Mail(const std::string& from, const std::string& subject, const std::string& id) {
    return "From: " + from + "\r\nTo: Sales Desk <desk@example.com>\r\nSubject: " + subject +
           "\r\nDate: Tue, 8 Dec 1998 10:20:30 +0100\r\nMessage-ID: <" + id +
           "@example.net>\r\n\r\nHello.\r\n";
}

} // namespace

TEST_F(PostaTest, AutomaticRepliesStopAfterTheFirstRoundEndToEnd) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    nettest::DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("desk", "secret");
    Relay relay("desk@example.com", dovecot.Folder() + "/mail/desk", "away@example.net");
    ASSERT_GT(relay.Port(), 0);

    AppendRow(root_ + "db", "NODES.DBF",
              {{"UNIQUE_ID", "ACC1"},
               {"NODE", "Sales Desk"},
               {"ADDRESS", "desk@example.com"},
               {"POPADDRESS", dovecot.Address()},
               {"LOGIN", "desk"},
               {"PASSWORD", "secret"},
               {"SMTPADDRES", "127.0.0.1:" + std::to_string(relay.Port())},
               {"FREQVAL", "15"}});
    AppendRow(root_ + "db", "rules.dbf",
              {{"UNIQUE_ID", "R1"},
               {"LINK_ID", "ACC1"},
               {"RULE", "All"},
               {"COND", "A"},
               {"ACT1", "Y"},
               {"ACT2", "Y"}});
    Attach("ACC1", "AG1", "answer");
    passtest::Spit(
        root_ + "templates/thanks.eml",
        "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you, we will answer soon.\r\n");
    WriteAgent("answer", {}, {{{"AUTO-REPLY", root_ + "templates/thanks.eml", ""}}});
    // Mail from the account's own address, from another auto-responder, and
    // from someone whose address no longer exists.
    dovecot.Deliver("desk", Mail("Sales Desk <desk@example.com>", "Note to self", "self"));
    dovecot.Deliver("desk", Mail("Away <away@example.net>", "Question", "away"));
    dovecot.Deliver("desk", Mail("Ghost <ghost@example.net>", "Order", "ghost"));

    for (const char* file : {"posta", "postp", "libwsock32.so"})
        fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, root_ + "prog/" + file);
    Ini().WriteBool("ProcessorSettings", "AutoEnabled", true);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
    // Under the sanitizers the programs' own tests check their leaks; here
    // the exit-time leak scan, which can itself fail on a loaded machine,
    // must not decide whether mail loops.
    if (env.contains("ASAN_OPTIONS"))
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    auto run = [&](const char* program) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QString::fromStdString(root_ + "prog/" + program), {"/SINGLEPASS"});
        const bool done = p.waitForFinished(120000);
        EXPECT_TRUE(done && p.exitCode() == 0) << program << ": " << p.readAll().toStdString();
    };

    std::vector<int> sent;
    for (int round = 0; round < 4; ++round) {
        // The account is due at every round.
        data::TTable nodes;
        nodes.SetDatabaseName(root_ + "db");
        nodes.SetTableName("NODES.DBF");
        nodes.Open();
        nodes.First();
        nodes.Edit();
        nodes.FieldByName("NEXTDATE").SetAsString("1/1/2000");
        nodes.FieldByName("NEXTTIME").SetAsString("08:00");
        nodes.Post();
        nodes.Close();
        run("postp");
        run("posta");
        sent.push_back(relay.Count());
    }
    const std::string log = passtest::Slurp(root_ + "prog/agentproc.log");
    EXPECT_EQ(sent, (std::vector<int>{2, 2, 2, 2})) << log;

    const std::string no = "AutoReply not sent: ";
    std::vector<std::string> actions = Actions();
    std::sort(actions.begin(), actions.end());
    EXPECT_EQ(actions, (std::vector<std::string>{
                           "AutoReply Generated, SUBJECT: Re: Order",
                           "AutoReply Generated, SUBJECT: Re: Question",
                           no + "the message has no sender (Return-Path: <>)",
                           no + "the message is automatic mail (Auto-Submitted: auto-replied)",
                           no + "the sender is the account's own address (desk@example.com)"}))
        << log;
    // Everything that came in was fetched once and filed.
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 5u);
    EXPECT_TRUE(dovecot.Mailbox("desk").empty());
}
