// What the processor's replies and forwards carry, as a real SMTP server
// (aiosmtpd) receives them and Python's email package reads them: every
// character of every header and body as the message and the template had
// it, whatever sets they were written in; text that cannot go as it is
// goes encoded; nothing is cut without a word.
#include "processor/tests/passfixture.h"

#include "mail/tests/clientmail.h"
#include "mail/tests/pyfields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using passtest::PassTest;
using testpeers::Decoded;
using testpeers::PythonFields;
using testpeers::Texts;
using testpeers::Values;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const std::string& kPlain = testpeers::kClientPlain;
const std::string& kHtml = testpeers::kClientHtml;
const std::string kClientMail = testpeers::ClientMail("Sales Desk <sales@example.com>");

// A reply template as the configuration manager saves German text: ISO
// 8859-1, quoted-printable.
const std::string kLatinTemplate =
    "From:     Sales Desk <sales@example.com>\r\n"
    "Subject:  Re: <<REPLYHEADER~Subject>>\r\n"
    "Mime-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Sehr geehrte(r) <<REPLYHEADER~FROMNAME>>,\r\n"
    "vielen Dank f=FCr Ihre Nachricht =FCber <<REPLYHEADER~Subject>>.\r\n"
    "Ihr Text:\r\n"
    "<<REPLYHEADER~BODY>>\r\n"
    "Mit freundlichen Gr=FC=DFen\r\n";

} // namespace

TEST_F(PassTest, RepliesAndForwardsKeepEveryCharacterInASetThatHoldsIt) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    const std::string tmpl = root_ + "templates/danke.eml";
    passtest::Spit(tmpl, kLatinTemplate);
    // The note as the configuration manager writes it: UTF-8.
    WriteAgent("desk", {},
               {{{"AUTO-REPLY", tmpl, ""},
                 {"FORWARD TO", "lager@example.com",
                  "Bitte pr\xC3\xBC"
                  "fen (\xE2\x82\xAC 40)"}}});
    passtest::Spit(Pending("ACC1") + "c1.eml", kClientMail);
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 2);
    EXPECT_EQ(sink.Recipients(1), QStringList{"juergen@example.net"});
    EXPECT_EQ(sink.Recipients(2), QStringList{"lager@example.com"});
    const QStringList fields{"Subject", "To", "From"};

    const QJsonObject reply = PythonFields(sink.Dir() + "/1.eml", fields);
    EXPECT_FALSE(reply["eightbit"].toBool());
    EXPECT_EQ(Decoded(reply, "Subject"), QStringList{U("Re: Bestellung für Köln")});
    EXPECT_EQ(Decoded(reply, "To"), QStringList{U("Jürgen Groß <juergen@example.net>")});
    EXPECT_EQ(Texts(reply),
              QStringList{U("Sehr geehrte(r) Jürgen Groß,\n"
                            "vielen Dank für Ihre Nachricht über Bestellung für Köln.\n"
                            "Ihr Text:\n"
                            "Guten Tag,\n\nbitte liefern Sie 3 Stück nach Köln.\nGrüße, Jürgen\n"
                            "Mit freundlichen Grüßen\n")});

    const QJsonObject forward = PythonFields(sink.Dir() + "/2.eml", fields);
    EXPECT_FALSE(forward["eightbit"].toBool());
    // The subject as the client wrote it, character for character.
    EXPECT_EQ(Values(forward, "Subject"), QStringList{"Bestellung =?UTF-8?Q?f=C3=BCr_K=C3=B6ln?="});
    EXPECT_EQ(Decoded(forward, "From"), QStringList{"Sales Desk <sales@example.com>"});
    EXPECT_EQ(Texts(forward), (QStringList{U("Forwarded Message:  Originally from: Jürgen Groß "
                                             "juergen@example.net\n") +
                                               QString(50, '-') + U("\nBitte prüfen (€ 40)\n") +
                                               QString::fromStdString(kPlain).replace("\r\n", "\n"),
                                           QString::fromStdString(kHtml).replace("\r\n", "\n")}));
}

