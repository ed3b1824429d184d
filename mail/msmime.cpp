#include "mail/msmime.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "mail/exception.h"
#include "mail/msutils.h"
#include "platform/win/hooks.h"

namespace {

constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr signed char kPad = 64;
constexpr signed char kBad = -1;

constexpr std::array<signed char, 256> makeB64Values() {
    std::array<signed char, 256> t{};
    for (auto& v : t)
        v = kBad;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kB64[i])] = static_cast<signed char>(i);
    t['='] = kPad;
    return t;
}
constexpr std::array<signed char, 256> kB64Values = makeB64Values();

// Two output characters for each 12-bit value: half the look-ups per group.
constexpr std::array<char, 8192> makeB64Pairs() {
    std::array<char, 8192> t{};
    for (int v = 0; v < 4096; ++v) {
        t[2 * v] = kB64[v >> 6];
        t[2 * v + 1] = kB64[v & 63];
    }
    return t;
}
constexpr std::array<char, 8192> kB64Pairs = makeB64Pairs();

// Decoding tables: each character's six bits already in their place in the
// 24-bit group; a character outside the alphabet (or "=") sets bit 31, so
// one test catches any of the four.
constexpr std::array<std::uint32_t, 256> makeB64Shifted(int shift) {
    std::array<std::uint32_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const int v = kB64Values[c];
        t[c] = v < 0 || v == kPad ? 0x80000000u : static_cast<std::uint32_t>(v) << shift;
    }
    return t;
}
constexpr std::array<std::uint32_t, 256> kDec0 = makeB64Shifted(18), kDec1 = makeB64Shifted(12),
                                         kDec2 = makeB64Shifted(6), kDec3 = makeB64Shifted(0);

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Base64 without the pump; false on a character outside the alphabet.
bool decodeBase64(std::string_view line, std::string& out) {
    const size_t n = line.size();
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    size_t i = 0;
    // Whole groups without padding: the common case, four characters at a time.
    const size_t start = out.size();
    out.resize(start + n / 4 * 3);
    char* o = out.data() + start;
    while (i + 4 <= n) {
        const std::uint32_t v = kDec0[p[i]] | kDec1[p[i + 1]] | kDec2[p[i + 2]] | kDec3[p[i + 3]];
        if (v & 0x80000000u)
            break; // padding or a bad character: the careful loop below decides
        o[0] = char(v >> 16);
        o[1] = char(v >> 8);
        o[2] = char(v);
        o += 3;
        i += 4;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    // The rest: padded or short groups. A group gives one byte less for each
    // of its places that is padding or missing; "=" inside a group stands
    // for 0 as it does in the final one.
    while (i < n) {
        unsigned v = 0;
        int have = 0;
        for (int k = 0; k < 4; ++k) {
            int x = 0;
            if (i + k < n) {
                x = kB64Values[p[i + k]];
                if (x < 0)
                    return false;
                if (x == kPad)
                    x = 0;
                else
                    have = k + 1;
            }
            v = (v << 6) | unsigned(x);
        }
        const char bytes[3] = {char(v >> 16), char(v >> 8), char(v)};
        if (have >= 2)
            out.append(bytes, static_cast<size_t>(have - 1));
        i += 4;
    }
    return true;
}

// Width of each byte in a quoted-printable line: 3 when escaped.
constexpr std::array<std::uint8_t, 256> makeQPWidths() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = c < 32 || c == '=' || c >= 128 ? 3 : 1;
    return t;
}
constexpr std::array<std::uint8_t, 256> kQPWidth = makeQPWidths();

