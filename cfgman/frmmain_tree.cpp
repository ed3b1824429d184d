// The Mail Accounts page: the account tree, groups, renames, deletions and
// the agent-history panel.
#include "cfgman/core/settings.h"
#include "cfgman/dbgrid.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmnewgroup.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace cfgman {

namespace {

constexpr int kImageRole = Qt::UserRole;
constexpr int kRecNoRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;

QIcon Image(int image) {
    QStyle* style = QApplication::style();
    switch (image) {
    case nkRoot:
        return style->standardIcon(QStyle::SP_ComputerIcon);
    case nkGroup:
        return style->standardIcon(QStyle::SP_DirIcon);
    case nkAccount:
        return style->standardIcon(QStyle::SP_DriveNetIcon);
    default:
        return style->standardIcon(QStyle::SP_FileIcon);
    }
}

// In-place editing of the tree: the main window may refuse an edit, and
// gets the text the edit ended with.
class TTreeEditDelegate : public QStyledItemDelegate {
public:
    TTreeEditDelegate(TfrmMain& main, QTreeWidget& tree)
        : QStyledItemDelegate(&tree), main_(main), tree_(tree) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QTreeWidgetItem* node = tree_.itemFromIndex(index);
        if (!main_.treeMainEditing(node))
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* node = tree_.itemFromIndex(index);
        if (edit && node)
            main_.treeMainEdited(node, S(edit->text()));
    }

private:
    TfrmMain& main_;
    QTreeWidget& tree_;
};

} // namespace

int TfrmMain::NodeImage(const QTreeWidgetItem* node) {
    return node ? node->data(0, kImageRole).toInt() : -1;
}

std::int32_t TfrmMain::NodeRecNo(const QTreeWidgetItem* node) {
    return node ? node->data(0, kRecNoRole).toInt() : 0;
}

std::string TfrmMain::NodeKey(const QTreeWidgetItem* node) {
    return node ? S(node->data(0, kKeyRole).toString()) : std::string();
}

std::int32_t TfrmMain::NodeRow(const QTreeWidgetItem* node) {
    switch (NodeImage(node)) {
    case nkAgent:
        return LocateRow(Tables.TableAgents2, Tables.XbAgents2, NodeRecNo(node), NodeKey(node));
    case nkAccount:
        return LocateRow(Tables.TableNodes2, Tables.XbNodes2, NodeRecNo(node), NodeKey(node));
    case nkGroup:
        return LocateRow(Tables.TableGroups2, Tables.XbGroups2, NodeRecNo(node), NodeKey(node));
    default:
        return 0;
    }
}

void TfrmMain::SayRowGone(const std::string& kind, const std::string& name) {
    win::MessageBox("The " + kind + " " + name + " is no longer in the tables.",
                    "Quelta Mail Management System", win::MB_OK | win::MB_ICONWARNING);
}

void TfrmMain::RowGone(const QTreeWidgetItem* node) {
    const char* kind = NodeImage(node) == nkGroup     ? "group"
                       : NodeImage(node) == nkAccount ? "account"
                                                      : "attached agent";
    SayRowGone(kind, S(node->text(0)));
    // Not at once: the node may be in the middle of an edit.
    QTimer::singleShot(0, this, [this] { Command([this] { RebuildTreeKeepingSelection(); }); });
}

void TfrmMain::RebuildTreeKeepingSelection() {
    const QTreeWidgetItem* was = treeMain->currentItem();
    const bool selected = was != nullptr;
    const int image = NodeImage(was);
    const std::string key = NodeKey(was);
    BuildTree();
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(treeMain); selected && *it && !found; ++it)
        if (NodeImage(*it) == image && (image == nkRoot || (!key.empty() && NodeKey(*it) == key)))
            found = *it;
    if (!found) {
        FollowTreeSelection();
        return;
    }
    for (QTreeWidgetItem* p = found->parent(); p; p = p->parent())
        p->setExpanded(true);
    treeMain->setCurrentItem(found);
}

void TfrmMain::EnableCommand(QAction* action, bool on) {
    if (action)
        action->setEnabled(on && !action->property("quelta_later").toBool());
}

void TfrmMain::BuildCommand(QAction* action, const std::function<void()>& handler) {
    action->setProperty("quelta_later", false);
    action->setEnabled(true);
    connect(action, &QAction::triggered, this, [this, handler] { Command(handler); });
}

