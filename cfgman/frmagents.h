#pragma once
// "Attach Agent to Account": picks one of the agents the main window lists.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace cfgman {

class TfrmAgents : public QDialog {
    Q_OBJECT
public:
    TfrmAgents(const std::vector<std::string>& agents, QWidget* parent = nullptr);

    QListWidget* lstVAgents = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* Button2 = nullptr; // Cancel

    // With an agent selected, closes the dialog as OK does.
    void lstVAgentsDblClick();
    void Button2Click();

    // The selected agent's name; empty when none is.
    [[nodiscard]] std::string SelectedAgent() const;
};

} // namespace cfgman
