#include "cfgman/frmfind.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace cfgman {

TfrmFind::TfrmFind(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find Messages"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("This option allows you to find messages stored in any folder(s)."), this));
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Containing Text:"), this);
    edtText = new QLineEdit(this);
    label->setBuddy(edtText);
    row->addWidget(label);
    row->addWidget(edtText, 1);
    btnSearch = new QPushButton(QStringLiteral("Search"), this);
    btnSearch->setDefault(true);
    btnSearch->setAutoDefault(true);
    row->addWidget(btnSearch);
    layout->addLayout(row);
    layout->addStretch();
    resize(420, 120);
    edtText->setFocus();
}

} // namespace cfgman
