#pragma once
// A page of one of the program's wizards: a heading over a vertical layout
// that the caller fills.
#include "widgets/wizard.h"

#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

namespace cfgman {

inline widgets::TEPWizardPage* AddWizardPage(widgets::TEPWizard* wizard, const char* name,
                                             const char* heading) {
    auto* page = new widgets::TEPWizardPage(wizard);
    page->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel(QString::fromLatin1(heading), page);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    title->setFont(f);
    layout->addWidget(title);
    return page;
}

} // namespace cfgman
