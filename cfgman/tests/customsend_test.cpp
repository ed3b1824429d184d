// Custom Send: the shown message with the dialog's character set, encoding,
// sender and copies, sent to aiosmtpd headless and from the received
// window, read back with Python's email package.
#include "cfgman/core/outgoing.h"
#include "cfgman/frmcustomsend.h"
#include "cfgman/frminmessage.h"
#include "cfgman/tests/mainfixture.h"
#include "cfgman/tests/pymail.h"
#include "mail/mssmtp.h"
#include "mail/tests/smtp_sink.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <algorithm>

namespace cfgtest {
namespace {

using testpeers::HaveAiosmtpd;
using testpeers::SmtpSink;

const std::string kFile = std::string("\x00\x01\xfe figures", 11);

std::string ServerOf(const SmtpSink& sink) {
    return "127.0.0.1:" + std::to_string(sink.Port());
}

class CustomSendTest : public CfgTest {};

TEST_F(CustomSendTest, CopiesStopWhenAskedAndCarryTheChosenCodings) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    Spit(root_ + "figures.bin", kFile);
    TmsSMTP smtp;
    smtp.SetWinsockLoaded(true);
    cfgman::TShownMessage shown{"iso-8859-1",
                                "Desk <desk@example.com>",
                                "ann@example.com; Bob <bob@example.com>",
                                "carl@example.com",
                                "Gr\xfc\xdf"
                                "e",
                                {"F\xfcr Sie.", ".", "Ende"},
                                {root_ + "figures.bin"}};
    TmsMessage message;
    cfgman::MakeCustomSendMessage(shown, csISO8859, meMIME, message);
    auto r = cfgman::SendCopies(smtp, ServerOf(sink), message, 5, [](int n, int) { return n < 3; });
    EXPECT_EQ(cfgman::CopiesLogLine(r, "mx"),
              "Custom Send stopped: 2 of 5 copies sent through mx.");
    ASSERT_EQ(sink.Count(), 2);
    EXPECT_NE(
        sink.Read("2.json").find(R"(["ann@example.com", "bob@example.com", "carl@example.com"])"),
        std::string::npos);
    QJsonObject m = PyMail(sink.Dir() + "/2.eml");
    EXPECT_EQ(m["from_addr"].toArray(), QJsonArray{"desk@example.com"});
    EXPECT_EQ(m["cc"].toArray(), QJsonArray{"carl@example.com"});
    EXPECT_EQ(m["subject"].toString(), QString::fromUtf8("Grüße"));
    EXPECT_EQ(m["charset"].toString() + " " + m["cte"].toString(), "iso-8859-1 quoted-printable");
    EXPECT_EQ(m["body"].toString(), QString::fromUtf8("Für Sie.\n.\nEnde\n"));
    EXPECT_EQ(m["attachments"].toObject()["figures.bin"].toString(), Hex(kFile));
    EXPECT_EQ(smtp.MailMessage(), nullptr);

    shown.Charset = "";
    shown.Subject = "Figures";
    shown.Body = {"Attached."};
    cfgman::MakeCustomSendMessage(shown, csUSASCII, meUU, message);
    r = cfgman::SendCopies(smtp, ServerOf(sink), message, 1, {});
    EXPECT_EQ(cfgman::CopiesLogLine(r, "mx"), "Custom Send: 1 copy sent through mx.");
    m = PyMail(sink.Dir() + "/3.eml");
    EXPECT_FALSE(m["mime"].toBool());
    EXPECT_TRUE(m["body"].toString().startsWith("Attached.\n"));
    EXPECT_EQ(m["uu"].toObject()["figures.bin"].toString(), Hex(kFile));

