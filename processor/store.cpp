#include "processor/store.h"

#include "mail/msmime.h"
#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "platform/win/formatdatetime.h"
#include "platform/win/paths.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
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
    return HeaderKey(message.Headers());
}

std::string HeaderKey(const TmsHeaders& headers) {
    // Whole: two identifiers alike in their first 255 characters are two keys.
    std::string id = DecodeHeaderWords(headers.GetRawFieldValue("Message-ID"));
    if (!id.empty())
        return id;
    win::TDateTime date = 0;
    std::string rest;
    ParseMailDate(headers.GetFieldValue("Date"), date, rest);
    return win::FormatDateTime("yyyymmddhhnnss", date) +
           headers.GetFieldValue("Subject").substr(0, 5);
}

TmsHeaders StoredHeaders(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        const size_t from = text.size() < 4 ? 0 : text.size() - 4;
        text.append(chunk, static_cast<size_t>(in.gcount()));
        const size_t lf = text.find("\n\n", from), crlf = text.find("\r\n\r\n", from);
        if (lf != std::string::npos || crlf != std::string::npos || text.size() > (1u << 20))
            break;
    }
    TmsHeaders headers;
    headers.SetText(text);
    headers.CutAtBlankLine();
    return headers;
}

std::string MessageFileName(const std::string& messageKey, int number) {
    std::string name = SanitizeFileName(messageKey);
    if (name.size() > kMaxKeyNameLength) {
        // FNV-1a over the whole key: cut names of different keys stay apart.
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : messageKey)
            hash = (hash ^ c) * 1099511628211ull;
        char tail[24];
        std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
        name.resize(kMaxKeyNameLength - std::strlen(tail));
        name += tail;
    }
    if (number > 1)
        name += "~" + std::to_string(number);
    return name + ".eml";
}

} // namespace quelta
