// Menu commands of the main window: table maintenance and preferences.
#include "cfgman/core/mailini.h"
#include "cfgman/core/maintenance.h"
#include "cfgman/core/preferences.h"
#include "cfgman/frmcustomsend.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmpref.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"
#include "platform/win/profile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace cfgman {

void TfrmMain::Maintain(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        try {
            RebuildTreeKeepingSelection();
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    RebuildTreeKeepingSelection();
}

void TfrmMain::ReIndex1Click() {
    Maintain([this] { ReIndexTables(Tables); });
}

void TfrmMain::Pack1Click() {
    Maintain([this] { PackTables(Tables); });
}

void TfrmMain::Zap1Click() {
    Maintain([this] { ZapMessageTables(Tables); });
}

void TfrmMain::SetPreferences1Click() {
    TfrmPref dialog(this);
    dialog.RASComboBox->addItem(QString::fromLatin1(kNoDialUp));
    for (const std::string& entry : agRas1.GetEntries())
        dialog.RASComboBox->addItem(Q(entry));
    // No dial-up shows as "None".
    const std::string service = agRas1.Service().empty() ? kNoDialUp : agRas1.Service();
    for (int i = 0; i < dialog.RASComboBox->count(); ++i)
        if (S(dialog.RASComboBox->itemText(i)) == service)
            dialog.RASComboBox->setCurrentIndex(i);

    win::TIniFile ini(kIniName);
    switch (ReadConnectMethod(ini)) {
    case TConnectMethod::Manual:
        dialog.optManual->setChecked(true);
        break;
    case TConnectMethod::RAS:
        dialog.optDUN->setChecked(true);
        break;
    default:
        dialog.optLAN->setChecked(true);
        break;
    }
    dialog.chkDisableSounds->setChecked(ini.ReadBool("Misc", "SoundsDisabled", false));
    const TFolders old = Folders();
    dialog.edtMessagesPath->setText(Q(old.Messages));
    dialog.edtAgentsPath->setText(Q(old.Agents));
    dialog.edtTemplates->setText(Q(old.Templates));
    dialog.edtDatabases->setText(Q(old.DataBase));
    const TMailIni oldMail = ReadMailIni();
    dialog.edtSMTPAddress->setText(Q(oldMail.SMTPAddress));
    dialog.edtDefaultFrom->setText(Q(oldMail.DefaultFromAddress));
    if (dialog.exec() != QDialog::Accepted)
        return;

    TPreferences p;
    const std::string chosen = S(dialog.RASComboBox->currentText());
    agRas1.SetService(chosen == kNoDialUp ? std::string() : chosen);
    p.Service = agRas1.Service().empty() ? kNoDialUp : agRas1.Service();
    p.Method = dialog.optDUN->isChecked()      ? TConnectMethod::RAS
               : dialog.optManual->isChecked() ? TConnectMethod::Manual
                                               : TConnectMethod::LAN;
    p.Folders.Messages = S(dialog.edtMessagesPath->text());
    if (p.Folders.Messages != old.Messages &&
        win::MessageBox("You have selected a new messages path.  Are you sure you want to store "
                        "messages in " +
                            p.Folders.Messages + "?",
                        "Confirm", win::MB_YESNOCANCEL | win::MB_ICONQUESTION) != win::IDYES) {
        // Only Yes moves the messages elsewhere.
        p.Folders.Messages = old.Messages;
        dialog.edtMessagesPath->setText(Q(old.Messages));
        win::MessageBox("Your messages path has been restored to the previous setting.",
                        "Quelta Mail Management System", win::MB_OK);
    }
    p.Folders.Agents = S(dialog.edtAgentsPath->text());
    p.Folders.DataBase = S(dialog.edtDatabases->text());
    p.Folders.Templates = S(dialog.edtTemplates->text());
    p.SoundsDisabled = dialog.chkDisableSounds->isChecked();
    Folders() = p.Folders;
    WritePreferences(ini, p);

    TMailIni mail = oldMail;
    mail.SMTPAddress = S(dialog.edtSMTPAddress->text());
    mail.DefaultFromAddress = S(dialog.edtDefaultFrom->text());
    WriteMailIni(mail);
    // Custom Send's From follows a new default unless the user typed another.
    if (frmCustomSend && S(frmCustomSend->edtFrom->text()) == oldMail.DefaultFromAddress)
        frmCustomSend->edtFrom->setText(Q(ReadMailIni().DefaultFromAddress));
}

} // namespace cfgman
