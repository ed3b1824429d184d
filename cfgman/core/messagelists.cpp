#include "cfgman/core/messagelists.h"

#include "cfgman/core/rowlocks.h"
#include "cfgman/core/text.h"
#include "data/dataset.h"
#include "data/schema.h"
#include "data/xbtable.h"
#include "mail/msmsg.h"
#include "platform/win/datetime.h"
#include "platform/win/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <unistd.h>

namespace cfgman {

namespace {

// Width of FILENAME in the message tables: a longer name was cut when stored.
constexpr std::size_t kFileNameWidth = 30;

std::string Field(data::TTable& t, const char* name) {
    return Trim(t.FieldByName(name).AsString());
}

// A name from a row is only ever a file of its own folder.
void CheckFileName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string::npos)
        throw std::runtime_error("The file name \"" + name +
                                 "\" of this row is not the name of a message file; nothing "
                                 "was done.");
}

// The one file of the folder whose name begins with prefix (and that take
// accepts, when given); "" when none or several.
std::string OnlyFileStartingWith(const std::string& folder, const std::string& prefix,
                                 const std::function<bool(const std::string& path)>& take = {}) {
    std::string found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0 || !entry.is_regular_file(ec) ||
            (take && !take(entry.path().string())))
            continue;
        if (!found.empty())
            return {};
        found = name;
    }
    return found;
}

// Of the files whose names begin with prefix, the one whose message key the
// row holds (whole, as a digest, or as the first 40 characters rows held
// before); "" when none or several.
std::string FileWithKey(const std::string& folder, const std::string& prefix,
                        const std::string& messageId) {
    return OnlyFileStartingWith(folder, prefix, [&](const std::string& path) {
        const std::string key = quelta::HeaderKey(quelta::StoredHeaders(path));
        return data::StoredMessageKey(key) == messageId || data::CutMessageKey(key) == messageId;
    });
}

void Restore(const std::string& from, const std::string& to) {
    std::string why;
    (void)MoveFileNoReplace(from, to, why);
}

} // namespace

// FILENAME holds at most 30 characters of the name posta gave the file,
// MESSAGE_ID at most 40 of its key: the file is the one these begin.
std::string ReceivedFilePath(const std::string& folder, const std::string& name,
                             const std::string& messageId) {
    if (!messageId.empty()) {
        const std::string byKey = quelta::MessageFileName(messageId);
        if (win::FileExists(folder + byKey))
            return folder + byKey;
    }
    if (name.size() < kFileNameWidth)
        return folder + name;
    // Long names alike in their first 30 characters: told apart by the key.
    if (messageId.size() >= data::kMessageKeyWidth) {
        if (const std::string file = FileWithKey(folder, name, messageId); !file.empty())
            return folder + file;
    }
    std::string file;
    if (messageId.size() >= data::kMessageKeyWidth)
        file = OnlyFileStartingWith(folder, quelta::SanitizeFileName(messageId));
    if (file.empty())
        file = OnlyFileStartingWith(folder, name);
    return folder + (file.empty() ? name : file);
}

quelta::TStoreFolder StoreFolderOf(TMessageTable table) {
    switch (table) {
    case TMessageTable::Received:
        return quelta::TStoreFolder::In;
    case TMessageTable::OutBox:
        return quelta::TStoreFolder::Out;
    case TMessageTable::Sent:
        return quelta::TStoreFolder::Sent;
    }
    return quelta::TStoreFolder::In;
}

std::vector<std::string> MessageColumnTitles(TMessageTable table) {
    if (table == TMessageTable::Received)
        return {"From", "Subject", "Received", "File"};
    return {"To", "Address", "Subject", "Date"};
}

std::string_view TMessageRows::Column(std::size_t row, std::size_t column) const {
    const std::size_t at = row * kColumns + column;
    const std::uint32_t block = blockOf_[row];
    const bool first = column == 0 && (row == 0 || blockOf_[row - 1] != block);
    const std::size_t begin = first ? 0 : ends_[at - 1];
    return {blocks_[block].text.get() + begin, ends_[at] - begin};
}

std::vector<std::string> TMessageRows::Columns(std::size_t row) const {
    std::vector<std::string> out;
    for (std::size_t c = 0; c < kColumns; ++c)
        out.emplace_back(Column(row, c));
    return out;
}

void TMessageRows::Add(std::int32_t recNo, const std::array<std::string, kColumns>& columns) {
    std::size_t length = 0;
    for (const std::string& c : columns)
        length += c.size();
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().size < length) {
        const std::size_t capacity = std::max(kBlockSize, length);
        blocks_.push_back({std::make_unique_for_overwrite<char[]>(capacity), 0, capacity});
    }
    TBlock& block = blocks_.back();
    recNos_.push_back(recNo);
    blockOf_.push_back(static_cast<std::uint32_t>(blocks_.size() - 1));
    for (const std::string& c : columns) {
        c.copy(block.text.get() + block.size, c.size());
        block.size += c.size();
        ends_.push_back(static_cast<std::uint32_t>(block.size));
    }
}

