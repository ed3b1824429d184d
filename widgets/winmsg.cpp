#include "widgets/winmsg.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <unordered_map>

namespace widgets {

namespace {

struct Window {
    WNDPROC proc = DefWindowProc;
    QPointer<QWidget> widget;
    bool forWidget = false;
};

struct Windows {
    std::unordered_map<HWND, Window> byHandle;
    std::unordered_map<QWidget*, HWND> byWidget;
    HWND next = 0x10;
};

Windows& TheWindows() {
    static Windows windows;
    return windows;
}

Window* Find(HWND wnd) {
    auto& all = TheWindows().byHandle;
    const auto it = all.find(wnd);
    return it == all.end() ? nullptr : &it->second;
}

MessageExceptionHandler& ExceptionHandler() {
    static MessageExceptionHandler handler;
    return handler;
}

} // namespace

void SetMessageExceptionHandler(MessageExceptionHandler handler) {
    ExceptionHandler() = std::move(handler);
}

LRESULT DefWindowProc(HWND, unsigned, WPARAM, LPARAM) {
    return 0;
}

HWND CreateWindowHandle(WNDPROC proc) {
    Windows& windows = TheWindows();
    const HWND wnd = windows.next;
    windows.next += 4;
    windows.byHandle[wnd] = Window{proc ? proc : DefWindowProc, nullptr, false};
    return wnd;
}

bool DestroyWindowHandle(HWND wnd) {
    Windows& windows = TheWindows();
    const auto it = windows.byHandle.find(wnd);
    if (it == windows.byHandle.end())
        return false;
    if (it->second.forWidget)
        for (auto w = windows.byWidget.begin(); w != windows.byWidget.end(); ++w)
            if (w->second == wnd) {
                windows.byWidget.erase(w);
                break;
            }
    windows.byHandle.erase(it);
    return true;
}

bool IsWindow(HWND wnd) {
    return Find(wnd) != nullptr;
}

HWND WindowHandleOf(QWidget* widget) {
    if (!widget)
        return 0;
    Windows& windows = TheWindows();
    if (const auto it = windows.byWidget.find(widget); it != windows.byWidget.end())
        return it->second;
    const HWND wnd = CreateWindowHandle();
    Window& window = windows.byHandle[wnd];
    window.widget = widget;
    window.forWidget = true;
    windows.byWidget[widget] = wnd;
    // The handle dies with the widget, before its address can be reused.
    QObject::connect(widget, &QObject::destroyed, [wnd] { DestroyWindowHandle(wnd); });
    return wnd;
}

QWidget* WidgetOf(HWND wnd) {
    const Window* window = Find(wnd);
    return window ? window->widget.data() : nullptr;
}

WNDPROC GetWindowProc(HWND wnd) {
    const Window* window = Find(wnd);
    return window ? window->proc : nullptr;
}

WNDPROC SetWindowProc(HWND wnd, WNDPROC proc) {
    Window* window = Find(wnd);
    if (!window)
        return nullptr;
    const WNDPROC old = window->proc;
    window->proc = proc ? proc : DefWindowProc;
    return old;
}

LRESULT CallWindowProc(WNDPROC proc, HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(wnd, msg, wParam, lParam) : 0;
}

LRESULT SendMessage(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC proc = GetWindowProc(wnd);
    return proc ? proc(wnd, msg, wParam, lParam) : 0;
}

bool PostMessage(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !IsWindow(wnd))
        return false;
    QMetaObject::invokeMethod(
        app,
        [wnd, msg, wParam, lParam] {
            try {
                if (IsWindow(wnd))
                    SendMessage(wnd, msg, wParam, lParam);
            } catch (const std::exception& error) {
                if (const MessageExceptionHandler& handler = ExceptionHandler())
                    handler(error);
                else
                    qWarning("posted message %u: %s", msg, error.what());
            }
        },
        Qt::QueuedConnection);
    return true;
}

bool SetForegroundWindow(HWND wnd) {
    QWidget* widget = WidgetOf(wnd);
    if (!widget || !widget->isVisible())
        return false;
    widget->raise();
    widget->activateWindow();
    return true;
}

QPoint GetCursorPos() {
    return QCursor::pos();
}

} // namespace widgets
