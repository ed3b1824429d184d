// A real notification area: Xvfb with trayer, the probe program's tray icon
// on it, and clicks by xdotool. Skips only when Xvfb cannot start.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

class Child {
public:
    explicit Child(QProcessEnvironment env) { process_.setProcessEnvironment(env); }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }
    bool Start(const QString& program, const QStringList& args) {
        process_.setProgram(program);
        process_.setArguments(args);
        process_.start();
        return process_.waitForStarted(5000);
    }
    // Waits for a line of output; everything read so far is kept.
    bool WaitFor(const QString& line, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            seen_ += QString::fromUtf8(process_.readAllStandardOutput());
            const qsizetype at = seen_.indexOf(line + '\n');
            if (at >= 0) {
                seen_.remove(0, at + line.size() + 1);
                return true;
            }
            if (process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(100);
        }
        return false;
    }
    QString Seen() const { return seen_; }
    QProcess& Process() { return process_; }

private:
    QProcess process_;
    QString seen_;
};

bool XdoTool(const QProcessEnvironment& env, const QStringList& args, QString* out = nullptr) {
    QProcess xdotool;
    xdotool.setProcessEnvironment(env);
    xdotool.start(QStringLiteral("xdotool"), args);
    if (!xdotool.waitForFinished(60000))
        return false;
    if (out)
        *out = QString::fromUtf8(xdotool.readAllStandardOutput());
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

TEST(RealTray, ClicksOnTheIconFireTheTrayEvents) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb cannot start: it is not installed (Debian package xvfb)";
    // Xvfb picks a free display itself and writes its number to stdout.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Child server(env); // declared first, so the display goes last
    if (!server.Start(xvfb,
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("640x480x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")}))
        GTEST_SKIP() << "Xvfb cannot start: " << server.Process().errorString().toStdString();
    QString number;
    QElapsedTimer timer;
    timer.start();
    while (!number.contains('\n') && timer.elapsed() < 60000 &&
           server.Process().state() == QProcess::Running) {
        server.Process().waitForReadyRead(100);
        number += QString::fromUtf8(server.Process().readAllStandardOutput());
    }
    bool ok = false;
    const int display = number.trimmed().toInt(&ok);
    if (!ok)
        GTEST_SKIP() << "Xvfb cannot start: "
                     << server.Process().readAllStandardError().toStdString();

    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    // No notification area yet: the tray says so instead of vanishing.
    {
        Child early(env);
        ASSERT_TRUE(early.Start(QStringLiteral(QUELTA_BIN_DIR "/widgets_trayprobe"),
                                {QStringLiteral("--no-wait")}));
        EXPECT_TRUE(early.WaitFor(
            QStringLiteral(
                "NoTray no notification area on this desktop (display platform \"xcb\")"),
            60000))
            << early.Seen().toStdString();
    }

    Child trayer(env);
    ASSERT_TRUE(trayer.Start(
        QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
         QStringLiteral("left"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
         QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--heighttype"),
         QStringLiteral("pixel"), QStringLiteral("--height"), QStringLiteral("32")}))
        << "trayer (Debian package trayer) is needed";

    Child probe(env);
    ASSERT_TRUE(probe.Start(QStringLiteral(QUELTA_BIN_DIR "/widgets_trayprobe"), {}));
    ASSERT_TRUE(probe.WaitFor(QStringLiteral("Ready"), 60000))
        << "probe said: " << probe.Seen().toStdString()
        << probe.Process().readAllStandardError().toStdString();

    // The icon's window, once embedded and shown.
    const QString pid = QString::number(probe.Process().processId());
    QString windows;
    for (int tries = 0; tries < 300 && windows.trimmed().isEmpty(); ++tries) {
        XdoTool(env,
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 pid},
                &windows);
        if (windows.trimmed().isEmpty())
            QThread::msleep(200);
    }
    const QString icon = windows.split('\n', Qt::SkipEmptyParts).value(0);
    ASSERT_FALSE(icon.isEmpty()) << "the tray icon never showed on the display";
    QThread::msleep(300);

    ASSERT_TRUE(XdoTool(env, {QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
                              QStringLiteral("6"), QStringLiteral("6")}));
    ASSERT_TRUE(XdoTool(env, {QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(probe.WaitFor(QStringLiteral("SimpelFunction"), 60000))
        << probe.Seen().toStdString();

    QThread::msleep(800); // no double click with the click before
    ASSERT_TRUE(
        XdoTool(env, {QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                      QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")}));
    EXPECT_TRUE(probe.WaitFor(QStringLiteral("DefaultFunction"), 60000))
        << probe.Seen().toStdString();

    QThread::msleep(800);
    ASSERT_TRUE(XdoTool(env, {QStringLiteral("click"), QStringLiteral("3")}));
    EXPECT_TRUE(probe.WaitFor(QStringLiteral("ShowMenu"), 60000)) << probe.Seen().toStdString();
    EXPECT_TRUE(probe.WaitFor(QStringLiteral("MenuShown"), 60000)) << probe.Seen().toStdString();
}

} // namespace
