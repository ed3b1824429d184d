// The message hook: chaining, order, unregistering, re-subclassing, and
// the window layer's send and post.
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "widgets/msgcmp.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

std::vector<std::string> journal;

class Recorder : public TmdMsgComponent {
public:
    Recorder(std::string name, LRESULT answer, QObject* owner = nullptr)
        : TmdMsgComponent(owner), name_(std::move(name)), answer_(answer) {}
    void Dispatch(TMessage& message) override {
        journal.push_back(name_ + ":" + std::to_string(message.Msg) + ":" +
                          std::to_string(message.Result));
        message.Result = answer_;
    }

private:
    std::string name_;
    LRESULT answer_;
};

LRESULT Original(HWND, unsigned msg, WPARAM, LPARAM) {
    journal.push_back("original:" + std::to_string(msg));
    return 42;
}

WNDPROC otherOld = nullptr;
LRESULT Other(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    journal.push_back("other:" + std::to_string(msg));
    return CallWindowProc(otherOld, wnd, msg, wParam, lParam) + 1000;
}

class HookTest : public ::testing::Test {
protected:
    void SetUp() override { journal.clear(); }
};

TEST_F(HookTest, TwoComponentsShareOneSubclassAndTheOldProcedureAnswers) {
    const HWND wnd = CreateWindowHandle(Original);
    Recorder first("first", 7), second("second", 8);
    first.SetWindowHandle(wnd);
    EXPECT_EQ(GetWindowProc(wnd), MsgCmpWndProc);
    const int before = MsgCmpList().Count();
    second.SetWindowHandle(wnd);
    EXPECT_EQ(MsgCmpList().Count(), before + 1);
    EXPECT_EQ(MsgCmpList().Items(before).OldProc, Original);

    EXPECT_EQ(SendMessage(wnd, 1234, 0, 0), 42);
    // Registration order; each sees the running result; the old procedure
    // is called once, last, and its answer is the window's.
    EXPECT_EQ(journal,
              (std::vector<std::string>{"first:1234:0", "second:1234:7", "original:1234"}));
    DestroyWindowHandle(wnd);
}

TEST_F(HookTest, UnregisteredAndDestroyedComponentsAreSkippedButTheChainStays) {
    const HWND wnd = CreateWindowHandle(Original);
    Recorder first("first", 7);
    auto second = std::make_unique<Recorder>("second", 8);
    first.SetWindowHandle(wnd);
    second->SetWindowHandle(wnd);

    first.SetWindowHandle(0);
    EXPECT_EQ(SendMessage(wnd, 1, 0, 0), 42);
    EXPECT_EQ(journal, (std::vector<std::string>{"second:1:0", "original:1"}));

    journal.clear();
    second.reset();
    EXPECT_EQ(SendMessage(wnd, 2, 0, 0), 42);
    EXPECT_EQ(journal, (std::vector<std::string>{"original:2"}));
    EXPECT_EQ(GetWindowProc(wnd), MsgCmpWndProc);

    // Unhooking a component that is not registered changes nothing.
    EXPECT_EQ(MsgCmpList().UnhookWindow(&first, wnd), -1);
    DestroyWindowHandle(wnd);
}

TEST_F(HookTest, AnotherSubclasserInBetweenIsChainedWithoutEndlessReentry) {
    const HWND wnd = CreateWindowHandle(Original);
    Recorder first("first", 7), second("second", 8);
    first.SetWindowHandle(wnd);
    otherOld = SetWindowProc(wnd, Other);
    ASSERT_EQ(otherOld, MsgCmpWndProc);

    const int index = MsgCmpList().HookWindow(&second, wnd);
    EXPECT_EQ(MsgCmpList().Items(index).OldProc, Other);
    EXPECT_EQ(GetWindowProc(wnd), MsgCmpWndProc);

    // Ends in the newest stored procedure; that one chains back to us and
    // the message goes on to the original, each step once.
    EXPECT_EQ(SendMessage(wnd, 5, 0, 0), 1042);
    EXPECT_EQ(journal,
              (std::vector<std::string>{"first:5:0", "second:5:7", "other:5", "original:5"}));
    MsgCmpList().UnhookWindow(&second, wnd);
    DestroyWindowHandle(wnd);
}

