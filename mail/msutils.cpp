#include "mail/msutils.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <mutex>

#include "mail/exception.h"
#include "mail/mscharset.h"
#include "mail/msmsgcls.h"
#include "platform/win/paths.h"

namespace {

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool equalsText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

// End of the quoted string that opens at text[i] (the index of its closing
// quote), or npos when it is not closed. Backslash escapes the next byte.
size_t quotedEnd(std::string_view text, size_t i) {
    for (size_t k = i + 1; k < text.size(); ++k) {
        if (text[k] == '\\')
            ++k;
        else if (text[k] == '"')
            return k;
    }
    return std::string_view::npos;
}

// A display name: one whole quoted string loses its quotes and escapes;
// anything else goes through StripQuotes.
std::string unquoteName(std::string_view text) {
    const std::string t = Trim(text);
    if (t.size() >= 2 && t.front() == '"' && quotedEnd(t, 0) == t.size() - 1) {
        std::string out;
        for (size_t k = 1; k + 1 < t.size(); ++k) {
            if (t[k] == '\\' && k + 2 < t.size())
                ++k;
            out += t[k];
        }
        return out;
    }
    return StripQuotes(t);
}

// An address as written: a quoted local part ("john doe"@example.com)
// keeps its quotes; only an address that is one quoted string loses them.
std::string unquoteAddress(std::string_view text) {
    const std::string t = Trim(text);
    if (t.size() >= 2 && t.front() == '"' && quotedEnd(t, 0) != t.size() - 1 &&
        quotedEnd(t, 0) != std::string_view::npos)
        return t;
    return StripQuotes(t);
}

// Index of the first "<" outside double quotes, or npos.
size_t findAngle(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            const size_t e = quotedEnd(text, i);
            if (e == std::string_view::npos)
                return text.find('<', i);
            i = e;
        } else if (text[i] == '<') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool readInt(std::string_view s, int& v) {
    if (s.empty())
        return false;
    if (s.front() == '+')
        s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// "hh:mm" or "hh:mm:ss".
bool readTime(std::string_view s, win::TDateTime& t) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        const size_t colon = s.find(':');
        if (!readInt(s.substr(0, colon), parts[count++]))
            return false;
        if (colon == std::string_view::npos)
            break;
        s.remove_prefix(colon + 1);
        if (count == 3)
            return false;
    }
    if (count < 2)
        return false;
    return win::TryEncodeTime(parts[0], parts[1], parts[2], 0, t);
}

struct MimeTypes {
    std::mutex lock;
    std::string path = "/etc/mime.types";
    bool loaded = false;
    std::map<std::string, std::string> byExt; // lower-case extension without dot
};

MimeTypes& mimeTypes() {
    static MimeTypes m;
    return m;
}

void loadMimeTypes(MimeTypes& m) {
    m.loaded = true;
    m.byExt.clear();
    std::ifstream in(m.path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        std::vector<std::string> words;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            size_t j = i;
            while (j < line.size() && !isBlank(line[j]))
                ++j;
            if (j > i)
                words.emplace_back(line, i, j - i);
            i = j;
        }
        for (size_t w = 1; w < words.size(); ++w)
            m.byExt.emplace(LowerCase(words[w]), words[0]);
    }
}

} // namespace

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string UpperCase(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = upper(c);
    return s;
}

