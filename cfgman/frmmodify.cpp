#include "cfgman/frmmodify.h"
#include "cfgman/qtext.h"

#include "cfgman/core/accounts.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/restrictions.h"
#include "cfgman/core/schedule.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/text.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmrules.h"
#include "platform/win/datetime.h"
#include "platform/win/formatdatetime.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace cfgman {

namespace {

QLineEdit* Edit(QWidget* parent, QFormLayout* form, const char* caption) {
    auto* edit = new QLineEdit(parent);
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

QTreeWidget* List(QWidget* parent, const char* column, int width) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QString::fromLatin1(column)});
    list->setColumnWidth(0, width);
    return list;
}

void FillList(QTreeWidget* list, const std::vector<TRowItem>& items) {
    list->clear();
    for (const TRowItem& item : items) {
        auto* row = new QTreeWidgetItem(list, {Q(item.Caption)});
        row->setData(0, Qt::UserRole, item.RecNo);
        row->setData(0, Qt::UserRole + 1, Q(item.Key));
    }
}

std::int32_t SelectedRecNo(const QTreeWidget* list) {
    const QTreeWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->data(0, Qt::UserRole).toInt() : 0;
}

QDate ToQDate(win::TDateTime t) {
    const win::DateParts p = win::DecodeDateTime(t);
    return QDate(p.year, p.month, p.day);
}

win::TDateTime FromQDate(const QDate& d) {
    return win::EncodeDateTime({d.year(), d.month(), d.day(), 0, 0, 0, 0});
}

} // namespace

