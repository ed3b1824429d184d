#pragma once
// The retriever window: start-up of the program, the log pane, the labels
// and meter of the current account, the On/Off switch and the 5-second
// timer that drives the retrieval pass.
#include "retriever/mailretriever.h"
#include "widgets/frame/traywindow.h"

#include <string>

namespace widgets {
class TEPMeter;
}

namespace postp {

class TForm1;

class TfrmMain : public widgets::TTrayWindowOf<retriever::TMailRetriever> {
public:
    // dm holds the tables and runs the pass; programFolder keeps mailproc.log.
    TfrmMain(TForm1& form1, retriever::TMailRetriever& dm, const std::string& programFolder,
             QWidget* parent = nullptr);
    // The core outlives the window: its hooks are taken back.
    ~TfrmMain() override;

    QLabel* lblCurrentNode = nullptr;
    QLabel* lblCurrentAction = nullptr;
    widgets::TEPMeter* progNode = nullptr;
    QTimer* TimerProcess = nullptr;

    void TimerProcessTimer() { PassTimerTick(); }

protected:
    void StartUp(const QStringList& args) override;
    [[nodiscard]] bool SinglePassAsked(const QStringList& args) const override;
    void Pass() override;
    void ProcessingSwitched(bool on) override;

private:
    void CommandLine(const QStringList& args);

    std::string programFolder_;
    int meterMax_ = 0; // the meter's maximum as last reported
};

} // namespace postp
