// The program around the pass: settings, command line, On/Off and the
// tray, the log file, the timer, closing and start-up failure.
#include "platform/win/paths.h"
#include "processor/posta/settings.h"
#include "processor/posta/tests/postafixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <stdexcept>

using postatest::PostaTest;

namespace {

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(passtest::Slurp(path));
    for (std::string l; std::getline(in, l);)
        lines.push_back(l.substr(0, l.size() - (!l.empty() && l.back() == '\r')));
    return lines;
}

} // namespace

TEST_F(PostaTest, SettingsDefaultToTheInstallationUnderOpt) {
    win::TIniFile empty(root_ + "empty.ini");
    const posta::TAgentSettings s = posta::ReadAgentSettings(empty);
    EXPECT_EQ(s.Service, "None");
    EXPECT_TRUE(s.AutoEnabled);
    EXPECT_EQ((std::vector<int>{s.Left, s.Top, s.Height, s.Width}),
              (std::vector<int>{25, 25, 309, 359}));
    EXPECT_EQ(s.MessagesFolder, "c:\\Program Files\\dovira\\quelta\\messages\\");
    EXPECT_EQ(s.AgentsFolder, "c:\\Program Files\\dovira\\quelta\\agents\\");
    EXPECT_EQ(s.DataBaseFolder, "c:\\Program Files\\dovira\\quelta\\");
    EXPECT_EQ(win::ResolvePath(s.MessagesFolder).rfind("/opt/dovira/quelta/messages/", 0), 0u);
}

TEST_F(PostaTest, StartUpReadsTheIniAndExitWritesThePosition) {
    Start();
    EXPECT_FALSE(main_->StartupFailed());
    EXPECT_TRUE(boxes_.empty()) << boxes_[0];
    EXPECT_EQ(OnOff(), "Agent Processor On");
    EXPECT_TRUE(form1_->S1->isChecked());
    EXPECT_FALSE(form1_->S2->isChecked());
    EXPECT_NE(Pane()[0].toStdString().find(" -- Service Started"), std::string::npos);
    EXPECT_EQ(main_->x(), 25);
    EXPECT_EQ(main_->y(), 25);
    EXPECT_EQ(main_->width(), 359);
    EXPECT_EQ(main_->height(), 309);
    EXPECT_TRUE(main_->TimerAgents->isActive());
    EXPECT_EQ(main_->TimerAgents->interval(), 2000);
    EXPECT_FALSE(main_->isVisible()); // the tray took the icon
    // The value without a separator still gives a folder path.
    EXPECT_EQ(main_->lblmessagespath->text().toStdString(), root_ + "messages/");
    EXPECT_TRUE(win::DirectoryExists(root_ + "messages"));
    EXPECT_TRUE(p_->TablesOpen());
    EXPECT_EQ(form1_->mdTray1->Tip(), "Quelta Agent Processor");
    QStringList items;
    for (QAction* a : form1_->TrayPopup->actions())
        items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items, (QStringList{"&Status...", "-", "Start", "Stop", "-", "Help", "Close"}));
    EXPECT_EQ(form1_->A1->text(), "&About");
    // The icon's default action opens the processor window.
    form1_->mdTray1->DefaultFunction(form1_->mdTray1);
    EXPECT_TRUE(main_->isVisible());

    main_->move(140, 160);
    main_->resize(420, 380);
    form1_->C1->trigger(); // tray "Close"
    EXPECT_TRUE(terminated_);
    EXPECT_EQ(exitCode_, 0);
    EXPECT_FALSE(p_->TablesOpen());
    Exit();
    EXPECT_EQ(Ini().ReadInteger("AWindowPos", "Left", 0), 140);
    EXPECT_EQ(Ini().ReadInteger("AWindowPos", "Top", 0), 160);
    EXPECT_EQ(Ini().ReadInteger("AWindowPos", "Width", 0), 420);
    EXPECT_EQ(Ini().ReadInteger("AWindowPos", "Height", 0), 380);

    // Read back at the next start.
    Start();
    EXPECT_EQ(main_->pos(), QPoint(140, 160));
    EXPECT_EQ(main_->size(), QSize(420, 380));
}

TEST_F(PostaTest, SinglePassRunsWhenProcessingIsOffAndEndsTheProgram) {
    Ini().WriteBool("AgentSettings", "AutoEnabled", false);
    AddAccount("ACC1");
    AddMessage("ACC1", "a.eml", "a@b.c", "one", "x\r\n");
    Start({"/singlePass"});
    EXPECT_TRUE(terminated_);
    EXPECT_EQ(exitCode_, 0);
    EXPECT_EQ(OnOff(), "Agent Processor Off");
    EXPECT_TRUE(form1_->S2->isChecked());
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
    EXPECT_EQ(p_->ScanPasses(), 1);
    EXPECT_EQ(main_->lblScanPasses->text().toStdString(), "1 Total Scan Passes");
    EXPECT_TRUE(LogHas(" -- Running in single pass mode."));
    EXPECT_FALSE(LogHas("Service Started"));
    EXPECT_FALSE(p_->TablesOpen());
    EXPECT_FALSE(p_->DebugMode());
}

