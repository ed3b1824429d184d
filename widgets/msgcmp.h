#pragma once
// Lets a component receive the messages of a window it does not own. The
// window is subclassed once with MsgCmpWndProc, which hands each message to
// every component registered for that window, in registration order, and
// then always calls the procedure that was in place before; that
// procedure's result is the window's answer.
#include <QObject>
#include <vector>

#include "widgets/winmsg.h"

class QWidget;

namespace widgets {

class TmdMsgComponent;

struct TMessage {
    unsigned Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

struct THookRecord {
    TmdMsgComponent* Component = nullptr; // nullptr once it unregistered
    HWND Wnd = 0;
    WNDPROC OldProc = nullptr;
};

// The one global list. Records are appended and never removed, and a hooked
// window keeps MsgCmpWndProc for the rest of the program.
class TMsgCmpList {
public:
    // Returns the index of the new record.
    int HookWindow(TmdMsgComponent* component, HWND wnd);
    // Clears the first record of this component and window; its index or -1.
    int UnhookWindow(TmdMsgComponent* component, HWND wnd);
    // First record after index `after` (-1: from the start) of the window, or -1.
    [[nodiscard]] int IndexOfWindow(int after, HWND wnd) const;
    // Clears every record of the component (it is going away).
    void Forget(TmdMsgComponent* component);

    [[nodiscard]] int Count() const { return int(records_.size()); }
    [[nodiscard]] THookRecord Items(int index) const { return records_.at(std::size_t(index)); }

private:
    std::vector<THookRecord> records_;
};

[[nodiscard]] TMsgCmpList& MsgCmpList();

LRESULT MsgCmpWndProc(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);

// A non-visual component that hooks a window. Its owner is its QObject
// parent; OwnerForm is the first top-level widget up the owner chain.
// Like a component read from a form, it may be put into the loading state
// (BeginLoading) and finished with Loaded().
class TmdMsgComponent : public QObject {
    Q_OBJECT
public:
    explicit TmdMsgComponent(QObject* owner = nullptr);
    ~TmdMsgComponent() override;

    [[nodiscard]] QWidget* OwnerForm() const { return ownerForm_; }
    [[nodiscard]] HWND WindowHandle() const { return windowHandle_; }
    void SetWindowHandle(HWND wnd);

    [[nodiscard]] static QWidget* GetOwnerForm(QObject* component);

    virtual void HookWindow(HWND wnd);
    virtual void UnhookWindow(HWND wnd);

    // The handler for the message number, else DefaultHandler.
    virtual void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage& message);

    void BeginLoading() { loading_ = true; }
    virtual void Loaded();
    [[nodiscard]] bool Loading() const { return loading_; }
    [[nodiscard]] bool Destroying() const { return destroying_; }

protected:
    // Descendants call this first in their destructors, so that no message
    // reaches a half-destroyed component.
    void BeginDestroy() { destroying_ = true; }

private:
    QWidget* ownerForm_ = nullptr;
    HWND windowHandle_ = 0;
    bool loading_ = false;
    bool destroying_ = false;
};

} // namespace widgets
