#include "mail/msoutgoing.h"

#include "mail/msutils.h"
#include "platform/win/formatdatetime.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <unistd.h>

namespace {

// A word that cannot be folded is cut as fixed fields are.
constexpr std::size_t kCutWord = 255;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The fields a sent message must not carry again: the last delivery's
// trace, and the identity that each send sets anew.
bool IsTraceField(std::string_view name) {
    for (std::string_view trace : {"Received", "Return-Path", "Delivered-To"})
        if (SameText(trace, name))
            return true;
    return false;
}

std::string FieldName(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string() : Trim(line.substr(0, colon));
}

} // namespace

std::string MailDateText(win::TDateTime local) {
    const win::DateParts p = win::DecodeDateTime(local);
    // The zone in force at that moment (summer time included).
    std::tm t{};
    t.tm_year = p.year - 1900;
    t.tm_mon = p.month - 1;
    t.tm_mday = p.day;
    t.tm_hour = p.hour;
    t.tm_min = p.minute;
    t.tm_sec = p.second;
    t.tm_isdst = -1;
    long offset = 0;
    const std::time_t when = std::mktime(&t);
    std::tm back{};
    if (when != static_cast<std::time_t>(-1) && ::localtime_r(&when, &back))
        offset = back.tm_gmtoff / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char zone[48];
    std::snprintf(zone, sizeof zone, " %c%02ld%02ld", sign, offset / 60, offset % 60);
    // Fresh settings: English names and ":" whatever the program set.
    return win::FormatDateTime("ddd, dd mmm yyyy hh:nn:ss", local, win::FormatSettings{}) + zone;
}

std::string MessageIDDomain(std::string_view addressOrDomain) {
    const std::size_t at = addressOrDomain.rfind('@');
    std::string_view domain =
        at == std::string_view::npos ? addressOrDomain : addressOrDomain.substr(at + 1);
    std::string kept;
    for (char c : domain) {
        if (c == '.' && (kept.empty() || kept.back() == '.'))
            continue; // no empty labels
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.')
            kept += c;
        else if (c >= 'A' && c <= 'Z')
            kept += static_cast<char>(c - 'A' + 'a');
    }
    while (!kept.empty() && kept.back() == '.')
        kept.pop_back();
    return kept.substr(0, 253);
}

std::string MakeMessageID(std::string_view domain) {
    static std::mutex lock;
    static std::mt19937_64 rng{std::random_device{}()};
    static std::atomic<unsigned> counter{0};
    unsigned long long random;
    {
        std::lock_guard<std::mutex> guard(lock);
        random = rng();
    }
    char left[96];
    std::snprintf(left, sizeof left, "%lld.%d.%u.%016llx",
                  static_cast<long long>(std::time(nullptr)), static_cast<int>(::getpid()),
                  counter++, random);
    const std::string right = MessageIDDomain(domain);
    return "<" + std::string(left) + "@" + (right.empty() ? "localhost" : right) + ">";
}

std::vector<std::string> FoldHeaderLine(std::string_view line) {
    std::vector<std::string> out;
    std::string_view rest = line;
    while (rest.size() > kMaxLineLength) {
        // Fold before the last blank within the limit that has text before it.
        std::size_t first = 0;
        while (first < rest.size() && IsBlank(rest[first]))
            ++first;
        std::size_t fold = 0;
        for (std::size_t i = kMaxLineLength; i > first; --i)
            if (IsBlank(rest[i])) {
                fold = i;
                break;
            }
        if (fold > 0) {
            out.emplace_back(rest.substr(0, fold));
            rest.remove_prefix(fold);
            continue;
        }
        // The word runs past the limit: it is cut, the text after it folds on.
        std::size_t end = first;
        while (end < rest.size() && !IsBlank(rest[end]))
            ++end;
        out.emplace_back(rest.substr(0, std::min(end, kCutWord)));
        rest.remove_prefix(end);
        if (rest.empty())
            return out;
    }
    out.emplace_back(rest);
    return out;
}

void TOutgoingFilter::writeHeaderBlock(std::string& out, bool endsWithBlankLine) {
    // Lines of the block, then fields: a line beginning with a blank
    // continues the field before it.
    std::vector<std::string_view> lines;
    std::string_view text(header_);
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
    }
    out += "Date: " + stamp_.Date + "\r\n";
    bool keptId = false;
    std::string body;
    for (std::size_t i = 0; i < lines.size();) {
        std::size_t end = i + 1;
        while (end < lines.size() && !lines[end].empty() && IsBlank(lines[end][0]))
            ++end;
        const std::string name = FieldName(lines[i]);
        bool drop = IsTraceField(name) || SameText(name, "Date");
        if (SameText(name, "Message-ID")) {
            drop = !stamp_.KeepMessageID || keptId;
            keptId = keptId || !drop;
        }
        if (!drop)
            for (std::size_t k = i; k < end; ++k)
                for (const std::string& piece : FoldHeaderLine(lines[k]))
                    body += piece + "\r\n";
        i = end;
    }
    if (!keptId)
        out += "Message-ID: " + stamp_.MessageID + "\r\n";
    out += body;
    if (endsWithBlankLine)
        out += "\r\n";
}

void TOutgoingFilter::writeBody(std::string_view chunk, std::string& out) {
    while (!chunk.empty()) {
        const std::size_t nl = chunk.find('\n');
        std::string_view piece = chunk.substr(0, nl == std::string_view::npos ? chunk.size() : nl);
        // The CR of a line's CR LF is not line text.
        std::size_t length = piece.size();
        if (length > 0 && piece.back() == '\r')
            --length;
        while (column_ + length > kMaxLineLength) {
            const std::size_t room = kMaxLineLength - column_;
            out.append(piece.substr(0, room));
            out += "\r\n";
            piece.remove_prefix(room);
            length -= room;
            column_ = 0;
        }
        out.append(piece);
        column_ += length;
        if (nl == std::string_view::npos)
            return;
        out += '\n';
        column_ = 0;
        chunk.remove_prefix(nl + 1);
    }
}

std::string TOutgoingFilter::Feed(std::string_view chunk, bool last) {
    std::string out;
    if (!inHeader_) {
        writeBody(chunk, out);
        return out;
    }
    header_.append(chunk);
    // Line by line from where the last chunk stopped, to the first empty one.
    for (;;) {
        const std::size_t nl = header_.find('\n', scanned_);
        if (nl == std::string::npos)
            break;
        const std::size_t length = nl - scanned_;
        if (length == 0 || (length == 1 && header_[scanned_] == '\r')) {
            const std::string rest = header_.substr(nl + 1);
            header_.resize(scanned_);
            writeHeaderBlock(out, true);
            inHeader_ = false;
            header_.clear();
            header_.shrink_to_fit();
            writeBody(rest, out);
            return out;
        }
        scanned_ = nl + 1;
    }
    if (last) {
        // A text without an empty line is all header block.
        writeHeaderBlock(out, false);
        inHeader_ = false;
        header_.clear();
    }
    return out;
}
