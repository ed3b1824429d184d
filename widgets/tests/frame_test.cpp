// The frame the tray programs share, over a small fake core: the log
// pane's batches, the pass timer around passes that fail, closing during a
// pass, start-up failures and what exit writes back.
#include "platform/win/hooks.h"
#include "platform/win/logbook.h"
#include "platform/win/profile.h"
#include "widgets/aboutdlg.h"
#include "widgets/apphooks.h"
#include "widgets/epimage.h"
#include "widgets/frame/logpane.h"
#include "widgets/frame/trayform.h"
#include "widgets/frame/traywindow.h"
#include "widgets/tests/helpers.h"
#include "widgets/trayhost.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(LogPane, LinesComeInBatchesNewestAtTheTop) {
    widgets::TLogPane pane;
    pane.SetLines({"older", "oldest"});
    pane.InsertLine("one");
    pane.InsertLine("two");
    pane.InsertLine("three");
    EXPECT_EQ(pane.toPlainText(), "older\noldest"); // not yet
    pane.Flush();
    EXPECT_EQ(pane.toPlainText(), "three\ntwo\none\nolder\noldest");
    pane.Flush(); // nothing pending: nothing changes
    EXPECT_EQ(pane.blockCount(), 5);

    // Without being asked, within the event loop.
    pane.InsertLine("four");
    QElapsedTimer waited;
    waited.start();
    while (!pane.toPlainText().startsWith("four\n") && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(pane.toPlainText(), "four\nthree\ntwo\none\nolder\noldest");
}

TEST(LogPane, AnEmptyPaneTakesTheBatchWithoutABlankLine) {
    widgets::TLogPane pane;
    pane.InsertLine("a");
    pane.InsertLine("b");
    pane.Flush();
    EXPECT_EQ(pane.toPlainText(), "b\na");
    EXPECT_EQ(pane.blockCount(), 2);
    EXPECT_TRUE(pane.isReadOnly());
}

TEST(LogPane, ClearingAndRefillingDropLinesNotYetShown) {
    widgets::TLogPane pane;
    pane.InsertLine("stale");
    pane.Clear();
    pane.Flush();
    EXPECT_TRUE(pane.toPlainText().isEmpty());

    pane.InsertLine("already in the file");
    pane.SetLines({"from the file"});
    pane.Flush();
    EXPECT_EQ(pane.toPlainText(), "from the file");
    // The dropped line's timer does not bring it back either.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 250)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(pane.toPlainText(), "from the file");
}

// A core as the programs' cores look to the frame.
struct FakeCore {
    FakeCore() {
        book.OnLog = [this](const std::string& line, const std::string& text) {
            if (OnLog)
                OnLog(line, text);
        };
    }
    void SendtoLog(const std::string& text) { book.Log(text); }
    void AppException(const std::string& message) { book.Error(message); }
    void LoadLog() { book.Load(logPath); }
    void SaveLog() const { book.Save(logPath); }
    void ClearLog() { book.Clear(); }
    [[nodiscard]] const std::deque<std::string>& LogLines() const { return book.Lines(); }
    void CloseTables() {
        ++closes;
        if (closeFails)
            throw std::runtime_error("tables stuck");
    }

    std::function<void(const std::string&, const std::string&)> OnLog;
    win::TLogBook book;
    std::string logPath;
    int closes = 0;
    bool closeFails = false;
};

class FakeForm : public widgets::TTrayFormOf<FakeCore> {
public:
    FakeForm() : TTrayFormOf({"Fake tip", "&First", {}, QColor(0, 0, 200)}) {}
};

void WriteSwitch(win::TIniFile& ini, bool on) {
    ini.WriteBool("FakeSettings", "AutoEnabled", on);
}

void WritePos(win::TIniFile& ini, int left, int, int, int width) {
    ini.WriteInteger("FWindowPos", "Left", left);
    ini.WriteInteger("FWindowPos", "Width", width);
}

const widgets::TTrayWindowSetup kSetup = {"Fake Program", "Fake On",   "Fake Off", "On/Off", "0",
                                          1000,           WriteSwitch, WritePos};

class FakeWindow : public widgets::TTrayWindowOf<FakeCore> {
public:
    FakeWindow(FakeForm& form, FakeCore& core) : TTrayWindowOf(form, core, kSetup, nullptr) {}

    std::function<void()> pass;
    std::function<void()> startUp; // runs before anything is read
    bool placeWindow = true;

protected:
    void StartUp(const QStringList& args) override {
        if (startUp)
            startUp();
        LoadLogPane();
        StartProcessing(true);
        if (placeWindow)
            PlaceWindow(10, 20, 300, 400);
        if (args.value(1) == "/once")
            RunSinglePass("once");
    }
    [[nodiscard]] bool SinglePassAsked(const QStringList& args) const override {
        return args.value(1) == "/once";
    }
    void Pass() override {
        if (pass)
            pass();
    }
};

