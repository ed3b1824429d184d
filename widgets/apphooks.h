#pragma once
// The services a tray program gives the Qt-free code: pumping the queue,
// beeps and message boxes. Without a screen (offscreen, minimal) message
// boxes keep the default: written to stderr, answered with the default button.

#include <memory>
#include <string>

class QMessageBox;

// The box the message-box hook shows for a text, a caption and the
// MB_ flags of its buttons and icon; the text is shown as it is.
[[nodiscard]] std::unique_ptr<QMessageBox>
MakeMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// Installs the hooks; a QApplication must exist. The returned guard removes
// them again when the program ends.
class TAppHooks {
public:
    TAppHooks();
    ~TAppHooks();
    TAppHooks(const TAppHooks&) = delete;
    TAppHooks& operator=(const TAppHooks&) = delete;
};
