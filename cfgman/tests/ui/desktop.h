#pragma once
// A desktop of the test's own: Xvfb, a session bus with the accessibility
// bus, programs started on it, input by xdotool and the windows read back
// through the accessibility interface (uitree.py), as a screen reader would.
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace uitest {

// A deadline that only ends a hang: on a loaded machine any step may take
// long (a sanitizer build of a program starting on a desktop beside other
// test programs, a minute and more), and every wait ends as soon as what
// it waits for is there.
inline constexpr int kHang = 180000;

struct TUiNode {
    int Depth = 0;
    QString Role, Name;
    int X = 0, Y = 0, W = 0, H = 0;
    bool Focused = false; // it has the keyboard focus
};

class TDesktop {
public:
    TDesktop();
    ~TDesktop();
    TDesktop(const TDesktop&) = delete;
    TDesktop& operator=(const TDesktop&) = delete;

    // Empty when the desktop runs; else why it could not start.
    [[nodiscard]] const QString& Failure() const { return failure_; }
    [[nodiscard]] const QProcessEnvironment& Env() const { return env_; }

    // Starts a program on the desktop; it is ended with the desktop.
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& extra = {});
    // Runs xdotool; true when it succeeded.
    bool XdoTool(const QStringList& args, QString* out = nullptr);
    // Keys as xdotool names them, one after the other, to the focused
    // window. The program takes them in this order however busy it is;
    // what a key opens must be waited for before keys meant for it.
    bool Keys(const QStringList& keys);
    bool Type(const QString& text);
    // A click in the middle of the node, handled by the display when this
    // returns. A click where the last one was waits until the two cannot
    // make a double click.
    bool Click(const TUiNode& node);

    // The application's accessible objects; empty while it is not registered.
    [[nodiscard]] std::vector<TUiNode> Tree(const QString& app);
    // Polls the tree until pick finds a node (ms at the most).
    bool WaitFor(const QString& app, const std::function<bool(const TUiNode&)>& pick, int ms,
                 TUiNode* found = nullptr);
    // The id of the visible window with this title, or "" after ms.
    QString WaitForWindow(const QString& title, int ms);
    // True once no visible window has this title (false after ms).
    bool WaitGone(const QString& title, int ms);
    // The ids of a program's visible windows (popup menus included).
    [[nodiscard]] QStringList Windows(qint64 pid);
    // The id of a visible window of the program that before lacks, or ""
    // after ms: a popup menu, which the accessibility interface does not show.
    QString WaitForNewWindow(qint64 pid, const QStringList& before, int ms);

private:
    QString failure_;
    QProcessEnvironment env_;
    std::vector<std::unique_ptr<QProcess>> children_;
    int lastX_ = -1000, lastY_ = -1000;
    QElapsedTimer sinceClick_;
};

// Node matchers.
[[nodiscard]] std::function<bool(const TUiNode&)> Named(const QString& role, const QString& name);
// The node of this role (and name, when one is given) that has the keyboard focus.
[[nodiscard]] std::function<bool(const TUiNode&)> Focused(const QString& role,
                                                          const QString& name = {});

} // namespace uitest
