// One account's POP3 session: list, let the restrictions mark, fetch what
// is not stored yet into Pending and delete on the server.
#include "retriever/mailretriever.h"

#include "data/schema.h"
#include "mail/mspars.h"
#include "mail/msutils.h"
#include "platform/win/wholefile.h"
#include "processor/store.h"

#include <istream>
#include <sys/stat.h>
#include <vector>

namespace retriever {

namespace {

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool Yes(const std::string& value) {
    return UpperCase(Trim(value)) == "Y";
}

// The header lines a stored copy keeps however the processor saved it:
// all but the fields the composer writes anew (an agent's script may have
// changed the subject or the sender).
std::vector<std::string> KeptLines(const TmsHeaders& headers) {
    std::vector<std::string> kept;
    bool keep = false;
    for (const std::string& line : headers) {
        const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (!folded)
            keep = !IsComposedField(Trim(std::string_view(line).substr(0, line.find(':'))));
        if (keep)
            kept.push_back(line);
    }
    return kept;
}

// The rest of the stream in one string, sized from the stream when it can tell.
std::string ReadRest(std::istream& stream) {
    std::string data;
    std::streambuf* source = stream.rdbuf();
    if (!source)
        return data;
    const std::streampos here = source->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here != std::streampos(-1)) {
        const std::streampos end = source->pubseekoff(0, std::ios::end, std::ios::in);
        source->pubseekpos(here, std::ios::in);
        if (end != std::streampos(-1) && end > here)
            data.reserve(static_cast<std::size_t>(end - here));
    }
    char chunk[65536];
    for (std::streamsize n; (n = source->sgetn(chunk, sizeof chunk)) > 0;)
        data.append(chunk, static_cast<std::size_t>(n));
    return data;
}

const char* const kOlderRow =
    "a received row of an earlier version has its key and cannot tell whether it is this message";
const char* const kOtherSize =
    "a stored copy with its header lines has another size than the server lists";
const char* const kUntold = "a stored message has its key and cannot be told from it";

// What a copy known as it arrived holds of the listed message.
TStored Compare(const quelta::TMessageIdentity& copy, const quelta::TMessageIdentity& listed) {
    if (copy.headers != listed.headers)
        return {THeld::Other, "", true};
    if (copy.size != listed.size)
        return {THeld::Unsure, kOtherSize, false};
    return {THeld::Same, "", false};
}

long long FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

TStored JudgeFile(const std::string& path, const std::string& name, bool pending,
                  const TmsHeaders& listed, const quelta::TMessageIdentity& identity,
                  const std::string& key, const TRowsNaming& naming) {
    const TmsHeaders stored = quelta::StoredHeaders(path);
    const quelta::TMessageIdentity now = quelta::IdentityOf(stored, FileSize(path));
    const std::string storedKey = quelta::HeaderKey(stored);
    const bool keyTaken = storedKey == key;
    // A pending file is as it arrived until the processor marks it, before
    // an agent may change it; read after the file, a mark written meanwhile shows.
    if (pending) {
        quelta::TRunMark mark;
        if (!quelta::ReadRunMark(path, mark) || mark.identity.Known()) {
            TStored found = Compare(mark.identity.Known() ? mark.identity : now, identity);
            found.keyTaken = found.held == THeld::Other && keyTaken;
            return found;
        }
    }
    // Filed, so an agent may have changed it: the row posta wrote for it
    // says what arrived, unless an earlier version wrote it.
    if (naming) {
        const std::vector<quelta::TReceivedRow> rows = naming(name, storedKey);
        bool known = !rows.empty();
        TStored found;
        for (const quelta::TReceivedRow& row : rows) {
            known = known && row.identity.Known();
            found = Stronger(found, Compare(row.identity, identity));
        }
        if (known) {
            found.keyTaken = found.held == THeld::Other && keyTaken;
            return found;
        }
    }
    if (now.headers == identity.headers)
        return Compare(now, identity);
    if (KeptLines(stored) == KeptLines(listed))
        return {THeld::Unsure, kUntold, false};
    return {THeld::Other, "", keyTaken};
}

// The first of a key's numbered names that is free in Pending and In, or
// that holds this message already; nameKey gives the names.
TStoreSlot SearchNames(const TStoredNames& names, const std::string& pendingFolder,
                       const std::string& inFolder, const TmsHeaders& listed,
                       const quelta::TMessageIdentity& identity, const std::string& nameKey,
                       const std::string& key, const TRowsNaming& naming) {
    TStoreSlot slot;
    // Each taken name is a file: the search ends after as many steps.
    for (int number = 1;; ++number) {
        const std::string name = quelta::MessageFileName(nameKey, number);
        bool taken = false;
        for (const std::string* folder : {&pendingFolder, &inFolder}) {
            const std::string path = names.Find(*folder, name);
            if (path.empty())
                continue;
            taken = true;
            slot.stored = Stronger(slot.stored, JudgeFile(path, name, folder == &pendingFolder,
                                                          listed, identity, key, naming));
            if (slot.stored.held == THeld::Same) {
                slot.name = name;
                return slot;
            }
        }
        if (!taken) {
            slot.name = name;
            return slot;
        }
    }
}

} // namespace

