// One account's POP3 session: list, let the restrictions mark, fetch what
// is not stored yet into Pending and delete on the server.
#include "retriever/mailretriever.h"

#include "data/schema.h"
#include "mail/mspars.h"
#include "mail/msutils.h"
#include "platform/win/wholefile.h"
#include "processor/store.h"

#include <istream>
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

// The first of a key's numbered names that is free in Pending and In, or
// that holds this message already; nameKey gives the names.
TStoreSlot SearchNames(const TStoredNames& names, const std::string& pendingFolder,
                       const std::string& inFolder, const TmsHeaders& listed,
                       const std::string& nameKey, const std::string& key) {
    const bool byId = !listed.GetFieldValue("Message-ID").empty();
    // Each taken name is a file: the search ends after as many steps.
    for (int number = 1;; ++number) {
        const std::string name = quelta::MessageFileName(nameKey, number);
        bool taken = false;
        for (const std::string* folder : {&pendingFolder, &inFolder}) {
            const std::string path = names.Find(*folder, name);
            if (path.empty())
                continue;
            taken = true;
            const TmsHeaders stored = quelta::StoredHeaders(path);
            const bool same = byId ? quelta::HeaderKey(stored) == key
                                   : stored.GetFieldValue("Message-ID").empty() &&
                                         KeptLines(stored) == KeptLines(listed);
            if (same)
                return {name, true};
        }
        if (!taken)
            return {name, false};
    }
}

} // namespace

TStoreSlot LocateStored(const TStoredNames& names, const std::string& pendingFolder,
                        const std::string& inFolder, const TmsHeaders& listed,
                        const std::string& key) {
    // Files stored while keys were cut to 255 characters bear the cut key's name.
    if (key.size() > 255) {
        const TStoreSlot old =
            SearchNames(names, pendingFolder, inFolder, listed, Cut255(key), key);
        if (old.stored)
            return old;
    }
    return SearchNames(names, pendingFolder, inFolder, listed, key, key);
}

TMailRetriever::TReceivedRow TMailRetriever::ReceivedRow(const std::string& key, bool byId) {
    const std::string stored = TrimRight(data::StoredMessageKey(key));
    // Rows of other accounts say nothing of this one's mailbox.
    if (stored.empty() || !receivedXb_.Seek(stored) ||
        TrimRight(received_.FieldByName("MESSAGE_ID").AsString()) != stored ||
        TrimRight(received_.FieldByName("LINK_ID").AsString()) != TrimRight(currentNodeId_))
        return TReceivedRow::None;
    return byId ? TReceivedRow::Whole : TReceivedRow::Shared;
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
        stored_.Load({pendingFolder, inFolder});
        written_.clear();
        for (int i = 0; i < pop_.Info().Count(); ++i) {
            TmsRemoteInfoItem& item = pop_.Info().Items(i);
            const std::string key = quelta::HeaderKey(item.Headers());
            const bool byId = !item.Headers().GetFieldValue("Message-ID").empty();
            // This system's own copy, known by the whole key: a file that
            // holds the message, or a row of this account that holds its
            // Message-ID (or, for a long one, its digest). A row written
            // before the digest holds the first 40 characters, which other
            // messages may share: no proof, so only a file counts then.
            const TReceivedRow row = ReceivedRow(key, byId);
            const bool own =
                row == TReceivedRow::Whole ||
                LocateStored(stored_, pendingFolder, inFolder, item.Headers(), key).stored;
            // A date key may stand for another message: this one is then
            // kept on the server unread.
            if (!own && row == TReceivedRow::Shared)
                continue;
            ApplyRestrictions(i, !own);
            if (own) {
                // Not fetched again; deleted only when the restrictions
                // would have fetched and deleted it (a session stopped
                // between storing and DELE left it there).
                const bool remove = item.RetrieveMark() && item.DeleteMark();
                pop_.Unmark(i);
                item.SetDeleteMark(remove);
            }
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
    const TmsHeaders& listed = pop_.Info().Items(index).Headers();
    const std::string key = quelta::HeaderKey(listed);
    TStoreSlot slot = LocateStored(stored_, pending, in, listed, key);
    // A file of this session still being written is not on the disk yet;
    // once it is, it may turn out to hold this message.
    while (!slot.stored && writer_.Busy(pending + slot.name)) {
        writer_.Wait(pending + slot.name);
        slot = LocateStored(stored_, pending, in, listed, key);
    }
    // Stored meanwhile: not written twice; the delete mark stays as the
    // restrictions set it.
    if (slot.stored)
        return;
    // The text as the server delivered it, stored whole or not at all, while
    // the next message is fetched.
    written_[index] = pending + slot.name;
    writer_.Write(pending + slot.name, ReadRest(contents));
    Pump();
}

} // namespace retriever
