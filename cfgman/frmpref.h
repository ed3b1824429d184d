#pragma once
// The preferences: how the system connects, the four folders, sounds, and
// the server and sender of Custom Send.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace cfgman {

class TfrmPref : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPref(QWidget* parent = nullptr);

    QTabWidget* Pages = nullptr;
    QRadioButton* optLAN = nullptr;
    QRadioButton* optManual = nullptr;
    QRadioButton* optDUN = nullptr;
    QComboBox* RASComboBox = nullptr;
    QLabel* lblRasSpec = nullptr;
    QLineEdit* edtMessagesPath = nullptr;
    QLineEdit* edtAgentsPath = nullptr;
    QLineEdit* edtDatabases = nullptr;
    QLineEdit* edtTemplates = nullptr;
    QCheckBox* chkDisableSounds = nullptr;
    QLineEdit* edtSMTPAddress = nullptr;
    QLineEdit* edtDefaultFrom = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void FormShow();
    // The dial-up list is for dial-up only.
    void optDUNClick();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace cfgman