TStored Stronger(const TStored& a, const TStored& b) {
    TStored s = a.held >= b.held ? a : b;
    if (s.why.empty())
        s.why = a.held >= b.held ? b.why : a.why;
    s.keyTaken = a.keyTaken || b.keyTaken;
    return s;
}

TStoreSlot LocateStored(const TStoredNames& names, const std::string& pendingFolder,
                        const std::string& inFolder, const TmsHeaders& listed, long size,
                        const std::string& key, const TRowsNaming& naming) {
    const quelta::TMessageIdentity identity = quelta::IdentityOf(listed, size);
    const std::string nameKey = quelta::NameKey(listed);
    TStoreSlot slot =
        SearchNames(names, pendingFolder, inFolder, listed, identity, nameKey, key, naming);
    // Files stored while keys were cut to 255 characters bear the cut key's name.
    if (slot.stored.held != THeld::Same && nameKey.size() > 255) {
        const TStoreSlot old = SearchNames(names, pendingFolder, inFolder, listed, identity,
                                           Cut255(nameKey), key, naming);
        if (old.stored.held == THeld::Same)
            return old;
        slot.stored = Stronger(slot.stored, old.stored);
    }
    return slot;
}

TStored TMailRetriever::ReceivedRows(const TmsHeaders& headers, const std::string& key,
                                     const quelta::TMessageIdentity& identity) {
    const std::string account = TrimRight(currentNodeId_);
    TStored found;
    const auto same = [&identity](const quelta::TReceivedRow& row) {
        return row.identity == identity;
    };
    for (const quelta::TReceivedRow& row : rows_.Find(data::StoredMessageKey(key), account, same))
        found = Stronger(found, row.identity.Known() ? Compare(row.identity, identity)
                                                     : TStored{THeld::Unsure, kOlderRow, false});
    // Rows written before keys held the digest hold a date key alone; a
    // long key's first 40 characters say nothing, and only a file counts.
    if (found.held != THeld::Same && headers.GetFieldValue("Message-ID").empty()) {
        const auto any = [](const quelta::TReceivedRow&) { return true; };
        if (!rows_.Find(data::StoredMessageKey(quelta::DateKey(headers)), account, any).empty())
            found = Stronger(found, {THeld::Unsure, kOlderRow, false});
    }
    return found;
}

TRowsNaming TMailRetriever::Naming() {
    return [this](const std::string& file, const std::string& fileKey) {
        return rows_.Naming(TrimRight(currentNodeId_), file, fileKey);
    };
}

void TMailRetriever::KeepOnServer(int index, const std::string& why) {
    TmsRemoteInfoItem& item = pop_.Info().Items(index);
    if (!item.DeleteMark())
        return;
    item.SetDeleteMark(false);
    SendtoLog("Message " + std::to_string(index + 1) + " was left on the server: " + why);
}

void TMailRetriever::EndSession() noexcept {
    try {
        if (pop_.IsOpen())
            pop_.Disconnect();
        else
            pop_.Close(); // no socket: still hangs up a dial-up link
    } catch (...) {
        // Disconnect closed the socket; the session's first error is the one reported.
    }
}

void TMailRetriever::RetrieveMesages() {
    std::string server = accounts_.FieldByName("POPADDRESS").AsString();
    if (Trim(server).empty())
        server = accounts_.FieldByName("SMTPADDRES").AsString();
    pop_.SetServer(Trim(server));
    pop_.SetUserName(accounts_.FieldByName("LOGIN").AsString());
    pop_.SetPassword(accounts_.FieldByName("PASSWORD").AsString());
    EndSession();

    try {
        pop_.ConnectIfNeeded();
        pop_.SetKeepConnected(true);
        try {
            pop_.UpdateInfo();
        } catch (const std::exception& e) {
            AppException(e.what());
            throw;
        }
        if (pop_.Info().Count() == 0) {
            SendtoLog("There are no messages");
            EndSession();
            return;
        }
        const std::string pendingFolder = quelta::ForceStoreFolder(messagesFolder_, currentNodeId_,
                                                                   quelta::TStoreFolder::Pending);
        const std::string inFolder =
            quelta::StoreFolderPath(messagesFolder_, currentNodeId_, quelta::TStoreFolder::In);
        win::RemoveAbandonedParts(pendingFolder);
        received_.Refresh();
        rows_.Forget();
        stored_.Load({pendingFolder, inFolder});
        written_.clear();
        for (int i = 0; i < pop_.Info().Count(); ++i) {
            TmsRemoteInfoItem& item = pop_.Info().Items(i);
            const std::string key = quelta::HeaderKey(item.Headers());
            const quelta::TMessageIdentity identity =
                quelta::IdentityOf(item.Headers(), item.Size());
            TStored stored = ReceivedRows(item.Headers(), key, identity);
            if (stored.held != THeld::Same)
                stored = Stronger(stored, LocateStored(stored_, pendingFolder, inFolder,
                                                       item.Headers(), item.Size(), key, Naming())
                                              .stored);
            // Nothing, or another message under its key: judged afresh.
            const bool fresh = stored.held == THeld::Nothing || stored.held == THeld::Other;
            ApplyRestrictions(i, fresh);
            if (fresh)
                continue;
            // Not fetched again. The very message is deleted only when the
            // restrictions would have fetched and deleted it (a session
            // stopped between storing and DELE left it there); a copy that
            // may be another message never deletes it.
            const bool remove = item.RetrieveMark() && item.DeleteMark();
            pop_.Unmark(i);
            item.SetDeleteMark(remove);
            if (stored.held != THeld::Same)
                KeepOnServer(i, stored.why);
        }
        try {
            pop_.ProcessMarked();
        } catch (const std::exception& e) {
            AppException(e.what());
            throw;
        }
    } catch (...) {
        FinishWrites(false); // the session's own failure is the one reported
        EndSession();
        throw;
    }
    FinishWrites(false);
    EndSession();
}

