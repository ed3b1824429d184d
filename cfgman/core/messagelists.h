#pragma once
// An account's stored messages as the configuration manager lists them: the
// rows of its received, outbox and sent tables, the file each row names, and
// the changes made to them. A file always changes before its rows, and the
// rows change only when the file did.
#include "processor/store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace data {
class TTable;
class TXbTable;
} // namespace data

namespace cfgman {

enum class TMessageTable { Received, OutBox, Sent };

// The store folder a table's files lie in: In, Out or Sent.
[[nodiscard]] quelta::TStoreFolder StoreFolderOf(TMessageTable table);

struct TMessageRow {
    std::int32_t RecNo = 0;
    std::string LinkId, FileName, MessageId;
    // The list's columns: received FROM, SUBJECT, RECDATE, FILENAME; outbox
    // and sent TONAME, TOADDRESS, SUBJECT, DATE. Dates as "yyyy-mm-dd".
    std::vector<std::string> Columns;
};

[[nodiscard]] std::vector<std::string> MessageColumnTitles(TMessageTable table);

// The rows of the table's current range (the selected account's); the table
// goes back to its row.
[[nodiscard]] std::vector<TMessageRow> ReadMessageRows(data::TTable& table, data::TXbTable& partner,
                                                       TMessageTable kind);

// Puts the table on the row; raises when the row is not there any more.
void GoToRow(data::TTable& table, data::TXbTable& partner, std::int32_t recNo);

// The message file of the row the table stands on: Messages folder + its
// LINK_ID + In, Out or Sent + its FILENAME. A received row whose FILENAME
// was cut to the field's width names its file by the longest unique file
// name it begins. Raises for a FILENAME that is empty, "." or "..", or
// holds a path separator: such a row names no file of its folder.
[[nodiscard]] std::string RowMessagePath(data::TTable& table, const std::string& messagesFolder,
                                         TMessageTable kind);
// The file of a received row in its account's In folder (ending with a
// separator): its FILENAME, or where that was cut to the field, the file
// that name begins whose message key the row's MESSAGE_ID holds.
[[nodiscard]] std::string ReceivedFilePath(const std::string& inFolder, const std::string& fileName,
                                           const std::string& messageId);

struct TStoreChange {
    bool Done = false;
    std::string LogLine;
};

// Deletes the row's file, then the row (locked first, so a row another
// program holds stops the deletion before the file goes). A file that
// cannot be deleted keeps its row: "Unable to delete " + path.
TStoreChange DeleteStoredMessage(data::TTable& table, data::TXbTable& partner, std::int32_t recNo,
                                 const std::string& messagesFolder, TMessageTable kind);

// Moves the outbox row the table stands on with its file into the sent
// items of the row's account: the file first (never over a file of that
// name), then a new sent row with sentId, then the outbox row goes. When
// the file cannot be moved the rows stay; when a row cannot be written the
// file goes back and the failure is raised.
TStoreChange MoveToSent(data::TTable& outbox, data::TXbTable& outboxPartner, data::TTable& sent,
                        const std::string& messagesFolder, const std::string& sentId);

// Renames a file; false (with the reason) when the target exists or the
// rename fails.
bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& why);

} // namespace cfgman
