#pragma once
// "Agent Wizard": a new agent in four steps (welcome, the triggers, the
// actions, the name). The main window writes what it collected.
#include "cfgman/frmagentlists.h"
#include "processor/agentfile.h"

#include <QDialog>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace widgets {
class TEPWizard;
class TEPWizardPage;
} // namespace widgets

namespace cfgman {

class TfrmNewAgent : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewAgent(QWidget* parent = nullptr);
    ~TfrmNewAgent() override;

    widgets::TEPWizard* EPWizard1 = nullptr;
    widgets::TEPWizardPage* EPWizardPage1 = nullptr;
    widgets::TEPWizardPage* EPWizardPage2 = nullptr;
    widgets::TEPWizardPage* EPWizardPage3 = nullptr;
    widgets::TEPWizardPage* EPWizardPage4 = nullptr;
    // The agent's type; only the first can be chosen.
    QRadioButton* optMessage = nullptr;
    QRadioButton* optInterval = nullptr;
    QRadioButton* optFunction = nullptr;
    QRadioButton* optAll = nullptr;
    QRadioButton* optCertain = nullptr;
    QTreeWidget* lstVTriggers = nullptr;
    QPushButton* btnAdd = nullptr;
    QMenu* PopupMenuTriggers = nullptr;
    QAction* mnuAddTrigger = nullptr; // "Add..."
    QAction* Edit1 = nullptr;         // "Edit..."
    QAction* Remove1 = nullptr;       // "Delete"
    QTreeWidget* lstVActions = nullptr;
    QPushButton* btnActionAdd = nullptr;
    QMenu* PopupMenuActions = nullptr;
    QAction* mnuAddAction = nullptr; // "Add..."
    QAction* MenuItem3 = nullptr;    // "Edit...", which does nothing
    QAction* MenuItem4 = nullptr;    // "Delete"
    QLineEdit* edtAgentName = nullptr;

    void mnuAddTriggerClick();
    void Edit1Click();
    void Remove1Click();
    void mnuAddActionClick();
    void MenuItem4Click();
    void optAllClick();
    void lstVTriggersChange();
    void lstVActionsChange();
    void edtAgentNameChange();
    // A name that cannot be an agent's is refused with the reason; the name
    // of an existing agent is replaced only after a Yes.
    void EPWizard1FinishClick();
    void EPWizard1CancelClick();

    // What Finish took.
    [[nodiscard]] const std::string& AgentName() const { return name_; }
    // "MESSAGE"
    [[nodiscard]] std::string AgentType() const;
    // No triggers while every message is to trigger the agent.
    [[nodiscard]] std::vector<quelta::TAgentTrigger> Triggers() const;
    [[nodiscard]] std::vector<quelta::TAgentAction> Actions() const;

    [[nodiscard]] TAgentLists& Lists() { return *lists_; }

private:
    std::unique_ptr<TAgentLists> lists_;
    std::string name_;
};

} // namespace cfgman
