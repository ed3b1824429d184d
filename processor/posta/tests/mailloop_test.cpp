// The whole road, round and round: postp fetches the accounts' mail from a
// real POP3 server (Dovecot), posta answers, forwards and redirects it
// through a real SMTP server (aiosmtpd), and that server brings back into
// the accounts' mailboxes what the world would: mail to the accounts
// themselves, an auto-responder's answer, a bounce. However many rounds
// run, the mail sent stops growing; what arrives is read with Python's
// email package, every character as the original had it.
#include "mail/tests/clientmail.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/pyfields.h"
#include "mail/tests/smtp_sink.h"
#include "processor/posta/tests/postafixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>

using postatest::PostaTest;
namespace fs = std::filesystem;
using testpeers::Decoded;
using testpeers::PythonFields;
using testpeers::Texts;
using testpeers::Values;

namespace {

// relay.py beside this file: the SMTP sink that also delivers back.
class Relay : public testpeers::SmtpSink {
public:
    Relay(const std::string& responder, const char* marks,
          const std::vector<std::pair<std::string, std::string>>& maildirs)
        : SmtpSink(QUELTA_SOURCE_DIR "/processor/posta/tests/relay.py",
                   Args(responder, marks, maildirs)) {}

    // The envelope recipients of message n.
    [[nodiscard]] QStringList To(int n) const {
        QStringList out;
        const auto env =
            QJsonDocument::fromJson(QByteArray::fromStdString(Read(std::to_string(n) + ".json")));
        for (const auto& v : env["to"].toArray())
            out << v.toString();
        return out;
    }
    // The first message sent to address, as a path; "" when none.
    [[nodiscard]] std::string SentTo(const QString& address) const {
        for (int n = 1; n <= Count(); ++n)
            if (To(n).contains(address))
                return Dir() + "/" + std::to_string(n) + ".eml";
        return {};
    }

private:
    static QStringList Args(const std::string& responder, const char* marks,
                            const std::vector<std::pair<std::string, std::string>>& maildirs) {
        QStringList args{QString::fromStdString(responder), QString::fromLatin1(marks)};
        for (const auto& [address, maildir] : maildirs)
            args << QString::fromStdString(address + "=" + maildir);
        return args;
    }
};

std::string Mail(const std::string& from, const std::string& subject, const std::string& id) {
    return "From: " + from + "\r\nTo: Sales Desk <desk@example.com>\r\nSubject: " + subject +
           "\r\nDate: Tue, 8 Dec 1998 10:20:30 +0100\r\nMessage-ID: <" + id +
           "@example.net>\r\n\r\nHello.\r\n";
}

const std::string& kPlain = testpeers::kClientPlain;
const std::string& kHtml = testpeers::kClientHtml;
using testpeers::ClientMail;

QString Lf(const std::string& crlf) {
    return QString::fromUtf8(crlf).replace("\r\n", "\n");
}

// An installation of its own: Windows directory, tables, folders and the
// two programs, run as a user would run them.
struct Installation {
    std::string root;