void TfrmMain::BuildTreePopup() {
    treeMain->setIndentation(20);
    treeMain->setHeaderHidden(true);
    treeMain->setToolTip(QStringLiteral("Click the right mouse button to access options"));
    treeMain->setEditTriggers(QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
    treeMain->setItemDelegate(new TTreeEditDelegate(*this, *treeMain));
    // The selection stays marked while the tree has no focus.
    QPalette pal = treeMain->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    treeMain->setPalette(pal);
    treeMain->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenuTree = new QMenu(treeMain);
    popNew = new QMenu(QStringLiteral("&New"), PopupMenuTree);
    popNewItem = PopupMenuTree->addMenu(popNew);
    popFolder = popNew->addAction(QStringLiteral("&Folder"));
    popAccount = popNew->addAction(QStringLiteral("&Account..."));
    popDelete = PopupMenuTree->addAction(QStringLiteral("&Delete..."));
    popRename = PopupMenuTree->addAction(QStringLiteral("Rena&me"));
    popSep1 = PopupMenuTree->addSeparator();
    popAttach = PopupMenuTree->addAction(QStringLiteral("&Attach Agent..."));
    popDetach = PopupMenuTree->addAction(QStringLiteral("&Detach Agent..."));
    popSep2 = PopupMenuTree->addSeparator();
    popProperties = PopupMenuTree->addAction(QStringLiteral("&Properties..."));
    connect(popAttach, &QAction::triggered, this,
            [this] { Command([this] { mnuAttachClick(); }); });
    connect(popDetach, &QAction::triggered, this,
            [this] { Command([this] { mnuDetachClick(); }); });
    connect(popFolder, &QAction::triggered, this,
            [this] { Command([this] { Position1Click(); }); });
    connect(popAccount, &QAction::triggered, this, [this] { Command([this] { B1Click(); }); });
    connect(popDelete, &QAction::triggered, this, [this] { Command([this] { Delete1Click(); }); });
    connect(popRename, &QAction::triggered, this,
            [this] { Command([this] { mnuRenameClick(); }); });
    connect(popProperties, &QAction::triggered, this,
            [this] { Command([this] { mnuPropertiesClick(); }); });

    PopupMenuHistory = new QMenu(GridAgentHistory);
    V3 = PopupMenuHistory->addAction(QStringLiteral("View Message..."));
    connect(V3, &QAction::triggered, this, [this] { Command([this] { V3Click(); }); });
    GridAgentHistory->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GridAgentHistory, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuHistory->popup(GridAgentHistory->viewport()->mapToGlobal(at));
    });

    connect(treeMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowTreePopup(at); });
    connect(treeMain, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        if (!populating_)
            Command([this, node] { treeMainChange(node); });
    });
    connect(treeMain, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { treeMainExpanding(node); });
    connect(treeMain, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* node) { treeMainCollapsing(node); });
}

void TfrmMain::ShowTreePopup(const QPoint& at) {
    PopupMenuTreePopup();
    PopupMenuTree->popup(treeMain->viewport()->mapToGlobal(at));
}

void TfrmMain::AddTreeItems(QTreeWidgetItem* parent, const TTreeItem& item) {
    for (const TTreeItem& child : item.Children) {
        auto* node = new QTreeWidgetItem(parent, {Q(child.Text)});
        node->setData(0, kImageRole, child.Image);
        node->setData(0, kRecNoRole, child.RecNo);
        node->setData(0, kKeyRole, Q(child.Key));
        node->setIcon(0, Image(child.Image));
        if (child.Image == nkGroup || child.Image == nkAccount)
            node->setFlags(node->flags() | Qt::ItemIsEditable);
        AddTreeItems(node, child);
        if (child.Image == nkGroup)
            node->setExpanded(true);
    }
}

void TfrmMain::populateGroups() {
    BuildTree();
    FollowTreeSelection();
}

void TfrmMain::FollowTreeSelection() {
    // A new tree has no selection (or one Qt chose): the commands follow
    // it, so none acts on a row a selection view still stands on.
    if (pageControlMain->currentWidget() == TSaccounts)
        treeMainChange(treeMain->currentItem());
    else
        for (QAction* a : {mnuAttach, mnuDetach, AccountsBar.Modify, AccountsBar.Delete})
            EnableCommand(a, false);
}