// Writes bytes escaped at out; returns the end.
char* putEscaped(char* out, std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (kQPWidth[c] == 3) {
            out[0] = '=';
            out[1] = hex[c >> 4];
            out[2] = hex[c & 15];
            out += 3;
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    return out;
}

// One paragraph as lines of at most 66 characters. Widths count escapes as
// three; the cut goes before the last blank within the first 65 characters
// (never at the piece's own start, so each piece makes progress), and
// without a blank after 65 characters. The queue is served before each
// line is handed on.
void encodeParagraph(std::string_view para, bool hardBreak,
                     const std::function<void(std::string_view)>& sink) {
    const auto* p = reinterpret_cast<const unsigned char*>(para.data());
    const size_t n = para.size();
    char line[72]; // 65 characters of width and the "="
    size_t i = 0;
    for (;;) {
        // The longest run from i whose width stays within 65, and whether
        // all the rest fits within 64.
        size_t m = 0, width = 0;
        while (i + m < n && width + kQPWidth[p[i + m]] <= 65)
            width += kQPWidth[p[i + m++]];
        const bool rest = i + m == n && width <= 64;
        // Text without a byte to escape is copied as it stands.
        auto put = [&](std::string_view bytes) {
            if (width == m) {
                std::memcpy(line, bytes.data(), bytes.size());
                return line + bytes.size();
            }
            return putEscaped(line, bytes);
        };
        win::ProcessMessages();
        if (rest) {
            char* end = put(para.substr(i));
            if (!hardBreak)
                *end++ = '=';
            sink(std::string_view(line, static_cast<size_t>(end - line)));
            return;
        }
        size_t cut = i + m;
        const size_t last = std::min(i + m, n - 1);
        for (size_t k = last; k > i; --k)
            if (para[k] == ' ') {
                cut = k;
                break;
            }
        char* end = put(para.substr(i, cut - i));
        *end++ = '=';
        sink(std::string_view(line, static_cast<size_t>(end - line)));
        i = cut;
    }
}

} // namespace

void DecodeBase64LineTo(std::string_view line, std::string& out) {
    win::ProcessMessages();
    const size_t before = out.size();
    if (!decodeBase64(line, out)) {
        out.resize(before);
        throw EInOutError(SInvalidCharacter);
    }
}

std::string DecodeBase64Line(std::string_view line) {
    std::string out;
    out.reserve(line.size() / 4 * 3 + 3);
    DecodeBase64LineTo(line, out);
    return out;
}

void EncodeBase64To(std::string_view bytes, std::string& out) {
    win::ProcessMessages();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    const size_t start = out.size();
    out.resize(start + (n + 2) / 3 * 4);
    char* o = out.data() + start;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned(p[i]) << 16) | (unsigned(p[i + 1]) << 8) | p[i + 2];
        const char* hi = &kB64Pairs[2 * (v >> 12)];
        const char* lo = &kB64Pairs[2 * (v & 4095)];
        o[0] = hi[0];
        o[1] = hi[1];
        o[2] = lo[0];
        o[3] = lo[1];
        o += 4;
    }
    if (i < n) {
        const unsigned v = (unsigned(p[i]) << 16) | (i + 1 < n ? unsigned(p[i + 1]) << 8 : 0u);
        *o++ = kB64[v >> 18];
        *o++ = kB64[(v >> 12) & 63];
        *o++ = i + 1 < n ? kB64[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    EncodeBase64To(bytes, out);
    return out;
}

void EncodeQuotedPrintable(std::string_view data, const std::function<void(std::string_view)>& sink,
                           std::size_t maxParagraph) {
    size_t pos = 0;
    const size_t n = data.size();
    while (pos < n) {
        size_t e = pos;
        for (;;) {
            const void* cr = std::memchr(data.data() + e, '\r', n - e);
            if (!cr) {
                e = n;
                break;
            }
            e = static_cast<size_t>(static_cast<const char*>(cr) - data.data());
            if (e + 1 < n && data[e + 1] == '\n')
                break;
            ++e;
        }
        const bool hard = e < n;
        const size_t next = hard ? e + 2 : n;
        if (maxParagraph && e - pos > maxParagraph)
            throw Exception(SParagraphTooLarge);
        encodeParagraph(data.substr(pos, e - pos), hard, sink);
        pos = next;
    }
}

void TQuotedPrintable::Encode() {
    EncodeQuotedPrintable(
        stream_, [this](std::string_view line) { lines_.Add(std::string(line)); }, MaxParagraph);
}

void QPDecoder::Line(std::string_view line) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    // A final "=" is a soft break; blanks a transport added after it do not count.
    const bool soft = end > 0 && line[end - 1] == '=';
    const std::string_view text = soft ? line.substr(0, end - 1) : line;
    const size_t before = out_.size();
    size_t i = 0;
    while (i < text.size()) {
        const void* eq = std::memchr(text.data() + i, '=', text.size() - i);
        const size_t at =
            eq ? static_cast<size_t>(static_cast<const char*>(eq) - text.data()) : text.size();
        out_.append(text.data() + i, at - i);
        if (at >= text.size())
            break;
        const int hi = at + 2 < text.size() ? hexValue(text[at + 1]) : -1;
        const int lo = at + 2 < text.size() ? hexValue(text[at + 2]) : -1;
        if (hi >= 0 && lo >= 0) {
            out_ += static_cast<char>(hi * 16 + lo);
            i = at + 3;
        } else {
            out_ += '=';
            i = at + 1;
        }
    }
    hardBreak_ = !soft && !(!line.empty() && line.back() == '\x1a');
    if (hardBreak_)
        out_ += "\r\n";
    logical_ += out_.size() - before;
    if (max_ && logical_ > max_)
        throw Exception(SParagraphTooLarge);
    if (!soft) {
        logical_ = 0;
        win::ProcessMessages();
    }
}

