#include "cfgman/core/messagerows.h"

#include "cfgman/core/messagelists.h"
#include "cfgman/core/text.h"
#include "data/dataset.h"
#include "data/schema.h"
#include "data/xbtable.h"
#include "platform/win/paths.h"
#include "processor/store.h"

namespace cfgman {

namespace {

std::string Trimmed(data::TTable& t, const char* field) {
    return Trim(t.FieldByName(field).AsString());
}

} // namespace

void WriteHandling(const std::string& databaseFolder, std::int32_t recNo, const THandling& handling,
                   win::TDateTime now) {
    data::TTable received;
    received.SetDatabaseName(databaseFolder);
    received.SetTableName("RECEIVED.DBF");
    data::TDataSource source;
    source.SetDataSet(&received);
    data::TXbTable partner;
    partner.SetDataSource(&source);
    received.Open();
    partner.Go(recNo);
    if (recNo <= 0 || received.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    received.Edit();
    try {
        received.FieldByName("FROM").SetAsString(handling.From);
        received.FieldByName("SUBJECT").SetAsString(handling.Subject);
        received.FieldByName("FILENAME").SetAsString(handling.FileName);
        const win::TDateTime today = static_cast<double>(static_cast<long>(now));
        received.FieldByName("LASTDATE").SetAsDateTime(today);
        received.FieldByName("CREATEON").SetAsDateTime(today);
        received.FieldByName("CREATEAT").SetAsString(data::TimeOfDayText(now));
        received.Post();
    } catch (...) {
        received.Cancel();
        throw;
    }
}

std::string HistoryMessagePath(const std::string& messagesFolder, const std::string& databaseFolder,
                               const std::string& accountId, const std::string& messageKey) {
    const std::string in =
        quelta::StoreFolderPath(messagesFolder, accountId, quelta::TStoreFolder::In);
    data::TTable received;
    received.SetDatabaseName(databaseFolder);
    received.SetTableName("RECEIVED.DBF");
    received.SetReadOnly(true);
    received.Open();
    const std::string stored = data::StoredMessageKey(messageKey);
    for (received.First(); !received.Eof(); received.Next()) {
        if (Trimmed(received, "MESSAGE_ID") != stored || Trimmed(received, "LINK_ID") != accountId)
            continue;
        const std::string name = quelta::SanitizeFileName(Trimmed(received, "FILENAME"));
        if (name.empty())
            continue;
        const std::string path = ReceivedFilePath(in, name, stored);
        if (win::FileExists(path))
            return path;
    }
    return in + quelta::MessageFileName(messageKey);
}

} // namespace cfgman
