#pragma once
// The dialog that asks for a new group's name.
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace cfgman {

class TfrmNewGroup : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewGroup(QWidget* parent = nullptr);

    QLineEdit* edtGroupName = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace cfgman
