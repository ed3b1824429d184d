#include "mail/mscharset.h"

#include "mail/msmime.h"
#include "mail/msutils.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace {

bool isUtf8Name(std::string_view charset) {
    const std::string lower = LowerCase(Trim(charset));
    return lower == "utf-8" || lower == "utf8";
}

// The bytes through iconv from one set to another; false on any byte the
// conversion cannot take.
bool convert(std::string_view bytes, const std::string& from, const std::string& to,
             std::string& out) {
    const iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string result;
    result.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    bool ok = true;
    for (;;) {
        char* dst = result.data() + done;
        std::size_t outLeft = result.size() - done;
        const std::size_t r = ::iconv(cd, inLeft ? &in : nullptr, &inLeft, &dst, &outLeft);
        done = result.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) {
            if (inLeft == 0)
                break; // the final flush went through
            continue;
        }
        if (errno == E2BIG) {
            result.resize(result.size() * 2);
            continue;
        }
        ok = false; // EILSEQ, EINVAL: not text of that set, or cut short
        break;
    }
    ::iconv_close(cd);
    if (!ok)
        return false;
    result.resize(done);
    out = std::move(result);
    return true;
}

} // namespace

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 128)
            return false;
    return true;
}

bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= bytes.size())
            return false; // cut short
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool ToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    if (isUtf8Name(charset)) {
        if (!IsUtf8(bytes))
            return false;
        out.assign(bytes);
        return true;
    }
    const std::string name = Trim(charset);
    if (name.empty())
        return false;
    return convert(bytes, name, "UTF-8", out);
}

bool FromUtf8(std::string_view utf8, std::string_view charset, std::string& out) {
    if (isUtf8Name(charset)) {
        if (!IsUtf8(utf8))
            return false;
        out.assign(utf8);
        return true;
    }
    const std::string name = Trim(charset);
    if (name.empty())
        return false;
    return convert(utf8, "UTF-8", name, out);
}

std::string TextToUtf8(std::string_view bytes, std::string_view charset) {
    if (IsAscii(bytes))
        return std::string(bytes);
    std::string out;
    if (ToUtf8(bytes, charset, out))
        return out;
    if (IsUtf8(bytes))
        return std::string(bytes);
    if (convert(bytes, "WINDOWS-1252", "UTF-8", out))
        return out;
    // The five bytes windows-1252 leaves empty: as ISO 8859-1, which has
    // every byte.
    convert(bytes, "ISO-8859-1", "UTF-8", out);
    return out;
}

std::string CharsetOfText(std::string_view bytes, std::string_view readWith) {
    if (IsUtf8(bytes))
        return "utf-8";
    const std::string kept = LowerCase(Trim(readWith));
    if (!kept.empty() && kept != "us-ascii" && !isUtf8Name(kept))
        return kept;
    return "iso-8859-1";
}

std::string DecodeHeaderText(std::string_view value, std::string_view fallback) {
    std::string out;
    ForEachHeaderPiece(value, [&](std::string_view bytes, std::string_view charset) {
        std::string text;
        if (!charset.empty() && ToUtf8(bytes, charset, text))
            out += text;
        else
            out += TextToUtf8(bytes, fallback);
    });
    return out;
}
