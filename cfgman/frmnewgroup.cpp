#include "cfgman/frmnewgroup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace cfgman {

TfrmNewGroup::TfrmNewGroup(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmNewGroup"));
    setWindowTitle(QStringLiteral("Create New Folder"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please enter the new folder name"), this));
    edtGroupName = new QLineEdit(this);
    edtGroupName->setObjectName(QStringLiteral("edtGroupName"));
    layout->addWidget(edtGroupName);
    auto* note = new QLabel(
        QStringLiteral("A folder is used to catagorize the various accounts in an organization."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    edtGroupName->setFocus();
}

} // namespace cfgman
