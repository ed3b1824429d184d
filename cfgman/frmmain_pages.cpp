// Commands that act on whichever page is active, and the Agents and
// Auto-Reply Templates lists.
#include "cfgman/core/settings.h"
#include "cfgman/frmmain.h"
#include "cfgman/qtext.h"

#include <QAction>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

namespace cfgman {

namespace {

// Normal files of the folder ending in ext (any case), sorted without
// regard to case, with the extension taken off.
std::vector<std::string> ListNames(const std::string& folder, const std::string& ext) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const std::string name = entry.path().filename().string();
        if (name.size() <= ext.size())
            continue;
        const std::string tail = name.substr(name.size() - ext.size());
        if (!std::equal(tail.begin(), tail.end(), ext.begin(), ext.end(),
                        [](unsigned char a, unsigned char b) {
                            return std::tolower(a) == std::tolower(b);
                        }))
            continue;
        names.push_back(name.substr(0, name.size() - ext.size()));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
    });
    return names;
}

void Fill(QTreeWidget* list, const std::vector<std::string>& names, bool editable = false) {
    list->clear();
    for (const std::string& n : names) {
        auto* item = new QTreeWidgetItem(list, {Q(n)});
        if (editable)
            item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
}

} // namespace

void TfrmMain::RefreshAgents() {
    // An agent is renamed in place.
    Fill(lstVAgents, ListNames(Folders().AgentsPath(), ".agent"), true);
}

void TfrmMain::RefreshTemplates() {
    {
        // Filling is no rename; the selected template stays selected.
        const QSignalBlocker quiet(lstVTemplates);
        const QTreeWidgetItem* current = lstVTemplates->currentItem();
        const QString selected = current && current->isSelected() ? current->text(0) : QString();
        Fill(lstVTemplates, ListNames(Folders().TemplatesPath(), ".eml"));
        const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
        for (int i = 0; i < lstVTemplates->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = lstVTemplates->topLevelItem(i);
            row->setData(0, Qt::UserRole, row->text(0));
            row->setIcon(0, icon);
            row->setFlags(row->flags() | Qt::ItemIsEditable);
            if (!selected.isEmpty() && row->text(0) == selected)
                lstVTemplates->setCurrentItem(row);
        }
    }
    lstVTemplatesChange();
}

void TfrmMain::pageControlMainChange() {
    for (QAction* a : {mnuDetach, mnuMainDelete, mnuMainProperties, mnuAttach, mnuRename})
        EnableCommand(a, false);
    QWidget* page = pageControlMain->currentWidget();
    if (page == TSaccounts)
        treeMainChange(treeMain->currentItem());
    else if (page == TSagents)
        lstVAgentsChange();
    else if (page == TStemplates)
        lstVTemplatesChange();
}

void TfrmMain::mnuMainDeleteClick() {
    QWidget* page = pageControlMain->currentWidget();
    if (page == TSaccounts)
        Delete1Click();
    else if (page == TSagents)
        btnAgentsDeleteClick();
    else if (page == TStemplates)
        btnARDeleteClick();
}

void TfrmMain::mnuMainPropertiesClick() {
    QWidget* page = pageControlMain->currentWidget();
    if (page == TSaccounts)
        mnuPropertiesClick();
    else if (page == TSagents)
        btnAgentsModifyClick();
    else if (page == TStemplates)
        btnARModifyClick();
}

void TfrmMain::mnuRenameClick() {
    QWidget* page = pageControlMain->currentWidget();
    if (page == TSaccounts) {
        if (QTreeWidgetItem* node = treeMain->currentItem())
            treeMain->editItem(node, 0);
    } else if (page == TSagents) {
        if (QTreeWidgetItem* item = lstVAgents->currentItem())
            lstVAgents->editItem(item, 0);
    } else if (page == TStemplates) {
        if (QTreeWidgetItem* row = lstVTemplates->currentItem(); row && row->isSelected())
            lstVTemplates->editItem(row, 0);
    }
}

void TfrmMain::Refresh1Click() {
    QWidget* page = pageControlMain->currentWidget();
    if (page == TSaccounts) {
        // The node chosen stays chosen when its row is still there.
        RebuildTreeKeepingSelection();
        RefreshMessageLists();
    } else if (page == TSagents)
        RefreshAgents();
    else
        RefreshTemplates();
}

} // namespace cfgman
