#include "mail/msoutgoing.h"

#include "mail/mscharset.h"
#include "mail/msmime.h"
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

std::string MailDateText(std::int64_t unixSeconds) {
    // The local time of that moment and the zone in force at it: in the
    // hour that repeats when summer time ends, the same wall time has two
    // offsets, and only the moment tells which.
    const auto when = static_cast<std::time_t>(unixSeconds);
    std::tm t{};
    if (!::localtime_r(&when, &t))
        ::gmtime_r(&when, &t);
    win::DateParts p;
    p.year = t.tm_year + 1900;
    p.month = t.tm_mon + 1;
    p.day = t.tm_mday;
    p.hour = t.tm_hour;
    p.minute = t.tm_min;
    p.second = t.tm_sec > 59 ? 59 : t.tm_sec;
    long offset = t.tm_gmtoff / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char zone[48];
    std::snprintf(zone, sizeof zone, " %c%02ld%02ld", sign, offset / 60, offset % 60);
    // Fresh settings: English names and ":" whatever the program set.
    return win::FormatDateTime("ddd, dd mmm yyyy hh:nn:ss", win::EncodeDateTime(p),
                               win::FormatSettings{}) +
           zone;
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

namespace {

// Longest word a continuation line can hold after its blank.
constexpr std::size_t kLongestWord = kMaxLineLength - 1;

enum class TFieldKind { FreeText, Identifier, Addresses, Structured };

TFieldKind KindOf(std::string_view name) {
    for (std::string_view id : {"Message-ID", "In-Reply-To", "References", "Resent-Message-ID",
                                "Content-ID", "Original-Message-ID"})
        if (SameText(id, name))
            return TFieldKind::Identifier;
    for (std::string_view a :
         {"From", "Sender", "Reply-To", "To", "Cc", "Bcc", "Resent-From", "Resent-Sender",
          "Resent-To", "Resent-Cc", "Resent-Bcc", "Return-Receipt-To",
          "Disposition-Notification-To", "Errors-To", "Mail-Followup-To", "Mail-Reply-To"})
        if (SameText(a, name))
            return TFieldKind::Addresses;
    // Fields whose words have a syntax of their own: addresses, dates,
    // tokens, parameters, trace and signatures. Every other field is text.
    for (std::string_view s : {"From",
                               "Sender",
                               "Reply-To",
                               "To",
                               "Cc",
                               "Bcc",
                               "Resent-From",
                               "Resent-Sender",
                               "Resent-To",
                               "Resent-Cc",
                               "Resent-Bcc",
                               "Resent-Date",
                               "Date",
                               "Received",
                               "Return-Path",
                               "Delivered-To",
                               "Envelope-To",
                               "X-Original-To",
                               "Return-Receipt-To",
                               "Disposition-Notification-To",
                               "Errors-To",
                               "Mime-Version",
                               "Content-Type",
                               "Content-Transfer-Encoding",
                               "Content-Disposition",
                               "Content-Location",
                               "Content-Language",
                               "DKIM-Signature",
                               "DomainKey-Signature",
                               "ARC-Seal",
                               "ARC-Message-Signature",
                               "ARC-Authentication-Results",
                               "Authentication-Results",
                               "Received-SPF",
                               "Auto-Submitted",
                               "Precedence",
                               "X-Priority",
                               "Importance",
                               "Priority",
                               "Sensitivity",
                               "Newsgroups",
                               "Path",
                               "Xref",
                               "Followup-To"})
        if (SameText(s, name))
            return TFieldKind::Structured;
    if (StartsText("List-", name))
        return TFieldKind::Structured;
    return TFieldKind::FreeText;
}

bool Has8Bit(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 128)
            return true;
    return false;
}

// "=?charset?Q?text?=" or "?B?" as one word.
bool IsEncodedWord(std::string_view w) {
    if (w.size() < 8 || !w.starts_with("=?") || !w.ends_with("?="))
        return false;
    const std::size_t q1 = w.find('?', 2);
    return q1 != std::string_view::npos && q1 + 3 < w.size() && w[q1 + 2] == '?' &&
           std::string_view("BbQq").find(w[q1 + 1]) != std::string_view::npos &&
           w.find('?', q1 + 3) == w.size() - 2;
}

// A word with the blanks before it.
struct TWord {
    std::string Blanks;
    std::string Text;
};

// The words of a field value and the blanks after the last one.
std::vector<TWord> SplitWords(std::string_view value, std::string& trailing) {
    std::vector<TWord> words;
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t b = i;
        while (b < value.size() && IsBlank(value[b]))
            ++b;
        if (b == value.size()) {
            trailing.assign(value.substr(i));
            break;
        }
        std::size_t e = b;
        while (e < value.size() && !IsBlank(value[e]))
            ++e;
        words.push_back({std::string(value.substr(i, b - i)), std::string(value.substr(b, e - b))});
        i = e;
    }
    return words;
}

// Text as encoded words, each a word of its own with a blank before it.
void AppendEncoded(std::vector<TWord>& out, std::string blanks, std::string_view text,
                   std::string_view charset) {
    const std::string words = EncodeHeaderWords(text, charset);
    std::size_t at = 0;
    while (at <= words.size()) {
        std::size_t end = words.find(' ', at);
        if (end == std::string::npos)
            end = words.size();
        out.push_back({std::move(blanks), words.substr(at, end - at)});
        blanks = " ";
        at = end + 1;
    }
}