std::string LowerCase(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool StartsText(std::string_view prefix, std::string_view text) {
    return text.size() >= prefix.size() && equalsText(prefix, text.substr(0, prefix.size()));
}

bool SameText(std::string_view a, std::string_view b) {
    return equalsText(a, b);
}

std::string Cut255(std::string_view text) {
    if (text.size() <= 255)
        return std::string(text);
    // UTF-8 text is cut before a character, never inside one.
    size_t n = 255;
    if (IsUtf8(text))
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    return std::string(text.substr(0, n));
}

bool IsPlainMailbox(std::string_view address) {
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos || address.size() > 254)
        return false;
    const std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
    if (local.size() >= 2 && local.front() == '"' && local.back() == '"') {
        // A quoted local part: printable ASCII and blanks, "\" escaping one.
        if (local.size() > 64)
            return false;
        for (size_t i = 1; i + 1 < local.size(); ++i) {
            const auto c = static_cast<unsigned char>(local[i]);
            if (c < 32 || c > 126 || c == '"')
                return false;
            if (c == '\\' && ++i + 1 >= local.size())
                return false;
        }
    } else {
        if (local.empty() || local.size() > 64 || local.front() == '.' || local.back() == '.' ||
            local.find("..") != std::string_view::npos)
            return false;
        for (char c : local)
            if (!(std::isalnum(static_cast<unsigned char>(c)) &&
                  static_cast<unsigned char>(c) < 128) &&
                std::string_view("!#$%&'*+-/=?^_`{|}~.").find(c) == std::string_view::npos)
                return false;
    }
    if (domain.size() > 2 && domain.front() == '[' && domain.back() == ']') {
        for (char c : domain.substr(1, domain.size() - 2))
            if (c <= ' ' || c == '[' || c == ']' || c == '\\' ||
                static_cast<unsigned char>(c) >= 127)
                return false;
        return true;
    }
    size_t label = 0;
    for (size_t i = 0; i <= domain.size(); ++i) {
        if (i == domain.size() || domain[i] == '.') {
            if (label == 0 || label > 63 || domain[i - 1] == '-' || domain[i - label] == '-')
                return false;
            label = 0;
        } else if (std::isalnum(static_cast<unsigned char>(domain[i])) &&
                   static_cast<unsigned char>(domain[i]) < 128) {
            ++label;
        } else if (domain[i] == '-') {
            ++label;
        } else {
            return false;
        }
    }
    return true;
}

std::string StripQuotes(std::string_view text) {
    std::string t = Trim(text);
    size_t b = 0, e = t.size();
    while (b < e && t[b] == '"')
        ++b;
    while (e > b && t[e - 1] == '"')
        --e;
    return t.substr(b, e - b);
}

void SplitMailAddress(std::string_view text, std::string& address, std::string& name) {
    const size_t lt = findAngle(text);
    if (lt != std::string_view::npos) {
        const size_t gt = text.find('>', lt);
        if (gt == std::string_view::npos) {
            address.clear();
            name = StripQuotes(text);
        } else {
            address = unquoteAddress(text.substr(lt + 1, gt - lt - 1));
            std::string rest(text.substr(0, lt));
            rest += text.substr(gt + 1);
            name = unquoteName(rest);
        }
    } else if (const size_t paren = text.find('('); paren != std::string_view::npos) {
        address = unquoteAddress(text.substr(0, paren));
        std::string_view after = text.substr(paren + 1);
        if (!after.empty())
            after.remove_suffix(1);
        name = StripQuotes(after);
    } else {
        address = std::string(text);
        name.clear();
    }
    address = Cut255(address);
    name = Cut255(name);
}

void ParseMailAddress(std::string_view text, TmsMailAddress& address) {
    std::string a, n;
    SplitMailAddress(text, a, n);
    address.SetAddress(a);
    address.SetName(n);
}

std::vector<std::string> SplitAddressList(std::string_view text) {
    std::vector<std::string> pieces;
    size_t start = 0, i = 0;
    int comment = 0;
    bool angle = false;
    // A group ("Team: a@x, b@y;") gives its members; its name is no address.
    bool group = false;
    auto flush = [&](size_t end) {
        std::string piece = Trim(text.substr(start, end - start));
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        start = end + 1;
    };
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && comment) {
            ++i;
        } else if (c == '"' && !comment) {
            const size_t e = quotedEnd(text, i);
            if (e == std::string_view::npos)
                break; // an unclosed quote takes the rest
            i = e;
        } else if (c == '(') {
            ++comment;
        } else if (c == ')' && comment) {
            --comment;
        } else if (!comment && c == '<') {
            angle = true;
        } else if (!comment && c == '>') {
            angle = false;
        } else if (c == ',' && !comment && !angle) {
            flush(i);
        } else if (c == ':' && !comment && !angle && !group) {
            group = true;
            start = i + 1;
        } else if (c == ';' && !comment && !angle && group) {
            group = false;
            flush(i);
        }
    }
    flush(text.size());
    return pieces;
}