    void Make() {
        for (const char* d : {"win", "db", "prog", "agents", "templates", "messages"})
            fs::create_directories(root + d);
        ASSERT_EQ(
            QProcess::execute(QUELTA_BIN_DIR "/mkschema", {QString::fromStdString(root + "db")}),
            0);
        passtest::Spit(root + "win/quelta.ini",
                       "[Folders]\r\nMessages=" + root + "messages/\r\nAgents=" + root +
                           "agents/\r\nDataBase=" + root +
                           "db/\r\n[ProcessorSettings]\r\nAutoEnabled=1\r\n");
        QProcess reg;
        reg.setProcessEnvironment(Environment());
        reg.start(QUELTA_BIN_DIR "/regsvr", {"/s", QUELTA_BIN_DIR "/libQuelta.so"});
        ASSERT_TRUE(reg.waitForFinished(120000) && reg.exitCode() == 0);
        for (const char* file : {"posta", "postp", "libwsock32.so"})
            fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, root + "prog/" + file,
                          fs::copy_options::overwrite_existing);
    }
    [[nodiscard]] QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUELTA_WINDIR", QString::fromStdString(root + "win"));
        // Under the sanitizers the programs' own tests check their leaks;
        // here the exit-time leak scan, which can itself fail on a loaded
        // machine, must not decide whether mail loops.
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        return env;
    }
    void Account(const std::string& id, const std::string& node, const std::string& address,
                 const std::string& login, const nettest::DovecotServer& pop, int smtpPort) {
        data::test::AppendRow(root + "db", "NODES.DBF",
                              {{"UNIQUE_ID", id},
                               {"NODE", node},
                               {"ADDRESS", address},
                               {"POPADDRESS", pop.Address()},
                               {"LOGIN", login},
                               {"PASSWORD", "secret"},
                               {"SMTPADDRES", "127.0.0.1:" + std::to_string(smtpPort)},
                               {"FREQVAL", "15"}});
        data::test::AppendRow(root + "db", "rules.dbf",
                              {{"UNIQUE_ID", "R" + id},
                               {"LINK_ID", id},
                               {"RULE", "All"},
                               {"COND", "A"},
                               {"ACT1", "Y"},
                               {"ACT2", "Y"}});
    }
    void Agent(const std::string& account, const std::string& name,
               const std::vector<std::array<std::string, 3>>& actions) {
        data::test::AppendRow(root + "db", "Agents.dbf",
                              {{"UNIQUE_ID", "AG" + name}, {"LINK_ID", account}, {"AGENT", name}});
        std::string s = "[MAIN]\r\nAgentType=MESSAGE\r\nTriggerCount=0\r\nActionCount=" +
                        std::to_string(actions.size()) + "\r\n";
        const char* sections[] = {"ACTIONPARAM1", "ACTIONPARAM2", "ACTIONPARAM3"};
        for (int k = 0; k < 3; ++k) {
            s += std::string("[") + sections[k] + "]\r\n";
            for (size_t i = 0; i < actions.size(); ++i)
                s += "Entry" + std::to_string(i + 1) + "=" + actions[i][k] + "\r\n";
        }
        passtest::Spit(root + "agents/" + name + ".agent", s);
    }
    // Every account is due, then postp and posta run one pass each.
    void Round() {
        data::TTable nodes;
        nodes.SetDatabaseName(root + "db");
        nodes.SetTableName("NODES.DBF");
        nodes.Open();
        for (nodes.First(); !nodes.Eof(); nodes.Next()) {
            nodes.Edit();
            nodes.FieldByName("NEXTDATE").SetAsString("1/1/2000");
            nodes.FieldByName("NEXTTIME").SetAsString("08:00");
            nodes.Post();
        }
        nodes.Close();
        for (const char* program : {"postp", "posta"}) {
            QProcess p;
            p.setProcessEnvironment(Environment());
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QString::fromStdString(root + "prog/" + program), {"/SINGLEPASS"});
            const bool done = p.waitForFinished(120000);
            EXPECT_TRUE(done && p.exitCode() == 0) << program << ": " << p.readAll().toStdString();
        }
    }
    [[nodiscard]] std::vector<std::string> Column(const std::string& table,
                                                  const std::string& field) const {
        std::vector<std::string> out;
        data::TTable t;
        t.SetDatabaseName(root + "db");
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            std::string v = t.FieldByName(field).AsString();
            while (!v.empty() && v.back() == ' ')
                v.pop_back();
            out.push_back(v);
        }
        t.Close();
        return out;
    }
    [[nodiscard]] std::vector<std::string> Files(const std::string& folder) const {
        std::vector<std::string> out;
        if (fs::exists(root + folder))
            for (const auto& e : fs::directory_iterator(root + folder))
                out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

bool HavePeers(nettest::DovecotServer& dovecot, std::string& why) {
    if (!passtest::HaveAiosmtpd()) {
        why = "python3-aiosmtpd is not installed";
        return false;
    }
    if (!dovecot.Started()) {
        why = "Dovecot POP3 server not available: " + dovecot.Why();
        return false;
    }
    return true;
}

} // namespace

TEST_F(PostaTest, AutomaticRepliesStopAfterTheFirstRoundEndToEnd) {
    nettest::DovecotServer dovecot;
    std::string why;
    if (!HavePeers(dovecot, why))
        GTEST_SKIP() << why;
    dovecot.AddUser("desk", "secret");
    Relay relay("away@example.net", "new", {{"desk@example.com", dovecot.Folder() + "/mail/desk"}});
    ASSERT_GT(relay.Port(), 0);

    Installation one{root_ + "one/"};
    one.Make();
    one.Account("ACC1", "Sales Desk", "desk@example.com", "desk", dovecot, relay.Port());
    passtest::Spit(
        one.root + "templates/thanks.eml",
        "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you, we will answer soon.\r\n");
    one.Agent("ACC1", "answer", {{{"AUTO-REPLY", one.root + "templates/thanks.eml", ""}}});
    // Mail from the account's own address, from another auto-responder, and
    // from someone whose address no longer exists.
    dovecot.Deliver("desk", Mail("Sales Desk <desk@example.com>", "Note to self", "self"));
    dovecot.Deliver("desk", Mail("Away <away@example.net>", "Question", "away"));
    dovecot.Deliver("desk", Mail("Ghost <ghost@example.net>", "Order", "ghost"));

    std::vector<int> sent;
    for (int round = 0; round < 4; ++round) {
        one.Round();
        sent.push_back(relay.Count());
    }
    const std::string log = passtest::Slurp(one.root + "prog/agentproc.log");
    EXPECT_EQ(sent, (std::vector<int>{2, 2, 2, 2})) << log;

    const std::string no = "AutoReply not sent: ";
    std::vector<std::string> actions = one.Column("ACTIONS.DBF", "ACTION");
    std::sort(actions.begin(), actions.end());
    EXPECT_EQ(actions, (std::vector<std::string>{
                           "AutoReply Generated, SUBJECT: Re: Order",
                           "AutoReply Generated, SUBJECT: Re: Question",
                           no + "the message has no sender (Return-Path: <>)",
                           no + "the message is automatic mail (Auto-Submitted: auto-replied)",
                           no + "the sender is the account's own address (desk@example.com)"}))
        << log;
    // Everything that came in was fetched once and filed.
    EXPECT_EQ(one.Column("RECEIVED.DBF", "MESSAGE_ID").size(), 5u);
    EXPECT_TRUE(dovecot.Mailbox("desk").empty());
}

