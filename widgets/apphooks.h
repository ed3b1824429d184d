#pragma once
// The services a tray program gives the Qt-free code: pumping the queue,
// beeps and message boxes. Without a screen (offscreen, minimal) message
// boxes keep the default: written to stderr, answered with the default button.

// Installs the hooks; a QApplication must exist. The returned guard removes
// them again when the program ends.
class TAppHooks {
public:
    TAppHooks();
    ~TAppHooks();
    TAppHooks(const TAppHooks&) = delete;
    TAppHooks& operator=(const TAppHooks&) = delete;
};
