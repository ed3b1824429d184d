#include "widgets/msgcmp.h"

#include <QWidget>

namespace widgets {

TMsgCmpList& MsgCmpList() {
    static TMsgCmpList list;
    return list;
}

int TMsgCmpList::HookWindow(TmdMsgComponent* component, HWND wnd) {
    const WNDPROC current = GetWindowProc(wnd);
    // An earlier record counts only while our procedure is still in place;
    // after another subclasser its procedure is the one to chain to.
    const int found = IndexOfWindow(-1, wnd);
    const bool counts = found >= 0 && current == MsgCmpWndProc;
    WNDPROC old = counts ? records_[std::size_t(found)].OldProc : current;
    if (old == MsgCmpWndProc) // never chain to ourselves
        old = DefWindowProc;
    records_.push_back(THookRecord{component, wnd, old});
    if (!counts)
        SetWindowProc(wnd, MsgCmpWndProc);
    return int(records_.size()) - 1;
}

int TMsgCmpList::UnhookWindow(TmdMsgComponent* component, HWND wnd) {
    for (std::size_t i = 0; i < records_.size(); ++i)
        if (records_[i].Component == component && records_[i].Wnd == wnd) {
            records_[i].Component = nullptr;
            return int(i);
        }
    return -1;
}

int TMsgCmpList::IndexOfWindow(int after, HWND wnd) const {
    for (std::size_t i = std::size_t(after + 1); i < records_.size(); ++i)
        if (records_[i].Wnd == wnd)
            return int(i);
    return -1;
}

void TMsgCmpList::Forget(TmdMsgComponent* component) {
    for (THookRecord& record : records_)
        if (record.Component == component)
            record.Component = nullptr;
}

namespace {

// The calls of stored procedures in progress. A procedure installed over
// our hook by someone else chains back to MsgCmpWndProc with the same
// message; that call goes on to the procedure stored before it instead of
// running the components again, which would never end.
struct Chaining {
    HWND wnd;
    unsigned msg;
    WPARAM wParam;
    LPARAM lParam;
    WNDPROC proc;
};
std::vector<Chaining>& Chains() {
    static std::vector<Chaining> chains;
    return chains;
}

LRESULT CallChained(WNDPROC proc, HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    auto& chains = Chains();
    chains.push_back(Chaining{wnd, msg, wParam, lParam, proc});
    struct Pop {
        ~Pop() { Chains().pop_back(); }
    } pop;
    return CallWindowProc(proc, wnd, msg, wParam, lParam);
}

// The stored procedure of the window that came before `proc`.
WNDPROC OlderProc(const TMsgCmpList& list, HWND wnd, WNDPROC proc) {
    WNDPROC older = DefWindowProc;
    for (int i = list.IndexOfWindow(-1, wnd); i >= 0; i = list.IndexOfWindow(i, wnd)) {
        const WNDPROC stored = list.Items(i).OldProc;
        if (stored == proc)
            return older;
        older = stored;
    }
    return DefWindowProc;
}

} // namespace

LRESULT MsgCmpWndProc(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    TMsgCmpList& list = MsgCmpList();
    const auto& chains = Chains();
    for (auto it = chains.rbegin(); it != chains.rend(); ++it)
        if (it->wnd == wnd && it->msg == msg && it->wParam == wParam && it->lParam == lParam)
            return CallChained(OlderProc(list, wnd, it->proc), wnd, msg, wParam, lParam);

    LRESULT result = 0;
    int last = -1;
    // Indexes, not references: a handler may register more records.
    for (int i = list.IndexOfWindow(-1, wnd); i >= 0; i = list.IndexOfWindow(i, wnd)) {
        last = i;
        TmdMsgComponent* component = list.Items(i).Component;
        if (!component || component->Destroying())
            continue;
        TMessage message{msg, wParam, lParam, result};
        component->Dispatch(message);
        result = message.Result;
    }
    if (last < 0)
        return 0;
    return CallChained(list.Items(last).OldProc, wnd, msg, wParam, lParam);
}

TmdMsgComponent::TmdMsgComponent(QObject* owner) : QObject(owner) {
    ownerForm_ = GetOwnerForm(owner);
}

TmdMsgComponent::~TmdMsgComponent() {
    destroying_ = true;
    if (windowHandle_)
        UnhookWindow(windowHandle_);
    // Also records made by direct HookWindow calls: none may point here later.
    MsgCmpList().Forget(this);
}

QWidget* TmdMsgComponent::GetOwnerForm(QObject* component) {
    if (!component)
        return nullptr;
    if (auto* widget = qobject_cast<QWidget*>(component); widget && widget->isWindow())
        return widget;
    return GetOwnerForm(component->parent());
}

void TmdMsgComponent::SetWindowHandle(HWND wnd) {
    if (wnd == windowHandle_)
        return;
    if (loading_) {
        windowHandle_ = wnd;
        return;
    }
    if (windowHandle_)
        UnhookWindow(windowHandle_);
    windowHandle_ = wnd;
    if (wnd)
        HookWindow(wnd);
}

void TmdMsgComponent::HookWindow(HWND wnd) {
    MsgCmpList().HookWindow(this, wnd);
}

void TmdMsgComponent::UnhookWindow(HWND wnd) {
    MsgCmpList().UnhookWindow(this, wnd);
}

void TmdMsgComponent::Dispatch(TMessage& message) {
    DefaultHandler(message);
}

void TmdMsgComponent::DefaultHandler(TMessage&) {}

void TmdMsgComponent::Loaded() {
    loading_ = false;
    if (windowHandle_)
        HookWindow(windowHandle_);
}

} // namespace widgets
