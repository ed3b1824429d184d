#pragma once
// Services that a program with windows fills in and the Qt-free code calls:
// pumping the message queue, message boxes, beeps and help. By default the
// pump does nothing, a message box answers its default button and logs the
// text to stderr, a beep does nothing.
#include <functional>
#include <string>

namespace win {

// Message box flags and answers with the Windows values, since callers test
// them as numbers.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONHAND = 0x10,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

using PumpHook = std::function<void()>;
using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
using BeepHook = std::function<void(unsigned type)>;
using HelpHook = std::function<void(const std::string& file, unsigned command, unsigned long data)>;

// Lets the program serve its queue once ("Application.ProcessMessages").
void ProcessMessages();
void SetPumpHook(PumpHook hook);

int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
void SetMessageBoxHook(MessageBoxHook hook);

void MessageBeep(unsigned type);
void SetBeepHook(BeepHook hook);

void WinHelp(const std::string& file, unsigned command, unsigned long data);
void SetHelpHook(HelpHook hook);

// Crash tests stop a program at a moment they name: when the environment
// variable QUELTA_STOP_AT holds point (without regard to case), the process
// ends there at once, as a kill would end it, with this exit status. The
// xBase engine has points of its own under the same variable.
inline constexpr int kStopPointExit = 86;
void StopPoint(const char* point);

} // namespace win
