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
#include <string_view>
#include <sys/stat.h>

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

namespace {

// FNV-1a 64 over the header lines, each ended as the server ends it.
std::uint64_t HeaderDigest(const TmsHeaders& headers) {
    std::uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes)
            hash = (hash ^ c) * 1099511628211ull;
    };
    for (const std::string& line : headers) {
        add(line);
        add("\r\n");
    }
    return hash;
}

// Every bit of the input moves about half of the output's.
std::uint64_t Mixed(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

// value modulo 36^width, in width digits and lower-case letters.
std::string Base36(std::uint64_t value, int width) {
    std::string text(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i, value /= 36)
        text[static_cast<std::size_t>(i)] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
    return text;
}

// '%', line breaks and other control characters as %XX: a key is one line of the mark.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c < 0x20 || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string HeaderKey(const TmsHeaders& headers) {
    // Whole: two identifiers alike in their first 255 characters are two keys.
    std::string id = DecodeHeaderWords(headers.GetRawFieldValue("Message-ID"));
    if (!id.empty())
        return id;
    char digest[24];
    std::snprintf(digest, sizeof digest, "#%016llx",
                  static_cast<unsigned long long>(HeaderDigest(headers)));
    return DateKey(headers) + digest;
}

std::string DateKey(const TmsHeaders& headers) {
    win::TDateTime date = 0;
    std::string rest;
    ParseMailDate(headers.GetFieldValue("Date"), date, rest);
    return win::FormatDateTime("yyyymmddhhnnss", date) +
           headers.GetFieldValue("Subject").substr(0, 5);
}

std::string NameKey(const TmsHeaders& headers) {
    std::string id = DecodeHeaderWords(headers.GetRawFieldValue("Message-ID"));
    return id.empty() ? DateKey(headers) : id;
}

TmsHeaders StoredHeaders(const std::string& path) {
    // The whole header block, however long: a cut one would make another identity.
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        const size_t from = text.size() < 4 ? 0 : text.size() - 4;
        text.append(chunk, static_cast<size_t>(in.gcount()));
        const size_t lf = text.find("\n\n", from), crlf = text.find("\r\n\r\n", from);
        if (lf != std::string::npos || crlf != std::string::npos)
            break;
    }
    TmsHeaders headers;
    headers.SetText(text);
    headers.CutAtBlankLine();
    return headers;
}

TMessageIdentity IdentityOf(const TmsHeaders& headers, long long size) {
    constexpr std::uint64_t kSizes = 36ull * 36 * 36 * 36 * 36;
    return {Base36(Mixed(HeaderDigest(headers)), 10),
            Base36(static_cast<std::uint64_t>(size < 0 ? 0 : size) % kSizes, 5)};
}

TMessageIdentity StoredIdentity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return IdentityOf(StoredHeaders(path), static_cast<long long>(st.st_size));
}

std::string RunMarkPath(const std::string& pendingPath) {
    return pendingPath + ".run";
}

std::string RunMarkText(const TRunMark& mark) {
    std::string text = "agents\n";
    if (!mark.key.empty())
        text += "key " + Escaped(mark.key) + "\n";
    if (mark.identity.Known())
        text += "identity " + mark.identity.headers + " " + mark.identity.size + "\n";
    if (mark.row)
        text += "row\n";
    return text;
}

bool ReadRunMark(const std::string& pendingPath, TRunMark& mark) {
    std::ifstream in(RunMarkPath(pendingPath), std::ios::binary);
    std::string line;
    bool any = false;
    mark = {};
    while (std::getline(in, line)) {
        any = true;
        if (line == "row") {
            mark.row = true;
        } else if (line.starts_with("key ")) {
            mark.key = Unescaped(std::string_view(line).substr(4));
        } else if (line.starts_with("identity ")) {
            const std::string rest = line.substr(9);
            const auto blank = rest.find(' ');
            if (blank != std::string::npos)
                mark.identity = {rest.substr(0, blank), rest.substr(blank + 1)};
        }
    }
    return any;
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