TEST_F(PostaTest, OnlyTheFirstParameterCountsAndAnyDPrefixMeansDebug) {
    const std::vector<std::pair<QStringList, bool>> cases = {
        {{"/DEBUG"}, true},  {{"/d"}, true},       {{"/dx", "/SINGLEPASS"}, true},
        {{"/other"}, false}, {{"debug"}, false},   {{"-d"}, false},
        {{}, false},         {{"/x", "/d"}, false}};
    for (const auto& [params, debug] : cases) {
        SCOPED_TRACE(params.join(' ').toStdString());
        std::filesystem::remove(root_ + "prog/agentproc.log");
        p_->ClearLog();
        Start(params);
        EXPECT_EQ(p_->DebugMode(), debug);
        EXPECT_EQ(LogHas(" -- Running in debug mode."), debug);
        EXPECT_FALSE(terminated_);
        p_->SendtoLog("probe", 9);
        EXPECT_EQ(LogHas("DEBUGMESSAGE -- probe"), debug);
        Exit();
    }
}

TEST_F(PostaTest, OnOffTogglesWhileTrayStartAndStopSetTheState) {
    Start();
    auto logged = [this](const char* text) { return LogCount(text); };
    main_->Button1->click();
    EXPECT_EQ(OnOff(), "Agent Processor Off");
    EXPECT_FALSE(main_->ProcessingOn());
    EXPECT_EQ(logged("Service Terminated by user"), 1);
    EXPECT_FALSE(Ini().ReadBool("AgentSettings", "AutoEnabled", true));

    form1_->S2->trigger(); // Stop while off stays off
    EXPECT_FALSE(main_->ProcessingOn());
    EXPECT_TRUE(form1_->S2->isChecked());
    EXPECT_EQ(logged("Service Terminated by user"), 1);

    form1_->S1->trigger();
    EXPECT_TRUE(main_->ProcessingOn());
    EXPECT_EQ(OnOff(), "Agent Processor On");
    EXPECT_TRUE(form1_->S1->isChecked());
    EXPECT_FALSE(form1_->S2->isChecked());
    EXPECT_TRUE(Ini().ReadBool("AgentSettings", "AutoEnabled", false));
    EXPECT_EQ(logged("Service Started"), 2);

    form1_->S1->trigger(); // Start while on stays on
    EXPECT_TRUE(main_->ProcessingOn());
    EXPECT_EQ(logged("Service Started"), 2);

    form1_->S2->trigger();
    EXPECT_FALSE(main_->ProcessingOn());
    EXPECT_FALSE(Ini().ReadBool("AgentSettings", "AutoEnabled", true));
    Exit();
    Start();
    EXPECT_EQ(OnOff(), "Agent Processor Off");
}

TEST_F(PostaTest, LogFileIsLoadedShownAndSavedNewestFirst) {
    passtest::Spit(root_ + "prog/agentproc.log", "older line\r\noldest line\r\n");
    Start();
    QStringList pane = Pane();
    ASSERT_EQ(pane.size(), 3);
    EXPECT_TRUE(pane[0].endsWith(" -- Service Started"));
    EXPECT_EQ(pane[1], "older line");
    EXPECT_EQ(pane[2], "oldest line");
    p_->SendtoLog("newest", 0);
    // The pane takes new lines in batches, without being asked.
    QElapsedTimer waited;
    waited.start();
    while (!main_->REStatus->toPlainText().contains(" -- newest") && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(Pane()[0].endsWith(" -- newest"));
    EXPECT_EQ(main_->StatusPanel->text(), "newest");
    form1_->C1->trigger();
    Exit();
    auto lines = FileLines(root_ + "prog/agentproc.log");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find(" -- newest"), std::string::npos);
    EXPECT_NE(lines[1].find(" -- Service Started"), std::string::npos);
    EXPECT_EQ(lines[3], "oldest line");

    // Clearing the pane drops the lines from the file at exit.
    Start();
    main_->btnClearAll->click();
    EXPECT_TRUE(main_->REStatus->toPlainText().isEmpty());
    p_->SendtoLog("after clearing", 0);
    Exit();
    lines = FileLines(root_ + "prog/agentproc.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" -- after clearing"), std::string::npos);
}

TEST_F(PostaTest, WithoutATrayTheWindowShowsAndTheLogSaysWhy) {
    widgets::SetTrayHost(nullptr); // offscreen: the real host refuses
    Start();
    EXPECT_TRUE(main_->isVisible());
    EXPECT_TRUE(LogHas("No notification area, the window stays open: "));
    EXPECT_EQ(OnOff(), "Agent Processor On");
    widgets::SetTrayHost(&host_);
}

TEST_F(PostaTest, TimerRunsPassesOnlyWhenOnAndSurvivesAFailedPass) {
    AddAccount("ACC1");
    AddMessage("ACC1", "a.eml", "a@b.c", "one", "x\r\n");
    Start();
    main_->Button1Click(); // off
    main_->TimerAgentsTimer();
    EXPECT_EQ(p_->ScanPasses(), 0);
    EXPECT_TRUE(main_->TimerAgents->isActive());

    main_->Button1Click(); // on
    main_->TimerAgentsTimer();
    EXPECT_EQ(p_->ScanPasses(), 1);
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
    EXPECT_TRUE(main_->TimerAgents->isActive());

    // A pass that raises goes to the handler; the timer runs again.
    bool timerOffDuringPass = false;
    p_->OnPump = [&] {
        timerOffDuringPass = !main_->TimerAgents->isActive();
        throw std::runtime_error("the queue broke");
    };
    main_->TimerAgentsTimer();
    EXPECT_TRUE(timerOffDuringPass);
    EXPECT_NE(Pane()[0].toStdString().find(" -- Error-the queue broke"), std::string::npos);
    EXPECT_TRUE(main_->TimerAgents->isActive());
    EXPECT_FALSE(terminated_);
}

TEST_F(PostaTest, ScriptObjectsAreThereBeforeTheWindowIsEverShown) {
    Start();
    ASSERT_FALSE(main_->isVisible());
    EXPECT_NO_THROW(p_->ScriptEngine().RunText("CurrentMessage.Subject = \"set\"\n"
                                               "QueltaSmtpServer.Server = \"127.0.0.1\"\n"));
}

TEST_F(PostaTest, CloseAndShutDownWaitForThePass) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "close");
    WriteAgent("close", {{"Subject", "contains", "stop"}}, {{{"CLOSE QUELTA", "CLOSE", ""}}});
    AddMessage("ACC1", "a.eml", "a@b.c", "please stop", "x\r\n");
    Start();
    main_->TimerAgentsTimer();
    EXPECT_TRUE(terminated_);
    EXPECT_FALSE(p_->TablesOpen());
    EXPECT_FALSE(main_->TimerAgents->isActive());
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
    EXPECT_TRUE(shutdowns_.empty());
}

