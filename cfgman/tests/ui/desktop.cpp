#include "cfgman/tests/ui/desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cstdlib>

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

// Whether a name has its owner on the session bus.
bool SessionBusHas(const QProcessEnvironment& env, const QString& name) {
    QProcess ask;
    ask.setProcessEnvironment(env);
    ask.start(
        QStringLiteral("dbus-send"),
        {QStringLiteral("--session"), QStringLiteral("--print-reply"),
         QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
         QStringLiteral("org.freedesktop.DBus.NameHasOwner"), QStringLiteral("string:") + name});
    return ask.waitForFinished(kHang) && ask.exitCode() == 0 &&
           ask.readAllStandardOutput().contains("boolean true");
}

} // namespace

TDesktop::TDesktop() {
    for (const char* tool : {"Xvfb", "xdotool", "dbus-daemon", "dbus-send"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            failure_ = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
            return;
        }
    env_ = QProcessEnvironment::systemEnvironment();
    env_.remove(QStringLiteral("WAYLAND_DISPLAY"));

    auto* bus = Start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
    const QString address = bus ? FirstLine(*bus, kHang) : QString();
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
    const int display = x ? FirstLine(*x, kHang).toInt(&ok) : 0;
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
    // A program looks for the accessibility bus once, when it starts. Asking
    // for the name's owner starts no second launcher, as a call to it would.
    QElapsedTimer timer;
    timer.start();
    while (!SessionBusHas(env_, QStringLiteral("org.a11y.Bus"))) {
        if (timer.elapsed() > kHang) {
            failure_ = QStringLiteral("the accessibility bus did not start");
            return;
        }
        QThread::msleep(100);
    }
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
    if (!p->waitForStarted(kHang))
        return nullptr;
    children_.push_back(std::move(p));
    return children_.back().get();
}

bool TDesktop::XdoTool(const QStringList& args, QString* out) {
    QProcess xdotool;
    xdotool.setProcessEnvironment(env_);
    xdotool.start(QStringLiteral("xdotool"), args);
    if (!xdotool.waitForFinished(kHang))
        return false;
    if (out)
        *out = QString::fromUtf8(xdotool.readAllStandardOutput());
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

bool TDesktop::Keys(const QStringList& keys) {
    for (const QString& k : keys)
        if (!XdoTool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), k}))
            return false;
    return true;
}

bool TDesktop::Type(const QString& text) {
    return XdoTool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

bool TDesktop::Click(const TUiNode& node) {
    const int x = node.X + node.W / 2;
    const int y = node.Y + node.H / 2;
    // Two presses close in place and time are a double click (Qt's interval
    // is 400 ms). The time counts from when the display had handled the
    // last click, so a busy machine only makes the two further apart.
    constexpr qint64 kApart = 1000;
    if (std::abs(x - lastX_) + std::abs(y - lastY_) < 20 && sinceClick_.isValid() &&
        sinceClick_.elapsed() < kApart)
        QThread::msleep(static_cast<unsigned long>(kApart - sinceClick_.elapsed()));
    // The pointer's place is asked of the display after the click, so the
    // display has handled the click when the answer comes.
    const bool ok =
        XdoTool({QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                 QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("getmouselocation")});
    lastX_ = x;
    lastY_ = y;
    sinceClick_.start();
    return ok;
}

std::vector<TUiNode> TDesktop::Tree(const QString& app) {
    QProcess reader;
    reader.setProcessEnvironment(env_);
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(QUELTA_SOURCE_DIR "/cfgman/tests/ui/uitree.py"), app});
    std::vector<TUiNode> nodes;
    if (!reader.waitForFinished(kHang) || reader.exitCode() != 0)
        return nodes;
    const QStringList lines =
        QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList f = line.split('\t');
        if (f.size() < 7)
            continue;
        nodes.push_back({f[0].toInt(), f[1], f[2], f[3].toInt(), f[4].toInt(), f[5].toInt(),
                         f[6].toInt(), f.value(7) == QStringLiteral("1")});
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

bool TDesktop::WaitGone(const QString& title, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!WaitForWindow(title, 0).isEmpty()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(100);
    }
    return true;
}

QStringList TDesktop::Windows(qint64 pid) {
    QString out;
    if (!XdoTool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--pid"), QString::number(pid)},
                 &out))
        return {};
    return out.split('\n', Qt::SkipEmptyParts);
}

QString TDesktop::WaitForNewWindow(qint64 pid, const QStringList& before, int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        for (const QString& id : Windows(pid))
            if (!before.contains(id))
                return id;
        QThread::msleep(100);
    } while (timer.elapsed() < ms);
    return {};
}

std::function<bool(const TUiNode&)> Named(const QString& role, const QString& name) {
    return [role, name](const TUiNode& n) { return n.Role == role && n.Name == name; };
}

std::function<bool(const TUiNode&)> Focused(const QString& role, const QString& name) {
    return [role, name](const TUiNode& n) {
        return n.Role == role && n.Focused && (name.isEmpty() || n.Name == name);
    };
}

} // namespace uitest