std::string QuoteDisplayName(std::string_view name) {
    // Blanks at either end would be lost to trimming unless quoted.
    const bool edgeBlank = !name.empty() && (isBlank(name.front()) || isBlank(name.back()));
    if (!edgeBlank && name.find_first_of("()<>[]:;@\\,.\"") == std::string_view::npos)
        return std::string(name);
    std::string out = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string FormatMailAddress(std::string_view name, std::string_view address) {
    std::string out = QuoteDisplayName(name);
    out += " <";
    out += address;
    out += '>';
    return out;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%xx" escapes to their bytes; a "%" not followed by two hex digits stays.
std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// An RFC 2231 extended value without its "charset'language'" prefix. The
// bytes are kept as they are, as with encoded words.
std::string extendedValue(std::string_view text, bool first) {
    if (first) {
        const size_t q1 = text.find('\'');
        const size_t q2 = q1 == std::string_view::npos ? q1 : text.find('\'', q1 + 1);
        if (q2 != std::string_view::npos)
            text.remove_prefix(q2 + 1);
    }
    return percentDecoded(text);
}

// One parameter value at text[k]: a quoted string without its quotes and
// escapes, else the text up to a blank or ";".
std::string paramValue(std::string_view value, size_t k) {
    if (k < value.size() && value[k] == '"') {
        std::string out;
        for (size_t j = k + 1; j < value.size() && value[j] != '"'; ++j) {
            if (value[j] == '\\' && j + 1 < value.size())
                ++j;
            out += value[j];
        }
        return out;
    }
    size_t e = k;
    while (e < value.size() && !isBlank(value[e]) && value[e] != ';')
        ++e;
    return Trim(value.substr(k, e - k));
}

} // namespace

std::string GetHeaderParam(std::string_view name, std::string_view value) {
    if (name.empty())
        return {};
    // The plain form wins; else "name*=" (RFC 2231, encoded), else the
    // sections "name*0", "name*1*", ... joined in number order.
    std::string plain, extended;
    bool havePlain = false, haveExtended = false;
    std::map<unsigned, std::string> sections;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"') {
            const size_t e = quotedEnd(value, i);
            if (e == std::string_view::npos)
                break;
            i = e;
            continue;
        }
        const bool atStart = i == 0 || value[i - 1] == ';' || isBlank(value[i - 1]);
        if (!atStart || !StartsText(name, value.substr(i)))
            continue;
        size_t k = i + name.size();
        // What follows the name: nothing (plain), "*" (extended), or "*N"
        // with an optional "*" (a section, encoded when marked).
        int kind = 0; // 0 plain, 1 extended, 2 section
        unsigned number = 0;
        bool encoded = false;
        if (k < value.size() && value[k] == '*') {
            ++k;
            kind = 1;
            if (k < value.size() && value[k] >= '0' && value[k] <= '9') {
                kind = 2;
                while (k < value.size() && value[k] >= '0' && value[k] <= '9' && number < 100000)
                    number = number * 10 + static_cast<unsigned>(value[k++] - '0');
                if (k < value.size() && value[k] == '*') {
                    encoded = true;
                    ++k;
                }
            }
        }
        while (k < value.size() && isBlank(value[k]))
            ++k;
        if (k >= value.size() || value[k] != '=')
            continue;
        ++k;
        while (k < value.size() && isBlank(value[k]))
            ++k;
        const std::string text = paramValue(value, k);
        if (kind == 0 && !havePlain) {
            plain = text;
            havePlain = true;
        } else if (kind == 1 && !haveExtended) {
            extended = extendedValue(text, true);
            haveExtended = true;
        } else if (kind == 2 && !sections.count(number)) {
            sections[number] = encoded ? extendedValue(text, number == 0) : text;
        }
        if (havePlain)
            break;
    }
    if (havePlain)
        return plain;
    if (haveExtended)
        return extended;
    std::string joined;
    for (const auto& [n, text] : sections)
        joined += text;
    return joined;
}

