#pragma once
// "Agent Properties": an existing agent's triggers and actions, edited on
// two tabs and written back on OK.
#include "cfgman/frmagentlists.h"
#include "processor/agentfile.h"

#include <QDialog>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;

namespace cfgman {

class TfrmAgentProperties : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAgentProperties(QWidget* parent = nullptr);
    ~TfrmAgentProperties() override;

    QTabWidget* Pages = nullptr;
    QRadioButton* optAll = nullptr;
    QRadioButton* optCertain = nullptr;
    QTreeWidget* lstVTriggers = nullptr;
    QPushButton* btnAdd = nullptr;
    QMenu* PopupMenuTriggers = nullptr;
    QAction* MenuItem1 = nullptr; // "Add.."
    QAction* MenuItem2 = nullptr; // "Edit..."
    QAction* MenuItem4 = nullptr; // "Delete"
    QTreeWidget* lstVActions = nullptr;
    QPushButton* btnActionAdd = nullptr;
    QMenu* PopupMenuActions = nullptr;
    QAction* Add1 = nullptr;    // "Add"
    QAction* Edit1 = nullptr;   // "Edit..."
    QAction* Remove1 = nullptr; // "Delete"
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void btnAddClick();
    void MenuItem2Click();
    void MenuItem4Click();
    void btnActionAddClick();
    void Remove1Click();
    void optAllClick();
    void FormShow();

    // Fills the window from a read agent: a MESSAGE agent shows its
    // triggers and actions, any other opens empty.
    void LoadAgent(const quelta::TAgentDefinition& agent);
    // The agent OK writes: a MESSAGE agent that keeps its creation stamp.
    [[nodiscard]] quelta::TAgentDefinition Agent() const;

    [[nodiscard]] TAgentLists& Lists() { return *lists_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TAgentLists> lists_;
    std::string created_;
};

} // namespace cfgman
