// The selected account's stored messages under the account tree: the
// received, outbox and sent lists with their popups, and the commands that
// open, delete and show them.
#include "cfgman/core/settings.h"
#include "cfgman/core/text.h"
#include "cfgman/frminmessage.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessage.h"
#include "cfgman/frmmsgproperties.h"
#include "cfgman/messagelistmodel.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace cfgman {

namespace {

constexpr int kPanelHeight = 175;

// The view shows the rows through a model of its own: a list of many rows
// costs the rows, not a widget item for each.
QTreeView* MakeList(QWidget* parent, const char* name, TMessageTable table) {
    auto* list = new QTreeView(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setModel(new TMessageListModel(table, list));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setColumnWidth(0, 140);
    list->setColumnWidth(1, table == TMessageTable::Received ? 200 : 140);
    list->setColumnWidth(2, table == TMessageTable::Received ? 80 : 200);
    return list;
}

TMessageListModel& ModelOf(const QTreeView* list) {
    return *static_cast<TMessageListModel*>(list->model());
}

} // namespace

void TfrmMain::BuildMessagePanel() {
    panelMessagesHolder = new QWidget(TSaccounts);
    panelMessagesHolder->setObjectName(QStringLiteral("panelMessagesHolder"));
    panelMessagesHolder->setFixedHeight(0);
    panelMessagesHolder->setVisible(false);
    auto* layout = new QVBoxLayout(panelMessagesHolder);
    layout->setContentsMargins(2, 2, 2, 2);
    pageMessages = new QTabWidget(panelMessagesHolder);
    pageMessages->setObjectName(QStringLiteral("pageMessages"));
    lstVReceived = MakeList(pageMessages, "lstVReceived", TMessageTable::Received);
    lstVOutBox = MakeList(pageMessages, "lstVOutBox", TMessageTable::OutBox);
    lstVSent = MakeList(pageMessages, "lstVSent", TMessageTable::Sent);
    pageMessages->addTab(lstVReceived, QStringLiteral("Received"));
    pageMessages->addTab(lstVOutBox, QStringLiteral("Outbox"));
    pageMessages->addTab(lstVSent, QStringLiteral("Sent"));
    layout->addWidget(pageMessages);
    static_cast<QVBoxLayout*>(TSaccounts->layout())->addWidget(panelMessagesHolder);

    auto item = [this](QMenu* menu, const char* text, void (TfrmMain::*handler)()) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        connect(a, &QAction::triggered, this,
                [this, handler] { Command([this, handler] { (this->*handler)(); }); });
        return a;
    };
    PopupMenuOutBox = new QMenu(lstVOutBox);
    Open2 = item(PopupMenuOutBox, "&Open", &TfrmMain::Open2Click);
    NewMessage1 = item(PopupMenuOutBox, "&New Message...", &TfrmMain::NewMessage1Click);
    DeleteMessage1 = item(PopupMenuOutBox, "&Delete...", &TfrmMain::DeleteMessage1Click);
    PopupMenuOutBox->addSeparator();
    SendNow1 = item(PopupMenuOutBox, "&Send Selected...", &TfrmMain::SendNow1Click);
    PopupMenuOutBox->addSeparator();
    Properties1 = item(PopupMenuOutBox, "&Properties...", &TfrmMain::Properties1Click);

    PopupMenuSent = new QMenu(lstVSent);
    MenuItem7 = item(PopupMenuSent, "&Open...", &TfrmMain::MenuItem7Click);
    MenuItem8 = item(PopupMenuSent, "&Delete...", &TfrmMain::MenuItem8Click);
    PopupMenuSent->addSeparator();
    MenuItem10 = item(PopupMenuSent, "&Re-Send...", &TfrmMain::MenuItem10Click);
    PopupMenuSent->addSeparator();
    SentProperties1 = item(PopupMenuSent, "&Properties...", &TfrmMain::SentProperties1Click);

