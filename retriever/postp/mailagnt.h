#pragma once
// The retriever window: start-up of the program, the log pane, the labels
// and meter of the current account, the On/Off switch and the 5-second
// timer that drives the retrieval pass.
#include <QStringList>
#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;

namespace retriever {
class TMailRetriever;
}
namespace widgets {
class TEPMeter;
}

namespace postp {

class TForm1;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // dm holds the tables and runs the pass; programFolder keeps mailproc.log.
    TfrmMain(TForm1& form1, retriever::TMailRetriever& dm, const std::string& programFolder,
             QWidget* parent = nullptr);
    // Writes the window position and saves the log pane.
    ~TfrmMain() override;

    QPlainTextEdit* REStatus = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel = nullptr; // the status bar's one panel
    QLabel* lblOnOff = nullptr;
    QLabel* lblScanPasses = nullptr;
    QLabel* lblCurrentNode = nullptr;
    QLabel* lblCurrentAction = nullptr;
    widgets::TEPMeter* progNode = nullptr;
    QLabel* lblmessagespath = nullptr;
    QLabel* lblagentsPath = nullptr;
    QLabel* lblDatabases = nullptr;
    QPushButton* Button1 = nullptr; // "On/Off"
    QPushButton* btnClearAll = nullptr;
    QPushButton* btnShutDown = nullptr;
    QTimer* TimerProcess = nullptr;

    // Start-up; args as the program received them, the program first.
    void FormCreate(const QStringList& args);
    void TimerProcessTimer();
    void Button1Click();
    void btnClearAllClick();
    void btnShutDownClick();

    // The tray's Start and Stop: switch to the given state.
    void SetRetrieval(bool on);
    [[nodiscard]] bool ProcessingOn() const;
    [[nodiscard]] bool PassRunning() const { return passRunning_; }
    void RequestClose() { closePending_ = true; }

    // The notification area refused the icon: stay reachable through this window.
    void NoTray(const std::string& reason);
    void Form1Destroyed() { form1_ = nullptr; }

private:
    void StartUp(const QStringList& args);
    void CommandLine(const QStringList& args);
    void ShowProcessing(bool on);
    void ShowLog(const std::string& line, const std::string& text);
    void FormDestroy();

    TForm1* form1_;
    retriever::TMailRetriever& dm_;
    std::string programFolder_;
    bool passRunning_ = false;
    bool closePending_ = false;
    // What start-up got to; exit writes back only what it read.
    bool logLoaded_ = false;
    bool boundsRead_ = false;
};

} // namespace postp
