// One account's POP3 session: list, skip what was received, let the
// restrictions mark, fetch into Pending and delete on the server.
#include "retriever/mailretriever.h"

#include "data/schema.h"
#include "mail/mssafefile.h"
#include "mail/msutils.h"
#include "platform/win/paths.h"
#include "processor/store.h"

#include <sstream>

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

} // namespace

std::string HeaderKey(const TmsHeaders& headers) {
    TmsMessage message;
    message.Headers() = headers;
    return quelta::MessageKey(message);
}

bool TMailRetriever::Received(const std::string& key) {
    // The key as the processor stores it: cut to the field, compared whole.
    const std::string stored = TrimRight(data::StoredMessageKey(key));
    if (stored.empty())
        return false;
    return receivedXb_.Seek(stored) &&
           TrimRight(received_.FieldByName("MESSAGE_ID").AsString()) == stored;
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
        received_.Refresh();
        for (int i = 0; i < pop_.Info().Count(); ++i) {
            const std::string key = HeaderKey(pop_.Info().Items(i).Headers());
            if (Received(key))
                continue;
            ApplyRestrictions(i, pendingFolder, quelta::MessageFileName(key));
        }
        try {
            pop_.ProcessMarked();
        } catch (const std::exception& e) {
            AppException(e.what());
            throw;
        }
    } catch (...) {
        EndSession();
        throw;
    }
    EndSession();
}

void TMailRetriever::ApplyRestrictions(int index, const std::string& pendingFolder,
                                       const std::string& fileName) {
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
            SendtoLog("Rule " + rules_.FieldByName("RULE").AsString() + " activated for message " +
                      n);
        }
        if (win::FileExists(win::ResolvePath(pendingFolder + fileName)))
            pop_.Unmark(index);
        rules_.Next();
    }
}

void TMailRetriever::SaveFetched(int index, std::istream& contents) {
    const std::string pending =
        quelta::ForceStoreFolder(messagesFolder_, currentNodeId_, quelta::TStoreFolder::Pending);
    const std::string in =
        quelta::StoreFolderPath(messagesFolder_, currentNodeId_, quelta::TStoreFolder::In);
    const std::string name = quelta::MessageFileName(HeaderKey(pop_.Info().Items(index).Headers()));
    if (win::FileExists(win::ResolvePath(pending + name)) ||
        win::FileExists(win::ResolvePath(in + name))) {
        // Stored already: not written twice, and not deleted on the server.
        pop_.Unmark(index);
        return;
    }
    // The text as the server delivered it, stored whole or not at all.
    std::ostringstream data;
    data << contents.rdbuf();
    WriteFileWhole(pending + name, data.view());
    Pump();
}

} // namespace retriever
