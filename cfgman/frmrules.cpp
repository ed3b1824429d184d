#include "cfgman/frmrules.h"
#include "cfgman/qtext.h"
#include "cfgman/wizardpage.h"

#include "cfgman/core/restrictions.h"
#include "cfgman/rulecondition.h"
#include "platform/win/hooks.h"
#include "widgets/wizard.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace cfgman {

namespace {

QComboBox* YesNo() {
    auto* box = new QComboBox;
    box->addItems({QStringLiteral("YES"), QStringLiteral("NO")});
    return box;
}

bool Yes(const QComboBox* box) {
    return box->currentText() == QLatin1String("YES");
}

// What the two dialogs' boxes hold.
TRuleEdit Read(const TRuleConditionBox& condition, const QLineEdit& name, const QComboBox& retrieve,
               const QComboBox& remove) {
    TRuleEdit e;
    condition.Read(e);
    e.Name = S(name.text());
    e.Retrieve = Yes(&retrieve);
    e.Remove = Yes(&remove);
    return e;
}

} // namespace

bool AcceptRule(QWidget* dialog, const TRuleEdit& edit) {
    if (const auto problem = CheckRule(edit)) {
        win::MessageBox(*problem, S(dialog->windowTitle()), win::MB_OK | win::MB_ICONWARNING);
        return false;
    }
    return true;
}

TfrmRuleWiz::TfrmRuleWiz(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmRuleWiz"));
    setWindowTitle(QStringLiteral("Restriction Wizard"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Wizard = new widgets::TEPWizard(this);
    layout->addWidget(Wizard);
    Wizard->BeginLoad();

    EPWizardPage1 = AddWizardPage(Wizard, "EPWizardPage1", "Step 1: Choose a condition");
    Condition = new TRuleConditionBox(EPWizardPage1);
    EPWizardPage1->layout()->addWidget(Condition);

    EPWizardPage2 = AddWizardPage(Wizard, "EPWizardPage2", "Step 2: Choose an action");
    auto* actions = new QFormLayout;
    cmbAction1 = YesNo();
    cmbAction2 = YesNo();
    actions->addRow(QStringLiteral("Retrieve from server for agent processing?"), cmbAction1);
    actions->addRow(QStringLiteral("Remove from server after retrieval?"), cmbAction2);
    static_cast<QVBoxLayout*>(EPWizardPage2->layout())->addLayout(actions);
    static_cast<QVBoxLayout*>(EPWizardPage2->layout())->addStretch();

    EPWizardPage3 = AddWizardPage(Wizard, "EPWizardPage3", "Step 3: Name the restriction");
    edtName = new QLineEdit(EPWizardPage3);
    edtName->setMaxLength(int(kRuleNameWidth));
    EPWizardPage3->layout()->addWidget(edtName);
    static_cast<QVBoxLayout*>(EPWizardPage3->layout())->addStretch();
    EPWizardPage3->OnDoneQuery = [this](QObject*, bool& done) {
        done = !edtName->text().isEmpty();
    };
    connect(edtName, &QLineEdit::textChanged, this, [this] { Wizard->UpdateNextButton(); });

    Wizard->SetFirstPage(EPWizardPage1);
    Wizard->EndLoad();
    Wizard->OnFinishClick = [this](QObject*) {
        if (AcceptRule(this, Entered()))
            done(1);
    };
    Wizard->OnCancelClick = [this](QObject*) { done(2); };
    resize(460, 320);
    Wizard->UpdateButtons();
}

TRuleEdit TfrmRuleWiz::Entered() const {
    return Read(*Condition, *edtName, *cmbAction1, *cmbAction2);
}

TfrmRuleProp::TfrmRuleProp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmRuleProp"));
    setWindowTitle(QStringLiteral("Restriction Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edtName = new QLineEdit(this);
    edtName->setMaxLength(int(kRuleNameWidth));
    form->addRow(QStringLiteral("Restriction Name"), edtName);
    layout->addLayout(form);
    Condition = new TRuleConditionBox(this);
    Condition->cmbField->setEditText(QStringLiteral("Select a Field"));
    layout->addWidget(Condition);
    auto* actions = new QFormLayout;
    cmbAction1 = YesNo();
    cmbAction2 = YesNo();
    actions->addRow(QStringLiteral("Retreive from server?"), cmbAction1);
    actions->addRow(QStringLiteral("Remove from server?"), cmbAction2);
    layout->addLayout(actions);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (AcceptRule(this, Entered()))
            done(1);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(2); });
    resize(420, 320);
}

void TfrmRuleProp::Load(const TRuleEdit& e) {
    edtName->setText(Q(e.Name));
    cmbAction1->setCurrentIndex(e.Retrieve ? 0 : 1);
    cmbAction2->setCurrentIndex(e.Remove ? 0 : 1);
    Condition->Load(e);
}

TRuleEdit TfrmRuleProp::Entered() const {
    return Read(*Condition, *edtName, *cmbAction1, *cmbAction2);
}

} // namespace cfgman