namespace {

// The walk's table with its detail tables left alone, also after a failure.
class TControlsDisabled {
public:
    explicit TControlsDisabled(data::TTable& t) : t_(t) { t_.DisableControls(); }
    ~TControlsDisabled() { t_.EnableControls(); }
    TControlsDisabled(const TControlsDisabled&) = delete;
    TControlsDisabled& operator=(const TControlsDisabled&) = delete;

private:
    data::TTable& t_;
};

std::string Text(data::TField& f) {
    return Trim(f.AsString());
}

// "yyyy-mm-dd", put together directly: a format read again for every row
// was a sixth of listing many rows.
std::string Date(data::TField& f) {
    if (f.IsNull())
        return {};
    const win::DateParts p = win::DecodeDateTime(f.AsDateTime());
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
    return text;
}

} // namespace

TMessageRows ReadMessageRows(data::TTable& table, data::TXbTable& partner, TMessageTable kind) {
    TMessageRows rows;
    if (!table.Active())
        return rows;
    const std::int32_t keep = table.RecNo();
    TControlsDisabled quiet(table);
    // The fields are looked up once; they stay while the table is open.
    const bool received = kind == TMessageTable::Received;
    data::TField* text[3];
    const char* const names[] = {received ? "FROM" : "TONAME", received ? "SUBJECT" : "TOADDRESS",
                                 received ? "FILENAME" : "SUBJECT"};
    for (int i = 0; i < 3; ++i)
        text[i] = &table.FieldByName(names[i]);
    data::TField& date = table.FieldByName(received ? "RECDATE" : "DATE");
    for (table.First(); !table.Eof(); table.Next()) {
        if (received)
            rows.Add(table.RecNo(), {Text(*text[0]), Text(*text[1]), Date(date), Text(*text[2])});
        else
            rows.Add(table.RecNo(), {Text(*text[0]), Text(*text[1]), Text(*text[2]), Date(date)});
    }
    if (keep != 0)
        partner.Go(keep);
    return rows;
}

void GoToRow(data::TTable& table, data::TXbTable& partner, std::int32_t recNo) {
    if (recNo > 0)
        partner.Go(recNo);
    if (recNo <= 0 || table.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
}

std::string RowMessagePath(data::TTable& table, const std::string& messagesFolder,
                           TMessageTable kind) {
    const std::string name = Field(table, "FILENAME");
    CheckFileName(name);
    const std::string folder =
        quelta::StoreFolderPath(messagesFolder, Field(table, "LINK_ID"), StoreFolderOf(kind));
    if (kind != TMessageTable::Received || win::FileExists(folder + name))
        return folder + name;
    return ReceivedFilePath(folder, name, Field(table, "MESSAGE_ID"));
}

TStoreChange DeleteStoredMessage(data::TTable& table, data::TXbTable& partner, std::int32_t recNo,
                                 const std::string& messagesFolder, TMessageTable kind) {
    GoToRow(table, partner, recNo);
    const std::string path = RowMessagePath(table, messagesFolder, kind);
    TRowLocks locks;
    locks.Take(partner, recNo, table.TableName());
    // unlink, never a folder of that name.
    if (::unlink(path.c_str()) != 0)
        return {false, "Unable to delete " + path};
    table.Delete();
    return {true, "Successfully deleted " + path};
}

TStoreChange MoveToSent(data::TTable& outbox, data::TXbTable& outboxPartner, data::TTable& sent,
                        const std::string& messagesFolder, const std::string& sentId) {
    const std::int32_t recNo = outbox.RecNo();
    if (recNo <= 0)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    const std::string link = Field(outbox, "LINK_ID");
    const std::string file = Field(outbox, "FILENAME");
    CheckFileName(file);
    const std::string from =
        quelta::StoreFolderPath(messagesFolder, link, quelta::TStoreFolder::Out);

    TRowLocks locks;
    locks.Take(outboxPartner, recNo, outbox.TableName(), "nothing was moved.");
    const std::string to =
        quelta::ForceStoreFolder(messagesFolder, link, quelta::TStoreFolder::Sent);
    std::string why;
    if (!MoveFileNoReplace(from + file, to + file, why))
        return {false,
                "Failed to move " + from + file + " to " + to + file + " in sent items folder"};

    data::TField& date = outbox.FieldByName("DATE");
    const bool hasDate = !date.IsNull();
    const win::TDateTime when = hasDate ? date.AsDateTime() : 0;
    const std::string subject = outbox.FieldByName("SUBJECT").AsString();
    const std::string toName = outbox.FieldByName("TONAME").AsString();
    const std::string toAddress = outbox.FieldByName("TOADDRESS").AsString();
    try {
        sent.Append();
        sent.FieldByName("UNIQUE_ID").SetAsString(sentId);
        sent.FieldByName("LINK_ID").SetAsString(link);
        sent.FieldByName("SUBJECT").SetAsString(subject);
        if (hasDate)
            sent.FieldByName("DATE").SetAsDateTime(when);
        sent.FieldByName("TONAME").SetAsString(toName);
        sent.FieldByName("TOADDRESS").SetAsString(toAddress);
        sent.FieldByName("FILENAME").SetAsString(file);
        sent.Post();
    } catch (...) {
        Restore(to + file, from + file);
        if (sent.State() == data::TDataSetState::dsInsert)
            sent.Cancel();
        throw;
    }
    try {
        outbox.Delete();
    } catch (...) {
        Restore(to + file, from + file);
        // The first failure is the one reported.
        try {
            sent.Delete();
        } catch (...) {
        }
        throw;
    }
    return {true, "Successfully moved " + from + " to " + to + file + " in sent items folder"};
}

bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& why) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without the flag: a second name, then the first goes.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
    }
    why = std::strerror(errno);
    return false;
}

} // namespace cfgman
