#pragma once
// One icon in the notification area for the window of its owner form. The
// owner window's messages reach the tray through the message hook; mouse
// actions on the icon become three events and a right click opens the
// popup menu.
#include <QIcon>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "widgets/msgcmp.h"
#include "widgets/popupmenu.h"
#include "widgets/resources.h"
#include "widgets/trayhost.h"

namespace widgets {

class TmdTray;

// The icon image set by code; any change tells the tray.
class TmdTrayIcon {
public:
    explicit TmdTrayIcon(TmdTray* tray) : tray_(tray) {}
    ~TmdTrayIcon();
    TmdTrayIcon(const TmdTrayIcon&) = delete;
    TmdTrayIcon& operator=(const TmdTrayIcon&) = delete;

    void Assign(const QIcon& icon);
    [[nodiscard]] bool Empty() const { return icon_.isNull(); }
    [[nodiscard]] const QIcon& Image() const { return icon_; }
    // The image's handle; 0 when empty.
    [[nodiscard]] HICON Handle() const { return handle_; }

private:
    TmdTray* tray_;
    QIcon icon_;
    HICON handle_ = 0;
};

// Names of icon resources; storing a name tells the tray.
class TmdTrayResources {
public:
    explicit TmdTrayResources(TmdTray* tray) : tray_(tray) {}

    void Add(const std::string& name) { names_.push_back(name); }
    void Put(int index, const std::string& name);
    void Assign(const std::vector<std::string>& names) { names_ = names; }
    [[nodiscard]] int Count() const { return int(names_.size()); }
    [[nodiscard]] const std::string& Strings(int index) const {
        return names_.at(std::size_t(index));
    }
    [[nodiscard]] const std::vector<std::string>& Names() const { return names_; }

private:
    TmdTray* tray_;
    std::vector<std::string> names_;
};

class TmdTray : public TmdMsgComponent {
    Q_OBJECT
public:
    static constexpr unsigned WM_TRAYNOTIFY = WM_USER + 9100; // 10124
    static constexpr std::size_t MaxTip = 63;

    explicit TmdTray(QObject* owner = nullptr);
    ~TmdTray() override;

    [[nodiscard]] bool Active() const { return GetActive(); }
    void SetActive(bool value);
    [[nodiscard]] const QIcon& Icon() const { return icon_.Image(); }
    void SetIcon(const QIcon& icon);
    [[nodiscard]] TmdTrayResources& IconResources() { return iconResources_; }
    void SetIconResources(const std::vector<std::string>& names);
    [[nodiscard]] int IconIndex() const { return iconIndex_; }
    void SetIconIndex(int index);
    [[nodiscard]] TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    [[nodiscard]] std::string Tip() const;
    void SetTip(const std::string& text);
    // The component's name; the tip follows it until a tip is set.
    [[nodiscard]] std::string Name() const { return objectName().toStdString(); }
    void SetName(const std::string& name);

    std::function<void(QObject* sender)> ShowMenu;
    std::function<void(QObject* sender)> SimpelFunction;
    std::function<void(QObject* sender)> DefaultFunction;
    // The notification area refused the icon (none on this desktop, or no
    // owner window): the program must stay reachable another way. The text
    // says why.
    std::function<void(TmdTray* sender, const std::string& reason)> OnNoTray;
    // True after the notification area last refused the icon.
    [[nodiscard]] bool NoTray() const { return noTray_; }

    virtual void AddIcon();
    virtual void DeleteIcon();
    virtual void ModifyIcon();
    virtual void PopupMenuAt(QPoint point);
    virtual void IconChanged();

    [[nodiscard]] HICON GetIconHandle() const;
    [[nodiscard]] bool GetActive() const;

    void Loaded() override;
    void Dispatch(TMessage& message) override;

private:
    void WMTrayNotify(TMessage& message);
    void Refused(const std::string& reason);

    bool active_ = true;
    NOTIFYICONDATA data_;
    TmdTrayResources iconResources_;
    int iconIndex_ = 0;
    TmdTrayIcon icon_;
    QPointer<TPopupMenu> popupMenu_; // nulls itself when the menu is freed
    bool tipSet_ = false;
    bool noTray_ = false;
};

} // namespace widgets