TEST_F(PostaTest, ARedirectReachesAnAccountThatHoldsTheOriginalEndToEnd) {
    nettest::DovecotServer dovecot;
    std::string why;
    if (!HavePeers(dovecot, why))
        GTEST_SKIP() << why;
    dovecot.AddUser("desk", "secret");
    dovecot.AddUser("vip", "secret");
    Relay relay("away@example.net", "new",
                {{"desk@example.com", dovecot.Folder() + "/mail/desk"},
                 {"vip@example.com", dovecot.Folder() + "/mail/vip"}});
    ASSERT_GT(relay.Port(), 0);

    Installation one{root_ + "one/"};
    one.Make();
    one.Account("ACC1", "Sales Desk", "desk@example.com", "desk", dovecot, relay.Port());
    one.Account("ACC2", "VIP Desk", "vip@example.com", "vip", dovecot, relay.Port());
    one.Agent("ACC1", "vip",
              {{{"REDIRECT TO", "vip@example.com", "VIP customer, call back today"}}});
    // One message to both accounts: the VIP desk holds the original and is
    // sent the redirect too.
    const std::string original =
        ClientMail("Sales Desk <desk@example.com>, VIP Desk <vip@example.com>");
    dovecot.Deliver("desk", original);
    dovecot.Deliver("vip", original);

    for (int round = 0; round < 3; ++round)
        one.Round();
    const std::string log = passtest::Slurp(one.root + "prog/agentproc.log") +
                            passtest::Slurp(one.root + "prog/mailproc.log");
    ASSERT_EQ(relay.Count(), 1) << log;
    EXPECT_EQ(relay.To(1), QStringList{"vip@example.com"});
    // Never dropped: fetched, stored beside the original, filed.
    EXPECT_TRUE(dovecot.Mailbox("vip").empty()) << log;
    const std::vector<std::string> kept = one.Files("messages/ACC2/In");
    ASSERT_EQ(kept.size(), 2u) << log;
    std::vector<std::string> links = one.Column("RECEIVED.DBF", "LINK_ID");
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, (std::vector<std::string>{"ACC1", "ACC2", "ACC2"}));

    // The copy as postp fetched it from Dovecot: an identity of its own,
    // the sender and subject as the client wrote them, the note and the
    // lines on top of the text, the HTML whole.
    const QStringList fields{"Message-ID", "From", "Subject", "To"};
    QJsonObject first = PythonFields(kept[0], fields), second = PythonFields(kept[1], fields);
    if (Values(first, "Message-ID") != QStringList{"<c1.4711@example.net>"})
        std::swap(first, second);
    EXPECT_EQ(Values(first, "Message-ID"), QStringList{"<c1.4711@example.net>"});
    const QJsonObject& redirect = second;
    ASSERT_EQ(Values(redirect, "Message-ID").size(), 1);
    EXPECT_TRUE(Values(redirect, "Message-ID")[0].endsWith("@example.com>"));
    EXPECT_EQ(Values(redirect, "From"),
              QStringList{"=?UTF-8?Q?J=C3=BCrgen_Gro=C3=9F?= <juergen@example.net>"});
    EXPECT_EQ(Values(redirect, "Subject"),
              QStringList{"Bestellung =?UTF-8?Q?f=C3=BCr_K=C3=B6ln?="});
    EXPECT_EQ(Decoded(redirect, "Subject"), QStringList{QString::fromUtf8("Bestellung für Köln")});
    EXPECT_FALSE(redirect["eightbit"].toBool());
    EXPECT_EQ(Texts(redirect),
              (QStringList{"Processed by Quelta Account: Sales Desk\n"
                           "Originally To: Sales Desk <desk@example.com>, VIP Desk "
                           "<vip@example.com>\n"
                           "Message Redirected To: vip@example.com\n" +
                               QString(50, '-') + "\nVIP customer, call back today\n" + Lf(kPlain),
                           Lf(kHtml)}));
    EXPECT_EQ(Texts(first), (QStringList{Lf(kPlain), Lf(kHtml)}));
}

