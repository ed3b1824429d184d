#pragma once
// The processor window and the start-up window over the pass fixture's
// store and tables, with the automation library registered in the test's
// Windows directory and a notification area that takes the icon.
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/profile.h"
#include "processor/posta/mailagnt.h"
#include "processor/posta/startform.h"
#include "processor/tests/passfixture.h"
#include "widgets/mdtray.h"
#include "widgets/trayhost.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

namespace postatest {

class AcceptingHost : public widgets::TrayHost {
public:
    bool NotifyIcon(unsigned, const widgets::NOTIFYICONDATA&) override { return true; }
};

class PostaTest : public passtest::PassTest {
protected:
    void SetUp() override {
        PassTest::SetUp();
        ASSERT_EQ(
            QProcess::execute(QUELTA_BIN_DIR "/regsvr", {"/s", QUELTA_BIN_DIR "/libQuelta.so"}), 0);
        // The messages folder without its separator on purpose.
        Ini().WriteString("Folders", "Messages", root_ + "messages");
        Ini().WriteString("Folders", "Agents", root_ + "agents/");
        Ini().WriteString("Folders", "DataBase", root_ + "db/");
        previousHost_ = widgets::SetTrayHost(&host_);
        win::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes_.push_back(text);
            return win::IDOK;
        });
        win::SetShutdownHook([this](unsigned flags) {
            shutdowns_.push_back(flags);
            return true;
        });
    }
    void TearDown() override {
        main_.reset();
        form1_.reset();
        widgets::SetTrayHost(previousHost_);
        win::SetMessageBoxHook({});
        win::SetShutdownHook({});
        PassTest::TearDown();
    }

    static win::TIniFile Ini() { return win::TIniFile("quelta.ini"); }

    // The program's start: start-up window, data module, processor window.
    void Start(const QStringList& params = {}) {
        terminated_ = false;
        exitCode_ = -1;
        form1_ = std::make_unique<posta::TForm1>();
        form1_->DM = p_.get();
        form1_->OnTerminate = [this](int code) {
            terminated_ = true;
            exitCode_ = code;
        };
        main_ = std::make_unique<posta::TfrmMain>(*form1_, *p_, root_ + "prog/");
        main_->FormCreate(QStringList{"posta"} + params);
    }
    // The program's end: the start-up window closes, the processor window goes.
    void Exit() {
        form1_->Close();
        main_.reset();
    }

    [[nodiscard]] QStringList Pane() const {
        main_->FlushLog();
        return main_->REStatus->toPlainText().split(QLatin1Char('\n'));
    }
    [[nodiscard]] std::string OnOff() const { return main_->lblOnOff->text().toStdString(); }

    AcceptingHost host_;
    widgets::TrayHost* previousHost_ = nullptr;
    std::unique_ptr<posta::TForm1> form1_;
    std::unique_ptr<posta::TfrmMain> main_;
    std::vector<std::string> boxes_;
    std::vector<unsigned> shutdowns_;
    bool terminated_ = false;
    int exitCode_ = -1;
};

} // namespace postatest
