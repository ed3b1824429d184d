#include "platform/rtf/codepage_p.h"

#include <QStringDecoder>
#include <map>
#include <memory>

namespace rtf::detail {

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five bytes it leaves undefined.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString DecodeCp1252(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            out.append(kCp1252High[b - 0x80] ? QChar(kCp1252High[b - 0x80]) : QChar(b));
        else
            out.append(QChar(b));
    }
    return out;
}

QByteArray CodePageName(int codePage) {
    switch (codePage) {
    case 65001:
        return "UTF-8";
    case 10000:
        return "macintosh";
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
        return "windows-" + QByteArray::number(codePage);
    default:
        // The DOS code pages are the ones below a thousand.
        return (codePage < 1000 ? "IBM" : "windows-") + QByteArray::number(codePage);
    }
}

bool KnownCodePage(int codePage) {
    switch (codePage) {
    case 437:
    case 708:
    case 720:
    case 737:
    case 775:
    case 850:
    case 852:
    case 855:
    case 857:
    case 860:
    case 861:
    case 862:
    case 863:
    case 864:
    case 865:
    case 866:
    case 869:
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
    case 1361:
    case 10000:
    case 65001:
        return true;
    default:
        return codePage >= 1250 && codePage <= 1258;
    }
}

// One decoder per code page; none where Qt does not know it. Documents
// name code pages freely, so only the known ones are looked up.
QStringDecoder* DecoderFor(int codePage) {
    if (!KnownCodePage(codePage))
        return nullptr;
    thread_local std::map<int, std::unique_ptr<QStringDecoder>> decoders;
    auto it = decoders.find(codePage);
    if (it == decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(CodePageName(codePage).constData());
        if (!decoder->isValid())
            decoder.reset();
        it = decoders.emplace(codePage, std::move(decoder)).first;
    }
    return it->second.get();
}

} // namespace

std::optional<int> CodePageOfCharset(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return std::nullopt;
    }
}

QString Decode(int codePage, QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    if (codePage != kDefaultCodePage) {
        if (QStringDecoder* decoder = DecoderFor(codePage)) {
            const QString text = decoder->decode(bytes);
            // A cut multi-byte sequence must not leak into the next run.
            decoder->resetState();
            return text;
        }
    }
    return DecodeCp1252(bytes);
}

std::optional<unsigned char> EncodeCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] && kCp1252High[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

} // namespace rtf::detail
