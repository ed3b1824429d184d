// postp's windows, offscreen: start-up state from quelta.ini, the tray's
// Start and Stop, the timer, and what exit writes back.
#include "platform/win/profile.h"
#include "retriever/mailretriever.h"
#include "retriever/postp/mailagnt.h"
#include "retriever/postp/startform.h"

#include "mail/tests/testutil.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

TEST(PostpWindow, StartStopSwitchAndExitWritesBack) {
    mailtest::ScratchDir dir;
    const std::string root = dir.Path().string() + "/";
    std::filesystem::create_directories(root + "db");
    ASSERT_EQ(
        std::system((std::string(QUELTA_BIN_DIR "/mkschema ") + root + "db >/dev/null").c_str()),
        0);
    const char* oldWindir = std::getenv("QUELTA_WINDIR");
    const std::string saved = oldWindir ? oldWindir : "";
    setenv("QUELTA_WINDIR", (root + "win").c_str(), 1);
    {
        win::TIniFile ini("quelta.ini");
        ini.WriteString("Folders", "Messages", root + "messages/");
        ini.WriteString("Folders", "Agents", root + "agents/");
        ini.WriteString("Folders", "DataBase", root + "db/");
        ini.WriteInteger("PWindowPos", "Width", 400);
    }
    {
        postp::TForm1 form1;
        retriever::TMailRetriever dm;
        form1.DM = &dm;
        postp::TfrmMain frmMain(form1, dm, root);
        frmMain.FormCreate({"postp"});
        EXPECT_EQ(frmMain.windowTitle().toStdString(), "Quelta Mail Retriever");
        EXPECT_EQ(frmMain.TimerProcess->interval(), 5000);
        EXPECT_TRUE(frmMain.TimerProcess->isActive());
        EXPECT_EQ(frmMain.width(), 400);
        EXPECT_TRUE(std::filesystem::is_directory(root + "messages"));
        EXPECT_TRUE(std::filesystem::is_directory(root + "agents"));
        // AutoEnabled defaults to on.
        EXPECT_TRUE(dm.ProcessingOn());
        EXPECT_TRUE(form1.S1->isChecked());
        EXPECT_EQ(frmMain.lblOnOff->text().toStdString(), "Mail Processor On");

        // Stop always switches off and Start always on, however often chosen.
        for (int i = 0; i < 2; ++i) {
            form1.S2Click();
            EXPECT_FALSE(dm.ProcessingOn());
            EXPECT_TRUE(form1.S2->isChecked());
            EXPECT_EQ(frmMain.lblOnOff->text().toStdString(), "Mail Processor Off");
            EXPECT_FALSE(
                win::TIniFile("quelta.ini").ReadBool("ProcessorSettings", "AutoEnabled", true));
        }
        form1.S1Click();
        form1.S1Click();
        EXPECT_TRUE(dm.ProcessingOn());
        EXPECT_TRUE(
            win::TIniFile("quelta.ini").ReadBool("ProcessorSettings", "AutoEnabled", false));
        frmMain.Button1Click();
        EXPECT_FALSE(dm.ProcessingOn());
        EXPECT_EQ(dm.LogLines().front().substr(dm.LogLines().front().find(" -- ")),
                  " -- Service Terminated by user");

        // A tick with retrieval off polls nothing and keeps the timer going.
        frmMain.TimerProcessTimer();
        EXPECT_TRUE(frmMain.TimerProcess->isActive());
        EXPECT_EQ(dm.ScanPasses(), 0);
        form1.C1Click();
        EXPECT_TRUE(form1.Closed());
    }
    const std::string log = mailtest::ReadFile(root + "mailproc.log");
    EXPECT_NE(log.find(" -- Service Started\r\n"), std::string::npos) << log;
    EXPECT_EQ(win::TIniFile("quelta.ini").ReadInteger("PWindowPos", "Height", 0), 309);
    if (oldWindir)
        setenv("QUELTA_WINDIR", saved.c_str(), 1);
    else
        unsetenv("QUELTA_WINDIR");
}
