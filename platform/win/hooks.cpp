#include "platform/win/hooks.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <unistd.h>

namespace win {

namespace {
PumpHook g_pump;
MessageBoxHook g_box;
BeepHook g_beep;
HelpHook g_help;

// Without a window the answer is the box's default button.
int DefaultAnswer(unsigned flags) {
    const bool second = (flags & MB_DEFBUTTON2) != 0;
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    case MB_ABORTRETRYIGNORE:
        return second ? IDRETRY : IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return second ? IDNO : IDYES;
    case MB_RETRYCANCEL:
        return second ? IDCANCEL : IDRETRY;
    default:
        return IDOK;
    }
}
} // namespace

void ProcessMessages() {
    if (g_pump)
        g_pump();
}

void SetPumpHook(PumpHook hook) {
    g_pump = std::move(hook);
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    if (g_box)
        return g_box(text, caption, flags);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return DefaultAnswer(flags);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    g_box = std::move(hook);
}

void MessageBeep(unsigned type) {
    if (g_beep)
        g_beep(type);
}

void SetBeepHook(BeepHook hook) {
    g_beep = std::move(hook);
}

void WinHelp(const std::string& file, unsigned command, unsigned long data) {
    if (g_help)
        g_help(file, command, data);
}

void SetHelpHook(HelpHook hook) {
    g_help = std::move(hook);
}

void StopPoint(const char* point) {
    static const char* const wanted = std::getenv("QUELTA_STOP_AT");
    if (wanted != nullptr && ::strcasecmp(wanted, point) == 0)
        ::_exit(kStopPointExit);
}

} // namespace win
