#include "cfgman/frmmessagepre.h"

#include "cfgman/buttonrow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

TfrmMessagePre::TfrmMessagePre(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMessagePre"));
    setWindowTitle(QStringLiteral("Merge Previewer"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(
        QStringLiteral(
            "Paste an message example message that might be replied to be this template."),
        this);
    label->setWordWrap(true);
    layout->addWidget(label);
    memExample = new QPlainTextEdit(this);
    memExample->setObjectName(QStringLiteral("memExample"));
    layout->addWidget(memExample, 1);
    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(420, 300);
}

} // namespace cfgman
