#pragma once
// The window of the tray programs: start-up from the command line and
// quelta.ini, the log pane over the core's log (loaded at start, saved at
// exit), the status bar, the On/Off switch and the timer that drives the
// program's pass. The timer is off while a pass runs and on again after it,
// also after a pass that failed; a failure reaches the core's
// application-wide handler. Each program adds its texts, keys, labels and
// its pass.
#include "widgets/frame/logpane.h"

#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class QVBoxLayout;

namespace win {
class TIniFile;
}

namespace widgets {

class TTrayForm;

// What tells the programs' windows apart.
struct TTrayWindowSetup {
    const char* caption;     // the title, also of the box that reports a failed start-up
    const char* onText;      // the On/Off label while the program works
    const char* offText;     // ... and while it does not
    const char* onOffButton; // the On/Off button's text
    const char* noPasses;    // the pass label before the first pass
    int passInterval;        // milliseconds between passes
    // The program's keys: the switch, written at each change, and the
    // window's position, written at exit when start-up had read it.
    void (*writeAutoEnabled)(win::TIniFile& ini, bool on);
    void (*writeWindowPos)(win::TIniFile& ini, int left, int top, int height, int width);
};

class TTrayWindow : public QWidget {
    Q_OBJECT
public:
    ~TTrayWindow() override;

    TLogPane* REStatus = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel = nullptr; // the status bar's one panel
    QLabel* lblOnOff = nullptr;
    QLabel* lblScanPasses = nullptr;
    QLabel* lblmessagespath = nullptr;
    QLabel* lblagentsPath = nullptr;
    QLabel* lblDatabases = nullptr;
    QPushButton* Button1 = nullptr; // On/Off
    QPushButton* btnClearAll = nullptr;
    QPushButton* btnShutDown = nullptr;
    QTimer* PassTimer = nullptr;

    // Start-up; args as the program received them, the program first. A
    // failure shows a message box and skips the rest of start-up; a single
    // pass that cannot run ends the program with exit code 1.
    void FormCreate(const QStringList& args);
    // One tick of the pass timer; ticks pumped during a running pass start nothing.
    void PassTimerTick();
    // Switches the state and writes it to quelta.ini.
    void Button1Click();
    void btnClearAllClick();
    void btnShutDownClick();

    // The tray's Start and Stop: switch to the given state.
    void SetProcessing(bool on);
    [[nodiscard]] bool ProcessingOn() const { return processingOn_; }
    [[nodiscard]] bool PassRunning() const { return passRunning_; }
    // A close asked for during a pass; carried out when the pass ends.
    void RequestClose() { closePending_ = true; }
    [[nodiscard]] bool StartupFailed() const { return startupFailed_; }

    // The notification area refused the icon: stay reachable through this window.
    void NoTray(const std::string& reason);
    // Puts the log lines not yet shown at the top of the pane, and shows
    // the labels changed since (see Later).
    void FlushLog();

protected:
    TTrayWindow(TTrayForm& form, const TTrayWindowSetup& setup, QWidget* parent);

    // The program's start-up after the timer has started.
    virtual void StartUp(const QStringList& args) = 0;
    [[nodiscard]] virtual bool SinglePassAsked(const QStringList& args) const = 0;
    // Whether a tick runs the pass.
    [[nodiscard]] virtual bool PassDue() const { return true; }
    virtual void Pass() = 0;
    // After a pass: true when it asked for the program's end.
    virtual bool PassEndsProgram() { return false; }
    virtual void ProcessingSwitched(bool /*on*/) {}

    // The core's log and application-wide handler.
    virtual void Log(const std::string& text) = 0;
    virtual void AppException(const std::string& message) = 0;
    virtual void LoadLog() = 0;
    virtual void SaveLog() = 0;
    virtual void ClearLog() = 0;
    [[nodiscard]] virtual const std::deque<std::string>& LogLines() const = 0;

    // Start-up steps: the log file into the pane (and the no-tray note
    // after it), the state from quelta.ini, the window's place.
    void LoadLogPane();
    void StartProcessing(bool on);
    void PlaceWindow(int left, int top, int height, int width);
    // Shows the window, logs text, runs one pass and ends the program.
    void RunSinglePass(const std::string& text);
    // A new line of the core's log: the pane shows the line, the status bar its text.
    void ShowLog(const std::string& line, const std::string& text);
    // Writes back what start-up read and saves the log; the window over
    // the core calls it first thing in its destructor.
    void FormDestroy();
    // Off, or on again unless the program has closed.
    void EnablePassTimer(bool on);
    static void Pump();

    [[nodiscard]] TTrayForm* Form() const { return form_; }
    // A further row of labels under the three folders.
    void AddFolderRow(const QString& label, QWidget* value);
    // A widget between the folders and the pane.
    void AddAbovePane(QWidget* widget);
    // Runs update (a label's text, a meter's value) at the next refresh of
    // the window, at most 100 ms later or at FlushLog; a later update of the
    // same target replaces it. A fast pass does not repaint the window for
    // every line it logs.
    void Later(const QObject* target, std::function<void()> update);
    QHBoxLayout* stateRow_ = nullptr; // On/Off label, stretch, pass label

private:
    friend class TTrayForm;

    void RunPass();
    void ShowProcessing(bool on);
    void FlushViews();

    QTimer* viewTimer_ = nullptr;
    std::vector<std::pair<const QObject*, std::function<void()>>> pendingViews_;

    TTrayForm* form_;
    TTrayWindowSetup setup_;
    QGridLayout* folders_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    bool processingOn_ = false;
    bool passRunning_ = false;
    bool closePending_ = false;
    bool startupFailed_ = false;
    // What start-up got to; exit writes back only what it read.
    bool logLoaded_ = false;
    bool boundsRead_ = false;
};

// The window over a program's core, which offers SendtoLog(text),
// AppException, LoadLog, SaveLog, ClearLog, LogLines and OnLog.
template <class Core> class TTrayWindowOf : public TTrayWindow {
protected:
    TTrayWindowOf(TTrayForm& form, Core& dm, const TTrayWindowSetup& setup, QWidget* parent)
        : TTrayWindow(form, setup, parent), dm_(dm) {
        dm_.OnLog = [this](const std::string& line, const std::string& text) {
            ShowLog(line, text);
        };
    }
    ~TTrayWindowOf() override {
        FormDestroy();
        dm_.OnLog = nullptr;
    }

    void Log(const std::string& text) override { dm_.SendtoLog(text); }
    void AppException(const std::string& message) override { dm_.AppException(message); }
    void LoadLog() override { dm_.LoadLog(); }
    void SaveLog() override { dm_.SaveLog(); }
    void ClearLog() override { dm_.ClearLog(); }
    [[nodiscard]] const std::deque<std::string>& LogLines() const override {
        return dm_.LogLines();
    }

    Core& dm_;
};

} // namespace widgets
