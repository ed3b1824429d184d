#include "cfgman/frmnewnode.h"
#include "cfgman/qtext.h"
#include "cfgman/wizardpage.h"

#include "cfgman/core/accounts.h"
#include "cfgman/core/schedule.h"
#include "platform/win/datetime.h"
#include "platform/win/hooks.h"
#include "widgets/wizard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace cfgman {

namespace {

QLineEdit* Edit(QWidget* page, QFormLayout* form, const char* caption) {
    auto* edit = new QLineEdit(page);
    auto* label = new QLabel(QString::fromLatin1(caption), page);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

QComboBox* YesNo(QWidget* page, QFormLayout* form, const char* caption) {
    auto* box = new QComboBox(page);
    box->addItems({QStringLiteral("YES"), QStringLiteral("NO")});
    auto* label = new QLabel(QString::fromLatin1(caption), page);
    label->setBuddy(box);
    form->addRow(label, box);
    return box;
}

QFormLayout* Form(QWidget* page) {
    auto* form = new QFormLayout;
    static_cast<QVBoxLayout*>(page->layout())->addLayout(form);
    return form;
}

} // namespace

TfrmNewNode::TfrmNewNode(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmNewNode"));
    setWindowTitle(QStringLiteral("Mail Account Wizard"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    NewNodeWiz = new widgets::TEPWizard(this);
    NewNodeWiz->setObjectName(QStringLiteral("NewNodeWiz"));
    layout->addWidget(NewNodeWiz);
    NewNodeWiz->BeginLoad();

    WizPage1 = AddWizardPage(NewNodeWiz, "WizPage1", "Account Name");
    edtNodeName = Edit(WizPage1, Form(WizPage1), "&Account Name:");
    WizPage1->OnDoneQuery = [this](QObject*, bool& done) { done = !edtNodeName->text().isEmpty(); };

    WizPage2 = AddWizardPage(NewNodeWiz, "WizPage2", "Select a Group");
    auto* groupsLabel = new QLabel(QStringLiteral("&Available Groups"), WizPage2);
    lstGroups = new QListWidget(WizPage2);
    lstGroups->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette pal = lstGroups->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    lstGroups->setPalette(pal);
    groupsLabel->setBuddy(lstGroups);
    WizPage2->layout()->addWidget(groupsLabel);
    WizPage2->layout()->addWidget(lstGroups);

    EPWizardPage1 = AddWizardPage(NewNodeWiz, "EPWizardPage1", "Server Information");
    QFormLayout* servers = Form(EPWizardPage1);
    edtSMTP = Edit(EPWizardPage1, servers, "&SMTP Server Address (Outgoing Mail):");
    edtPOP = Edit(EPWizardPage1, servers, "&POP Server Address (Incoming Mail);");

    EPWizardPage2 = AddWizardPage(NewNodeWiz, "EPWizardPage2", "Login Information");
    QFormLayout* login = Form(EPWizardPage2);
    edtUsername = Edit(EPWizardPage2, login, "&Username");
    edtPassword = Edit(EPWizardPage2, login, "&Password ");
    edtPassword->setEchoMode(QLineEdit::Password);

    EPWizardPage3 = AddWizardPage(NewNodeWiz, "EPWizardPage3", "Identification");
    QFormLayout* ident = Form(EPWizardPage3);
    edtEmail = Edit(EPWizardPage3, ident, "&E-Mail Address:");
    edtRealName = Edit(EPWizardPage3, ident, "&Sender name:");
    EPWizardPage3->OnDoneQuery = [this](QObject*, bool& done) {
        if (!edtEmail->text().isEmpty())
            edtUsername->setText(QString::fromStdString(
                LoginFromAddress(S(edtEmail->text()), S(edtUsername->text()))));
        done = true;
    };
    EPWizardPage3->OnShow = [this](QObject*) {
        bool done = true;
        EPWizardPage3->OnDoneQuery(EPWizardPage3, done);
    };

    EPWizardPage4 = AddWizardPage(NewNodeWiz, "EPWizardPage4", "Processing Interval");
    QFormLayout* schedule = Form(EPWizardPage4);
    edtMins = Edit(EPWizardPage4, schedule, "Processing interval (minutes):");
    edtMins->setText(QStringLiteral("10"));
    MedtNextDate = Edit(EPWizardPage4, schedule, "Next Processing &Date:");
    MedtNextDate->setInputMask(QStringLiteral("00/00/99;_"));
    MedtNextDate->setMaxLength(8);
    MedtNextTime = Edit(EPWizardPage4, schedule, "Next Processing &Time:");
    MedtNextTime->setInputMask(QStringLiteral("09:99>AA;_"));
    MedtNextTime->setMaxLength(7);

    EPWizardPage5 = AddWizardPage(NewNodeWiz, "EPWizardPage5", "Control Restriction");
    QFormLayout* control = Form(EPWizardPage5);
    cmbAction1 = YesNo(EPWizardPage5, control, "&Retreive from server?");
    cmbAction2 = YesNo(EPWizardPage5, control, "&Delete from server after retreival");

    for (auto* page : {WizPage1, WizPage2, EPWizardPage1, EPWizardPage2, EPWizardPage3,
                       EPWizardPage4, EPWizardPage5})
        static_cast<QVBoxLayout*>(page->layout())->addStretch();
    NewNodeWiz->SetFirstPage(WizPage1);
    NewNodeWiz->EndLoad();

    for (QLineEdit* e : {edtNodeName, edtPOP, edtUsername, edtPassword})
        connect(e, &QLineEdit::textChanged, this, [this] { EditChanged(); });
    connect(edtSMTP, &QLineEdit::textChanged, this,
            [this](const QString& text) { edtPOP->setText(text); });
    NewNodeWiz->OnFinishClick = [this](QObject*) { NewNodeWizFinishClick(); };
    NewNodeWiz->OnCancelClick = [this](QObject*) { NewNodeWizCancelClick(); };
    resize(480, 340);
    NewNodeWiz->UpdateButtons();
}

void TfrmNewNode::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const win::TDateTime now = win::Now();
    MedtNextDate->setText(QString::fromStdString(ScheduleDateText(now)));
    MedtNextTime->setText(QString::fromStdString(ScheduleTimeText(now)));
}

void TfrmNewNode::EditChanged() {
    NewNodeWiz->UpdateNextButton();
    edtRealName->setText(edtNodeName->text());
}

void TfrmNewNode::AddGroup(const QString& caption, const QString& uniqueId) {
    auto* item = new QListWidgetItem(caption, lstGroups);
    item->setData(Qt::UserRole, uniqueId);
}

TNewAccount TfrmNewNode::Entered() const {
    TNewAccount a;
    a.Name = S(edtNodeName->text());
    if (const QListWidgetItem* group = lstGroups->currentItem(); group && group->isSelected())
        a.GroupId = S(group->data(Qt::UserRole).toString());
    a.Smtp = S(edtSMTP->text());
    a.Pop = S(edtPOP->text());
    a.Login = S(edtUsername->text());
    a.Password = S(edtPassword->text());
    a.Email = S(edtEmail->text());
    a.Minutes = S(edtMins->text());
    a.NextDate = S(MedtNextDate->text());
    a.NextTime = S(MedtNextTime->text());
    a.Retrieve = cmbAction1->currentText() == QLatin1String("YES");
    a.Delete = cmbAction2->currentText() == QLatin1String("YES");
    return a;
}

void TfrmNewNode::NewNodeWizFinishClick() {
    if (const auto problem = CheckNewAccount(Entered())) {
        // Shown on its page; nothing is stored until it is mended.
        widgets::TEPWizardPage* pages[] = {WizPage1,      WizPage2,      EPWizardPage1,
                                           EPWizardPage2, EPWizardPage3, EPWizardPage4,
                                           EPWizardPage5};
        NewNodeWiz->SetActivePage(pages[problem->Page - 1]);
        win::MessageBox(problem->Message, "Mail Account Wizard", win::MB_OK | win::MB_ICONWARNING);
        return;
    }
    setResult(1);
    done(1);
}

void TfrmNewNode::NewNodeWizCancelClick() {
    done(2);
}

} // namespace cfgman
