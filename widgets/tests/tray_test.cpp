// The tray icon through a recording notification area: the notify record,
// tip, icons, mouse messages, the popup menu, refusal and tear-down.
#include <QAction>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "widgets/mdtray.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

QIcon Square(QColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

struct Call {
    unsigned message;
    NOTIFYICONDATA data;
    bool iconAlive; // the record's icon handle still resolved
};

class RecordingHost : public TrayHost {
public:
    bool NotifyIcon(unsigned message, const NOTIFYICONDATA& data) override {
        calls.push_back(Call{message, data, !IconFromHandle(data.hIcon).isNull()});
        return !(refuse && message == NIM_ADD);
    }
    std::string LastError() const override { return refuse ? "no tray here" : ""; }

    std::vector<Call> calls;
    bool refuse = false;
};

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetTrayHost(&host);
        RegisterIconResource("MAINICON", Square(Qt::red));
        form = std::make_unique<QWidget>();
    }
    void TearDown() override {
        form.reset();
        SetTrayHost(previous_);
    }
    // A tray as a form reader makes it: loading, properties, Loaded.
    TmdTray* LoadedTray(const std::string& name = "Tray1") {
        auto* tray = new TmdTray(form.get());
        tray->BeginLoading();
        tray->SetName(name);
        tray->Loaded();
        return tray;
    }

    RecordingHost host;
    std::unique_ptr<QWidget> form;

private:
    TrayHost* previous_ = nullptr;
};

