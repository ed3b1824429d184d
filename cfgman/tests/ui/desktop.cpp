#include "cfgman/tests/ui/desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace uitest {

namespace {

// Reads a first line of output (a display number, a bus address).
QString FirstLine(QProcess& p, int ms) {
    QElapsedTimer timer;
    timer.start();
    QByteArray seen;
    while (!seen.contains('\n') && timer.elapsed() < ms && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        seen += p.readAllStandardOutput();
    }
    return QString::fromUtf8(seen).section('\n', 0, 0).trimmed();
}

} // namespace

TDesktop::TDesktop() {
    for (const char* tool : {"Xvfb", "xdotool", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            failure_ = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
            return;
        }
    env_ = QProcessEnvironment::systemEnvironment();
    env_.remove(QStringLiteral("WAYLAND_DISPLAY"));

    auto* bus = Start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
    const QString address = bus ? FirstLine(*bus, 15000) : QString();
    if (address.isEmpty()) {
        failure_ = QStringLiteral("the session bus did not start");
        return;
    }
    env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    auto* x = Start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    bool ok = false;
    const int display = x ? FirstLine(*x, 15000).toInt(&ok) : 0;
    if (!ok) {
        failure_ = QStringLiteral("Xvfb did not start");
        return;
    }
    env_.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env_.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env_.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("0"));
    const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
    if (!QFileInfo::exists(launcher)) {
        failure_ = QStringLiteral("the accessibility bus (at-spi2-core) is not installed");
        return;
    }
    Start(launcher, {QStringLiteral("--launch-immediately")});
    QThread::msleep(500);
}

TDesktop::~TDesktop() {
    // Last started, first ended: the programs before the display and the bus.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        QProcess& p = **it;
        if (p.state() == QProcess::NotRunning)
            continue;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }
}

QProcess* TDesktop::Start(const QString& program, const QStringList& args,
                          const QProcessEnvironment& extra) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = env_;
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    p->setProcessEnvironment(env);
    p->setProgram(program);
    p->setArguments(args);
    p->start();
    if (!p->waitForStarted(10000))
        return nullptr;
    children_.push_back(std::move(p));
    return children_.back().get();
}

bool TDesktop::XdoTool(const QStringList& args, QString* out) {
    QProcess xdotool;
    xdotool.setProcessEnvironment(env_);
    xdotool.start(QStringLiteral("xdotool"), args);
    if (!xdotool.waitForFinished(15000))
        return false;
    if (out)
        *out = QString::fromUtf8(xdotool.readAllStandardOutput());
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

bool TDesktop::Keys(const QStringList& keys) {
    for (const QString& k : keys) {
        if (!XdoTool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), k}))
            return false;
        QThread::msleep(250);
    }
    return true;
}

bool TDesktop::Type(const QString& text) {
    const bool ok =
        XdoTool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
    QThread::msleep(250);
    return ok;
}

bool TDesktop::Click(const TUiNode& node) {
    const bool ok = XdoTool({QStringLiteral("mousemove"), QString::number(node.X + node.W / 2),
                             QString::number(node.Y + node.H / 2)}) &&
                    XdoTool({QStringLiteral("click"), QStringLiteral("1")});
    QThread::msleep(300);
    return ok;
}

std::vector<TUiNode> TDesktop::Tree(const QString& app) {
    QProcess reader;
    reader.setProcessEnvironment(env_);
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(QUELTA_SOURCE_DIR "/cfgman/tests/ui/uitree.py"), app});
    std::vector<TUiNode> nodes;
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0)
        return nodes;
    const QStringList lines =
        QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList f = line.split('\t');
        if (f.size() < 7)
            continue;
        nodes.push_back(
            {f[0].toInt(), f[1], f[2], f[3].toInt(), f[4].toInt(), f[5].toInt(), f[6].toInt()});
    }
    return nodes;
}

bool TDesktop::WaitFor(const QString& app, const std::function<bool(const TUiNode&)>& pick, int ms,
                       TUiNode* found) {
    QElapsedTimer timer;
    timer.start();
    do {
        for (const TUiNode& n : Tree(app))
            if (pick(n)) {
                if (found)
                    *found = n;
                return true;
            }
        QThread::msleep(300);
    } while (timer.elapsed() < ms);
    return false;
}

QString TDesktop::WaitForWindow(const QString& title, int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        QString out;
        if (XdoTool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)},
                    &out) &&
            !out.trimmed().isEmpty())
            return out.split('\n', Qt::SkipEmptyParts).value(0);
        QThread::msleep(300);
    } while (timer.elapsed() < ms);
    return {};
}

std::function<bool(const TUiNode&)> Named(const QString& role, const QString& name) {
    return [role, name](const TUiNode& n) { return n.Role == role && n.Name == name; };
}

} // namespace uitest
