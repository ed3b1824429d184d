#pragma once
// The OK and Cancel row at the foot of a dialog, right-aligned, OK the default button.
#include <QBoxLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>
#include <utility>

namespace cfgman {

// Returns {OK, Cancel}.
inline std::pair<QPushButton*, QPushButton*> AddOkCancel(QWidget* dialog, QBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    return {ok, cancel};
}

} // namespace cfgman
