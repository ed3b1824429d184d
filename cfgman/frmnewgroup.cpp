#include "cfgman/frmnewgroup.h"

#include "cfgman/buttonrow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

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
    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    edtGroupName->setFocus();
}

} // namespace cfgman
