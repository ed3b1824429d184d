#include "cfgman/frmupdate.h"

#include "widgets/wizard.h"

#include <QLabel>
#include <QVBoxLayout>

namespace cfgman {

TfrmUpdate::TfrmUpdate(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmUpdate"));
    setWindowTitle(QStringLiteral("Update Software"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Wizard = new widgets::TEPWizard(this);
    layout->addWidget(Wizard);
    Wizard->BeginLoad();
    const char* texts[] = {
        "This wizard checks the Internet for a newer version of Quelta.",
        "Make sure this computer is connected to the Internet, then press Next.",
        "When a newer version is found, you are told where to get it. Press Finish to close "
        "the wizard."};
    widgets::TEPWizardPage* first = nullptr;
    for (const char* text : texts) {
        auto* page = new widgets::TEPWizardPage(Wizard);
        auto* body = new QVBoxLayout(page);
        auto* label = new QLabel(QString::fromLatin1(text), page);
        label->setWordWrap(true);
        body->addWidget(label);
        body->addStretch();
        if (!first)
            first = page;
    }
    Wizard->SetFirstPage(first);
    Wizard->EndLoad();
    Wizard->OnFinishClick = [this](QObject*) { done(QDialog::Accepted); };
    Wizard->OnCancelClick = [this](QObject*) { done(QDialog::Rejected); };
    resize(440, 280);
}

} // namespace cfgman
