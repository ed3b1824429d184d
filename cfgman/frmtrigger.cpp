#include "cfgman/frmtrigger.h"

#include "cfgman/buttonrow.h"
#include "cfgman/qtext.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

namespace {

void Choose(QComboBox* box, const std::string& text, bool ignoreCase) {
    box->setCurrentIndex(box->findText(
        Q(text), ignoreCase ? Qt::MatchFixedString : Qt::MatchExactly | Qt::MatchCaseSensitive));
}

} // namespace

TfrmTrigger::TfrmTrigger(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTrigger"));
    setWindowTitle(QStringLiteral("Trigger Settings"));
    auto* layout = new QVBoxLayout(this);

    auto* choices = new QHBoxLayout;
    auto* ifThe = new QLabel(QStringLiteral("If the:"), this);
    cmbHeader = new QComboBox(this);
    cmbHeader->setObjectName(QStringLiteral("cmbHeader"));
    cmbHeader->addItems({QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("To"),
                         QStringLiteral("Cc"), QStringLiteral("Reply To"),
                         QStringLiteral("<Any Header>"), QStringLiteral("<Body>")});
    ifThe->setBuddy(cmbHeader);
    cmbCondition = new QComboBox(this);
    cmbCondition->setObjectName(QStringLiteral("cmbCondition"));
    cmbCondition->addItems({QStringLiteral("contains"), QStringLiteral("doesn't contain"),
                            QStringLiteral("begins with"), QString()});
    choices->addWidget(ifThe);
    choices->addWidget(cmbHeader, 1);
    choices->addWidget(cmbCondition, 1);
    layout->addLayout(choices);

    auto* valueLabel = new QLabel(QStringLiteral("Value:"), this);
    memoValue = new QPlainTextEdit(this);
    memoValue->setObjectName(QStringLiteral("memoValue"));
    memoValue->setTabChangesFocus(true);
    memoValue->setFixedHeight(memoValue->fontMetrics().height() * 3 + 12);
    memoValue->installEventFilter(this);
    valueLabel->setBuddy(memoValue);
    layout->addWidget(valueLabel);
    layout->addWidget(memoValue);

    auto* frame = new QGroupBox(QStringLiteral("Current Trigger:"), this);
    auto* frameLayout = new QVBoxLayout(frame);
    lblCondition = new QLabel(frame);
    lblCondition->setObjectName(QStringLiteral("lblCondition"));
    lblCondition->setWordWrap(true);
    // "<Body>" and typed values are text, never markup.
    lblCondition->setTextFormat(Qt::PlainText);
    frameLayout->addWidget(lblCondition);
    layout->addWidget(frame);

    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmbHeader, &QComboBox::currentIndexChanged, this, [this] { cmbHeaderChange(); });
    connect(cmbCondition, &QComboBox::currentIndexChanged, this, [this] { cmbConditionChange(); });
    connect(memoValue, &QPlainTextEdit::textChanged, this, [this] { memoValueChange(); });
    resize(380, 230);
    UpdateSentence();
}

void TfrmTrigger::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool TfrmTrigger::eventFilter(QObject* watched, QEvent* event) {
    // Enter presses OK; the value is one line.
    if (watched == memoValue && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnOK->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmTrigger::FormShow() {
    UpdateSentence();
}

void TfrmTrigger::cmbHeaderChange() {
    UpdateSentence();
}

void TfrmTrigger::cmbConditionChange() {
    UpdateSentence();
}

void TfrmTrigger::memoValueChange() {
    UpdateSentence();
}

void TfrmTrigger::UpdateSentence() {
    lblCondition->setText(QStringLiteral("If the ") + cmbHeader->currentText() + ' ' +
                          cmbCondition->currentText() + ' ' + memoValue->toPlainText());
}

void TfrmTrigger::SetTrigger(const quelta::TAgentTrigger& trigger, bool ignoreCase) {
    Choose(cmbHeader, trigger.Header, ignoreCase);
    Choose(cmbCondition, trigger.Condition, ignoreCase);
    memoValue->setPlainText(Q(trigger.Value));
}

quelta::TAgentTrigger TfrmTrigger::Trigger() const {
    std::string value = S(memoValue->toPlainText());
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    return {S(cmbHeader->currentText()), S(cmbCondition->currentText()), value};
}

} // namespace cfgman