TEST_F(TrayTest, LoadedAddsTheNotifyRecordForTheOwnerWindow) {
    TmdTray* tray = LoadedTray();
    ASSERT_EQ(host.calls.size(), 1u);
    const Call& add = host.calls[0];
    EXPECT_EQ(add.message, unsigned(NIM_ADD));
    EXPECT_EQ(add.data.cbSize, 88u);
    EXPECT_EQ(add.data.hWnd, WindowHandleOf(form.get()));
    EXPECT_EQ(add.data.uID, 1u);
    EXPECT_EQ(add.data.uCallbackMessage, 10124u);
    EXPECT_EQ(add.data.uFlags, unsigned(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.data.hIcon, LoadIcon("MAINICON"));
    EXPECT_STREQ(add.data.szTip, "Tray1");
    EXPECT_TRUE(tray->Active());
    EXPECT_FALSE(tray->NoTray());
    EXPECT_EQ(tray->WindowHandle(), WindowHandleOf(form.get()));
}

TEST_F(TrayTest, TipIsCutTo63AndFollowsTheNameUntilSet) {
    TmdTray* tray = LoadedTray();
    tray->SetName("Renamed");
    EXPECT_EQ(tray->Tip(), "Renamed");
    EXPECT_EQ(host.calls.back().message, unsigned(NIM_MODIFY));
    EXPECT_STREQ(host.calls.back().data.szTip, "Renamed");

    tray->SetTip(std::string(80, 'x'));
    EXPECT_EQ(tray->Tip(), std::string(63, 'x'));
    tray->SetName("Again");
    EXPECT_EQ(tray->Tip(), std::string(63, 'x'));

    // An empty tip drops the tip flag.
    tray->SetTip("");
    EXPECT_EQ(host.calls.back().data.uFlags & NIF_TIP, 0u);
    // A cut never splits a UTF-8 character.
    tray->SetTip(std::string(62, 'a') + "\xC3\xA9");
    EXPECT_EQ(tray->Tip(), std::string(62, 'a'));
}

TEST_F(TrayTest, IconImageWinsOverResourcesAndIndexChangesOnlyWithoutImage) {
    RegisterIconResource("SECOND", Square(Qt::blue));
    TmdTray* tray = LoadedTray();
    tray->IconResources().Add("SECOND");
    const std::size_t before = host.calls.size();
    tray->SetIconIndex(1);
    ASSERT_EQ(host.calls.size(), before + 1);
    EXPECT_EQ(host.calls.back().data.hIcon, LoadIcon("SECOND"));

    tray->SetIcon(Square(Qt::green));
    const HICON image = tray->GetIconHandle();
    EXPECT_NE(image, LoadIcon("SECOND"));
    EXPECT_EQ(host.calls.back().data.hIcon, image);
    const std::size_t withImage = host.calls.size();
    tray->SetIconIndex(0);
    EXPECT_EQ(host.calls.size(), withImage);

    tray->SetIcon(QIcon());
    tray->SetIconIndex(7); // outside the list: no icon
    EXPECT_EQ(tray->GetIconHandle(), 0u);
    // With no icon at all the tray reads inactive and showing it adds nothing.
    EXPECT_FALSE(tray->Active());
    const std::size_t hidden = host.calls.size();
    tray->SetActive(true);
    EXPECT_EQ(host.calls.size(), hidden);
    EXPECT_FALSE(tray->Active());
}

TEST_F(TrayTest, MouseMessagesFireTheEventsAndAnswerOne) {
    TmdTray* tray = LoadedTray();
    std::vector<std::string> fired;
    tray->SimpelFunction = [&](QObject* s) { fired.push_back(s == tray ? "simple" : "?"); };
    tray->DefaultFunction = [&](QObject*) { fired.push_back("default"); };
    tray->ShowMenu = [&](QObject*) { fired.push_back("menu"); };
    const HWND wnd = tray->WindowHandle();

    EXPECT_EQ(SendMessage(wnd, TmdTray::WM_TRAYNOTIFY, 1, WM_LBUTTONDOWN), 0)
        << "the window's own procedure answers last";
    TMessage message{TmdTray::WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK, 0};
    tray->Dispatch(message);
    EXPECT_EQ(message.Result, 1);
    message = {TmdTray::WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN, 0};
    tray->Dispatch(message);
    EXPECT_EQ(message.Result, 1);
    message = {TmdTray::WM_TRAYNOTIFY, 1, WM_MOUSEMOVE, 5};
    tray->Dispatch(message);
    EXPECT_EQ(message.Result, 5);
    EXPECT_EQ(fired, (std::vector<std::string>{"simple", "default", "menu"}));
}

TEST_F(TrayTest, RightClickOpensTheMenuOnlyWithAutoPopup) {
    TmdTray* tray = LoadedTray();
    auto* menu = new TPopupMenu(form.get());
    menu->addAction(QStringLiteral("About"));
    tray->SetPopupMenu(menu);
    int shown = 0;
    tray->ShowMenu = [&](QObject*) { ++shown; };

    menu->SetAutoPopup(false);
    SendMessage(tray->WindowHandle(), TmdTray::WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(menu->isVisible());

    menu->SetAutoPopup(true);
    SendMessage(tray->WindowHandle(), TmdTray::WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->PopupComponent(), tray);
    menu->close();

    delete menu;
    EXPECT_EQ(tray->PopupMenu(), nullptr);
    SendMessage(tray->WindowHandle(), TmdTray::WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 3);
}

TEST_F(TrayTest, RefusedIconIsReportedSoTheProgramStaysReachable) {
    host.refuse = true;
    auto* tray = new TmdTray(form.get());
    std::string reason;
    tray->OnNoTray = [&](TmdTray*, const std::string& why) { reason = why; };
    tray->BeginLoading();
    tray->Loaded();
    EXPECT_TRUE(tray->NoTray());
    EXPECT_EQ(reason, "no tray here");

    // A tray with no form has no window to report to.
    TmdTray orphan(nullptr);
    std::string orphanReason;
    orphan.OnNoTray = [&](TmdTray*, const std::string& why) { orphanReason = why; };
    orphan.SetActive(true);
    EXPECT_TRUE(orphan.NoTray());
    EXPECT_FALSE(orphanReason.empty());
}

TEST_F(TrayTest, TheDefaultHostRefusesOffscreenAndSaysWhy) {
    SetTrayHost(nullptr);
    auto* tray = new TmdTray(form.get());
    std::string reason;
    tray->OnNoTray = [&](TmdTray*, const std::string& why) { reason = why; };
    tray->SetActive(true);
    EXPECT_TRUE(tray->NoTray());
    EXPECT_NE(reason.find("offscreen"), std::string::npos) << reason;
    delete tray;
    SetTrayHost(&host);
}

TEST_F(TrayTest, DestructionLeavesTheShellBeforeTheIconGoes) {
    TmdTray* tray = LoadedTray();
    tray->SetIcon(Square(Qt::yellow));
    int fired = 0;
    tray->SimpelFunction = [&](QObject*) { ++fired; };
    const HWND wnd = tray->WindowHandle();
    const HICON icon = tray->GetIconHandle();
    delete tray;

    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back().message, unsigned(NIM_DELETE));
    EXPECT_EQ(host.calls.back().data.hIcon, icon);
    EXPECT_TRUE(host.calls.back().iconAlive);
    EXPECT_TRUE(IconFromHandle(icon).isNull());

    // The window still answers, and nothing reaches the dead tray.
    SendMessage(wnd, TmdTray::WM_TRAYNOTIFY, 1, WM_LBUTTONDOWN);
    EXPECT_EQ(fired, 0);
}

} // namespace
} // namespace widgets
