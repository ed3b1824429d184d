// The server preview: the headers waiting on the selected account's POP3
// server, read without fetching, deleting or marking anything.
#include "cfgman/core/preview.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmrem.h"
#include "cfgman/frmstatus.h"
#include "platform/win/hooks.h"

#include <QCoreApplication>
#include <QLabel>

namespace cfgman {

void TfrmMain::Checkwhatsontheserver1Click() {
    data::TTable& account = Tables.TableNodes2;
    msRemotePOP1.SetServer(PreviewServer(account.FieldByName("POPADDRESS").AsString(),
                                         account.FieldByName("SMTPADDRES").AsString()));
    msRemotePOP1.SetUserName(account.FieldByName("LOGIN").AsString());
    msRemotePOP1.SetPassword(account.FieldByName("PASSWORD").AsString());
    msRemotePOP1.SetKeepConnected(false);
    msRemotePOP1.OnNextInfoUpdated = [this](TagSocket&, int index) {
        msRemotePOP1NextInfoUpdated(index);
    };
    try {
        msRemotePOP1.UpdateInfo();
    } catch (...) {
        // The session always ends with QUIT, also after a failure.
        try {
            msRemotePOP1.Disconnect();
        } catch (...) {
        }
        throw;
    }
    if (msRemotePOP1.Info().Count() == 0) {
        win::MessageBox("There are no messages waiting.", "Quelta Mail Management System",
                        win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    frmRem->ShowItems(PreviewItems(msRemotePOP1.Info()));
    frmRem->show();
    frmRem->raise();
}

void TfrmMain::msRemotePOP1NextInfoUpdated(int index) {
    const std::string n = std::to_string(index + 1);
    const std::string m = std::to_string(msRemotePOP1.MessageCount());
    SendtoLog("Downloading Header " + n + " of " + m + " -- " +
                  msRemotePOP1.Info().Items(index).Headers().GetFieldValue("Subject"),
              0);
    if (frmStatus_)
        frmStatus_->lblCurrentAction->setText(
            QString::fromStdString("Downloading Headers " + n + " of " + m));
    QCoreApplication::processEvents();
}

} // namespace cfgman