    // A domain the server refuses: its reply, and nothing more goes out.
    shown.CC = "carl@example..com";
    cfgman::MakeCustomSendMessage(shown, csUSASCII, meMIME, message);
    r = cfgman::SendCopies(smtp, ServerOf(sink), message, 3, {});
    EXPECT_EQ(
        cfgman::CopiesLogLine(r, "mx"),
        "Custom Send failed after 0 of 3 copies through mx: 553 5.1.3 Error: malformed address");
    EXPECT_EQ(sink.Count(), 3);
    EXPECT_FALSE(smtp.IsOpen());
}

TEST_F(CustomSendTest, UUEncodedTextThatCannotGoAsItIsGoesTheMimeWay) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    Spit(root_ + "figures.bin", kFile);
    TmsSMTP smtp;
    smtp.SetWinsockLoaded(true);
    // Text with umlauts in UUEncode, to a quoted local part as written.
    cfgman::TShownMessage shown{"iso-8859-1",
                                "Desk <desk@example.com>",
                                "John <\"john doe\"@example.com>",
                                "",
                                "Gr\xfc\xdf"
                                "e",
                                {"F\xfcr Sie.", "Ende"},
                                {root_ + "figures.bin"}};
    TmsMessage message;
    cfgman::MakeCustomSendMessage(shown, csISO8859, meUU, message);
    auto r = cfgman::SendCopies(smtp, ServerOf(sink), message, 1, {});
    EXPECT_EQ(cfgman::CopiesLogLine(r, "mx"), "Custom Send: 1 copy sent through mx.");
    ASSERT_EQ(sink.Count(), 1);
    EXPECT_NE(sink.Read("1.json").find(R"(["\"john doe\"@example.com"])"), std::string::npos);
    const std::string raw = sink.Read("1.eml");
    EXPECT_EQ(std::count_if(raw.begin(), raw.end(), [](char c) { return c & 0x80; }), 0);
    const QJsonObject m = PyMail(sink.Dir() + "/1.eml");
    EXPECT_TRUE(m["mime"].toBool());
    EXPECT_EQ(m["to"].toArray(), QJsonArray{"\"john doe\"@example.com"});
    EXPECT_EQ(m["subject"].toString(), QString::fromUtf8("Grüße"));
    EXPECT_EQ(m["charset"].toString(), "iso-8859-1");
    EXPECT_EQ(m["body"].toString(), QString::fromUtf8("Für Sie.\nEnde\n"));
    EXPECT_EQ(m["attachments"].toObject()["figures.bin"].toString(), Hex(kFile));
}

