// Sending: an outbox message goes out and moves with its row to the sent
// items; a sent item goes out again to its row's recipient; the copies of
// Custom Send go out with a progress dialog.
#include "cfgman/core/outgoing.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/text.h"
#include "cfgman/frmmain.h"
#include "platform/win/hooks.h"

#include <QLabel>
#include <QProgressDialog>
#include <stdexcept>

namespace cfgman {

namespace {

// One send at a time: the network waits let the user's commands run.
class TSending {
public:
    explicit TSending(bool& flag) : flag_(flag) { flag_ = true; }
    ~TSending() { flag_ = false; }
    TSending(const TSending&) = delete;
    TSending& operator=(const TSending&) = delete;

private:
    bool& flag_;
};

} // namespace

void TfrmMain::SendNow1Click() {
    const std::int32_t recNo = SelectedMessage(TMessageTable::OutBox);
    if (recNo == 0 || sending_)
        return;
    TSending sending(sending_);
    GoToRow(Tables.TableOut, Tables.XbOut, recNo);
    const std::string path =
        RowMessagePath(Tables.TableOut, Folders().MessagesPath(), TMessageTable::OutBox);
    msSMTP1.SetServer(Trim(Tables.TableNodes2.FieldByName("SMTPADDRES").AsString()));
    bool moved = false;
    try {
        msSMTP1.ConnectIfNeeded();
        msMessage1.Clear();
        msMessage1.LoadFromFile(path);
        msSMTP1.SetMailMessage(&msMessage1);
        msSMTP1.SendMessage();
        // The lists may have moved on while the message went out.
        GoToRow(Tables.TableOut, Tables.XbOut, recNo);
        moved = MoveMessage(Tables.TableOut, Tables.XbOut, Tables.TableSent);
    } catch (...) {
        // The first failure is the one reported; the session still ends.
        try {
            msSMTP1.Disconnect();
        } catch (...) {
        }
        RefreshMessageLists();
        throw;
    }
    msSMTP1.Disconnect();
    RefreshMessageLists();
    if (moved)
        StatusPanel0->setText(QStringLiteral("The message has been sent."));
}

bool TfrmMain::MoveMessage(data::TTable& source, data::TXbTable& sourcePartner,
                           data::TTable& destination) {
    const TStoreChange change =
        MoveToSent(source, sourcePartner, destination, Folders().MessagesPath(), MakeUniqueId());
    SendtoLog(change.LogLine, 0);
    return change.Done;
}

void TfrmMain::MenuItem10Click() {
    const std::int32_t recNo = SelectedMessage(TMessageTable::Sent);
    if (recNo == 0 || sending_)
        return;
    data::TTable& account = Tables.TableNodes2;
    const std::string server = Trim(account.FieldByName("SMTPADDRES").AsString());
    if (server.empty()) {
        win::MessageBox("The Server Name is blank for node - " +
                            account.FieldByName("NODE").AsString(),
                        "Quelta Mail Management System", win::MB_OK | win::MB_ICONWARNING);
        return;
    }
    TSending sending(sending_);
    GoToRow(Tables.TableSent, Tables.XbSent, recNo);
    data::TTable& row = Tables.TableSent;
    const std::string path = RowMessagePath(row, Folders().MessagesPath(), TMessageTable::Sent);
    StatusPanel0->setText(QStringLiteral("Re-sending message."));
    auto field = [&row](const char* name) { return row.FieldByName(name).AsString(); };
    auto width = [&row](const char* name) { return std::size_t(row.FieldByName(name).Size()); };
    const TSentRow sent{field("TOADDRESS"), field("TONAME"), field("SUBJECT"),
                        width("TOADDRESS"), width("TONAME"), width("SUBJECT")};
    // The stored file gives the body and the attachments; who it goes to
    // and from are the row's and the account's.
    TmsMessage stored;
    stored.LoadFromFile(path);
    MakeResendMessage(stored, sent, account.FieldByName("NODE").AsString(),
                      Trim(account.FieldByName("ADDRESS").AsString()), msMessage1);
    msSMTP1.SetServer(server);
    msSMTP1.SetMailMessage(&msMessage1);
    msSMTP1.Send();
    StatusPanel0->setText(QStringLiteral("The message has been sent."));
}

void TfrmMain::CustomSendCopies(const TmsMessage& message, int copies, const std::string& server) {
    if (sending_)
        throw std::runtime_error(
            "Custom Send: another message is being sent; try again once it has gone.");
    TSending sending(sending_);
    QProgressDialog progress(QStringLiteral("Sending copy 1 of %1...").arg(copies),
                             QStringLiteral("Cancel"), 0, copies, this);
    progress.setObjectName(QStringLiteral("prgCustomSend"));
    progress.setWindowTitle(QStringLiteral("Custom Send"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.show();
    const TCopiesResult result =
        SendCopies(msSMTP1, server, message, copies, [&progress](int n, int total) {
            progress.setLabelText(QStringLiteral("Sending copy %1 of %2...").arg(n).arg(total));
            progress.setValue(n - 1);
            return !progress.wasCanceled();
        });
    progress.close();
    const std::string line = CopiesLogLine(result, server);
    if (!result.Error.empty())
        throw std::runtime_error(line);
    SendtoLog(line, 0);
}

} // namespace cfgman