// The words of a free-text field with every word that cannot go as it is
// encoded. Blanks that stand between two encoded words vanish when read
// back, so blanks beside a word that becomes encoded go inside its words.
std::vector<TWord> EncodeFreeText(std::vector<TWord> words, bool sevenBit) {
    auto needs = [&](const std::string& w) {
        if (IsEncodedWord(w))
            return false;
        return w.size() > kLongestWord || (sevenBit && Has8Bit(w));
    };
    std::vector<TWord> out;
    for (std::size_t i = 0; i < words.size();) {
        const std::string& w = words[i].Text;
        if (IsEncodedWord(w) && w.size() > kLongestWord) {
            // One long encoded word: the same bytes in words short enough.
            ForEachHeaderPiece(w, [&](std::string_view bytes, std::string_view charset) {
                if (charset.empty())
                    AppendEncoded(out, words[i].Blanks, bytes, "us-ascii");
                else
                    AppendEncoded(out, words[i].Blanks, bytes, charset);
            });
            ++i;
            continue;
        }
        if (!needs(w)) {
            out.push_back(words[i++]);
            continue;
        }
        std::size_t j = i;
        std::string text = words[i].Text;
        while (j + 1 < words.size() && needs(words[j + 1].Text)) {
            ++j;
            text += words[j].Blanks + words[j].Text;
        }
        std::string blanks = words[i].Blanks;
        if (!out.empty() && IsEncodedWord(out.back().Text) && !blanks.empty()) {
            text = blanks + text;
            blanks = " ";
        }
        if (j + 1 < words.size() && IsEncodedWord(words[j + 1].Text) &&
            !words[j + 1].Blanks.empty()) {
            text += words[j + 1].Blanks;
            words[j + 1].Blanks = " ";
        }
        const std::string charset = !Has8Bit(text) ? "us-ascii" : CharsetOfText(text, "");
        AppendEncoded(out, blanks, text, charset);
        i = j + 1;
    }
    return out;
}

} // namespace

std::vector<std::string> OutgoingField(const std::vector<std::string_view>& lines, bool sevenBit,
                                       std::vector<std::string>& notes) {
    bool within = true;
    for (std::string_view l : lines)
        within = within && l.size() <= kMaxLineLength && !(sevenBit && Has8Bit(l));
    if (within || lines.empty())
        return {lines.begin(), lines.end()};

    // The field unfolded: name, then the value with its folds taken out.
    const std::size_t colon = lines[0].find(':');
    const std::string name = FieldName(lines[0]);
    const std::string prefix(colon == std::string_view::npos ? "" : lines[0].substr(0, colon + 1));
    std::string value(lines[0].substr(prefix.size()));
    for (std::size_t k = 1; k < lines.size(); ++k)
        value += lines[k];
    std::string trailing;
    std::vector<TWord> words = SplitWords(value, trailing);

    const TFieldKind kind = name.empty() ? TFieldKind::Structured : KindOf(name);
    const std::string label = name.empty() ? std::string("A header line") : name;
    if (kind == TFieldKind::Addresses && sevenBit && Has8Bit(value)) {
        // Display names written in 8-bit go as encoded words; addresses
        // stay as they are.
        std::string list;
        for (const std::string& piece : SplitAddressList(value)) {
            std::string address, display;
            SplitMailAddress(piece, address, display);
            if (!list.empty())
                list += ", ";
            if (display.empty())
                list += address.empty() ? piece : "<" + address + ">";
            else if (Has8Bit(display))
                list +=
                    EncodeHeaderWords(display, CharsetOfText(display, "")) + " <" + address + ">";
            else
                list += FormatMailAddress(display, address);
        }
        trailing.clear();
        words = SplitWords(" " + list, trailing);
    }
    if (kind == TFieldKind::FreeText) {
        words = EncodeFreeText(std::move(words), sevenBit);
    } else {
        std::vector<TWord> kept;
        for (TWord& w : words) {
            if (w.Text.size() <= kLongestWord) {
                kept.push_back(std::move(w));
            } else if (kind == TFieldKind::Identifier) {
                notes.push_back(label + ": an identifier of " + std::to_string(w.Text.size()) +
                                " characters was left out");
            } else {
                notes.push_back(label + ": a word of " + std::to_string(w.Text.size()) +
                                " characters was cut to " + std::to_string(kCutWord));
                w.Text.resize(kCutWord);
                kept.push_back(std::move(w));
            }
        }
        words = std::move(kept);
        if (kind == TFieldKind::Identifier && words.empty())
            return {};
    }

    // Folded greedily before the blanks; a fold where the text had none
    // (right after the name) adds one, which readers drop.
    std::vector<std::string> out;
    std::string line = prefix;
    for (TWord& w : words) {
        if (line.size() + w.Blanks.size() + w.Text.size() <= kMaxLineLength) {
            line += w.Blanks + w.Text;
            continue;
        }
        out.push_back(std::move(line));
        line = (w.Blanks.empty() ? std::string(" ") : w.Blanks) + w.Text;
        if (line.size() > kMaxLineLength) // a run of blanks longer than a line
            line = " " + w.Text;
    }
    if (line.size() + trailing.size() <= kMaxLineLength)
        line += trailing;
    out.push_back(std::move(line));
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
    out += "Message-ID: " + stamp_.MessageID + "\r\n";
    for (std::size_t i = 0; i < lines.size();) {
        std::size_t end = i + 1;
        while (end < lines.size() && !lines[end].empty() && IsBlank(lines[end][0]))
            ++end;
        const std::string name = FieldName(lines[i]);
        const bool drop =
            IsTraceField(name) || SameText(name, "Date") || SameText(name, "Message-ID");
        if (!drop) {
            const std::vector<std::string_view> field(lines.begin() + static_cast<long>(i),
                                                      lines.begin() + static_cast<long>(end));
            for (const std::string& piece : OutgoingField(field, true, notes_))
                out += piece + "\r\n";
        }
        i = end;
    }
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
            if (!broken_)
                notes_.push_back("A body line over " + std::to_string(kMaxLineLength) +
                                 " characters was broken");
            broken_ = true;
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
