#include "widgets/mdtray.h"

#include <QWidget>
#include <cstring>

namespace widgets {

TmdTrayIcon::~TmdTrayIcon() {
    DestroyIconHandle(handle_);
}

void TmdTrayIcon::Assign(const QIcon& icon) {
    const HICON old = handle_;
    icon_ = icon;
    handle_ = CreateIconHandle(icon_);
    if (tray_)
        tray_->IconChanged();
    // Freed only after the shell was given the new one.
    DestroyIconHandle(old);
}

void TmdTrayResources::Put(int index, const std::string& name) {
    names_.at(std::size_t(index)) = name;
    if (tray_)
        tray_->IconChanged();
}

TmdTray::TmdTray(QObject* owner) : TmdMsgComponent(owner), iconResources_(this), icon_(this) {
    iconResources_.Add("MAINICON");
}

TmdTray::~TmdTray() {
    BeginDestroy();
    // Off the shell and off the window before the icon and its handle go.
    DeleteIcon();
    SetWindowHandle(0);
}

void TmdTray::SetActive(bool value) {
    if (value == GetActive())
        return;
    active_ = value;
    if (value)
        AddIcon();
    else
        DeleteIcon();
}

void TmdTray::SetIcon(const QIcon& icon) {
    icon_.Assign(icon);
    ModifyIcon();
}

void TmdTray::SetIconResources(const std::vector<std::string>& names) {
    iconResources_.Assign(names);
    ModifyIcon();
}

void TmdTray::SetIconIndex(int index) {
    if (index == iconIndex_)
        return;
    iconIndex_ = index;
    if (icon_.Empty())
        ModifyIcon();
}

void TmdTray::SetPopupMenu(TPopupMenu* menu) {
    popupMenu_ = menu;
}

std::string TmdTray::Tip() const {
    return std::string(data_.szTip, strnlen(data_.szTip, MaxTip));
}

void TmdTray::SetTip(const std::string& text) {
    std::size_t n = std::min(text.size(), MaxTip);
    // Never end inside a UTF-8 sequence.
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    tipSet_ = true;
    std::memset(data_.szTip, 0, sizeof data_.szTip);
    std::memcpy(data_.szTip, text.data(), n);
    ModifyIcon();
}

void TmdTray::SetName(const std::string& name) {
    setObjectName(QString::fromStdString(name));
    if (!tipSet_) {
        SetTip(name.substr(0, 255));
        tipSet_ = false;
    }
}

HICON TmdTray::GetIconHandle() const {
    if (!icon_.Empty())
        return icon_.Handle();
    if (iconIndex_ >= 0 && iconIndex_ < iconResources_.Count())
        return LoadIcon(iconResources_.Strings(iconIndex_));
    return 0;
}

bool TmdTray::GetActive() const {
    return active_ && data_.hIcon != 0;
}

void TmdTray::AddIcon() {
    data_.cbSize = 88;
    if (WindowHandle() == 0)
        SetWindowHandle(WindowHandleOf(OwnerForm()));
    data_.hWnd = WindowHandle();
    data_.uID = 1;
    data_.uCallbackMessage = WM_TRAYNOTIFY;
    data_.hIcon = GetIconHandle();
    data_.uFlags = NIF_MESSAGE | NIF_ICON;
    if (data_.szTip[0])
        data_.uFlags |= NIF_TIP;
    if (!data_.hIcon || !data_.hWnd) {
        if (!data_.hWnd)
            Refused("the tray icon has no window to report to");
        return;
    }
    if (Shell_NotifyIcon(NIM_ADD, data_))
        noTray_ = false;
    else
        Refused(TrayHostError());
}

void TmdTray::DeleteIcon() {
    data_.uFlags = 0;
    Shell_NotifyIcon(NIM_DELETE, data_);
}

void TmdTray::ModifyIcon() {
    if (!GetActive())
        return;
    if (data_.szTip[0])
        data_.uFlags |= NIF_TIP;
    else
        data_.uFlags &= ~NIF_TIP;
    data_.hIcon = GetIconHandle();
    Shell_NotifyIcon(NIM_MODIFY, data_);
}

void TmdTray::IconChanged() {
    if (GetIconHandle() != data_.hIcon)
        ModifyIcon();
}

void TmdTray::PopupMenuAt(QPoint point) {
    TPopupMenu* menu = popupMenu_;
    if (!menu || !menu->AutoPopup())
        return;
    SetForegroundWindow(WindowHandle());
    menu->SetPopupComponent(this);
    menu->popup(point);
}

void TmdTray::Loaded() {
    TmdMsgComponent::Loaded();
    AddIcon();
}

void TmdTray::Dispatch(TMessage& message) {
    if (message.Msg == WM_TRAYNOTIFY)
        WMTrayNotify(message);
    else
        TmdMsgComponent::Dispatch(message);
}

void TmdTray::WMTrayNotify(TMessage& message) {
    switch (message.LParam) {
    case WM_LBUTTONDOWN:
        if (SimpelFunction)
            SimpelFunction(this);
        message.Result = 1;
        break;
    case WM_LBUTTONDBLCLK:
        if (DefaultFunction)
            DefaultFunction(this);
        message.Result = 1;
        break;
    case WM_RBUTTONDOWN:
        if (ShowMenu)
            ShowMenu(this);
        PopupMenuAt(GetCursorPos());
        message.Result = 1;
        break;
    default:
        break;
    }
}

void TmdTray::Refused(const std::string& reason) {
    noTray_ = true;
    if (OnNoTray)
        OnNoTray(this,
                 reason.empty() ? std::string("the notification area refused the icon") : reason);
}

} // namespace widgets