std::string GetFirstToken(std::string_view value) {
    const std::string t = Trim(value);
    size_t e = 0;
    while (e < t.size() && t[e] != ' ' && t[e] != '\t' && t[e] != ';')
        ++e;
    return t.substr(0, e);
}

void SetMimeTypesFile(const std::string& path) {
    MimeTypes& m = mimeTypes();
    std::lock_guard<std::mutex> guard(m.lock);
    m.path = path;
    m.loaded = false;
}

std::string GetContentTypeOfFile(std::string_view fileName) {
    std::string ext = LowerCase(win::ExtractFileExt(std::string(fileName)));
    if (ext.size() < 2)
        return "application/octet-stream";
    ext.erase(0, 1);
    static const std::map<std::string, std::string> builtIn = {
        {"txt", "text/plain"}, {"htm", "text/html"},      {"html", "text/html"},
        {"rtf", "text/rtf"},   {"eml", "message/rfc822"},
    };
    if (auto it = builtIn.find(ext); it != builtIn.end())
        return it->second;
    MimeTypes& m = mimeTypes();
    std::lock_guard<std::mutex> guard(m.lock);
    if (!m.loaded)
        loadMimeTypes(m);
    if (auto it = m.byExt.find(ext); it != m.byExt.end())
        return it->second;
    return "application/octet-stream";
}

void SaveLinesToFile(const std::string& fileName, const TStringList& lines) {
    const std::string path = win::ResolvePath(fileName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        RaiseFileCreateError(fileName);
    const std::string text = lines.Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        RaiseFileCreateError(fileName);
}

void ParseMailDate(std::string_view text, win::TDateTime& dateTime, std::string& rest) {
    dateTime = 0;
    rest.clear();
    std::string s = UpperCase(StripQuotes(text));
    auto skipToDigit = [](std::string& t) {
        size_t d = 0;
        while (d < t.size() && !std::isdigit(static_cast<unsigned char>(t[d])))
            ++d;
        if (d + 1 >= t.size())
            return false; // none, or the text's last character
        t = Trim(std::string_view(t).substr(d));
        return true;
    };
    auto token = [](std::string& t) {
        const size_t blank = t.find(' ');
        std::string tok = t.substr(0, blank);
        t = blank == std::string::npos ? std::string() : Trim(std::string_view(t).substr(blank));
        return tok;
    };
    if (s.empty() || !skipToDigit(s))
        return;
    int day = 0;
    if (!readInt(token(s), day))
        return;
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    int month = 0;
    for (int m = 0; m < 12 && !month; ++m)
        if (s.find(months[m]) != std::string::npos)
            month = m + 1;
    if (!month || !skipToDigit(s))
        return;
    int year = 0;
    if (!readInt(token(s), year) || year < 0)
        return;
    if (year >= 51 && year <= 99)
        year += 1900;
    else if (year <= 50)
        year += 2000;
    win::TDateTime date = 0, time = 0;
    if (!win::TryEncodeDate(year, month, day, date))
        return;
    std::string t = token(s);
    if (!t.empty() && t.back() == ',')
        t.pop_back();
    if (!readTime(t, time))
        time = 0;
    dateTime = date < 0 ? date - time : date + time;
    rest = Trim(s);
}