void TfrmMain::BuildTree() {
    // A failure leaves the tree as it was, so the tree is built first.
    const TTreeItem tree = BuildAccountTree(Tables);
    populating_ = true;
    struct Done {
        TfrmMain& m;
        ~Done() {
            m.treeMain->setUpdatesEnabled(true);
            m.populating_ = false;
        }
    } done{*this};
    treeMain->clear();
    treeMain->setUpdatesEnabled(false);
    QCoreApplication::processEvents();
    auto* root = new QTreeWidgetItem(treeMain, {Q(tree.Text)});
    root->setData(0, kImageRole, tree.Image);
    root->setData(0, kRecNoRole, 0);
    root->setIcon(0, Image(tree.Image));
    root->setExpanded(true);
    AddTreeItems(root, tree);
    if (root->childCount() > 0)
        root->child(root->childCount() - 1)->setExpanded(true);
    root->setExpanded(true);
    statusBar()->show();
    treeMain->setUpdatesEnabled(true);
    treeMain->update();
}

void TfrmMain::EnableSelectionCommands(bool on) {
    for (QAction* a : {mnuDetach, mnuRename, mnuMainDelete, mnuMainProperties, mnuAttach})
        EnableCommand(a, on);
}

void TfrmMain::treeMainChange(QTreeWidgetItem* node) {
    for (QAction* a : {mnuDetach, mnuRename, mnuMainDelete, mnuMainProperties, mnuAttach,
                       AccountsBar.Modify, AccountsBar.Delete})
        EnableCommand(a, false);
    RefreshTemplates();
    if (!node) {
        // No agent chosen: no agent's history either.
        RetractPanel(panelHistoryHolder);
        ShowMessageLists(false);
        return;
    }
    const int image = NodeImage(node);
    if (image != nkAgent)
        RetractPanel(panelHistoryHolder);
    if (image != nkAccount)
        ShowMessageLists(false);
    // A node whose row is gone positions nothing and offers nothing.
    if ((image == nkAgent || image == nkAccount || image == nkGroup) && NodeRow(node) == 0) {
        ShowMessageLists(false);
        return;
    }
    switch (image) {
    case nkAgent:
        EnableCommand(mnuDetach, true);
        historyModel->Reload();
        QCoreApplication::processEvents();
        ExpandPanel(panelHistoryHolder);
        break;
    case nkRoot:
        TSaccounts->setVisible(true);
        break;
    case nkAccount:
        lastAccount_.RecNo = Tables.TableNodes2.RecNo();
        lastAccount_.Key = NodeKey(node);
        lastAccount_.Name = S(node->text(0));
        EnableCommand(mnuAttach, true);
        for (QAction* a :
             {AccountsBar.Modify, AccountsBar.Delete, mnuMainDelete, mnuMainProperties, mnuRename})
            EnableCommand(a, true);
        ShowMessageLists(true);
        break;
    case nkGroup:
        for (QAction* a : {mnuMainDelete, mnuRename, AccountsBar.Modify, AccountsBar.Delete})
            EnableCommand(a, true);
        break;
    default:
        break;
    }
}

bool TfrmMain::treeMainEditing(QTreeWidgetItem* node) {
    const int image = NodeImage(node);
    if (image != nkGroup && image != nkAccount)
        return false;
    editingText_ = S(node->text(0));
    return true;
}

void TfrmMain::treeMainEdited(QTreeWidgetItem* node, const std::string& newText) {
    Command([&] {
        const std::string old = editingText_;
        if (newText == old)
            return;
        const int image = NodeImage(node);
        if (image != nkAccount && image != nkGroup)
            return;
        const std::int32_t row = NodeRow(node);
        if (row == 0)
            return RowGone(node);
        const std::string line = image == nkAccount ? RenameAccount(Tables, row, old, newText)
                                                    : RenameGroup(Tables, row, old, newText);
        node->setText(0, Q(newText));
        if (image == nkAccount && NodeKey(node) == lastAccount_.Key)
            lastAccount_.Name = newText;
        SendtoLog(line, 0);
    });
}

void TfrmMain::treeMainExpanding(QTreeWidgetItem*) {
    if (!populating_)
        PlayEventSound(programFolder_ + "expandtree.wav");
}

