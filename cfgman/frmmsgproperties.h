#pragma once
// "Message Properties" of a stored message: what it holds (subject, sender,
// attachments, header lines) and its file, whose raw text "&Message
// Source..." shows. Nothing is written back.
#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TmsMessage;

namespace cfgman {

class TfrmMsgProperties : public QDialog {
    Q_OBJECT
public:
    TfrmMsgProperties(QWidget* parent, const TmsMessage& message, const std::string& fileName);

    // Opens the source window of the file; it belongs to this dialog.
    void MessageSourceClick();

    QTabWidget* pages = nullptr;
    QLineEdit* edtSubject = nullptr;
    QLineEdit* edtFrom = nullptr;
    QLineEdit* edtFilename = nullptr; // read only
    QLabel* lblAttachments = nullptr;
    QPlainTextEdit* memHeaders = nullptr;
    QPushButton* btnMessageSource = nullptr;
    QPushButton *btnOK = nullptr, *btnCancel = nullptr, *btnApply = nullptr;
};

} // namespace cfgman
