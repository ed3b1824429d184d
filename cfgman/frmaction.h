#pragma once
// "Add Action": the ten actions an agent can take, each with the panel of
// its parameters.
#include "processor/agentfile.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace cfgman {

class TfrmAction : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAction(QWidget* parent = nullptr);

    QListWidget* lstVActions = nullptr;
    QStackedWidget* panels = nullptr;
    // Auto-Reply
    QLineEdit* edtTemplate = nullptr;
    QPushButton* btnTemplate = nullptr;
    QPushButton* btnNewTemplate = nullptr;
    // Delay the Agent
    QSpinBox* spnDelay = nullptr;
    // Forward To, Redirect To
    QLineEdit* edtForward = nullptr;
    QLineEdit* edtRedirect = nullptr;
    // Launch Program
    QLineEdit* edtCommandLine = nullptr;
    QPushButton* btnProgram = nullptr;
    QRadioButton* optNormal = nullptr;
    QRadioButton* optMinimized = nullptr;
    QRadioButton* optMaximized = nullptr;
    QRadioButton* optHidden = nullptr;
    // Play Sound
    QLineEdit* edtSound = nullptr;
    QPushButton* btnSound = nullptr;
    // Run an queltaScript
    QLineEdit* edtScript = nullptr;
    QPushButton* btnScript = nullptr;
    QPushButton* btnNewScript = nullptr;
    // Shut down Windows
    QRadioButton* optForce = nullptr;
    QRadioButton* optLogOff = nullptr;
    QRadioButton* optPowerOff = nullptr;
    QRadioButton* optReboot = nullptr;
    QRadioButton* optShutdown = nullptr;

    QPushButton* Button3 = nullptr; // OK
    QPushButton* btnCancel = nullptr;

    void FormShow();
    void lstVActionsChange();
    // Takes the chosen action; without its parameter the dialog stays open.
    void Button3Click();

    // What OK took: the chosen entry's caption and the action as written.
    [[nodiscard]] const QString& Caption() const { return caption_; }
    [[nodiscard]] const quelta::TAgentAction& Action() const { return action_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Browse(QLineEdit* box, const QString& defaultExt, const QStringList& filters,
                const QString& initialDir);

    QString caption_;
    quelta::TAgentAction action_;
};

} // namespace cfgman
