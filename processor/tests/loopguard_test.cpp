// Mail the processor sends, as a real SMTP server (aiosmtpd) receives it
// and Python's email package reads it: automatic mail is not answered,
// replies say what they answer, passed-on mail stops going round.
#include "processor/tests/passfixture.h"

#include "data/schema.h"
#include "mail/tests/pyfields.h"
#include "platform/win/datetime.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <ctime>

using passtest::PassTest;
using testpeers::PythonFields;
using testpeers::Values;

TEST_F(PassTest, AutomaticMailIsNotAnsweredAndTheAgentGoesOn) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    // A template saved from an earlier answer still holds that one's fields.
    const std::string tmpl = root_ + "templates/thanks.eml";
    passtest::Spit(tmpl, "Subject: Re: <<REPLYHEADER~Subject>>\r\n"
                         "Date: Mon, 1 Jan 2001 00:00:00 +0000\r\n"
                         "Message-ID: <template.1@example.com>\r\n"
                         "In-Reply-To: <older@example.net>\r\n\r\nThank you.\r\n");
    const std::string tmplText = passtest::Slurp(tmpl);
    WriteAgent("desk", {}, {{{"AUTO-REPLY", tmpl, ""}, {"PLAY SOUND", "s.wav", ""}}});
    AddMessage("ACC1", "a.eml", "Ann <ann@example.net>", "Hello", "x\r\n",
               "Received: from mx by desk;\r\n\tTue, 8 Dec 1998 10:20:00 +0100\r\n"
               "Message-ID: <a.1@example.net>\r\nReferences: <a.0@example.net>\r\n");
    AddMessage("ACC1", "b.eml", "Bob <bob@example.net>", "Re: Hi", "x\r\n",
               "X-QueltaAuto-Reply: True\r\n");
    AddMessage("ACC1", "c.eml", "Away <away@example.net>", "Away", "x\r\n",
               "Auto-Submitted: auto-replied\r\n");
    AddMessage("ACC1", "d.eml", "News <news@example.net>", "News", "x\r\n", "Precedence: bulk\r\n");
    AddMessage("ACC1", "e.eml", "MAILER-DAEMON@example.net", "Undelivered", "x\r\n");
    AddMessage("ACC1", "f.eml", "Sales Desk <sales@example.com>", "Loop", "x\r\n");
    AddMessage("ACC1", "g.eml", "=?utf-8?b?QW5uIFNtaXRo?=", "Encoded", "x\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.Recipients(1), QStringList{"ann@example.net"});
    const std::string sound = "Played Sound: s.wav", no = "AutoReply not sent: ";
    EXPECT_EQ(Actions(),
              (std::vector<std::string>{
                  "AutoReply Generated, SUBJECT: Re: Hello", sound,
                  no + "the message is automatic mail (X-QueltaAuto-Reply)", sound,
                  no + "the message is automatic mail (Auto-Submitted: auto-replied)", sound,
                  no + "the message is bulk or list mail (Precedence: bulk)", sound,
                  no + "the sender is a mailer daemon (MAILER-DAEMON@example.net)", sound,
                  no + "the sender is the account's own address (sales@example.com)", sound,
                  no + "the recipient is not a plain mailbox (=?utf-8?b?QW5uIFNtaXRo?=)", sound}));
    EXPECT_EQ(LogCount("Agent not Auto-Replying: "), 6);
    EXPECT_TRUE(LogHas("Agent not Auto-Replying: the sender is a mailer daemon"));
    EXPECT_EQ(sounds_.size(), 7u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(In("ACC1")), {}), 7);

    const QJsonObject reply =
        PythonFields(sink.Dir() + "/1.eml", {"Auto-Submitted", "X-QueltaAuto-Reply", "In-Reply-To",
                                             "References", "Message-ID", "Date", "Received"});
    EXPECT_EQ(Values(reply, "Auto-Submitted"), QStringList{"auto-replied"});
    EXPECT_EQ(Values(reply, "X-QueltaAuto-Reply"), QStringList{"True"});
    EXPECT_EQ(Values(reply, "In-Reply-To"), QStringList{"<a.1@example.net>"});
    EXPECT_EQ(Values(reply, "References"), QStringList{"<a.0@example.net> <a.1@example.net>"});
    ASSERT_EQ(Values(reply, "Message-ID").size(), 1);
    const QString id = Values(reply, "Message-ID")[0];
    EXPECT_TRUE(id.endsWith("@example.com>") && id != "<template.1@example.com>")
        << id.toStdString();
    EXPECT_EQ(Values(reply, "Date").size(), 1);
    EXPECT_LT(std::abs(reply["when"].toDouble() - double(std::time(nullptr))), 86400.0);
    EXPECT_TRUE(Values(reply, "Received").isEmpty());
    EXPECT_EQ(passtest::Slurp(tmpl), tmplText); // the template keeps what it holds
}

