#pragma once
// A popup menu as the tray uses it: it opens on its own only while
// AutoPopup is set, and remembers the component that opened it.
#include <QMenu>
#include <QPointer>

namespace widgets {

class TPopupMenu : public QMenu {
    Q_OBJECT
public:
    explicit TPopupMenu(QWidget* parent = nullptr);

    [[nodiscard]] bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool value) { autoPopup_ = value; }
    [[nodiscard]] QObject* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(QObject* component) { popupComponent_ = component; }

private:
    bool autoPopup_ = true;
    QPointer<QObject> popupComponent_;
};

} // namespace widgets
