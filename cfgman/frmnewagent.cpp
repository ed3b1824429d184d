#include "cfgman/frmnewagent.h"

#include "cfgman/core/agents.h"
#include "cfgman/core/settings.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "widgets/wizard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace cfgman {

namespace {

// A page with its heading; its controls go into the returned layout.
QVBoxLayout* Page(widgets::TEPWizardPage* page, const QString& heading) {
    auto* body = new QVBoxLayout(page);
    auto* title = new QLabel(heading, page);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 3);
    title->setFont(f);
    body->addWidget(title);
    return body;
}

QTreeWidget* List(QWidget* parent, const QStringList& columns, std::initializer_list<int> widths) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    int i = 0;
    for (int w : widths)
        list->setColumnWidth(i++, w);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    return list;
}

constexpr const char* kCaption = "Quelta Mail Management System";

} // namespace

TfrmNewAgent::TfrmNewAgent(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmNewAgent"));
    setWindowTitle(QStringLiteral("Agent Wizard"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    EPWizard1 = new widgets::TEPWizard(this);
    EPWizard1->setObjectName(QStringLiteral("EPWizard1"));
    layout->addWidget(EPWizard1);
    EPWizard1->BeginLoad();

    EPWizardPage1 = new widgets::TEPWizardPage(EPWizard1);
    QVBoxLayout* body = Page(EPWizardPage1, QStringLiteral("New Agent Wizard"));
    auto* intro = new QLabel(
        QStringLiteral("An agent watches the messages an account receives and acts on those "
                       "that meet its triggers: it can reply, forward, start a program and "
                       "more. This wizard makes a new agent; attach it to an account "
                       "afterwards to put it to work."),
        EPWizardPage1);
    intro->setWordWrap(true);
    body->addWidget(intro);
    body->addWidget(new QLabel(QStringLiteral("Press next to proceed..."), EPWizardPage1));
    optMessage =
        new QRadioButton(QStringLiteral("When an e-mail message is received"), EPWizardPage1);
    optInterval = new QRadioButton(QStringLiteral("At a certain time or interval"), EPWizardPage1);
    optFunction = new QRadioButton(QStringLiteral("As a script function"), EPWizardPage1);
    optMessage->setChecked(true);
    for (QRadioButton* b : {optMessage, optInterval, optFunction}) {
        b->setVisible(false);
        body->addWidget(b);
    }
    body->addStretch();

    EPWizardPage2 = new widgets::TEPWizardPage(EPWizard1);
    body = Page(EPWizardPage2, QStringLiteral("Trigger"));
    optAll =
        new QRadioButton(QStringLiteral("All messages should &trigger this Agent"), EPWizardPage2);
    optCertain = new QRadioButton(
        QStringLiteral("&Only certain messages should trigger this agent"), EPWizardPage2);
    optAll->setChecked(true);
    body->addWidget(optAll);
    body->addWidget(optCertain);
    lstVTriggers =
        List(EPWizardPage2,
             {QStringLiteral("Field"), QStringLiteral("Condition"), QStringLiteral("Value")},
             {120, 95, 80});
    lstVTriggers->setObjectName(QStringLiteral("lstVTriggers"));
    body->addWidget(lstVTriggers, 1);
    btnAdd = new QPushButton(QStringLiteral("&Add"), EPWizardPage2);
    body->addWidget(btnAdd, 0, Qt::AlignRight);
    // While the list is hidden the page keeps its heading and choices at the top.
    body->addStretch();
    PopupMenuTriggers = new QMenu(lstVTriggers);
    mnuAddTrigger = PopupMenuTriggers->addAction(QStringLiteral("Add..."));
    Edit1 = PopupMenuTriggers->addAction(QStringLiteral("Edit..."));
    Remove1 = PopupMenuTriggers->addAction(QStringLiteral("Delete"));

    EPWizardPage3 = new widgets::TEPWizardPage(EPWizard1);
    body = Page(EPWizardPage3, QStringLiteral("Action"));
    lstVActions =
        List(EPWizardPage3, {QStringLiteral("Action Description"), QStringLiteral("Parameter")},
             {200, 95});
    lstVActions->setObjectName(QStringLiteral("lstVActions"));
    body->addWidget(lstVActions, 1);
    btnActionAdd = new QPushButton(QStringLiteral("&Add"), EPWizardPage3);
    body->addWidget(btnActionAdd, 0, Qt::AlignRight);
    PopupMenuActions = new QMenu(lstVActions);
    mnuAddAction = PopupMenuActions->addAction(QStringLiteral("Add..."));
    MenuItem3 = PopupMenuActions->addAction(QStringLiteral("Edit..."));
    MenuItem4 = PopupMenuActions->addAction(QStringLiteral("Delete"));

    EPWizardPage4 = new widgets::TEPWizardPage(EPWizard1);
    body = Page(EPWizardPage4, QStringLiteral("Agent Name"));
    auto* nameLabel = new QLabel(QStringLiteral("&Name"), EPWizardPage4);
    edtAgentName = new QLineEdit(EPWizardPage4);
    edtAgentName->setObjectName(QStringLiteral("edtAgentName"));
    edtAgentName->setMaxLength(int(kAgentNameWidth));
    nameLabel->setBuddy(edtAgentName);
    body->addWidget(nameLabel);
    body->addWidget(edtAgentName);
    body->addStretch();

    // Enter is Next on every page, also after one of these was pressed.
    btnAdd->setAutoDefault(false);
    btnActionAdd->setAutoDefault(false);

    EPWizard1->SetFirstPage(EPWizardPage1);
    EPWizard1->SetActivePage(EPWizardPage1);
    EPWizard1->EndLoad();

    lists_ =
        std::make_unique<TAgentLists>(*this,
                                      TAgentLists::TViews{lstVTriggers, btnAdd, mnuAddTrigger,
                                                          lstVActions, btnActionAdd, mnuAddAction},
                                      false);

    EPWizardPage3->OnDoneQuery = [this](QObject*, bool& done) {
        done = lstVActions->topLevelItemCount() > 0;
    };
    EPWizardPage4->OnDoneQuery = [this](QObject*, bool& done) {
        done = !edtAgentName->text().trimmed().isEmpty();
    };
    EPWizard1->OnFinishClick = [this](QObject*) { EPWizard1FinishClick(); };
    EPWizard1->OnCancelClick = [this](QObject*) { EPWizard1CancelClick(); };

    connect(optAll, &QRadioButton::clicked, this, [this] { optAllClick(); });
    connect(optCertain, &QRadioButton::clicked, this, [this] { optAllClick(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { mnuAddTriggerClick(); });
    connect(mnuAddTrigger, &QAction::triggered, this, [this] { mnuAddTriggerClick(); });
    connect(Edit1, &QAction::triggered, this, [this] { Edit1Click(); });
    connect(lstVTriggers, &QTreeWidget::itemDoubleClicked, this, [this] { Edit1Click(); });
    connect(Remove1, &QAction::triggered, this, [this] { Remove1Click(); });
    connect(btnActionAdd, &QPushButton::clicked, this, [this] { mnuAddActionClick(); });
    connect(mnuAddAction, &QAction::triggered, this, [this] { mnuAddActionClick(); });
    connect(MenuItem4, &QAction::triggered, this, [this] { MenuItem4Click(); });
    connect(lstVTriggers, &QTreeWidget::itemSelectionChanged, this,
            [this] { lstVTriggersChange(); });
    connect(lstVActions, &QTreeWidget::itemSelectionChanged, this, [this] { lstVActionsChange(); });
    connect(edtAgentName, &QLineEdit::textChanged, this, [this] { edtAgentNameChange(); });
    connect(lstVTriggers, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuTriggers->popup(lstVTriggers->viewport()->mapToGlobal(at));
    });
    connect(lstVActions, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuActions->popup(lstVActions->viewport()->mapToGlobal(at));
    });
    resize(440, 340);
    optAllClick();
}

TfrmNewAgent::~TfrmNewAgent() = default;

void TfrmNewAgent::optAllClick() {
    lstVTriggers->setVisible(optCertain->isChecked());
    btnAdd->setVisible(optCertain->isChecked());
}

void TfrmNewAgent::mnuAddTriggerClick() {
    lists_->AddTrigger();
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::Edit1Click() {
    lists_->EditTrigger();
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::Remove1Click() {
    lists_->DeleteTriggers();
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::mnuAddActionClick() {
    lists_->AddAction();
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::MenuItem4Click() {
    lists_->DeleteActions();
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::lstVTriggersChange() {
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::lstVActionsChange() {
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::edtAgentNameChange() {
    EPWizard1->UpdateNextButton();
}

void TfrmNewAgent::EPWizard1FinishClick() {
    const std::string name = S(edtAgentName->text().trimmed());
    const std::string problem = AgentNameProblem(name);
    if (!problem.empty()) {
        win::MessageBox(problem, kCaption, win::MB_OK | win::MB_ICONEXCLAMATION);
        return;
    }
    if (win::FileExists(quelta::AgentFilePath(Folders().AgentsPath(), name)) &&
        win::MessageBox("An agent named " + name + " already exists. Do you want to replace it?",
                        kCaption, win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    name_ = name;
    done(QDialog::Accepted);
}

void TfrmNewAgent::EPWizard1CancelClick() {
    done(widgets::mrCancel);
}

std::string TfrmNewAgent::AgentType() const {
    // Only the first choice can be seen.
    return optInterval->isChecked()   ? "INTERVAL"
           : optFunction->isChecked() ? "FUNCTION"
                                      : "MESSAGE";
}

std::vector<quelta::TAgentTrigger> TfrmNewAgent::Triggers() const {
    return optAll->isChecked() ? std::vector<quelta::TAgentTrigger>{} : lists_->Triggers();
}

std::vector<quelta::TAgentAction> TfrmNewAgent::Actions() const {
    return lists_->Actions();
}

} // namespace cfgman
