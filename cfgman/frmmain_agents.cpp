// The Agents page and the agent commands: a new agent, its properties,
// rename in place, delete, and attaching agents to accounts and detaching
// them.
#include "cfgman/core/agents.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/text.h"
#include "cfgman/frmagentproperties.h"
#include "cfgman/frmagents.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmnewagent.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace cfgman {

namespace {

constexpr const char* kCaption = "Quelta Mail Management System";

// In-place editing of an agent's name: the main window gets the old and
// the new text and decides the caption.
class TAgentEditDelegate : public QStyledItemDelegate {
public:
    TAgentEditDelegate(TfrmMain& main, QTreeWidget& list)
        : QStyledItemDelegate(&list), main_(main), list_(list) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setMaxLength(int(kAgentNameWidth));
        return editor;
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = list_.itemFromIndex(index);
        if (edit && item)
            main_.lstVAgentsEdited(item, S(edit->text()));
    }

private:
    TfrmMain& main_;
    QTreeWidget& list_;
};

QTreeWidgetItem* Selected(QTreeWidget* list) {
    const QList<QTreeWidgetItem*> chosen = list->selectedItems();
    return chosen.isEmpty() ? nullptr : chosen[0];
}

} // namespace

void TfrmMain::BuildAgentsPage() {
    lstVAgents->setSelectionMode(QAbstractItemView::SingleSelection);
    lstVAgents->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::SelectedClicked);
    lstVAgents->setItemDelegate(new TAgentEditDelegate(*this, *lstVAgents));
    lstVAgents->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenuAgents = new QMenu(lstVAgents);
    popAgentsNew = PopupMenuAgents->addAction(QStringLiteral("New..."));
    popAgentsProperties = PopupMenuAgents->addAction(QStringLiteral("Properties..."));
    popAgentsDelete = PopupMenuAgents->addAction(QStringLiteral("Delete..."));
    popAgentsProperties->setEnabled(false);
    popAgentsDelete->setEnabled(false);

    auto on = [this](QAction* a, void (TfrmMain::*handler)()) {
        connect(a, &QAction::triggered, this,
                [this, handler] { Command([this, handler] { (this->*handler)(); }); });
    };
    on(AgentsBar.New, &TfrmMain::btnAgentsNewClick);
    on(popAgentsNew, &TfrmMain::btnAgentsNewClick);
    on(AgentsBar.Modify, &TfrmMain::btnAgentsModifyClick);
    on(popAgentsProperties, &TfrmMain::btnAgentsModifyClick);
    on(AgentsBar.Delete, &TfrmMain::btnAgentsDeleteClick);
    on(popAgentsDelete, &TfrmMain::btnAgentsDeleteClick);
    connect(lstVAgents, &QTreeWidget::itemDoubleClicked, this,
            [this] { Command([this] { btnAgentsModifyClick(); }); });
    connect(lstVAgents, &QTreeWidget::itemSelectionChanged, this, [this] { lstVAgentsChange(); });
    connect(lstVAgents, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuAgents->popup(lstVAgents->viewport()->mapToGlobal(at));
    });
}

void TfrmMain::A1Click() {
    pageControlMain->setCurrentWidget(TSagents);
    PlayEventSound(programFolder_ + "newitem.wav");
    std::string name;
    quelta::TAgentDefinition agent;
    {
        TfrmNewAgent wizard(this);
        if (wizard.exec() != QDialog::Accepted)
            return;
        name = wizard.AgentName();
        agent = MessageAgent(wizard.Triggers(), wizard.Actions());
        agent.AgentType = wizard.AgentType();
    }
    quelta::WriteAgentFile(quelta::AgentFilePath(Folders().AgentsPath(), name), agent);
    QCoreApplication::processEvents();
    RefreshAgents();
}