void TfrmMain::treeMainCollapsing(QTreeWidgetItem*) {
    if (!populating_)
        PlayEventSound(programFolder_ + "expandtree.wav");
}

void TfrmMain::Position1Click() {
    pageControlMain->setCurrentWidget(TSaccounts);
    std::string name;
    {
        TfrmNewGroup dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        name = S(dialog.edtGroupName->text());
    }
    CreateGroup(Tables, name);
    QCoreApplication::processEvents();
    populateGroups();
}

void TfrmMain::Delete1Click() {
    QTreeWidgetItem* node = treeMain->currentItem();
    if (!node) {
        win::MessageBox("Nothing Selected to delete", "Quelta Mail Management System", win::MB_OK);
        return;
    }
    const int image = NodeImage(node);
    // The row the node shows, wherever packing has put it.
    const std::int32_t recNo = image == nkAccount || image == nkGroup ? NodeRow(node) : 0;
    if ((image == nkAccount || image == nkGroup) && recNo == 0)
        return RowGone(node);
    if (image == nkAccount) {
        if (win::MessageBox("Are you sure you want to delete this account?", " Delete Confirmation",
                            win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
            return;
        DeleteAccount(Tables, recNo);
    } else if (image == nkGroup) {
        switch (CheckGroupDelete(Tables, recNo)) {
        case TGroupDelete::LastGroup:
            win::MessageBox("Unable to delete this folder, you must have at least one root folder.",
                            "Quelta Mail Management System", win::MB_OK);
            return;
        case TGroupDelete::HasAccounts:
            if (win::MessageBox("WARNING THIS GROUP HAS ACCOUNTS: Are you sure you want to delete "
                                "this group and all accounts inside it?",
                                "Delete Confirmation",
                                win::MB_YESNO | win::MB_ICONWARNING) != win::IDYES)
                return;
            break;
        case TGroupDelete::Empty:
            if (win::MessageBox("Are you sure you want to delete this group?",
                                " Delete Confirmation",
                                win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
                return;
            break;
        }
        DeleteGroup(Tables, recNo);
    }
    populateGroups();
    treeMain->expandAll();
}

void TfrmMain::PopupMenuTreePopup() {
    for (QAction* a :
         {popNewItem, popDelete, popSep1, popAttach, popDetach, popSep2, popProperties})
        a->setVisible(false);
    popRename->setVisible(true);
    switch (NodeImage(treeMain->currentItem())) {
    case nkRoot:
    case nkGroup:
        popNewItem->setVisible(true);
        popDelete->setVisible(true);
        break;
    case nkAccount:
        for (QAction* a : {popNewItem, popDelete, popSep1, popAttach, popSep2, popProperties})
            a->setVisible(true);
        break;
    case nkAgent:
        popDetach->setVisible(true);
        break;
    default:
        break;
    }
}

std::vector<TGroupChoice> TfrmMain::PopulateWizardGroups() {
    return WizardGroups(Tables);
}

void TfrmMain::ExpandPanel(QWidget* panel) {
    if (panel->height() > 100)
        return;
    panel->setVisible(true);
    PlayEventSound(programFolder_ + "slide.wav");
    int step = panel->height();
    do {
        step += 10;
        QThread::msleep(1);
        panel->setFixedHeight(step);
        if (panel->height() >= 175)
            panel->setFixedHeight(panel->height() - 5);
        QCoreApplication::processEvents();
    } while (step <= 175);
}

void TfrmMain::RetractPanel(QWidget* panel) {
    int step = panel->height();
    while (step >= 1) {
        step -= 20;
        QThread::msleep(1);
        panel->setFixedHeight(std::max(step, 0));
        if (panel->height() > 0)
            panel->setFixedHeight(std::max(panel->height() - 10, 0));
        QCoreApplication::processEvents();
    }
    panel->setFixedHeight(0);
    panel->setVisible(false);
}

void TfrmMain::FormResize() {
    if (!GridAgentHistory)
        return;
    GridAgentHistory->setColumnWidth(0, std::max(0, width() - GridAgentHistory->columnWidth(1) -
                                                        GridAgentHistory->columnWidth(2) - 40));
    lstVAgents->setColumnWidth(0, std::max(0, width() - 20));
    lstVTemplates->setColumnWidth(0, std::max(0, width() - 20));
}

} // namespace cfgman