TEST_F(HookTest, WindowHandleWhileLoadingIsHookedByLoadedAndSwitchingMovesTheHook) {
    const HWND a = CreateWindowHandle(Original), b = CreateWindowHandle(Original);
    Recorder component("c", 1);
    component.BeginLoading();
    component.SetWindowHandle(a);
    EXPECT_EQ(GetWindowProc(a), Original);
    component.Loaded();
    EXPECT_EQ(GetWindowProc(a), MsgCmpWndProc);

    component.SetWindowHandle(b);
    SendMessage(a, 10, 0, 0);
    SendMessage(b, 11, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"original:10", "c:11:0", "original:11"}));
    DestroyWindowHandle(a);
    DestroyWindowHandle(b);
}

TEST_F(HookTest, DestroyedComponentLeavesNoRecordOfADirectHookBehind) {
    const HWND wnd = CreateWindowHandle(Original);
    {
        Recorder component("gone", 1);
        component.HookWindow(wnd); // not its WindowHandle
    }
    EXPECT_EQ(SendMessage(wnd, 3, 0, 0), 42);
    EXPECT_EQ(journal, (std::vector<std::string>{"original:3"}));
    DestroyWindowHandle(wnd);
}

TEST_F(HookTest, PostedMessagesArriveThroughTheEventLoopAndDieWithTheirWindow) {
    const HWND wnd = CreateWindowHandle(Original);
    EXPECT_TRUE(PostMessage(wnd, 20, 0, 0));
    EXPECT_TRUE(journal.empty());
    test::Pump();
    EXPECT_EQ(journal, (std::vector<std::string>{"original:20"}));

    journal.clear();
    EXPECT_TRUE(PostMessage(wnd, 21, 0, 0));
    DestroyWindowHandle(wnd);
    test::Pump();
    EXPECT_TRUE(journal.empty());
    EXPECT_FALSE(PostMessage(wnd, 22, 0, 0));
    EXPECT_EQ(SendMessage(wnd, 23, 0, 0), 0);
}

LRESULT Throwing(HWND, unsigned, WPARAM, LPARAM) {
    throw std::runtime_error("handler failed");
}

TEST_F(HookTest, AFailingPostedMessageStopsAtTheEventLoop) {
    const HWND wnd = CreateWindowHandle(Throwing);
    std::string caught;
    SetMessageExceptionHandler([&](const std::exception& error) { caught = error.what(); });
    EXPECT_TRUE(PostMessage(wnd, 30, 0, 0));
    test::Pump();
    EXPECT_EQ(caught, "handler failed");
    SetMessageExceptionHandler(nullptr);
    DestroyWindowHandle(wnd);
}

TEST_F(HookTest, WidgetHandlesAndOwnerForms) {
    auto form = std::make_unique<QWidget>();
    auto* panel = new QWidget(form.get());
    auto* component = new Recorder("c", 1, panel); // owned by the panel
    EXPECT_EQ(component->OwnerForm(), form.get());
    EXPECT_EQ(TmdMsgComponent::GetOwnerForm(nullptr), nullptr);
    Recorder orphan("o", 1, nullptr);
    EXPECT_EQ(orphan.OwnerForm(), nullptr);

    const HWND wnd = WindowHandleOf(form.get());
    EXPECT_NE(wnd, 0u);
    EXPECT_EQ(WindowHandleOf(form.get()), wnd);
    EXPECT_EQ(WidgetOf(wnd), form.get());
    form.reset();
    EXPECT_FALSE(IsWindow(wnd));
}

} // namespace
} // namespace widgets