TfrmModify::TfrmModify(TCfgTables& tables, std::int32_t accountRecNo, QWidget* parent)
    : QDialog(parent), tables_(tables), account_(accountRecNo) {
    setObjectName(QStringLiteral("frmModify"));
    setWindowTitle(QStringLiteral("Modify Account Properties"));
    auto* layout = new QVBoxLayout(this);
    Tabs = new QTabWidget(this);
    layout->addWidget(Tabs);

    TabServer = new QWidget;
    auto* server = new QFormLayout(TabServer);
    edtName = Edit(TabServer, server, "&Account Name");
    MemoComments = new QPlainTextEdit(TabServer);
    MemoComments->setMaximumHeight(70);
    auto* memoLabel = new QLabel(QStringLiteral("&Detail and Comments"), TabServer);
    memoLabel->setBuddy(MemoComments);
    server->addRow(memoLabel, MemoComments);
    edtUserName = Edit(TabServer, server, "&Username");
    edtPassword = Edit(TabServer, server, "Pass&word");
    edtPassword->setEchoMode(QLineEdit::Password);
    edtAddress = Edit(TabServer, server, "&E-Mail Address");
    edtSMTPAddress = Edit(TabServer, server, "&SMTP Server Address");
    edtPopAddress = Edit(TabServer, server, "&POP Server Address:");
    Tabs->addTab(TabServer, QStringLiteral("Server / Log on"));

    TabSchedule = new QWidget;
    auto* schedule = new QVBoxLayout(TabSchedule);
    auto* calRow = new QHBoxLayout;
    cal = new QCalendarWidget(TabSchedule);
    cal->setFirstDayOfWeek(Qt::Sunday);
    cal->setGridVisible(false);
    cal->setNavigationBarVisible(false);
    cal->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calRow->addWidget(cal, 1);
    auto* nav = new QVBoxLayout;
    Button4 = new QPushButton(QStringLiteral("<<Y"), TabSchedule);
    Button5 = new QPushButton(QStringLiteral("<M"), TabSchedule);
    Button6 = new QPushButton(QStringLiteral("M>"), TabSchedule);
    Button3 = new QPushButton(QStringLiteral("Y>>"), TabSchedule);
    Button7 = new QPushButton(QStringLiteral("Today"), TabSchedule);
    for (QPushButton* b : {Button4, Button5, Button6, Button3, Button7}) {
        b->setAutoDefault(false);
        nav->addWidget(b);
    }
    nav->addStretch();
    calRow->addLayout(nav);
    schedule->addLayout(calRow);
    lblDateRead = new QLabel(TabSchedule);
    schedule->addWidget(lblDateRead);
    auto* times = new QFormLayout;
    MedtNextDate = new QLineEdit(TabSchedule);
    MedtNextDate->setInputMask(QStringLiteral("00/00/99;_"));
    MedtNextTime = new QLineEdit(TabSchedule);
    MedtNextTime->setInputMask(QStringLiteral("09:99>AA;_"));
    times->addRow(QStringLiteral("Next Processing &Date:"), MedtNextDate);
    times->addRow(QStringLiteral("Next Processing &Time:"), MedtNextTime);
    auto* interval = new QHBoxLayout;
    edtMins = new QSpinBox(TabSchedule);
    // Any interval the account may hold, so OK never changes one unasked.
    edtMins->setRange(0, kMaxInterval);
    IntervalTrackBar = new QSlider(Qt::Horizontal, TabSchedule);
    IntervalTrackBar->setRange(0, 600);
    IntervalTrackBar->setTickInterval(15);
    IntervalTrackBar->setTickPosition(QSlider::TicksBelow);
    interval->addWidget(edtMins);
    interval->addWidget(IntervalTrackBar, 1);
    times->addRow(QStringLiteral("Interval (minutes):"), interval);
    schedule->addLayout(times);
    Tabs->addTab(TabSchedule, QStringLiteral("Processing Schedule"));

    TabRules = new QWidget;
    auto* rules = new QVBoxLayout(TabRules);
    lstVRules = List(TabRules, "Rule", 335);
    rules->addWidget(lstVRules, 1);
    lblWarning = new QLabel(QStringLiteral("WARNING: There are no rules present. This account will "
                                           "not do anything until there is at least one rule."),
                            TabRules);
    lblWarning->setWordWrap(true);
    lblWarning->setVisible(false);
    rules->addWidget(lblWarning);
    auto* ruleButtons = new QHBoxLayout;
    btnAdd = new QPushButton(QStringLiteral("&Add"), TabRules);
    btnRemove = new QPushButton(QStringLiteral("&Remove"), TabRules);
    btnProperties = new QPushButton(QStringLiteral("&Properties"), TabRules);
    btnRemove->setEnabled(false);
    for (QPushButton* b : {btnAdd, btnRemove, btnProperties}) {
        b->setAutoDefault(false);
        ruleButtons->addWidget(b);
    }
    ruleButtons->addStretch();
    rules->addLayout(ruleButtons);
    popRules = new QMenu(lstVRules);
    popAdd = popRules->addAction(QStringLiteral("&Add.."));
    popRemove = popRules->addAction(QStringLiteral("&Remove..."));
    popProperties = popRules->addAction(QStringLiteral("&Properties.."));
    popProperties->setVisible(false);
    lstVRules->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstVRules, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popRules->popup(lstVRules->viewport()->mapToGlobal(at)); });
    Tabs->addTab(TabRules, QStringLiteral("Message Retrieval Restrictions"));

    TabAgents = new QWidget;
    auto* agents = new QVBoxLayout(TabAgents);
    lstVAttachedAgents = List(TabAgents, "Attached Agents", 300);
    agents->addWidget(lstVAttachedAgents, 1);
    auto* agentButtons = new QHBoxLayout;
    btnAttachAgent = new QPushButton(QStringLiteral("&Attach Agent"), TabAgents);
    btnDetatchAgent = new QPushButton(QStringLiteral("&Detach Agent"), TabAgents);
    for (QPushButton* b : {btnAttachAgent, btnDetatchAgent}) {
        b->setAutoDefault(false);
        agentButtons->addWidget(b);
    }
    agentButtons->addStretch();
    agents->addLayout(agentButtons);
    Tabs->addTab(TabAgents, QStringLiteral("Agents"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Store())
            done(1);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(2); });

    connect(cal, &QCalendarWidget::selectionChanged, this, [this] { calChange(); });
    connect(cal, &QCalendarWidget::currentPageChanged, this, [this](int year, int month) {
        // The page shows the chosen day of the new month, as a month calendar does.
        if (syncing_)
            return;
        const QDate d = cal->selectedDate();
        cal->setSelectedDate(
            QDate(year, month, std::min(d.day(), QDate(year, month, 1).daysInMonth())));
    });
    connect(MedtNextDate, &QLineEdit::textEdited, this, [this] { MedtNextDateChange(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(edtMins, &QSpinBox::valueChanged, this, [this] { edtMinsChange(); });
    connect(IntervalTrackBar, &QSlider::valueChanged, this, [this] { IntervalTrackBarChange(); });
    connect(lstVRules, &QTreeWidget::itemSelectionChanged, this, [this] { lstVRulesChange(); });
    connect(lstVRules, &QTreeWidget::itemDoubleClicked, this,
            [this] { Run([this] { btnPropertiesClick(); }); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { Run([this] { btnAddClick(); }); });
    connect(popAdd, &QAction::triggered, this, [this] { Run([this] { btnAddClick(); }); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { Run([this] { btnRemoveClick(); }); });
    connect(popRemove, &QAction::triggered, this, [this] { Run([this] { btnRemoveClick(); }); });
    connect(btnProperties, &QPushButton::clicked, this,
            [this] { Run([this] { btnPropertiesClick(); }); });
    connect(popProperties, &QAction::triggered, this,
            [this] { Run([this] { btnPropertiesClick(); }); });
    connect(lstVAttachedAgents, &QTreeWidget::itemSelectionChanged, this,
            [this] { Run([this] { lstVAttachedAgentsChange(); }); });
    connect(btnAttachAgent, &QPushButton::clicked, this,
            [this] { Run([this] { btnAttachAgentClick(); }); });
    connect(btnDetatchAgent, &QPushButton::clicked, this,
            [this] { Run([this] { btnDetatchAgentClick(); }); });
    lstVRulesChange();
    Load();
    resize(600, 440);
}

void TfrmModify::Run(const std::function<void()>& body) {
    if (TfrmMain* main = frmMain())
        main->Command(body);
    else
        body();
}

void TfrmModify::Load() {
    const TAccountFields f = ReadAccount(tables_, account_);
    edtName->setText(Q(f.Name));
    MemoComments->setPlainText(Q(f.Notes).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    edtAddress->setText(Q(f.Address));
    edtUserName->setText(Q(f.Login));
    edtPassword->setText(Q(f.Password));
    edtPopAddress->setText(Q(f.Pop));
    edtSMTPAddress->setText(Q(f.Smtp));
    const int minutes = std::atoi(f.Minutes.c_str());
    // A stored interval below the box's range shows as it is.
    edtMins->setMinimum(std::min(0, minutes));
    edtMins->setValue(minutes);
    loadedMinutes_ = edtMins->value();
    accountKey_ = Trim(tables_.TableNodes2.FieldByName("UNIQUE_ID").AsString());
    if (const auto date = ParseScheduleDate(f.NextDate)) {
        syncing_ = true;
        cal->setSelectedDate(ToQDate(*date));
        syncing_ = false;
    }
    MedtNextDate->setText(Q(f.NextDate));
    MedtNextTime->setText(Q(f.NextTime));
    FillAttachedAgents();
}

void TfrmModify::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        Run([this] { FormShow(); });
    }
}

void TfrmModify::FormShow() {
    calChange();
    FillRules();
}

void TfrmModify::FillRules() {
    const std::vector<TRowItem> rules = AccountRules(tables_, account_);
    FillList(lstVRules, rules);
    if (!rules.empty()) {
        lblWarning->setVisible(false);
    } else {
        Tabs->setCurrentWidget(TabRules);
        win::MessageBeep(0);
        lblWarning->setVisible(true);
    }
    lstVRulesChange();
}

void TfrmModify::FillAttachedAgents() {
    tables_.XbNodes2.Go(account_);
    FillList(lstVAttachedAgents, AttachedAgents(Folders().DataBasePath(), accountKey_));
    btnAttachAgent->setEnabled(bool(Attach));
    btnDetatchAgent->setEnabled(bool(Detach));
}

void TfrmModify::lstVRulesChange() {
    const bool selected = SelectedRecNo(lstVRules) != 0;
    for (QPushButton* b : {btnRemove, btnProperties})
        b->setEnabled(selected);
    popRemove->setEnabled(selected);
    popProperties->setEnabled(selected);
}

void TfrmModify::lstVAttachedAgentsChange() {
    if (const std::int32_t recNo = SelectedRecNo(lstVAttachedAgents))
        tables_.XbAgents2.Go(recNo);
}

void TfrmModify::btnAddClick() {
    TfrmRuleWiz wizard(this);
    if (wizard.exec() != 1)
        return;
    AddRule(tables_, account_, wizard.Entered());
    FillRules();
}

void TfrmModify::btnRemoveClick() {
    const std::int32_t recNo = SelectedRecNo(lstVRules);
    if (recNo == 0)
        return;
    if (win::MessageBox("Are you sure you want to delete this rule?", "Delete Confirmation",
                        win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    DeleteRule(tables_, recNo);
    QCoreApplication::processEvents();
    FillRules();
}

void TfrmModify::btnPropertiesClick() {
    const std::int32_t recNo = SelectedRecNo(lstVRules);
    if (recNo == 0)
        return;
    TfrmRuleProp dialog(this);
    dialog.Load(DecodeRule(ReadRule(tables_, recNo)));
    if (dialog.exec() != 1)
        return;
    UpdateRule(tables_, recNo, dialog.Entered());
    FillRules();
}

void TfrmModify::btnAttachAgentClick() {
    if (!Attach)
        return;
    Attach(accountKey_);
    FillAttachedAgents();
}

void TfrmModify::btnDetatchAgentClick() {
    const std::int32_t recNo = SelectedRecNo(lstVAttachedAgents);
    if (!Detach || recNo == 0)
        return;
    const QTreeWidgetItem* item = lstVAttachedAgents->currentItem();
    Detach(recNo, S(item->data(0, Qt::UserRole + 1).toString()), S(item->text(0)));
    FillAttachedAgents();
}

void TfrmModify::calChange() {
    const win::TDateTime d = FromQDate(cal->selectedDate());
    lblDateRead->setText(Q(win::FormatDateTime("mmmm dd yyyy", d)));
    MedtNextDate->setText(Q(ScheduleDateText(d)));
}

void TfrmModify::MedtNextDateChange() {
    // Typing goes through incomplete dates; a complete one counts.
    if (!MedtNextDate->hasAcceptableInput())
        return;
    if (const auto date = ParseScheduleDate(S(MedtNextDate->text()))) {
        syncing_ = true;
        cal->setSelectedDate(ToQDate(*date));
        syncing_ = false;
        lblDateRead->setText(Q(win::FormatDateTime("mmmm dd yyyy", *date)));
        return;
    }
    cal->setSelectedDate(QDate::currentDate());
    calChange();
}

namespace {

void Shift(QCalendarWidget* cal, int years, int months) {
    const QDate d = cal->selectedDate();
    const int month = d.month() + months;
    if (month < 1 || month > 12)
        return; // the year does not roll over
    const int year = d.year() + years;
    cal->setSelectedDate(
        QDate(year, month, std::min(d.day(), QDate(year, month, 1).daysInMonth())));
}

} // namespace

void TfrmModify::Button3Click() {
    Shift(cal, 1, 0);
}
void TfrmModify::Button4Click() {
    Shift(cal, -1, 0);
}
void TfrmModify::Button5Click() {
    Shift(cal, 0, -1);
}
void TfrmModify::Button6Click() {
    Shift(cal, 0, 1);
}
void TfrmModify::Button7Click() {
    cal->setSelectedDate(QDate::currentDate());
    calChange();
}

void TfrmModify::edtMinsChange() {
    // The bar ends at 600 minutes; an interval beyond it stays as it is.
    const QSignalBlocker quiet(IntervalTrackBar);
    IntervalTrackBar->setValue(edtMins->value());
}

void TfrmModify::IntervalTrackBarChange() {
    edtMins->setValue(IntervalTrackBar->value());
}

bool TfrmModify::Store() {
    TAccountFields f;
    f.Name = S(edtName->text());
    f.Notes = S(MemoComments->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
    f.Address = S(edtAddress->text());
    f.Login = S(edtUserName->text());
    f.Password = S(edtPassword->text());
    f.Pop = S(edtPopAddress->text());
    f.Smtp = S(edtSMTPAddress->text());
    f.Minutes = S(edtMins->text());
    f.KeepInterval = edtMins->value() == loadedMinutes_;
    f.NextDate = S(MedtNextDate->text());
    f.NextTime = S(MedtNextTime->text());
    if (const auto problem = CheckAccountFields(f)) {
        Tabs->setCurrentWidget(TabSchedule);
        win::MessageBox(*problem, "Modify Account Properties", win::MB_OK | win::MB_ICONWARNING);
        return false;
    }
    WriteAccount(tables_, account_, f);
    return true;
}

} // namespace cfgman
