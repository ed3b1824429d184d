#include "cfgman/frmagentproperties.h"

#include "cfgman/buttonrow.h"

#include "cfgman/core/agents.h"
#include "cfgman/qtext.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

namespace {

QTreeWidget* List(QWidget* parent, const QStringList& columns, const std::vector<int>& widths) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    for (std::size_t i = 0; i < widths.size(); ++i)
        list->setColumnWidth(int(i), widths[i]);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    return list;
}

} // namespace

TfrmAgentProperties::TfrmAgentProperties(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAgentProperties"));
    setWindowTitle(QStringLiteral("Agent Properties"));
    auto* layout = new QVBoxLayout(this);
    Pages = new QTabWidget(this);
    layout->addWidget(Pages, 1);

    auto* trigger = new QWidget;
    auto* t = new QVBoxLayout(trigger);
    optAll = new QRadioButton(QStringLiteral("&All Messages"), trigger);
    optCertain =
        new QRadioButton(QStringLiteral("&Messages that meet the following criteria"), trigger);
    optCertain->setChecked(true);
    t->addWidget(optAll);
    t->addWidget(optCertain);
    lstVTriggers = List(
        trigger, {QStringLiteral("Field"), QStringLiteral("Condition"), QStringLiteral("Value")},
        {120, 100, 115});
    lstVTriggers->setObjectName(QStringLiteral("lstVTriggers"));
    t->addWidget(lstVTriggers, 1);
    btnAdd = new QPushButton(QStringLiteral("&Add"), trigger);
    t->addWidget(btnAdd, 0, Qt::AlignRight);
    // While the list is hidden the choices stay at the top.
    t->addStretch();
    PopupMenuTriggers = new QMenu(lstVTriggers);
    MenuItem1 = PopupMenuTriggers->addAction(QStringLiteral("Add.."));
    MenuItem2 = PopupMenuTriggers->addAction(QStringLiteral("Edit..."));
    MenuItem4 = PopupMenuTriggers->addAction(QStringLiteral("Delete"));
    Pages->addTab(trigger, QStringLiteral("Trigger"));

    auto* action = new QWidget;
    auto* a = new QVBoxLayout(action);
    lstVActions =
        List(action, {QStringLiteral("Action Description"), QStringLiteral("Parameter"), QString()},
             {150, 185, 0});
    lstVActions->setObjectName(QStringLiteral("lstVActions"));
    lstVActions->header()->setStretchLastSection(false);
    a->addWidget(lstVActions, 1);
    btnActionAdd = new QPushButton(QStringLiteral("&Add"), action);
    a->addWidget(btnActionAdd, 0, Qt::AlignRight);
    PopupMenuActions = new QMenu(lstVActions);
    Add1 = PopupMenuActions->addAction(QStringLiteral("Add"));
    Edit1 = PopupMenuActions->addAction(QStringLiteral("Edit..."));
    Remove1 = PopupMenuActions->addAction(QStringLiteral("Delete"));
    Pages->addTab(action, QStringLiteral("Action"));

    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);

    lists_ = std::make_unique<TAgentLists>(
        *this,
        TAgentLists::TViews{lstVTriggers, btnAdd, MenuItem1, lstVActions, btnActionAdd, Add1},
        true);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(optAll, &QRadioButton::clicked, this, [this] { optAllClick(); });
    connect(optCertain, &QRadioButton::clicked, this, [this] { optAllClick(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
    connect(MenuItem1, &QAction::triggered, this, [this] { btnAddClick(); });
    connect(MenuItem2, &QAction::triggered, this, [this] { MenuItem2Click(); });
    connect(MenuItem4, &QAction::triggered, this, [this] { MenuItem4Click(); });
    connect(btnActionAdd, &QPushButton::clicked, this, [this] { btnActionAddClick(); });
    connect(Add1, &QAction::triggered, this, [this] { btnActionAddClick(); });
    connect(Remove1, &QAction::triggered, this, [this] { Remove1Click(); });
    connect(lstVTriggers, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuTriggers->popup(lstVTriggers->viewport()->mapToGlobal(at));
    });
    connect(lstVActions, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuActions->popup(lstVActions->viewport()->mapToGlobal(at));
    });
    resize(420, 330);
}

TfrmAgentProperties::~TfrmAgentProperties() = default;

void TfrmAgentProperties::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmAgentProperties::FormShow() {
    optAllClick();
}

void TfrmAgentProperties::optAllClick() {
    lstVTriggers->setVisible(optCertain->isChecked());
    btnAdd->setVisible(optCertain->isChecked());
}

void TfrmAgentProperties::btnAddClick() {
    lists_->AddTrigger();
}

void TfrmAgentProperties::MenuItem2Click() {
    lists_->EditTrigger();
}

void TfrmAgentProperties::MenuItem4Click() {
    lists_->DeleteTriggers();
}

void TfrmAgentProperties::btnActionAddClick() {
    lists_->AddAction();
}

void TfrmAgentProperties::Remove1Click() {
    lists_->DeleteActions();
}

void TfrmAgentProperties::LoadAgent(const quelta::TAgentDefinition& agent) {
    // The type is compared in upper case, as the processor reads it.
    if (agent.AgentType != "MESSAGE")
        return;
    created_ = agent.CreatedDateTime;
    if (agent.TriggerCount != 0)
        optCertain->setChecked(true);
    else
        optAll->setChecked(true);
    for (const quelta::TAgentTrigger& t : agent.Triggers)
        lists_->AppendTrigger(t);
    for (const quelta::TAgentAction& a : agent.Actions)
        lists_->AppendAction(Q(a.Name), a);
    optAllClick();
}

quelta::TAgentDefinition TfrmAgentProperties::Agent() const {
    return MessageAgent(optAll->isChecked() ? std::vector<quelta::TAgentTrigger>{}
                                            : lists_->Triggers(),
                        lists_->Actions(), created_);
}

} // namespace cfgman
