#pragma once
// The status window: the program's log pane (newest line first, seen only
// when the window is expanded), the error counter and the last texts.
// Collapsed it is 289 pixels high, expanded 440; its tag says which.
#include <QDialog>

class QLabel;
class QPushButton;

namespace widgets {
class TLogPane;
class TOfficeButton;
} // namespace widgets

namespace cfgman {

class TfrmStatus : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCollapsed = 289;
    static constexpr int kExpanded = 440;

    explicit TfrmStatus(QWidget* parent = nullptr);

    widgets::TLogPane* REStatus = nullptr;
    widgets::TOfficeButton* btnDetails = nullptr;
    widgets::TOfficeButton* OfficeButton1 = nullptr; // "Close"
    QPushButton* btnCancel = nullptr;                // "Close", reached with Esc
    QLabel* lblNumErrors = nullptr;
    QLabel* lblLastError = nullptr;
    QLabel* lblLastPMessage = nullptr;
    QLabel* lblLastAMessage = nullptr;
    QLabel* lblCurrentAction = nullptr;

    [[nodiscard]] int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The pane's lines, newest first, those not yet shown too.
    [[nodiscard]] QStringList Lines() const;

    void FormShow();
    void FormClose();
    void btnDetailsClick();
    void OfficeButton1Click();
    void btnCancelClick();

    // Esc: hidden as "Close" does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int tag_ = 0;
};

} // namespace cfgman