class AcceptingHost : public widgets::TrayHost {
public:
    bool NotifyIcon(unsigned, const widgets::NOTIFYICONDATA&) override { return true; }
};

class TrayFrame : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qframe" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        const char* old = std::getenv("QUELTA_WINDIR");
        hadWindir_ = old != nullptr;
        oldWindir_ = old ? old : "";
        setenv("QUELTA_WINDIR", dir_.c_str(), 1);
        core_.logPath = (dir_ / "fake.log").string();
        previousHost_ = widgets::SetTrayHost(&host_);
        win::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned) {
                boxes_.push_back(caption + ": " + text);
                return win::IDOK;
            });
        win::SetBeepHook([this](unsigned type) { beeps_.push_back(type); });
        form_ = std::make_unique<FakeForm>();
        form_->DM = &core_;
        form_->OnTerminate = [this](int code) { exitCodes_.push_back(code); };
        window_ = std::make_unique<FakeWindow>(*form_, core_);
    }
    void TearDown() override {
        window_.reset();
        form_.reset();
        widgets::SetTrayHost(previousHost_);
        win::SetMessageBoxHook({});
        win::SetBeepHook({});
        if (hadWindir_)
            setenv("QUELTA_WINDIR", oldWindir_.c_str(), 1);
        else
            unsetenv("QUELTA_WINDIR");
        std::filesystem::remove_all(dir_);
    }

    [[nodiscard]] std::string Newest() const {
        return core_.LogLines().empty() ? "" : core_.LogLines().front();
    }

    std::filesystem::path dir_;
    bool hadWindir_ = false;
    std::string oldWindir_;
    AcceptingHost host_;
    widgets::TrayHost* previousHost_ = nullptr;
    FakeCore core_;
    std::unique_ptr<FakeForm> form_;
    std::unique_ptr<FakeWindow> window_;
    std::vector<std::string> boxes_;
    std::vector<unsigned> beeps_;
    std::vector<int> exitCodes_;
};

TEST_F(TrayFrame, TheTimerIsOffDuringAPassAndOnAfterOneThatThrew) {
    window_->FormCreate({"fake"});
    ASSERT_TRUE(window_->PassTimer->isActive());
    bool offDuring = false;
    window_->pass = [&] {
        offDuring = !window_->PassTimer->isActive();
        throw std::runtime_error("the pass broke");
    };
    window_->PassTimerTick();
    EXPECT_TRUE(offDuring);
    EXPECT_TRUE(window_->PassTimer->isActive());
    EXPECT_FALSE(window_->PassRunning());
    EXPECT_NE(Newest().find(" -- Error-the pass broke"), std::string::npos) << Newest();
    EXPECT_EQ(beeps_, std::vector<unsigned>{win::MB_ICONASTERISK});
    window_->FlushLog();
    EXPECT_TRUE(window_->REStatus->toPlainText().startsWith(QString::fromStdString(Newest())));
    EXPECT_EQ(window_->StatusPanel->text(), "the pass broke");

    // Not only the standard exceptions.
    window_->pass = [] { throw 42; };
    window_->PassTimerTick();
    EXPECT_NE(Newest().find(" -- Error-Unknown error"), std::string::npos) << Newest();
    EXPECT_TRUE(window_->PassTimer->isActive());
    EXPECT_TRUE(exitCodes_.empty());
}

TEST_F(TrayFrame, TheStatusBarFollowsTheLogInBatches) {
    core_.SendtoLog("first");
    core_.SendtoLog("second");
    // Nothing is repainted per line: the panel changes at the next refresh.
    EXPECT_NE(window_->StatusPanel->text(), "second");
    QElapsedTimer waited;
    waited.start();
    while (window_->StatusPanel->text() != "second" && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(window_->StatusPanel->text(), "second");
    core_.SendtoLog("third");
    window_->FlushLog();
    EXPECT_EQ(window_->StatusPanel->text(), "third");
    EXPECT_TRUE(window_->REStatus->toPlainText().startsWith(QString::fromStdString(Newest())));
}

TEST_F(TrayFrame, TextsFromMailAndSettingsAreShownAsTheyAre) {
    core_.SendtoLog("Retrieved <b>Offer</b> from <i>Ann</i>");
    window_->FlushLog();
    EXPECT_EQ(widgets::test::Shown(window_->StatusPanel), "Retrieved <b>Offer</b> from <i>Ann</i>");
    window_->lblmessagespath->setText("/srv/<h1>mail</h1>/");
    EXPECT_EQ(widgets::test::Shown(window_->lblmessagespath), "/srv/<h1>mail</h1>/");
}

TEST(AppHooks, AMessageBoxShowsItsTextAsItIsWithItsButtons) {
    const auto box = MakeMessageBox("Unable to delete <b>offer</b>.eml", "Quelta",
                                    win::MB_YESNO | win::MB_ICONQUESTION);
    auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(widgets::test::Shown(text), "Unable to delete <b>offer</b>.eml");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->icon(), QMessageBox::Question);
}

