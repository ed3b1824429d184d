#include "cfgman/rulecondition.h"
#include "cfgman/qtext.h"

#include "cfgman/core/restrictions.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace cfgman {

namespace {

QComboBox* FieldBox(QWidget* parent, const QStringList& items, const QString& start) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->addItems(items);
    box->setEditText(start);
    return box;
}

} // namespace

TRuleConditionBox::TRuleConditionBox(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    cmbCondition = new QComboBox(this);
    for (const std::string& text : ConditionTexts())
        cmbCondition->addItem(Q(text));
    layout->addWidget(cmbCondition);

    panelfieldcontains = new QWidget(this);
    auto* contains = new QFormLayout(panelfieldcontains);
    cmbField =
        FieldBox(panelfieldcontains,
                 {QStringLiteral("From"), QStringLiteral("To"), QStringLiteral("ReplyTo"),
                  QStringLiteral("CC"), QStringLiteral("Subject"), QStringLiteral("(Any field)")},
                 QStringLiteral("From"));
    edtValue = new QLineEdit(panelfieldcontains);
    contains->addRow(QStringLiteral("Field:"), cmbField);
    contains->addRow(QStringLiteral("Value:"), edtValue);

    panelfieldsize = new QWidget(this);
    auto* size = new QFormLayout(panelfieldsize);
    cmbSField = FieldBox(panelfieldsize,
                         {QStringLiteral("To:"), QStringLiteral("From:"),
                          QStringLiteral("ReplyTo:"), QStringLiteral("CC:"),
                          QStringLiteral("Subject:"), QStringLiteral("(the entire header)")},
                         QStringLiteral("Select a field:"));
    edtSValue = new QLineEdit(QStringLiteral("100"), panelfieldsize);
    auto* chars = new QHBoxLayout;
    chars->addWidget(edtSValue);
    chars->addWidget(new QLabel(QStringLiteral("Characters"), panelfieldsize));
    size->addRow(QStringLiteral("Field:"), cmbSField);
    size->addRow(QStringLiteral("Has more than..."), chars);

    panelmessagesize = new QWidget(this);
    auto* bytes = new QHBoxLayout(panelmessagesize);
    bytes->addWidget(new QLabel(QStringLiteral("Is greater than:"), panelmessagesize));
    edtNumber = new QLineEdit(QStringLiteral("100"), panelmessagesize);
    bytes->addWidget(edtNumber);
    bytes->addWidget(new QLabel(QStringLiteral("Kb"), panelmessagesize));

    for (QWidget* panel : {panelfieldcontains, panelfieldsize, panelmessagesize})
        layout->addWidget(panel);
    layout->addStretch();
    connect(cmbCondition, &QComboBox::currentIndexChanged, this, [this] { ShowPanel(); });
    ShowPanel();
}

void TRuleConditionBox::ShowPanel() {
    const int c = cmbCondition->currentIndex();
    panelfieldcontains->setVisible(c == rcContains);
    panelfieldsize->setVisible(c == rcLonger);
    panelmessagesize->setVisible(c == rcSize);
}

void TRuleConditionBox::Load(const TRuleEdit& e) {
    cmbCondition->setCurrentIndex(e.Condition);
    switch (e.Condition) {
    case rcContains:
        cmbField->setEditText(Q(e.Field));
        edtValue->setText(Q(e.Value));
        break;
    case rcLonger:
        cmbSField->setEditText(Q(e.SField));
        edtSValue->setText(Q(e.SValue));
        break;
    case rcSize:
        edtNumber->setText(Q(e.Number));
        break;
    default:
        break;
    }
    ShowPanel();
}

void TRuleConditionBox::Read(TRuleEdit& e) const {
    e.Condition = cmbCondition->currentIndex();
    e.Field = S(cmbField->currentText());
    e.Value = S(edtValue->text());
    e.SField = S(cmbSField->currentText());
    e.SValue = S(edtSValue->text());
    e.Number = S(edtNumber->text());
}

} // namespace cfgman