    PopupMenuReceived = new QMenu(lstVReceived);
    MenuItem2 = item(PopupMenuReceived, "&Open...", &TfrmMain::MenuItem2Click);
    MenuItem3 = item(PopupMenuReceived, "&Delete...", &TfrmMain::MenuItem3Click);
    Forward1 = item(PopupMenuReceived, "&Forward...", &TfrmMain::Forward1Click);
    PopupMenuReceived->addSeparator();
    Checkwhatsontheserver1 = item(PopupMenuReceived, "Preview Waiting Messages...",
                                  &TfrmMain::Checkwhatsontheserver1Click);
    PopupMenuReceived->addSeparator();
    MenuItem6 = item(PopupMenuReceived, "&Properties...", &TfrmMain::MenuItem6Click);

    const struct {
        QTreeView* list;
        QMenu* menu;
        void (TfrmMain::*open)();
    } lists[] = {{lstVReceived, PopupMenuReceived, &TfrmMain::MenuItem2Click},
                 {lstVOutBox, PopupMenuOutBox, &TfrmMain::Open2Click},
                 {lstVSent, PopupMenuSent, &TfrmMain::MenuItem7Click}};
    for (const auto& l : lists) {
        QTreeView* list = l.list;
        QMenu* menu = l.menu;
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list, menu](const QPoint& at) {
                    if (menu == PopupMenuReceived)
                        PopupMenuReceivedPopup();
                    menu->popup(list->viewport()->mapToGlobal(at));
                });
        const auto open = l.open;
        connect(list, &QAbstractItemView::doubleClicked, this,
                [this, open] { Command([this, open] { (this->*open)(); }); });
    }
    lstVReceived->header()->setSectionsClickable(true);
    connect(lstVReceived->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortReceived(column); });
}

void TfrmMain::ShowMessageLists(bool on) {
    if (on)
        RefreshMessageLists();
    panelMessagesHolder->setFixedHeight(on ? kPanelHeight : 0);
    panelMessagesHolder->setVisible(on);
}

void TfrmMain::RefreshMessageLists() {
    // The rows shown go before they are read again: a long list is held once.
    for (QTreeView* list : {lstVReceived, lstVOutBox, lstVSent})
        ModelOf(list).Clear();
    data::TTable& account = Tables.TableNodes2;
    if (!account.Active() || account.IsEmpty())
        return;
    // Rows other programs wrote since the account was selected show too.
    for (data::TTable* t : {&Tables.TableReceived, &Tables.TableOut, &Tables.TableSent})
        t->Refresh();
    ModelOf(lstVReceived)
        .SetRows(ReadMessageRows(Tables.TableReceived, Tables.XbReceived, TMessageTable::Received));
    ModelOf(lstVOutBox)
        .SetRows(ReadMessageRows(Tables.TableOut, Tables.XbOut, TMessageTable::OutBox));
    ModelOf(lstVSent).SetRows(
        ReadMessageRows(Tables.TableSent, Tables.XbSent, TMessageTable::Sent));
}

