#pragma once
// The restriction wizard (condition, action, name) and the restriction
// properties, which hold the same boxes on one page.
#include <QDialog>

class QComboBox;
class QLineEdit;

namespace widgets {
class TEPWizard;
class TEPWizardPage;
} // namespace widgets

namespace cfgman {

struct TRuleEdit;
class TRuleConditionBox;

class TfrmRuleWiz : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRuleWiz(QWidget* parent = nullptr);

    widgets::TEPWizard* Wizard = nullptr;
    widgets::TEPWizardPage *EPWizardPage1 = nullptr, *EPWizardPage2 = nullptr,
                           *EPWizardPage3 = nullptr;
    TRuleConditionBox* Condition = nullptr;
    QComboBox *cmbAction1 = nullptr, *cmbAction2 = nullptr;
    QLineEdit* edtName = nullptr;

    [[nodiscard]] TRuleEdit Entered() const;
};

class TfrmRuleProp : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRuleProp(QWidget* parent = nullptr);

    QLineEdit* edtName = nullptr;
    TRuleConditionBox* Condition = nullptr;
    QComboBox *cmbAction1 = nullptr, *cmbAction2 = nullptr;

    void Load(const TRuleEdit& edit);
    [[nodiscard]] TRuleEdit Entered() const;
};

// The check of what is entered before OK or Finish closes the dialog.
[[nodiscard]] bool AcceptRule(QWidget* dialog, const TRuleEdit& edit);

} // namespace cfgman
