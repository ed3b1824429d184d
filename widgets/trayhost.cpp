#include "widgets/trayhost.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <cstring>
#include <map>

namespace widgets {

namespace {

TrayHost* installed = nullptr;

TrayHost& DefaultHost() {
    static QtTrayHost host;
    return host;
}

QString TipOf(const NOTIFYICONDATA& data) {
    return QString::fromUtf8(data.szTip, int(strnlen(data.szTip, sizeof data.szTip)));
}

} // namespace

bool Shell_NotifyIcon(unsigned message, const NOTIFYICONDATA& data) {
    return CurrentTrayHost()->NotifyIcon(message, data);
}

std::string TrayHostError() {
    return CurrentTrayHost()->LastError();
}

TrayHost* SetTrayHost(TrayHost* host) {
    TrayHost* old = CurrentTrayHost();
    installed = host;
    return old;
}

TrayHost* CurrentTrayHost() {
    return installed ? installed : &DefaultHost();
}

struct QtTrayHost::Icons {
    struct Shown {
        std::unique_ptr<QSystemTrayIcon> icon;
        unsigned callback = 0;
    };
    std::map<std::pair<HWND, std::uint32_t>, Shown> shown;
};

QtTrayHost::QtTrayHost() : icons_(std::make_unique<Icons>()) {}

QtTrayHost::~QtTrayHost() {
    // Icons left at program end outlive the application object; Qt may no
    // longer be torn down safely then.
    if (!QCoreApplication::instance())
        for (auto& [key, shown] : icons_->shown)
            (void)shown.icon.release();
}

bool QtTrayHost::NotifyIcon(unsigned message, const NOTIFYICONDATA& data) {
    const auto key = std::make_pair(data.hWnd, data.uID);
    auto it = icons_->shown.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != icons_->shown.end() || !data.hWnd)
            return false;
        if (!QGuiApplication::instance()) {
            lastError_ = "no application object";
            return false;
        }
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            lastError_ = "no notification area on this desktop (display platform \"" +
                         QGuiApplication::platformName().toStdString() + "\")";
            return false;
        }
        Icons::Shown& entry = icons_->shown[key];
        entry.icon = std::make_unique<QSystemTrayIcon>();
        if (data.uFlags & NIF_MESSAGE)
            entry.callback = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON)
            entry.icon->setIcon(IconFromHandle(data.hIcon));
        if (data.uFlags & NIF_TIP)
            entry.icon->setToolTip(TipOf(data));
        Icons::Shown* self = &entry;
        const HWND wnd = data.hWnd;
        const std::uint32_t id = data.uID;
        QObject::connect(entry.icon.get(), &QSystemTrayIcon::activated,
                         [self, wnd, id](QSystemTrayIcon::ActivationReason reason) {
                             LPARAM mouse = 0;
                             if (reason == QSystemTrayIcon::Trigger)
                                 mouse = WM_LBUTTONDOWN;
                             else if (reason == QSystemTrayIcon::DoubleClick)
                                 mouse = WM_LBUTTONDBLCLK;
                             else if (reason == QSystemTrayIcon::Context)
                                 mouse = WM_RBUTTONDOWN;
                             else if (reason == QSystemTrayIcon::MiddleClick)
                                 mouse = WM_MBUTTONDOWN;
                             if (mouse && self->callback)
                                 PostMessage(wnd, self->callback, id, mouse);
                         });
        entry.icon->show();
        lastError_.clear();
        return true;
    }
    case NIM_MODIFY:
        if (it == icons_->shown.end())
            return false;
        if (data.uFlags & NIF_MESSAGE)
            it->second.callback = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON)
            it->second.icon->setIcon(IconFromHandle(data.hIcon));
        if (data.uFlags & NIF_TIP)
            it->second.icon->setToolTip(TipOf(data));
        return true;
    case NIM_DELETE:
        if (it == icons_->shown.end())
            return false;
        icons_->shown.erase(it);
        return true;
    default:
        return false;
    }
}

QRect QtTrayHost::Geometry(HWND wnd, std::uint32_t id) const {
    const auto it = icons_->shown.find(std::make_pair(wnd, id));
    return it == icons_->shown.end() ? QRect() : it->second.icon->geometry();
}

} // namespace widgets
