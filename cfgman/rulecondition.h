#pragma once
// The condition part of the restriction wizard and the restriction
// properties: the condition list and one panel of boxes per condition.
#include <QWidget>

class QComboBox;
class QLineEdit;

namespace cfgman {

struct TRuleEdit;

class TRuleConditionBox : public QWidget {
    Q_OBJECT
public:
    explicit TRuleConditionBox(QWidget* parent = nullptr);

    QComboBox* cmbCondition = nullptr;
    QWidget* panelfieldcontains = nullptr;
    QComboBox* cmbField = nullptr;
    QLineEdit* edtValue = nullptr;
    QWidget* panelfieldsize = nullptr;
    QComboBox* cmbSField = nullptr;
    QLineEdit* edtSValue = nullptr;
    QWidget* panelmessagesize = nullptr;
    QLineEdit* edtNumber = nullptr;

    // Shows the chosen condition's panel (none for "All messages").
    void ShowPanel();
    void Load(const TRuleEdit& edit);
    // The condition and its boxes into edit.
    void Read(TRuleEdit& edit) const;
};

} // namespace cfgman
