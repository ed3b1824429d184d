#pragma once
// The processor window: start-up of the program, the log pane, the On/Off
// switch and the 2-second timer that drives the agent pass.
#include "mail/agras.h"

#include <QStringList>
#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
struct IQueltaMessage;
struct IQueltaSMTP;

namespace quelta {
class TAgentProcessor;
}

namespace posta {

class TForm1;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // dm holds the tables and runs the pass; programFolder keeps agentproc.log.
    TfrmMain(TForm1& form1, quelta::TAgentProcessor& dm, const std::string& programFolder,
             QWidget* parent = nullptr);
    // Writes the window position and saves the log pane.
    ~TfrmMain() override;

    QPlainTextEdit* REStatus = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel = nullptr; // the status bar's one panel
    QLabel* lblOnOff = nullptr;
    QLabel* lblScanPasses = nullptr;
    QLabel* lblmessagespath = nullptr;
    QLabel* lblagentsPath = nullptr;
    QLabel* lblDatabases = nullptr;
    QPushButton* Button1 = nullptr; // "&On/Off"
    QPushButton* btnClearAll = nullptr;
    QPushButton* btnShutDown = nullptr;
    QTimer* TimerAgents = nullptr;
    TagRas agRas1;
    IQueltaMessage* CurrentMessageObject = nullptr;
    IQueltaSMTP* SmtpServerObject = nullptr;

    // Start-up; args as the program received them, the program first.
    void FormCreate(const QStringList& args);
    void FormActivate();
    void TimerAgentsTimer();
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
    // Puts the log lines not yet shown at the top of the pane.
    void FlushLog();
    void Form1Destroyed();

protected:
    bool event(QEvent* e) override;

private:
    void StartUp(const QStringList& args);
    void CommandLine(const QStringList& args);
    void RunPass();
    void AfterPass();
    void ShowProcessing(bool on);
    void ShowLog(const std::string& line, const std::string& text);
    void FormDestroy();
    void Pump();

    TForm1* form1_;
    QTimer* paneTimer_ = nullptr;
    QStringList pendingLines_; // oldest first
    quelta::TAgentProcessor& dm_;
    std::string programFolder_;
    bool processingOn_ = false;
    bool passRunning_ = false;
    bool closePending_ = false;
    bool startupFailed_ = false;
    bool comInitialized_ = false;
    // What start-up got to; exit writes back only what it read.
    bool logLoaded_ = false;
    bool boundsRead_ = false;
};

} // namespace posta
