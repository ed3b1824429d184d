#include "cfgman/frmagentlists.h"

#include "cfgman/frmaction.h"
#include "cfgman/frmtrigger.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QPushButton>
#include <QTreeWidget>

namespace cfgman {

namespace {

// Removes the selected rows and their lines of the parallel lists. The rows
// are taken before the first goes: the view selects a neighbour of a row
// that goes.
void DeleteSelected(QTreeWidget* view, std::initializer_list<std::vector<std::string>*> lists) {
    std::vector<int> selected;
    for (int row = 0; row < view->topLevelItemCount(); ++row)
        if (view->topLevelItem(row)->isSelected())
            selected.push_back(row);
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const int row = *it;
        delete view->takeTopLevelItem(row);
        for (std::vector<std::string>* list : lists)
            if (std::size_t(row) < list->size())
                list->erase(list->begin() + row);
    }
}

void Caption(QTreeWidget* view, QPushButton* add, QAction* pop) {
    const QString text =
        view->topLevelItemCount() == 0 ? QStringLiteral("&Add") : QStringLiteral("&And");
    if (add)
        add->setText(text);
    if (pop)
        pop->setText(text);
}

} // namespace

TAgentLists::TAgentLists(QWidget& owner, const TViews& views, bool ignoreCase)
    : owner_(owner), views_(views), ignoreCase_(ignoreCase) {}

void TAgentLists::AppendTrigger(const quelta::TAgentTrigger& trigger) {
    lstHeader.push_back(trigger.Header);
    lstCondition.push_back(trigger.Condition);
    lstValue.push_back(trigger.Value);
    new QTreeWidgetItem(views_.triggers,
                        {Q(trigger.Header), Q(trigger.Condition), Q(trigger.Value)});
}

void TAgentLists::AppendAction(const QString& caption, const quelta::TAgentAction& action) {
    lstActionParam1.push_back(action.Name);
    lstActionParam2.push_back(action.Param1);
    lstActionParam3.push_back(action.Param2);
    QStringList columns{caption, Q(action.Param1)};
    if (views_.actions->columnCount() > 2)
        columns << Q(action.Param2);
    new QTreeWidgetItem(views_.actions, columns);
}

bool TAgentLists::AddTrigger() {
    TfrmTrigger dialog(&owner_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    AppendTrigger(dialog.Trigger());
    UpdateCaptions();
    return true;
}

bool TAgentLists::EditTrigger() {
    const QList<QTreeWidgetItem*> selected = views_.triggers->selectedItems();
    if (selected.size() > 1) {
        win::MessageBox("Cannot edit more than one item at a time.",
                        "Quelta Mail Management System", win::MB_OK);
        return false;
    }
    if (selected.isEmpty()) {
        win::MessageBox("Nothing selected for editing.", "Quelta Mail Management System",
                        win::MB_OK);
        return false;
    }
    QTreeWidgetItem* item = selected[0];
    const std::size_t row = std::size_t(views_.triggers->indexOfTopLevelItem(item));
    if (row >= lstHeader.size())
        return false;
    TfrmTrigger dialog(&owner_);
    dialog.SetTrigger({lstHeader[row], lstCondition[row], lstValue[row]}, ignoreCase_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const quelta::TAgentTrigger t = dialog.Trigger();
    lstHeader[row] = t.Header;
    lstCondition[row] = t.Condition;
    lstValue[row] = t.Value;
    item->setText(0, Q(t.Header));
    item->setText(1, Q(t.Condition));
    item->setText(2, Q(t.Value));
    return true;
}

void TAgentLists::DeleteTriggers() {
    DeleteSelected(views_.triggers, {&lstHeader, &lstCondition, &lstValue});
    UpdateCaptions();
}

bool TAgentLists::AddAction() {
    TfrmAction dialog(&owner_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    AppendAction(dialog.Caption(), dialog.Action());
    UpdateCaptions();
    return true;
}

void TAgentLists::DeleteActions() {
    DeleteSelected(views_.actions, {&lstActionParam1, &lstActionParam2, &lstActionParam3});
    UpdateCaptions();
}

std::vector<quelta::TAgentTrigger> TAgentLists::Triggers() const {
    std::vector<quelta::TAgentTrigger> out;
    for (std::size_t i = 0; i < lstHeader.size(); ++i)
        out.push_back({lstHeader[i], lstCondition[i], lstValue[i]});
    return out;
}

std::vector<quelta::TAgentAction> TAgentLists::Actions() const {
    std::vector<quelta::TAgentAction> out;
    for (std::size_t i = 0; i < lstActionParam1.size(); ++i)
        out.push_back({lstActionParam1[i], lstActionParam2[i], lstActionParam3[i]});
    return out;
}

void TAgentLists::UpdateCaptions() {
    Caption(views_.triggers, views_.addTrigger, views_.popAddTrigger);
    Caption(views_.actions, views_.addAction, views_.popAddAction);
}

} // namespace cfgman
