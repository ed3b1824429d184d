#pragma once
// The notification area: Shell_NotifyIcon hands the notify record to the
// current host. The default host shows a QSystemTrayIcon per (window, id)
// and posts the record's callback message with the mouse message in LParam
// for presses and double clicks; tests put a recording host in its place.
#include <QRect>
#include <cstdint>
#include <memory>
#include <string>

#include "widgets/resources.h"
#include "widgets/winmsg.h"

namespace widgets {

enum : unsigned { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
enum : unsigned { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };

struct NOTIFYICONDATA {
    std::uint32_t cbSize = 0;
    HWND hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    HICON hIcon = 0;
    char szTip[64] = {};
};

class TrayHost {
public:
    virtual ~TrayHost() = default;
    virtual bool NotifyIcon(unsigned message, const NOTIFYICONDATA& data) = 0;
    // Why the last NIM_ADD failed, for the program's log.
    [[nodiscard]] virtual std::string LastError() const { return {}; }
};

bool Shell_NotifyIcon(unsigned message, const NOTIFYICONDATA& data);
[[nodiscard]] std::string TrayHostError();
// Puts a host in place (nullptr: the default one); returns the one replaced.
TrayHost* SetTrayHost(TrayHost* host);
[[nodiscard]] TrayHost* CurrentTrayHost();

class QtTrayHost : public TrayHost {
public:
    QtTrayHost();
    ~QtTrayHost() override;
    bool NotifyIcon(unsigned message, const NOTIFYICONDATA& data) override;
    [[nodiscard]] std::string LastError() const override { return lastError_; }
    // Screen place of a shown icon (empty when unknown).
    [[nodiscard]] QRect Geometry(HWND wnd, std::uint32_t id) const;

private:
    struct Icons;
    std::unique_ptr<Icons> icons_;
    std::string lastError_;
};

} // namespace widgets
