// The Mail Accounts page's account commands: the account wizard and the
// account properties.
#include "cfgman/core/accounts.h"
#include "cfgman/core/settings.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmodify.h"
#include "cfgman/frmnewnode.h"
#include "cfgman/frmupdate.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QTreeWidget>

namespace cfgman {

void TfrmMain::B1Click() {
    pageControlMain->setCurrentWidget(TSaccounts);
    PlayEventSound(programFolder_ + "newitem.wav");
    TfrmNewNode wizard(this);
    const std::string lastGroup = Tables.TableGroups2.FieldByName("GROUP").AsString();
    for (const TGroupChoice& g : PopulateWizardGroups())
        wizard.AddGroup(Q(g.Group), Q(g.UniqueId));
    for (int i = 0; i < wizard.lstGroups->count(); ++i)
        if (wizard.lstGroups->item(i)->text() == Q(lastGroup))
            wizard.lstGroups->setCurrentRow(i);
    wizard.cmbAction1->setCurrentIndex(0);
    wizard.cmbAction2->setCurrentIndex(0);
    if (wizard.exec() != 1)
        return;
    const TNewAccount entered = wizard.Entered();
    // The group the user chose, by its key: never another one.
    if (!KeyExists(Folders().DataBasePath(), "GROUPS.DBF", "UNIQUE_ID", entered.GroupId)) {
        win::MessageBox("Failed to position record, please re-index.",
                        "Quelta Mail Management System", win::MB_OK);
        return;
    }
    AddAccount(Tables, entered, MakeUniqueId());
    populateGroups();
}

void TfrmMain::mnuPropertiesClick() {
    QTreeWidgetItem* node = treeMain->currentItem();
    if (!node)
        return;
    // An account node's own row; from any other node, the account last
    // selected, found by its key (none when no account was selected yet).
    std::int32_t account = 0;
    if (NodeImage(node) == nkAccount) {
        account = NodeRow(node);
        if (account == 0)
            return RowGone(node);
    } else {
        if (lastAccount_.RecNo == 0)
            return;
        account =
            LocateRow(Tables.TableNodes2, Tables.XbNodes2, lastAccount_.RecNo, lastAccount_.Key);
        if (account == 0)
            return SayRowGone("account", lastAccount_.Name);
    }
    TfrmModify dialog(Tables, account, this);
    // The tree's selection does not decide here: the dialog gives its own
    // account and the attachment chosen in it.
    dialog.Attach = [this](const std::string& accountKey) { AttachToAccount(accountKey); };
    dialog.Detach = [this](std::int32_t recNo, const std::string& key, const std::string& agent) {
        DetachAttachment(recNo, key, agent);
    };
    dialog.FillAttachedAgents();
    dialog.exec();
}

void TfrmMain::N15Click() {
    TfrmUpdate wizard(this);
    wizard.exec();
}

} // namespace cfgman