TEST_F(PassTest, TextThatCannotGoAsItIsGoesEncodedAndWhole) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    // A line of 5,000 bytes of UTF-8, in a template without MIME, in a
    // message passed on inside another, and in uuencoded mail.
    std::string line;
    while (line.size() < 5000)
        line += "K\xC3\xB6ln \xE2\x82\xAC\xC3\x9F";
    const std::string tmpl = root_ + "templates/long.eml";
    passtest::Spit(tmpl, "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\n" + line + "\r\n");
    WriteAgent("desk", {{"Subject", "contains", "reply"}}, {{{"AUTO-REPLY", tmpl, ""}}});
    Attach("ACC1", "AG2", "pass");
    WriteAgent("pass", {{"Subject", "contains", "pass"}},
               {{{"FORWARD TO", "lager@example.com", ""}}});
    AddMessage("ACC1", "a.eml", "Ann <ann@example.net>", "please reply", "x\r\n",
               "Message-ID: <a@example.net>\r\n");
    const std::string inner = "From: Bob <bob@example.net>\r\nSubject: inner\r\n"
                              "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                              "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                              line + "\r\nend\r\n";
    passtest::Spit(
        Pending("ACC1") + "b.eml",
        "From: Ann <ann@example.net>\r\nTo: sales@example.com\r\nSubject: pass rfc822\r\n"
        "Message-ID: <b@example.net>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\nSee below.\r\n--b1\r\n"
        "Content-Type: message/rfc822\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
            inner + "--b1--\r\n");
    // Header text and a file name in 8-bit, as some programs still write them.
    passtest::Spit(
        Pending("ACC1") + "d.eml",
        "From: Ann <ann@example.net>\r\nTo: sales@example.com\r\nSubject: pass names\r\n"
        "Reply-To: J\xC3\xBCrgen Gro\xC3\x9F <juergen@example.net>\r\n"
        "Thread-Topic: K\xC3\xB6ln\r\nMessage-ID: <d@example.net>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\nSee the plan.\r\n--b1\r\n"
        "Content-Type: application/pdf; name=\"Plan K\xC3\xB6ln.pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--b1--\r\n");
    passtest::Spit(Pending("ACC1") + "c.eml",
                   "From: Ann <ann@example.net>\r\nTo: sales@example.com\r\nSubject: pass uu\r\n"
                   "Message-ID: <c@example.net>\r\n\r\n" +
                       line + "\r\n\r\nbegin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 4);
    const QString text = QString::fromUtf8(line);
    for (int n = 1; n <= 4; ++n) {
        const QJsonObject view = PythonFields(sink.Dir() + "/" + std::to_string(n) + ".eml",
                                              {"Reply-To", "Thread-Topic"});
        EXPECT_LE(view["longest"].toInt(), 998) << n;
        EXPECT_FALSE(view["eightbit"].toBool()) << n;
        const QStringList texts = Texts(view);
        ASSERT_FALSE(texts.isEmpty()) << n;
        if (n == 1) { // the reply
            EXPECT_EQ(texts, QStringList{text + "\n"});
        } else if (n == 2) { // the message inside the forward, read whole
            EXPECT_EQ(texts.last(), text + "\nend");
        } else if (n == 3) { // uuencoded mail sent the MIME way
            EXPECT_TRUE(texts[0].contains(text + "\n")) << texts[0].left(80).toStdString();
            EXPECT_EQ(view["parts"].toArray().last().toString().toStdString(), "616263");
        } else { // 8-bit header text and file name, encoded
            EXPECT_EQ(Decoded(view, "Reply-To"),
                      QStringList{U("Jürgen Groß <juergen@example.net>")});
            EXPECT_EQ(Decoded(view, "Thread-Topic"), QStringList{U("Köln")});
            EXPECT_EQ(view["names"].toArray().last().toString(), U("Plan Köln.pdf"));
            EXPECT_EQ(view["parts"].toArray().last().toString().toStdString(), "25504446");
        }
    }
    EXPECT_EQ(Actions().size(), 4u);
}

