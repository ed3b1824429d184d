#pragma once
// The mail account wizard: name, group, servers, login, identification,
// schedule and what the retriever does by default, on seven pages.
#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace widgets {
class TEPWizard;
class TEPWizardPage;
} // namespace widgets

namespace cfgman {

struct TNewAccount;

class TfrmNewNode : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewNode(QWidget* parent = nullptr);

    widgets::TEPWizard* NewNodeWiz = nullptr;
    widgets::TEPWizardPage *WizPage1 = nullptr, *WizPage2 = nullptr, *EPWizardPage1 = nullptr,
                           *EPWizardPage2 = nullptr, *EPWizardPage3 = nullptr,
                           *EPWizardPage4 = nullptr, *EPWizardPage5 = nullptr;
    QLineEdit* edtNodeName = nullptr;
    QListWidget* lstGroups = nullptr; // each item carries its group's UNIQUE_ID
    QLineEdit *edtSMTP = nullptr, *edtPOP = nullptr;
    QLineEdit *edtUsername = nullptr, *edtPassword = nullptr;
    QLineEdit *edtEmail = nullptr, *edtRealName = nullptr;
    QLineEdit *edtMins = nullptr, *MedtNextDate = nullptr, *MedtNextTime = nullptr;
    QComboBox *cmbAction1 = nullptr, *cmbAction2 = nullptr;

    // Puts the groups into the list: captions and keys.
    void AddGroup(const QString& caption, const QString& uniqueId);
    // What was entered.
    [[nodiscard]] TNewAccount Entered() const;

    // Finish refuses (on the page concerned) what cannot be stored.
    void NewNodeWizFinishClick();
    void NewNodeWizCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void EditChanged();
};

} // namespace cfgman
