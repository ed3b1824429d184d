#pragma once
// "Trigger Settings": one trigger of an agent, a header choice, a
// condition and the value, with the sentence they make.
#include "processor/agentfile.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace cfgman {

class TfrmTrigger : public QDialog {
    Q_OBJECT
public:
    // Opens on "Subject" and "contains".
    explicit TfrmTrigger(QWidget* parent = nullptr);

    QComboBox* cmbHeader = nullptr;
    QComboBox* cmbCondition = nullptr;
    QPlainTextEdit* memoValue = nullptr;
    QLabel* lblCondition = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void FormShow();
    void cmbHeaderChange();
    void cmbConditionChange();
    void memoValueChange();

    // Chooses the entries whose text is the stored one (compared exactly or
    // without regard to case); a text no entry has leaves its choice empty.
    void SetTrigger(const quelta::TAgentTrigger& trigger, bool ignoreCase);
    // The two choices and the value, which keeps to one line.
    [[nodiscard]] quelta::TAgentTrigger Trigger() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateSentence();
};

} // namespace cfgman