TEST_F(TrayFrame, TheAboutBoxShowsTheProgramsIcon) {
    ASSERT_FALSE(QApplication::windowIcon().isNull());
    widgets::TEPAboutDialog about;
    std::unique_ptr<widgets::TEPAboutDialogFm> box(about.CreateForm(1024, 100));
    EXPECT_FALSE(box->AboutIm->Picture().Empty());
}

TEST_F(TrayFrame, CloseDuringAPassWaitsForItsEndAndTicksMeanwhileStartNothing) {
    window_->FormCreate({"fake"});
    int passes = 0;
    window_->pass = [&] {
        ++passes;
        form_->C1Click();
        window_->PassTimerTick(); // pumped during the pass
        EXPECT_EQ(core_.closes, 0);
        EXPECT_TRUE(exitCodes_.empty());
    };
    window_->PassTimerTick();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(core_.closes, 1);
    EXPECT_EQ(exitCodes_, std::vector<int>{0});
    EXPECT_TRUE(form_->Closed());
    EXPECT_FALSE(window_->PassTimer->isActive());
}

TEST_F(TrayFrame, SwitchFollowsTheTrayAndIsWrittenAtEachChange) {
    window_->FormCreate({"fake"});
    EXPECT_EQ(window_->lblOnOff->text(), "Fake On");
    EXPECT_TRUE(form_->S1->isChecked());
    form_->S2Click();
    form_->S2Click(); // Stop while off stays off
    EXPECT_FALSE(window_->ProcessingOn());
    EXPECT_TRUE(form_->S2->isChecked());
    EXPECT_EQ(window_->lblOnOff->text(), "Fake Off");
    EXPECT_FALSE(win::TIniFile("quelta.ini").ReadBool("FakeSettings", "AutoEnabled", true));
    int stops = 0;
    for (const std::string& line : core_.LogLines())
        stops += line.find(" -- Service Terminated by user") != std::string::npos;
    EXPECT_EQ(stops, 1);
    window_->Button1Click();
    EXPECT_TRUE(window_->ProcessingOn());
    EXPECT_TRUE(win::TIniFile("quelta.ini").ReadBool("FakeSettings", "AutoEnabled", false));
}

TEST_F(TrayFrame, ExitWritesBackTheLogAndThePlaceStartUpRead) {
    std::ofstream(core_.logPath, std::ios::binary) << "kept\r\n";
    window_->FormCreate({"fake"});
    EXPECT_EQ(window_->pos(), QPoint(10, 20));
    window_->FlushLog();
    EXPECT_EQ(window_->REStatus->toPlainText().split('\n').last(), "kept");
    window_->move(30, 40);
    form_->Close();
    window_.reset();
    win::TIniFile ini("quelta.ini");
    EXPECT_EQ(ini.ReadInteger("FWindowPos", "Left", 0), 30);
    EXPECT_EQ(ini.ReadInteger("FWindowPos", "Width", 0), 400);
    win::TLogBook saved;
    saved.Load(core_.logPath);
    ASSERT_EQ(saved.Lines().size(), 2u);
    EXPECT_NE(saved.Lines()[0].find(" -- Service Started"), std::string::npos);
    EXPECT_EQ(saved.Lines()[1], "kept");
}

TEST_F(TrayFrame, AFailedStartUpWritesNothingBackAndEndsASinglePass) {
    std::ofstream(core_.logPath, std::ios::binary) << "kept\r\n";
    window_->startUp = [] { throw std::runtime_error("no library"); };
    window_->FormCreate({"fake"});
    EXPECT_TRUE(window_->StartupFailed());
    EXPECT_EQ(boxes_, std::vector<std::string>{"Fake Program: no library"});
    EXPECT_TRUE(exitCodes_.empty());
    window_.reset();
    EXPECT_FALSE(win::TIniFile("quelta.ini").SectionExists("FWindowPos"));
    std::ifstream in(core_.logPath, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept\r\n");

    window_ = std::make_unique<FakeWindow>(*form_, core_);
    window_->startUp = [] { throw std::runtime_error("no library"); };
    window_->FormCreate({"fake", "/once"});
    EXPECT_EQ(exitCodes_, std::vector<int>{1});
    EXPECT_EQ(form_->ExitCode(), 1);
}

TEST_F(TrayFrame, ASinglePassRunsOnceAndEndsTheProgramEvenWhenTablesWillNotClose) {
    int passes = 0;
    window_->pass = [&] { ++passes; };
    core_.closeFails = true;
    window_->FormCreate({"fake", "/once"});
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(exitCodes_, std::vector<int>{0});
    EXPECT_TRUE(window_->isVisible());
    EXPECT_NE(Newest().find(" -- Error-tables stuck"), std::string::npos) << Newest();
    EXPECT_NE(core_.LogLines()[1].find(" -- once"), std::string::npos);
}

} // namespace