TEST_F(PassTest, PassedOnMailStopsGoingRoundAndRedirectsHaveIdentitiesOfTheirOwn) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "pass");
    WriteAgent("pass", {},
               {{{"FORWARD TO", "boss@example.com", ""},
                 {"REDIRECT TO", "archive@example.com", ""},
                 {"PLAY SOUND", "s.wav", ""}}});
    // Automatic mail is passed on; twice round already is still allowed.
    AddMessage("ACC1", "a.eml", "Away <away@example.net>", "Away", "x\r\n",
               "Auto-Submitted: auto-replied\r\nMessage-ID: <a@example.net>\r\n"
               "X-QueltaForward: True\r\nX-QueltaForward: True\r\n");
    // Three times round: not again.
    AddMessage("ACC1", "b.eml", "Ann <ann@example.net>", "Round", "x\r\n",
               "Message-ID: <b@example.net>\r\nX-QueltaForward: True\r\n"
               "X-QueltaRedirect: True\r\nX-QueltaForward: True\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 2);
    EXPECT_EQ(sink.Recipients(1), QStringList{"boss@example.com"});
    EXPECT_EQ(sink.Recipients(2), QStringList{"archive@example.com"});
    const std::string why = ", it was passed on 3 times already";
    EXPECT_EQ(
        Actions(),
        (std::vector<std::string>{
            "Message Forwarded to: boss@example.com", "Message Redirected to: archive@example.com",
            "Played Sound: s.wav", "Message not Forwarded to: boss@example.com" + why,
            "Message not Redirected to: archive@example.com" + why, "Played Sound: s.wav"}));
    EXPECT_TRUE(LogHas("Agent not forwarding Round" + why));
    EXPECT_TRUE(LogHas("Agent not redirecting Round" + why));

    const QJsonObject forwarded =
        PythonFields(sink.Dir() + "/1.eml", {"Message-ID", "X-QueltaForward", "Auto-Submitted"});
    const QJsonObject redirected = PythonFields(sink.Dir() + "/2.eml", {"Message-ID", "From"});
    EXPECT_EQ(Values(forwarded, "X-QueltaForward").size(), 3);
    ASSERT_EQ(Values(forwarded, "Message-ID").size(), 1);
    EXPECT_TRUE(Values(forwarded, "Message-ID")[0].endsWith("@example.com>"));
    EXPECT_LT(std::abs(forwarded["when"].toDouble() - double(std::time(nullptr))), 86400.0);
    // A redirect is not the message it passes on (it adds lines): it has an
    // identity of its own, so a recipient who holds the original keeps both.
    // Its sender stays as written.
    ASSERT_EQ(Values(redirected, "Message-ID").size(), 1);
    EXPECT_TRUE(Values(redirected, "Message-ID")[0].endsWith("@example.com>"));
    EXPECT_EQ(Values(redirected, "From"), QStringList{"Away <away@example.net>"});
}

TEST_F(PassTest, OneSenderIsAnsweredAFewTimesADayWhateverTheMailSays) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const std::string smtp = "127.0.0.1:" + std::to_string(sink.Port());
    AddAccount("ACC1", smtp);
    AddAccount("ACC2", smtp);
    Attach("ACC1", "AG1", "reply");
    Attach("ACC2", "AG2", "pass");
    const std::string tmpl = root_ + "templates/thanks.eml";
    passtest::Spit(tmpl, "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you.\r\n");
    WriteAgent("reply", {}, {{{"AUTO-REPLY", tmpl, ""}}});
    WriteAgent("pass", {}, {{{"FORWARD TO", "bob@example.net", ""}}});
    // What the tables hold from before: answers to Bob two days ago and by
    // another account today, and one to someone else today. None counts.
    const std::string db = root_ + "db";
    const std::string reply = "AutoReply Generated, SUBJECT: Re: Earlier";
    const struct {
        double age;
        const char* key;
        const char* account;
        const char* from;
    } before[] = {{2.0, "<old@example.net>", "ACC1", "Bob <bob@example.net>"},
                  {0.1, "<other@example.net>", "ACC9", "Bob <bob@example.net>"},
                  {0.1, "<ann@example.net>", "ACC1", "Ann <ann@example.net>"}};
    for (const auto& b : before) {
        AppendRow(db, "ACTIONS.DBF",
                  {{"UNIQUE_ID", data::UniqueId(win::Now() - b.age, reply, data::kActionSuffix)},
                   {"MESSAGE_ID", b.key},
                   {"NODE_ID", b.account},
                   {"ACTION", reply}});
        AppendRow(db, "RECEIVED.DBF",
                  {{"MESSAGE_ID", b.key}, {"LINK_ID", b.account}, {"FROM", b.from}});
    }
    // Bob writes five times, marked as a person's mail; his responder once.
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        AddMessage("ACC1", "b" + n + ".eml", "Bob <bob@example.net>", "Order " + n, "x\r\n",
                   "Message-ID: <b" + n + "@example.net>\r\nAuto-Submitted: no\r\n");
    }
    for (int i = 1; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        AddMessage("ACC2", "p" + n + ".eml", "Bob <bob@example.net>", "Note " + n, "x\r\n",
                   "Message-ID: <p" + n + "@example.net>\r\n");
    }
    AddMessage("ACC2", "r1.eml", "Bob <bob@example.net>", "Out of office: Note", "x\r\n",
               "Message-ID: <r1@example.net>\r\nX-Autoreply: yes\r\nPrecedence: auto_reply\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    EXPECT_EQ(sink.Count(), 6);
    std::vector<std::string> actions = Actions();
    actions.erase(actions.begin(), actions.begin() + 3);
    const std::string often = "bob@example.net was answered 3 times in the last 24 hours";
    EXPECT_EQ(actions,
              (std::vector<std::string>{
                  "AutoReply Generated, SUBJECT: Re: Order 1",
                  "AutoReply Generated, SUBJECT: Re: Order 2",
                  "AutoReply Generated, SUBJECT: Re: Order 3", "AutoReply not sent: " + often,
                  "AutoReply not sent: " + often, "Message Forwarded to: bob@example.net",
                  "Message Forwarded to: bob@example.net", "Message Forwarded to: bob@example.net",
                  "Message not Forwarded to: bob@example.net, " + often,
                  "Message not Forwarded to: bob@example.net, it is automatic mail from that "
                  "address"}));
    EXPECT_TRUE(LogHas("Agent not Auto-Replying: " + often));
}
