#pragma once
// The button row of the program's small dialogs: "OK" (the default, Enter)
// and "Cancel" (Esc), right-aligned, closing the dialog with their answer.
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace cfgman {

inline QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton*& ok, QPushButton*& cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    row->addWidget(ok);
    row->addWidget(cancel);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    return row;
}

} // namespace cfgman