TEST_F(PostaTest, TwoInstallationsAndAResponderWithTheOlderMarksStopEndToEnd) {
    nettest::DovecotServer dovecot;
    std::string why;
    if (!HavePeers(dovecot, why))
        GTEST_SKIP() << why;
    dovecot.AddUser("desk", "secret");
    dovecot.AddUser("help", "secret");
    // A ticket system that answers everything, marked only the older way.
    Relay relay("away@example.net", "old",
                {{"desk@example.com", dovecot.Folder() + "/mail/desk"},
                 {"help@example.org", dovecot.Folder() + "/mail/help"}});
    ASSERT_GT(relay.Port(), 0);

    // The sales desk answers and passes everything on to the help desk of
    // another installation, which answers and passes it on to the ticket
    // system. The reply template is German, in ISO 8859-1.
    const std::string tmpl = "Subject:  Re: <<REPLYHEADER~Subject>>\r\n"
                             "Mime-Version: 1.0\r\n"
                             "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                             "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                             "Sehr geehrte(r) <<REPLYHEADER~FROMNAME>>,\r\n"
                             "vielen Dank f=FCr Ihre Nachricht.\r\n"
                             "Mit freundlichen Gr=FC=DFen\r\n";
    Installation one{root_ + "one/"}, two{root_ + "two/"};
    one.Make();
    two.Make();
    one.Account("ACC1", "Sales Desk", "desk@example.com", "desk", dovecot, relay.Port());
    two.Account("ACC9", "Help Desk", "help@example.org", "help", dovecot, relay.Port());
    for (Installation* i : {&one, &two})
        passtest::Spit(i->root + "templates/danke.eml", tmpl);
    one.Agent("ACC1", "desk",
              {{{"AUTO-REPLY", one.root + "templates/danke.eml", ""},
                {"FORWARD TO", "help@example.org", ""}}});
    two.Agent("ACC9", "help",
              {{{"AUTO-REPLY", two.root + "templates/danke.eml", ""},
                {"FORWARD TO", "away@example.net", ""}}});
    dovecot.Deliver("desk", ClientMail("Sales Desk <desk@example.com>"));

    std::vector<int> sent;
    for (int round = 0; round < 5; ++round) {
        const int before = relay.Count();
        one.Round();
        two.Round();
        sent.push_back(relay.Count() - before);
    }
    const std::string log = passtest::Slurp(one.root + "prog/agentproc.log") + "\n---\n" +
                            passtest::Slurp(two.root + "prog/agentproc.log");
    // Mail sent per round: the reply to the client and the two passes on;
    // the bounce of that reply passed on, and the passed-on message passed
    // on once more; then nothing, however the ticket system answers.
    EXPECT_EQ(sent, (std::vector<int>{3, 2, 0, 0, 0})) << log;

    // The sales desk's answer to the client, as the client reads it.
    const std::string reply = relay.SentTo("juergen@example.net");
    ASSERT_FALSE(reply.empty()) << log;
    const QJsonObject view = PythonFields(reply, {"Subject", "To"});
    EXPECT_FALSE(view["eightbit"].toBool());
    EXPECT_EQ(Decoded(view, "Subject"), QStringList{QString::fromUtf8("Re: Bestellung für Köln")});
    EXPECT_EQ(Decoded(view, "To"),
              QStringList{QString::fromUtf8("Jürgen Groß <juergen@example.net>")});
    EXPECT_EQ(Texts(view), QStringList{QString::fromUtf8("Sehr geehrte(r) Jürgen Groß,\n"
                                                         "vielen Dank für Ihre Nachricht.\n"
                                                         "Mit freundlichen Grüßen\n")});
    // The help desk holds the message as the client wrote it, with the
    // forward's lines on top.
    const std::vector<std::string> held = two.Files("messages/ACC9/In");
    bool found = false;
    for (const std::string& file : held) {
        const QJsonObject m = PythonFields(file, {"Subject"});
        if (Values(m, "Subject") != QStringList{"Bestellung =?UTF-8?Q?f=C3=BCr_K=C3=B6ln?="})
            continue;
        found = true;
        EXPECT_EQ(Texts(m), (QStringList{QString::fromUtf8("Forwarded Message:  Originally from: "
                                                           "Jürgen Groß juergen@example.net\n") +
                                             QString(50, '-') + "\n" + Lf(kPlain),
                                         Lf(kHtml)}));
    }
    EXPECT_TRUE(found) << log;
}