void TMailRetriever::FinishWrites(bool report) {
    try {
        writer_.WaitAll();
    } catch (const std::exception&) {
        if (report)
            throw;
    }
}

void TMailRetriever::ApplyRestrictions(int index, bool log) {
    TmsRemoteInfoItem& item = pop_.Info().Items(index);
    const std::string n = std::to_string(index + 1);
    rules_.First();
    while (!rules_.Eof()) {
        const std::string cond = UpperCase(Trim(rules_.FieldByName("COND").AsString()));
        const std::string field = Trim(rules_.FieldByName("CONDVAL1").AsString());
        const std::string value = rules_.FieldByName("CONDVAL2").AsString();
        bool match = false;
        if (cond == "A") {
            match = true;
        } else if (cond == "C") {
            const std::string text = UpperCase(value);
            match = !text.empty() &&
                    UpperCase(item.Headers().GetFieldValue(field)).find(text) != std::string::npos;
        } else if (cond == "L") {
            match = data::StrToInt(Trim(value)) <
                    static_cast<long>(item.Headers().GetFieldValue(field).size());
        } else if (cond == "G") {
            match = data::StrToInt(Trim(value)) < item.Size();
        }
        if (match) {
            // "All messages" only adds marks; any other match replaces them.
            if (cond != "A")
                pop_.Unmark(index);
            if (Yes(rules_.FieldByName("ACT1").AsString()))
                pop_.MarkRetrieve(index);
            if (Yes(rules_.FieldByName("ACT2").AsString()))
                pop_.MarkDelete(index);
            if (log)
                SendtoLog("Rule " + rules_.FieldByName("RULE").AsString() +
                          " activated for message " + n);
        }
        rules_.Next();
    }
}

void TMailRetriever::SaveFetched(int index, std::istream& contents) {
    const std::string pending =
        quelta::ForceStoreFolder(messagesFolder_, currentNodeId_, quelta::TStoreFolder::Pending);
    const std::string in =
        quelta::StoreFolderPath(messagesFolder_, currentNodeId_, quelta::TStoreFolder::In);
    const TmsRemoteInfoItem& item = pop_.Info().Items(index);
    const std::string key = quelta::HeaderKey(item.Headers());
    TStoreSlot slot =
        LocateStored(stored_, pending, in, item.Headers(), item.Size(), key, Naming());
    // A file of this session still being written is not on the disk yet;
    // once it is, it may turn out to hold this message.
    while (slot.stored.held != THeld::Same && writer_.Busy(pending + slot.name)) {
        writer_.Wait(pending + slot.name);
        slot = LocateStored(stored_, pending, in, item.Headers(), item.Size(), key, Naming());
    }
    // Stored meanwhile: not written twice; the delete mark stays as the
    // restrictions set it.
    if (slot.stored.held == THeld::Same)
        return;
    if (slot.stored.held == THeld::Unsure) {
        KeepOnServer(index, slot.stored.why);
        return;
    }
    // The text as the server delivered it, stored whole or not at all, while
    // the next message is fetched.
    std::string text = ReadRest(contents);
    const long long size = static_cast<long long>(text.size());
    written_[index] = pending + slot.name;
    writer_.Write(pending + slot.name, std::move(text));
    const std::string n = std::to_string(index + 1);
    if (slot.stored.keyTaken)
        SendtoLog("Message " + n + " has the key of another message: stored as " + slot.name);
    // Another size than listed: a cut copy (a server that does not
    // dot-stuff ends a message at a lone "." line) never stands for the
    // message on the server.
    if (size != item.Size()) {
        const std::string why = std::to_string(size) + " bytes arrived of the " +
                                std::to_string(item.Size()) + " the server listed";
        if (item.DeleteMark())
            KeepOnServer(index, why);
        else
            SendtoLog("Message " + n + " was left on the server: " + why);
    }
    Pump();
}

} // namespace retriever
