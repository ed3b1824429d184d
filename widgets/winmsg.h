#pragma once
// A small window-message layer: window handles with a replaceable window
// procedure, and messages sent (called at once) or posted (delivered later
// by the Qt event loop). A handle may stand for a QWidget, whose handle is
// made on first use and dies with the widget.
#include <QPoint>
#include <cstdint>
#include <exception>
#include <functional>

class QWidget;

namespace widgets {

using HWND = std::uintptr_t; // 0: no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;

// Returns 0 and does nothing else.
LRESULT DefWindowProc(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);

// A window of its own (widget nullptr) or one standing for a widget.
[[nodiscard]] HWND CreateWindowHandle(WNDPROC proc = DefWindowProc);
bool DestroyWindowHandle(HWND wnd);
[[nodiscard]] bool IsWindow(HWND wnd);
// The widget's handle, made with DefWindowProc on first use.
[[nodiscard]] HWND WindowHandleOf(QWidget* widget);
[[nodiscard]] QWidget* WidgetOf(HWND wnd);

// nullptr for a handle that is not a window.
[[nodiscard]] WNDPROC GetWindowProc(HWND wnd);
// Returns the procedure replaced, nullptr (and no change) for a dead handle.
WNDPROC SetWindowProc(HWND wnd, WNDPROC proc);

LRESULT CallWindowProc(WNDPROC proc, HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);
// Calls the window's current procedure; 0 for a dead handle.
LRESULT SendMessage(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);
// Queues the message on the Qt event loop; false for a dead handle or
// without an application object. A window that dies first never gets it.
bool PostMessage(HWND wnd, unsigned msg, WPARAM wParam, LPARAM lParam);

// Where an exception thrown while a posted message is handled goes, since
// it may not cross the Qt event loop. By default it is written to the log
// (qWarning).
using MessageExceptionHandler = std::function<void(const std::exception& error)>;
void SetMessageExceptionHandler(MessageExceptionHandler handler);

// Raises and activates the widget's window when it is shown.
bool SetForegroundWindow(HWND wnd);
[[nodiscard]] QPoint GetCursorPos();

} // namespace widgets