void TfrmMain::SortReceived(int column) {
    ModelOf(lstVReceived)
        .sort(column, receivedDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    receivedDescending_ = !receivedDescending_;
}

std::int32_t TfrmMain::SelectedMessage(TMessageTable table) const {
    const QTreeView* list = table == TMessageTable::Received ? lstVReceived
                            : table == TMessageTable::OutBox ? lstVOutBox
                                                             : lstVSent;
    const QModelIndex current = list->currentIndex();
    if (!current.isValid() || !list->selectionModel()->isSelected(current))
        return 0;
    return ModelOf(list).RecNo(current.row());
}

namespace {

struct TTablePair {
    data::TTable& Table;
    data::TXbTable& Partner;
};

TTablePair TablesOf(TCfgTables& t, TMessageTable table) {
    switch (table) {
    case TMessageTable::Received:
        return {t.TableReceived, t.XbReceived};
    case TMessageTable::OutBox:
        return {t.TableOut, t.XbOut};
    case TMessageTable::Sent:
        break;
    }
    return {t.TableSent, t.XbSent};
}

} // namespace

void TfrmMain::OpenStoredMessage(TMessageTable table) {
    const std::int32_t recNo = SelectedMessage(table);
    if (recNo == 0)
        return;
    TTablePair rows = TablesOf(Tables, table);
    GoToRow(rows.Table, rows.Partner, recNo);
    const std::string path = RowMessagePath(rows.Table, Folders().MessagesPath(), table);
    const std::string linkId = Trim(rows.Table.FieldByName("LINK_ID").AsString());
    const std::string fileName = Trim(rows.Table.FieldByName("FILENAME").AsString());
    msMessage1.Clear();
    msMessage1.LoadFromFile(path);
    data::TTable& account = Tables.TableNodes2;
    const std::string name = account.FieldByName("NODE").AsString();
    const std::string address = account.FieldByName("ADDRESS").AsString();
    if (table == TMessageTable::Received) {
        auto* window = new TfrmInMessage(this);
        window->SetSenderFields(linkId, name, address);
        window->SetReceivedRow(recNo, fileName);
        window->OpenMessageFile(path);
        window->show();
        return;
    }
    auto* editor = new TfrmMessage(this);
    editor->SetSenderFields(account.FieldByName("UNIQUE_ID").AsString(), name, address);
    editor->OpenMessageFile(path);
    editor->show();
}

void TfrmMain::DeleteStoredRow(TMessageTable table) {
    const std::int32_t recNo = SelectedMessage(table);
    if (recNo == 0)
        return;
    if (win::MessageBox("Are you sure you want to delete this item?", " Delete Confirmation",
                        win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    TTablePair rows = TablesOf(Tables, table);
    const TStoreChange change =
        DeleteStoredMessage(rows.Table, rows.Partner, recNo, Folders().MessagesPath(), table);
    SendtoLog(change.LogLine, 0);
    RefreshMessageLists();
}

void TfrmMain::Open2Click() {
    OpenStoredMessage(TMessageTable::OutBox);
}

void TfrmMain::NewMessage1Click() {
    NewMessageEditor();
}

void TfrmMain::DeleteMessage1Click() {
    DeleteStoredRow(TMessageTable::OutBox);
}

void TfrmMain::Properties1Click() {
    ShowStoredProperties(TMessageTable::OutBox);
}

void TfrmMain::SentProperties1Click() {
    ShowStoredProperties(TMessageTable::Sent);
}

void TfrmMain::MenuItem7Click() {
    OpenStoredMessage(TMessageTable::Sent);
}

void TfrmMain::MenuItem8Click() {
    DeleteStoredRow(TMessageTable::Sent);
}

void TfrmMain::MenuItem2Click() {
    OpenStoredMessage(TMessageTable::Received);
}

void TfrmMain::MenuItem3Click() {
    DeleteStoredRow(TMessageTable::Received);
}

void TfrmMain::Forward1Click() {
    const std::int32_t recNo = SelectedMessage(TMessageTable::Received);
    if (recNo == 0)
        return;
    GoToRow(Tables.TableReceived, Tables.XbReceived, recNo);
    const std::string path =
        RowMessagePath(Tables.TableReceived, Folders().MessagesPath(), TMessageTable::Received);
    const std::string linkId = Trim(Tables.TableReceived.FieldByName("LINK_ID").AsString());
    // The row's own message; the one the open commands share stays as it is.
    TmsMessage message;
    message.LoadFromFile(path);
    QStringList body;
    for (const std::string& line : message.Body())
        body << TMessageEditor::DecodeText(line, message.CharsetName());
    data::TTable& account = Tables.TableNodes2;
    TfrmInMessage::ForwardEditor(
        this, linkId, account.FieldByName("NODE").AsString(),
        account.FieldByName("ADDRESS").AsString(),
        TMessageEditor::DecodeText(message.Subject(), message.CharsetName()), body);
}

void TfrmMain::PopupMenuReceivedPopup() {
    for (QAction* a : {MenuItem2, MenuItem3, MenuItem6, Forward1})
        a->setEnabled(true);
}

void TfrmMain::MenuItem6Click() {
    ShowStoredProperties(TMessageTable::Received);
}

void TfrmMain::ShowStoredProperties(TMessageTable table) {
    const std::int32_t recNo = SelectedMessage(table);
    if (recNo == 0)
        return;
    TTablePair rows = TablesOf(Tables, table);
    GoToRow(rows.Table, rows.Partner, recNo);
    const std::string path = RowMessagePath(rows.Table, Folders().MessagesPath(), table);
    // What the dialog names is what it shows: the row's own file, whatever
    // was opened last.
    TmsMessage message;
    message.LoadFromFile(path);
    TfrmMsgProperties dialog(this, message, path);
    dialog.exec();
}

} // namespace cfgman
