#include "processor/store.h"

#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "platform/win/formatdatetime.h"
#include "platform/win/paths.h"

#include <stdexcept>

namespace quelta {

const char* StoreFolderName(TStoreFolder folder) {
    switch (folder) {
    case TStoreFolder::Pending:
        return "Pending";
    case TStoreFolder::In:
        return "In";
    case TStoreFolder::Out:
        return "Out";
    case TStoreFolder::Sent:
        return "Sent";
    }
    return "Pending";
}

std::string StoreFolderPath(const std::string& messagesFolder, const std::string& accountId,
                            TStoreFolder folder) {
    std::string path = win::IncludeTrailingPathDelimiter(messagesFolder) +
                       SanitizeFileName(accountId) + "/" + StoreFolderName(folder) + "/";
    return win::ResolvePath(path);
}

std::string ForceStoreFolder(const std::string& messagesFolder, const std::string& accountId,
                             TStoreFolder folder) {
    std::string path = StoreFolderPath(messagesFolder, accountId, folder);
    if (!win::ForceDirectories(path))
        throw std::runtime_error("Cannot create the folder " + path);
    return win::ResolvePath(path);
}

std::string SanitizeFileName(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '|' || c == '?' || c == ':' || c == '"' || c == '<' || c == '>' || c == '/' ||
            c == '\\' || u < 0x20 || u == 0x7F)
            c = '-';
    }
    if (out == ".")
        out = "-";
    else if (out == "..")
        out = "--";
    return out;
}

std::string MessageKey(const TmsCustomMessage& message) {
    std::string id = message.Headers().GetFieldValue("Message-ID");
    if (!id.empty())
        return id;
    win::TDateTime date = 0;
    std::string rest;
    ParseMailDate(message.Headers().GetFieldValue("Date"), date, rest);
    return win::FormatDateTime("yyyymmddhhnnss", date) +
           message.Headers().GetFieldValue("Subject").substr(0, 5);
}

std::string MessageFileName(const std::string& messageKey) {
    return SanitizeFileName(messageKey) + ".eml";
}

} // namespace quelta