void TfrmMain::btnAgentsNewClick() {
    A1Click();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    for (int i = 0; i < 11; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    RefreshAgents();
}

void TfrmMain::btnAgentsModifyClick() {
    QTreeWidgetItem* item = Selected(lstVAgents);
    if (!item)
        return;
    const std::string path = quelta::AgentFilePath(Folders().AgentsPath(), S(item->text(0)));
    TfrmAgentProperties dialog(this);
    dialog.LoadAgent(quelta::ReadAgentFile(path));
    if (dialog.exec() != QDialog::Accepted)
        return;
    quelta::WriteAgentFile(path, dialog.Agent());
}

void TfrmMain::lstVAgentsChange() {
    const bool on = Selected(lstVAgents) != nullptr;
    for (QAction* a : {AgentsBar.Modify, AgentsBar.Delete, popAgentsProperties, popAgentsDelete})
        a->setEnabled(on);
    // The menu's commands follow the list only while its page is shown.
    if (pageControlMain->currentWidget() != TSagents)
        return;
    for (QAction* a : {mnuMainDelete, mnuRename, mnuMainProperties})
        EnableCommand(a, on);
}

void TfrmMain::lstVAgentsEdited(QTreeWidgetItem* item, const std::string& newText) {
    Command([&] {
        const std::string old = S(item->text(0));
        std::string name = newText;
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.pop_back();
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
            name.erase(name.begin());
        if (name == old)
            return;
        const std::string problem = AgentNameProblem(name);
        if (!problem.empty()) {
            win::MessageBox(problem, kCaption, win::MB_OK | win::MB_ICONEXCLAMATION);
            return;
        }
        switch (RenameAgent(Tables, Folders().AgentsPath(), old, name)) {
        case TAgentRename::Renamed:
            item->setText(0, Q(name));
            // The account tree shows the attachments under their new name.
            populateGroups();
            break;
        case TAgentRename::Exists:
            win::MessageBox("Unable to rename agent: an agent named " + name + " already exists.",
                            kCaption, win::MB_OK);
            break;
        case TAgentRename::Locked:
            win::MessageBox("Unable to rename agent: another program is using an account it is "
                            "attached to.",
                            kCaption, win::MB_OK);
            break;
        case TAgentRename::Failed:
            win::MessageBox("Unable to rename agent", kCaption, win::MB_OK);
            break;
        }
    });
}

void TfrmMain::btnAgentsDeleteClick() {
    QTreeWidgetItem* item = Selected(lstVAgents);
    if (!item)
        return;
    if (win::MessageBox("Are you sure you want to delete this agent?", " Delete Confirmation",
                        win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    bool deleted = false;
    try {
        deleted = DeleteAgentFile(Folders().AgentsPath(), S(item->text(0)));
        RefreshAgents();
    } catch (const std::exception&) {
        deleted = false;
    }
    if (!deleted)
        win::MessageBox("Unable to delete agent", kCaption, win::MB_OK);
}

void TfrmMain::mnuAttachClick() {
    QTreeWidgetItem* node = treeMain->currentItem();
    if (NodeImage(node) != nkAccount)
        return;
    if (NodeRow(node) == 0)
        return RowGone(node);
    AttachToAccount(NodeKey(node));
}

void TfrmMain::AttachToAccount(const std::string& accountKey) {
    RefreshAgents();
    QCoreApplication::processEvents();
    std::vector<std::string> agents;
    for (int i = 0; i < lstVAgents->topLevelItemCount(); ++i)
        agents.push_back(S(lstVAgents->topLevelItem(i)->text(0)));
    std::string agent;
    {
        TfrmAgents dialog(agents, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        agent = dialog.SelectedAgent();
    }
    if (agent.empty())
        return;
    const std::int32_t recNo = AttachAgent(Tables, accountKey, agent);
    const std::string key = Trim(Tables.TableAgents2.FieldByName("UNIQUE_ID").AsString());
    // The account's node shows the new attachment.
    QTreeWidgetItem* account = nullptr;
    for (QTreeWidgetItemIterator it(treeMain); *it && !account; ++it)
        if (NodeImage(*it) == nkAccount && NodeKey(*it) == Trim(accountKey))
            account = *it;
    if (account) {
        TTreeItem attached;
        attached.Children.push_back({nkAgent, agent, recNo, {}, key});
        AddTreeItems(account, attached);
    } else {
        populateGroups();
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    treeMain->expandAll();
}

void TfrmMain::mnuDetachClick() {
    QTreeWidgetItem* node = treeMain->currentItem();
    if (NodeImage(node) != nkAgent)
        return;
    const std::int32_t recNo = NodeRow(node);
    if (recNo == 0)
        return RowGone(node);
    DetachAttachment(recNo, NodeKey(node), S(node->text(0)));
}

void TfrmMain::DetachAttachment(std::int32_t recNo, const std::string& key,
                                const std::string& agent) {
    if (win::MessageBox("Are you sure you want to detach this agent?", "Removal Confirmation",
                        win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    // Found again after the question: meanwhile another program may have
    // deleted or moved it.
    if (!DetachAgent(Tables, recNo, key))
        SayRowGone("attached agent", agent);
    RebuildTreeKeepingSelection();
    treeMain->expandAll();
}

} // namespace cfgman
