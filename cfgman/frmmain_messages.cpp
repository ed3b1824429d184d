// The commands that open message files in the message editor: File, Open,
// "E-Mail Message..." and the agent history's "View Message...".
#include "cfgman/core/accounttree.h"
#include "cfgman/core/messagerows.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/text.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessage.h"

#include <QTableView>

namespace cfgman {

TfrmMessage* TfrmMain::OpenMessageEditor(const std::string& path) {
    auto* editor = new TfrmMessage(this);
    try {
        editor->OpenMessageFile(path);
    } catch (...) {
        // The window stays open, empty.
        editor->show();
        throw;
    }
    editor->show();
    return editor;
}

bool TfrmMain::CloseMessageEditors() {
    for (TMessageEditor* editor : findChildren<TMessageEditor*>(Qt::FindDirectChildrenOnly))
        if (editor->isVisible() && !editor->close())
            return false;
    return true;
}

void TfrmMain::E1Click() {
    const QString file =
        ExecuteOpenDialog(this, {QStringLiteral("Open rfc822 MIME Message File"),
                                 QStringLiteral("eml"),
                                 {QStringLiteral("rfc822 MIME Encoded Message (*.eml *.EML)"),
                                  QStringLiteral("All Files (*)")},
                                 {}});
    if (!file.isEmpty())
        OpenMessageEditor(file.toUtf8().toStdString());
}

void TfrmMain::V3Click() {
    const QModelIndex current = GridAgentHistory->currentIndex();
    if (!current.isValid())
        return;
    const auto rows =
        ReadRows(Tables.TableAgentActions, Tables.XbAgentActions, {"MESSAGE_ID", "NODE_ID"});
    if (current.row() >= int(rows.size()))
        return;
    const std::vector<std::string>& row = rows[std::size_t(current.row())];
    // The message belongs to the row's own account; older rows without one
    // belong to the selected agent's.
    std::string account = Trim(row[1]);
    if (account.empty() && Tables.TableAgents2.Active())
        account = Trim(Tables.TableAgents2.FieldByName("LINK_ID").AsString());
    OpenMessageEditor(HistoryMessagePath(Folders().MessagesPath(), Folders().DataBasePath(),
                                         account, Trim(row[0])));
}

} // namespace cfgman