TEST_F(PostaTest, UserCloseDuringAPassWaitsForItsEnd) {
    AddAccount("ACC1");
    AddMessage("ACC1", "a.eml", "a@b.c", "one", "x\r\n");
    AddMessage("ACC1", "b.eml", "a@b.c", "two", "x\r\n");
    Start();
    bool asked = false, openThroughout = true;
    auto pump = p_->OnPump;
    p_->OnPump = [&] {
        openThroughout = openThroughout && p_->TablesOpen();
        if (!asked && main_->PassRunning()) {
            asked = true;
            main_->btnShutDown->click();
        }
        pump();
    };
    main_->TimerAgentsTimer();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(openThroughout);
    EXPECT_TRUE(terminated_);
    EXPECT_FALSE(p_->TablesOpen());
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
}

TEST_F(PostaTest, ShutDownActionEndsTheSessionAfterThePass) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "off");
    WriteAgent("off", {}, {{{"SHUT DOWN WINDOWS", "REBOOT", ""}}});
    AddMessage("ACC1", "a.eml", "a@b.c", "x", "x\r\n");
    Start({"/singlepass"});
    EXPECT_EQ(shutdowns_, std::vector<unsigned>{unsigned(win::EWX_REBOOT)});
    EXPECT_TRUE(terminated_);
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
}

TEST_F(PostaTest, WithoutTheAutomationLibraryStartUpStopsAndKeepsTheLog) {
    ASSERT_EQ(
        QProcess::execute(QUELTA_BIN_DIR "/regsvr", {"/u", "/s", QUELTA_BIN_DIR "/libQuelta.so"}),
        0);
    passtest::Spit(root_ + "prog/agentproc.log", "kept\r\n");
    Start();
    EXPECT_TRUE(main_->StartupFailed());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("not registered"), std::string::npos) << boxes_[0];
    // What to run, and where the registration is kept.
    EXPECT_NE(boxes_[0].find("\nThe automation library is not registered in " + root_ +
                             "win/quelta.reg. Register it with: regsvr " + root_ +
                             "prog/libQuelta.so"),
              std::string::npos)
        << boxes_[0];
    EXPECT_EQ(OnOff(), "Agent Processor Off");
    EXPECT_FALSE(main_->ProcessingOn());
    EXPECT_FALSE(p_->TablesOpen());
    EXPECT_FALSE(terminated_);
    main_->TimerAgentsTimer(); // nothing to run on
    EXPECT_EQ(p_->ScanPasses(), 0);
    Exit();
    EXPECT_EQ(passtest::Slurp(root_ + "prog/agentproc.log"), "kept\r\n");
    EXPECT_FALSE(Ini().SectionExists("AWindowPos"));

    // A single pass that cannot run ends the program with a failure.
    Start({"/SINGLEPASS"});
    EXPECT_TRUE(terminated_);
    EXPECT_EQ(exitCode_, 1);
}