TEST_F(PassTest, LongHeaderTextIsKeptAndWhatMustBeCutIsTold) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    const std::string tmpl = root_ + "templates/thanks.eml";
    passtest::Spit(tmpl, "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you.\r\n");
    WriteAgent("desk", {},
               {{{"AUTO-REPLY", tmpl, ""}, {"REDIRECT TO", "archive@example.com", ""}}});
    const std::string longId = "<" + std::string(5000, 'i') + "@example.net>";
    std::string subject;
    while (subject.size() < 300)
        subject += "K\xC3\xB6ln ";
    std::string encoded;
    for (unsigned char c : subject) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "=%02X", c);
        encoded += hex;
    }
    const std::string blob(1u << 20, 'b');
    AddMessage("ACC1", "a.eml", "Ann <ann@example.net>", "=?utf-8?q?" + encoded + "?=", "x\r\n",
               "Message-ID: " + longId + "\r\nX-Blob: " + blob + "\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 2);
    const QStringList fields{"Subject", "In-Reply-To", "References", "Message-ID", "X-Blob"};
    const QJsonObject reply = PythonFields(sink.Dir() + "/1.eml", fields);
    const QJsonObject redirect = PythonFields(sink.Dir() + "/2.eml", fields);
    // The reply's subject holds 255 characters: cut before a character, and told.
    ASSERT_EQ(Decoded(reply, "Subject").size(), 1);
    const QString replySubject = Decoded(reply, "Subject")[0];
    EXPECT_TRUE(QString::fromUtf8("Re: " + subject).startsWith(replySubject));
    EXPECT_GT(replySubject.toUtf8().size(), 250);
    EXPECT_LE(replySubject.toUtf8().size(), 255);
    // An identifier too long for a line is never sent cut.
    EXPECT_TRUE(Values(reply, "In-Reply-To").isEmpty());
    EXPECT_TRUE(Values(reply, "References").isEmpty());
    // The redirect: its own identity; the subject and the megabyte word whole.
    ASSERT_EQ(Values(redirect, "Message-ID").size(), 1);
    EXPECT_TRUE(Values(redirect, "Message-ID")[0].endsWith("@example.com>"));
    EXPECT_EQ(Decoded(redirect, "Subject"), QStringList{QString::fromUtf8(subject)});
    EXPECT_EQ(Decoded(redirect, "X-Blob"), QStringList{QString::fromStdString(blob)});
    EXPECT_LE(redirect["longest"].toInt(), 998);

    const std::string cut = "AutoReply with a change: the subject of " +
                            std::to_string(4 + subject.size()) + " characters was cut to 255";
    const std::string left = "Mail sent with a change: ";
    std::vector<std::string> actions = Actions();
    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(actions[0], cut);
    EXPECT_TRUE(actions[1].starts_with("AutoReply Generated, SUBJECT: Re: K\xC3\xB6ln"));
    actions.erase(actions.begin(), actions.begin() + 2);
    EXPECT_EQ(actions, (std::vector<std::string>{
                           left + "In-Reply-To: an identifier of 5014 characters was left out",
                           left + "References: an identifier of 5014 characters was left out",
                           "Message Redirected to: archive@example.com"}));
    EXPECT_TRUE(LogHas(cut));
    EXPECT_TRUE(LogHas(left + "In-Reply-To: an identifier of 5014 characters was left out"));
}

TEST_F(PassTest, AQuotedLocalPartIsKeptAsWritten) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    const std::string tmpl = root_ + "templates/thanks.eml";
    passtest::Spit(tmpl, "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you.\r\n");
    WriteAgent("desk", {},
               {{{"AUTO-REPLY", tmpl, ""}, {"FORWARD TO", "\"john doe\"@example.com", ""}}});
    AddMessage("ACC1", "a.eml", "John <\"john doe\"@example.net>", "Hello", "x\r\n",
               "Message-ID: <a@example.net>\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();

    ASSERT_EQ(sink.Count(), 2);
    EXPECT_EQ(sink.Recipients(1), QStringList{"\"john doe\"@example.net"});
    EXPECT_EQ(sink.Recipients(2), QStringList{"\"john doe\"@example.com"});
    EXPECT_EQ(Actions(),
              (std::vector<std::string>{"AutoReply Generated, SUBJECT: Re: Hello",
                                        "Message Forwarded to: \"john doe\"@example.com"}));
    const QJsonObject reply = PythonFields(sink.Dir() + "/1.eml", {"To"});
    EXPECT_EQ(Values(reply, "To"), QStringList{"John <\"john doe\"@example.net>"});
}