TEST_F(CustomSendTest, WhatCannotBeSentIsNamedBeforeConnecting) {
    const struct {
        std::string from, to, error;
    } cases[] = {
        {" ", "ann@example.com", "Custom Send needs a From address"},
        {"Sales Desk", "ann@example.com", "\"Sales Desk\" is not a mail address"},
        {"desk@example.com", " ; ", "Custom Send needs a recipient"},
        {"desk@example.com", "ann@example.com; ann smith", "\"ann smith\" is not a mail address"},
    };
    TmsMessage message;
    for (const auto& c : cases) {
        const cfgman::TShownMessage shown{"", c.from, c.to, "", "s", {"b"}, {}};
        try {
            cfgman::MakeCustomSendMessage(shown, csUSASCII, meMIME, message);
            ADD_FAILURE() << c.to << ": no error";
        } catch (const EMessageError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
    TmsSMTP smtp;
    for (int copies : {0, cfgman::kMaxCopies + 1})
        EXPECT_THROW((void)cfgman::SendCopies(smtp, "mx", message, copies, {}), EMessageError);
}

// The received window: the dialog, the progress with its Cancel, and the
// report in the status window.
class CustomSendWindowTest : public MainTest {
protected:
    void SetUp() override {
        MainTest::SetUp();
        AddGroup("G1", "Sales");
        AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"}, {"LINK_ID", "G1"}, {"NODE", "Orders"}});
        AppendRow("RECEIVED.DBF",
                  {{"MESSAGE_ID", "<r1@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "r.eml"}});
        Spit(root_ + "figures.bin", kFile);
        TmsMessage m;
        m.Sender().SetAddress("ann@example.com");
        m.Recipients().Add("orders@example.com", "");
        m.SetSubject("Lamps");
        m.Body().Add("Two lamps.");
        m.Attachments().AddFile(root_ + "figures.bin");
        std::filesystem::create_directories(root_ + "messages/A1/In");
        m.SaveToFile(root_ + "messages/A1/In/r.eml");
    }
    cfgman::TfrmInMessage* OpenReceived(const std::string& server) {
        Spit(root_ + "win/MAIL.INI",
             "[Internet]\r\nDefaultFromAddress=desk@example.com\r\nSMTPAddress=" + server + "\r\n");
        Start();
        Select(Node({0, 0}));
        SelectRow(main_->lstVReceived, 0);
        main_->MenuItem2->trigger();
        return LastEditor<cfgman::TfrmInMessage>();
    }
    // OK in the dialog after fill; whileSending runs once on the progress
    // dialog, which the network waits keep served.
    void Send(cfgman::TfrmInMessage* window, std::function<void(cfgman::TfrmCustomSend*)> fill,
              std::function<void(QProgressDialog*)> whileSending) {
        WhenModal([fill](QWidget* w) {
            auto* d = qobject_cast<cfgman::TfrmCustomSend*>(w);
            ASSERT_NE(d, nullptr);
            fill(d);
            d->btnOK->click();
        });
        progress_.clear();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* p = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (p && progress_.isEmpty()) {
                progress_ = p->labelText();
                whileSending(p);
            }
        });
        poll.start(0);
        window->FileCustomSend->trigger();
    }
    QString progress_;
};

TEST_F(CustomSendWindowTest, TheShownMessageGoesOutAsChosenAndCancelStopsTheCopies) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    cfgman::TfrmInMessage* window = OpenReceived(ServerOf(sink));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(main_->frmCustomSend->edtFrom->text(), "desk@example.com");
    window->edtCC->setText("carl@example.com");
    window->REBody->setPlainText(QString::fromUtf8("One costs €10."));
    Send(
        window,
        [](cfgman::TfrmCustomSend* d) {
            d->cmbCharSet->setCurrentIndex(1);
            d->spnCopies->setValue(2);
        },
        [](QProgressDialog*) {});
    EXPECT_EQ(progress_, "Sending copy 1 of 2...");
    ASSERT_EQ(sink.Count(), 2) << LastLine();
    EXPECT_TRUE(
        LastLine().ends_with(" -- Custom Send: 2 copies sent through " + ServerOf(sink) + "."))
        << LastLine();
    const QJsonObject m = PyMail(sink.Dir() + "/2.eml");
    EXPECT_EQ(m["to"].toArray(), QJsonArray{"ann@example.com"});
    EXPECT_EQ(m["cc"].toArray(), QJsonArray{"carl@example.com"});
    EXPECT_EQ(m["subject"].toString(), "Lamps");
    // ISO 8859-1 has no euro sign: the text goes out whole, in UTF-8.
    EXPECT_EQ(m["charset"].toString() + " " + m["cte"].toString(), "utf-8 quoted-printable");
    EXPECT_EQ(m["body"].toString(), QString::fromUtf8("One costs €10.\n"));
    EXPECT_EQ(m["attachments"].toObject()["figures.bin"].toString(), Hex(kFile));

    Send(
        window, [](cfgman::TfrmCustomSend* d) { d->spnCopies->setValue(500); },
        [](QProgressDialog* p) { p->cancel(); });
    const int sent = sink.Count() - 2;
    EXPECT_LT(sent, 500);
    EXPECT_TRUE(LastLine().ends_with(" -- Custom Send stopped: " + std::to_string(sent) +
                                     " of 500 copies sent through " + ServerOf(sink) + "."))
        << LastLine();
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(CustomSendWindowTest, NoServerIsSaidAndARefusalReachesTheStatusWindow) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    cfgman::TfrmInMessage* window = OpenReceived("  ");
    ASSERT_NE(window, nullptr);
    WhenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    window->FileCustomSend->trigger();
    EXPECT_TRUE(boxes_.empty());
    Send(
        window, [](cfgman::TfrmCustomSend*) {}, [](QProgressDialog*) {});
    EXPECT_EQ(boxes_, std::vector<std::string>{
                          "You must enter a valid SMTP address in the preferences dialog box"});

    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    Spit(root_ + "win/MAIL.INI", "[Internet]\r\nSMTPAddress=" + ServerOf(sink) + "\r\n");
    window->edtRecipients->setText("ann@example..com");
    Send(
        window, [](cfgman::TfrmCustomSend*) {}, [](QProgressDialog*) {});
    EXPECT_EQ(main_->ErrorCount(), 1);
    EXPECT_TRUE(LastLine().ends_with(" -- Error-Custom Send failed after 0 of 1 copy through " +
                                     ServerOf(sink) + ": 553 5.1.3 Error: malformed address"))
        << LastLine();
    EXPECT_TRUE(status_->isVisible());
    EXPECT_EQ(sink.Count(), 0);
}

} // namespace
} // namespace cfgtest
