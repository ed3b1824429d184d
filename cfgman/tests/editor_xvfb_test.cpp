// The real cfgman on a desktop of its own: a user opens a message file
// through File, Open, types its path into the file dialog, edits the body,
// saves and closes; Python's email package reads what was saved.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/msmsg.h"

#include <QElapsedTimer>
#include <QThread>

namespace cfgtest {
namespace {

const QString kApp = QStringLiteral("Quelta Mail Management System");

class EditorXvfbTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }
    bool Focus(const QString& title) {
        const QString id = desktop_.WaitForWindow(title, uitest::kHang);
        return !id.isEmpty() &&
               desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
};

TEST_F(EditorXvfbTest, AUserOpensAMessageFileEditsAndSavesIt) {
    PointIniAtTest();
    const std::string path = root_ + "outbox/offer.eml";
    {
        TmsMessage m;
        m.Sender().SetAddress("sales@example.com");
        m.Recipients().Add("ann@example.com", "Ann Smith");
        m.Headers().Add("X-Order: 4711");
        m.SetSubject("Your offer");
        m.Body().Add("Dear Ann,");
        std::filesystem::create_directories(root_ + "outbox");
        m.SaveToFile(path);
    }
    QProcess* cfgman = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(desktop_.WaitFor(
        kApp, uitest::Named(QStringLiteral("table cell"), QStringLiteral("E-Mail Accounts")),
        uitest::kHang));

    // File, Open, E-Mail Message...: the dialog, the path typed, Enter.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("Down"),
                               QStringLiteral("Right"), QStringLiteral("Return")}));
    ASSERT_TRUE(Focus(QStringLiteral("Open rfc822 MIME Message File")));
    // The name field has the caret before the path is typed.
    ASSERT_TRUE(desktop_.WaitFor(kApp, uitest::Focused(QStringLiteral("text")), uitest::kHang));
    ASSERT_TRUE(desktop_.Type(QString::fromStdString(path)));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));

    // The editor shows the message; the body has the caret.
    ASSERT_TRUE(Focus(QStringLiteral("Your offer"))) << "the editor never showed";
    ASSERT_TRUE(desktop_.WaitFor(
        kApp, [](const uitest::TUiNode& n) { return n.Name == QStringLiteral("Your offer"); },
        uitest::kHang));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("ctrl+End"), QStringLiteral("Return")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Thanks for asking.")));
    const std::string before = Slurp(path);
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("s")}));
    QElapsedTimer timer;
    timer.start();
    while (Slurp(path) == before && timer.elapsed() < uitest::kHang)
        QThread::msleep(100);
    ASSERT_NE(Slurp(path), before) << "Save wrote nothing";
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("c")}));
    // Saved, so it closes without a question.
    timer.restart();
    while (!desktop_.WaitForWindow(QStringLiteral("Your offer"), 200).isEmpty() &&
           timer.elapsed() < uitest::kHang)
        QThread::msleep(100);
    EXPECT_TRUE(desktop_.WaitForWindow(QStringLiteral("Your offer"), 200).isEmpty());

    ASSERT_TRUE(Focus(QStringLiteral("Quelta Configuration Manager")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(uitest::kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);

    QProcess py;
    py.setProcessChannelMode(QProcess::MergedChannels);
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import sys, email\n"
                             "from email import policy\n"
                             "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), "
                             "policy=policy.default)\n"
                             "print('to', m['To'].addresses[0].addr_spec)\n"
                             "print('order', m['X-Order'])\n"
                             "print('body', m.get_content().splitlines())\n"),
              QString::fromStdString(path)});
    ASSERT_TRUE(py.waitForFinished(uitest::kHang));
    const QString out = QString::fromUtf8(py.readAll());
    EXPECT_TRUE(out.contains(QStringLiteral("to ann@example.com"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("order 4711"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("body ['Dear Ann,', 'Thanks for asking.']")))
        << out.toStdString();
}

} // namespace
} // namespace cfgtest
