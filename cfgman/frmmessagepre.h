#pragma once
// "Merge Previewer": asks for an example of a message the template might
// answer before the template's merge codes are previewed.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace cfgman {

class TfrmMessagePre : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMessagePre(QWidget* parent = nullptr);

    QPlainTextEdit* memExample = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace cfgman
