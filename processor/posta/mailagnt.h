#pragma once
// The processor window: start-up of the program, the log pane, the On/Off
// switch and the 2-second timer that drives the agent pass.
#include "mail/agras.h"
#include "processor/agentprocessor.h"
#include "widgets/frame/traywindow.h"

#include <string>

struct IQueltaMessage;
struct IQueltaSMTP;

namespace posta {

class TForm1;

class TfrmMain : public widgets::TTrayWindowOf<quelta::TAgentProcessor> {
public:
    // dm holds the tables and runs the pass; programFolder keeps agentproc.log.
    TfrmMain(TForm1& form1, quelta::TAgentProcessor& dm, const std::string& programFolder,
             QWidget* parent = nullptr);
    // Releases the automation objects; the frame then writes the window
    // position and saves the log.
    ~TfrmMain() override;

    QTimer* TimerAgents = nullptr;
    TagRas agRas1;
    IQueltaMessage* CurrentMessageObject = nullptr;
    IQueltaSMTP* SmtpServerObject = nullptr;

    void FormActivate();
    void TimerAgentsTimer() { PassTimerTick(); }

protected:
    bool event(QEvent* e) override;

    void StartUp(const QStringList& args) override;
    [[nodiscard]] bool SinglePassAsked(const QStringList& args) const override;
    [[nodiscard]] bool PassDue() const override;
    void Pass() override;
    bool PassEndsProgram() override;

private:
    void CommandLine(const QStringList& args);

    std::string programFolder_;
    bool comInitialized_ = false;
};

} // namespace posta