void TQuotedPrintable::Decode() {
    QPDecoder decoder(stream_, MaxParagraph);
    for (const std::string& line : lines_)
        decoder.Line(line);
}

std::string DecodeQPText(std::string_view text) {
    std::string out;
    QPDecoder decoder(out);
    decoder.Line(text);
    const size_t cr = out.find("\r\n");
    if (cr != std::string::npos)
        out.resize(cr);
    if (out.size() > 255)
        out.resize(255);
    return out;
}

void ForEachHeaderPiece(std::string_view value,
                        const std::function<void(std::string_view, std::string_view)>& piece) {
    size_t i = 0;
    bool afterWord = false;
    std::string decoded;
    while (i < value.size()) {
        const size_t start = value.find("=?", i);
        if (start == std::string_view::npos)
            break;
        const size_t q1 = value.find('?', start + 2);
        if (q1 == std::string_view::npos)
            break;
        const size_t close = q1 + 3 <= value.size() ? value.find("?=", q1 + 3) : value.npos;
        if (close == std::string_view::npos)
            break; // never closed: the rest stays as written
        const char kind = q1 + 2 < value.size() ? value[q1 + 1] : '\0';
        decoded.clear();
        bool ok = q1 > start + 2 && value[q1 + 2] == '?';
        if (ok && (kind == 'B' || kind == 'b')) {
            ok = decodeBase64(value.substr(q1 + 3, close - q1 - 3), decoded);
        } else if (ok && (kind == 'Q' || kind == 'q')) {
            const std::string_view text = value.substr(q1 + 3, close - q1 - 3);
            for (size_t k = 0; k < text.size(); ++k) {
                const char c = text[k];
                if (c == '_') {
                    decoded += ' ';
                } else if (c == '=' && k + 2 < text.size() && hexValue(text[k + 1]) >= 0 &&
                           hexValue(text[k + 2]) >= 0) {
                    decoded +=
                        static_cast<char>(hexValue(text[k + 1]) * 16 + hexValue(text[k + 2]));
                    k += 2;
                } else {
                    decoded += c;
                }
            }
        } else {
            ok = false;
        }
        if (!ok) {
            // Not an encoded word: keep "=?" and look further.
            piece(value.substr(i, start + 2 - i), {});
            i = start + 2;
            afterWord = false;
            continue;
        }
        const std::string_view between = value.substr(i, start - i);
        const bool blanksOnly = between.find_first_not_of(" \t\r\n") == std::string_view::npos;
        if (!(afterWord && blanksOnly) && !between.empty())
            piece(between, {});
        // RFC 2231 lets a language follow the charset: "utf-8*de".
        std::string_view charset = value.substr(start + 2, q1 - start - 2);
        charset = charset.substr(0, charset.find('*'));
        piece(decoded, charset);
        afterWord = true;
        i = close + 2;
    }
    if (i < value.size())
        piece(value.substr(i), {});
}

std::string DecodeHeaderWords(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    ForEachHeaderPiece(value, [&](std::string_view bytes, std::string_view) { out += bytes; });
    return out;
}

std::string EncodeHeaderWords(std::string_view text, std::string_view charset) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const std::string head = "=?" + std::string(charset) + "?Q?";
    const bool utf8 = LowerCase(charset) == "utf-8";
    std::string out, word;
    auto finish = [&] {
        if (!out.empty())
            out += ' ';
        out += head + word + "?=";
        word.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::string piece;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '!' || c == '*' || c == '+' || c == '-' || c == '/') {
            piece = static_cast<char>(c);
        } else if (c == ' ') {
            piece = "_";
        } else {
            piece = {'=', hex[c >> 4], hex[c & 15]};
        }
        // Room for the whole of a multi-byte character before it starts.
        size_t need = piece.size();
        if (utf8 && c >= 0xC0)
            need = 3 * (c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2);
        if (!word.empty() && head.size() + word.size() + need + 2 > 75)
            finish();
        word += piece;
    }
    if (!word.empty() || out.empty())
        finish();
    return out;
}
