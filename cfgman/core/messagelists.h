#pragma once
// An account's stored messages as the configuration manager lists them: the
// rows of its received, outbox and sent tables, the file each row names, and
// the changes made to them. A file always changes before its rows, and the
// rows change only when the file did.
#include "processor/store.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace data {
class TTable;
class TXbTable;
} // namespace data

namespace cfgman {

enum class TMessageTable { Received, OutBox, Sent };

// The store folder a table's files lie in: In, Out or Sent.
[[nodiscard]] quelta::TStoreFolder StoreFolderOf(TMessageTable table);

// The rows of a list as it shows them: each row's record number and its
// columns (received FROM, SUBJECT, RECDATE, FILENAME; outbox and sent
// TONAME, TOADDRESS, SUBJECT, DATE; dates as "yyyy-mm-dd"). The texts of the
// rows lie side by side in blocks that never move, so a list takes about the
// length of what it shows, also while it grows.
class TMessageRows {
public:
    static constexpr std::size_t kColumns = 4;

    [[nodiscard]] std::size_t size() const { return recNos_.size(); }
    [[nodiscard]] bool empty() const { return recNos_.empty(); }
    [[nodiscard]] std::int32_t RecNo(std::size_t row) const { return recNos_[row]; }
    [[nodiscard]] std::string_view Column(std::size_t row, std::size_t column) const;
    [[nodiscard]] std::vector<std::string> Columns(std::size_t row) const;
    void Add(std::int32_t recNo, const std::array<std::string, kColumns>& columns);

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;
    struct TBlock {
        std::unique_ptr<char[]> text;
        std::size_t size = 0, capacity = 0;
    };
    std::vector<std::int32_t> recNos_;
    std::vector<std::uint32_t> blockOf_; // the block of each row's texts
    // Where each column's text ends in its block, kColumns a row; a row
    // begins where the one before it ends when both share a block.
    std::vector<std::uint32_t> ends_;
    std::vector<TBlock> blocks_;
};

[[nodiscard]] std::vector<std::string> MessageColumnTitles(TMessageTable table);

// The rows of the table's current range (the selected account's); the table
// goes back to its row. Its detail tables do not follow the walk, only its
// row at the end.
[[nodiscard]] TMessageRows ReadMessageRows(data::TTable& table, data::TXbTable& partner,
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
