#pragma once
// The status window: the program's log pane (newest line first, seen only
// when the window is expanded), the error counter and the last texts.
// Collapsed it is 289 pixels high, expanded 440; its tag says which.
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace widgets {
class TOfficeButton;
}

namespace cfgman {

class TfrmStatus : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCollapsed = 289;
    static constexpr int kExpanded = 440;

    explicit TfrmStatus(QWidget* parent = nullptr);

    QPlainTextEdit* REStatus = nullptr;
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

    // Puts a line at the top of the pane.
    void InsertLine(const QString& line);
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
