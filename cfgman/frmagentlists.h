#pragma once
// The triggers and actions an agent window edits. Six hidden parallel lists
// hold what is written; the window's two visible lists show them, one row
// per line, and follow every change.
#include "processor/agentfile.h"

#include <QString>
#include <string>
#include <vector>

class QAction;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace cfgman {

class TAgentLists {
public:
    struct TViews {
        QTreeWidget* triggers = nullptr;
        QPushButton* addTrigger = nullptr;
        QAction* popAddTrigger = nullptr; // the trigger pop-up's first entry
        QTreeWidget* actions = nullptr;   // a third column, when there is one, holds Param2
        QPushButton* addAction = nullptr;
        QAction* popAddAction = nullptr;
    };
    // ignoreCase: how an edited trigger's stored texts find their entries.
    TAgentLists(QWidget& owner, const TViews& views, bool ignoreCase);

    std::vector<std::string> lstHeader, lstCondition, lstValue;
    std::vector<std::string> lstActionParam1, lstActionParam2, lstActionParam3;

    void AppendTrigger(const quelta::TAgentTrigger& trigger);
    void AppendAction(const QString& caption, const quelta::TAgentAction& action);

    // The trigger dialog for a new trigger or the selected one; true on OK.
    bool AddTrigger();
    bool EditTrigger();
    // Every selected row, from the last to the first, with its hidden lines.
    void DeleteTriggers();
    // The action dialog; true on OK.
    bool AddAction();
    void DeleteActions();

    [[nodiscard]] std::vector<quelta::TAgentTrigger> Triggers() const;
    [[nodiscard]] std::vector<quelta::TAgentAction> Actions() const;

    // "&Add" on an empty list's add button and first pop-up entry, "&And" after.
    void UpdateCaptions();

private:
    QWidget& owner_;
    TViews views_;
    bool ignoreCase_;
};

} // namespace cfgman
