#include "cfgman/frmmessagepre.h"

#include "cfgman/dialogbuttons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    layout->addLayout(OkCancelRow(*this, btnOK, btnCancel));
    resize(420, 300);
}

} // namespace cfgman
