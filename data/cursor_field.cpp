// Field values in record buffers, memo and binary fields.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/cursor.h"
#include "data/cursor_p.h"
#include "platform/win/datetime.h"
#include "platform/xbase/xbengine.h"
#include "platform/xbase/xbnumber.h"

namespace data {
using namespace detail;

namespace {

// The field's characters in the caller's record.
std::string RawField(const TCurWorkArea& a, int fieldNo, const std::uint8_t* record) {
    const FLDDesc& p = a.Physical(fieldNo);
    if (p.iOffset + p.iLen > a.recordSize)
        return {};
    return std::string(reinterpret_cast<const char*>(record) + p.iOffset, p.iLen);
}

void PutRaw(const TCurWorkArea& a, int fieldNo, std::uint8_t* record, const std::string& text) {
    const FLDDesc& p = a.Physical(fieldNo);
    if (p.iOffset + p.iLen > a.recordSize)
        return;
    std::string padded = text.substr(0, p.iLen);
    padded.resize(p.iLen, ' ');
    std::memcpy(record + p.iOffset, padded.data(), p.iLen);
}

std::string RightAligned(const std::string& text, int width) {
    if (static_cast<int>(text.size()) >= width)
        return text;
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

bool ParseInt(const std::string& text, long& out) {
    const char* s = text.c_str();
    char* end = nullptr;
    out = std::strtol(s, &end, 10);
    if (end == s)
        return false;
    while (*end == ' ')
        ++end;
    return *end == '\0';
}

// Fixed notation that fits the width, dropping decimals while it does not.
bool FormatFloat(double value, int width, int decimals, std::string& out) {
    auto format = [&](int dec) { return xbase::NumberToFixed(value, dec); };
    std::string text = format(decimals);
    if (static_cast<int>(text.size()) > width) {
        if (static_cast<int>(text.size()) > width + decimals + 1)
            return false;
        for (int dec = decimals - 1; dec >= 0 && static_cast<int>(text.size()) > width; --dec)
            text = format(dec);
        if (static_cast<int>(text.size()) > width)
            return false;
    }
    out = RightAligned(text, width);
    return true;
}

} // namespace

CurResult CurInitRecord(hCurCur cursor, std::uint8_t* record) {
    TWA wa(cursor);
    if (!wa.Valid() || record == nullptr)
        return CURERR_INVALIDHNDL;
    std::memset(record, ' ', static_cast<std::size_t>(wa.Area()->recordSize));
    return CUR_OK;
}

CurResult CurGetField(hCurCur cursor, int fieldNo, const std::uint8_t* record, void* value,
                      bool* blank) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr || record == nullptr || !a->ValidField(fieldNo))
        return CURERR_INVALIDHNDL;
    const FLDDesc& l = a->Logical(fieldNo);
    const char letter = a->letters[static_cast<std::size_t>(fieldNo - 1)];
    const std::string raw = RawField(*a, fieldNo, record);
    const bool isBlank = raw.find_first_not_of(' ') == std::string::npos;
    if (blank != nullptr)
        *blank = isBlank;
    if (isBlank || value == nullptr || l.iFldType == fldBLOB)
        return CUR_OK;

    std::string text = raw;
    if (letter == 'V') {
        // Variable-length fields are read by the engine from the caller's record.
        TSaveRec save(*a, record);
        text = EngineText(xb_GetTrimString, a->FieldName(fieldNo));
    }
    switch (l.iFldType) {
    case fldZSTRING: {
        std::size_t end = text.find_last_not_of(' ');
        text.resize(end == std::string::npos ? 0 : end + 1);
        std::memcpy(value, text.c_str(), text.size() + 1);
        break;
    }
    case fldDATE: {
        const int y = std::atoi(text.substr(0, 4).c_str());
        const int m = std::atoi(text.substr(4, 2).c_str());
        const int d = std::atoi(text.substr(6, 2).c_str());
        win::TDateTime date = 0;
        if (!win::TryEncodeDate(y, m, d, date)) {
            // Not a date: read as blank rather than as some other day.
            if (blank != nullptr)
                *blank = true;
            return CUR_OK;
        }
        const std::int32_t days = static_cast<std::int32_t>(std::lround(date)) + kDateDelta;
        std::memcpy(value, &days, sizeof days);
        break;
    }
    case fldBOOL: {
        const std::int16_t b = text[0] == 'T' ? 1 : 0;
        std::memcpy(value, &b, sizeof b);
        break;
    }
    case fldINT16: {
        long n = 0;
        if (!ParseInt(text, n)) {
            if (blank != nullptr)
                *blank = true;
            return CUR_OK;
        }
        const std::int16_t v = static_cast<std::int16_t>(n);
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case fldFLOAT: {
        // The record holds "." whatever the program's decimal separator.
        const double v = xbase::NumberFromText(text.c_str());
        std::memcpy(value, &v, sizeof v);
        break;
    }
    default:
        break;
    }
    return CUR_OK;
}

CurResult CurPutField(hCurCur cursor, int fieldNo, std::uint8_t* record, const void* value) {
    TWA wa(cursor);
    if (!wa.Valid() || record == nullptr || !wa.Area()->ValidField(fieldNo))
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    const FLDDesc& l = a.Logical(fieldNo);
    const FLDDesc& p = a.Physical(fieldNo);
    const int width = p.iLen;
    const char letter = a.letters[static_cast<std::size_t>(fieldNo - 1)];

    if (letter == 'V') {
        // Straight into the engine's current record.
        const char* name = a.FieldName(fieldNo);
        switch (l.iFldType) {
        case fldZSTRING:
            xb_Replace(name, XB_REPLACE_STRING, value != nullptr ? value : "", -1);
            break;
        default:
            break;
        }
        return CUR_OK;
    }

    switch (l.iFldType) {
    case fldZSTRING:
        PutRaw(a, fieldNo, record, value != nullptr ? static_cast<const char*>(value) : "");
        break;
    case fldDATE: {
        if (value == nullptr) {
            PutRaw(a, fieldNo, record, "");
            break;
        }
        std::int32_t days = 0;
        std::memcpy(&days, value, sizeof days);
        // Stored as it is: the year is never moved by the epoch.
        const win::DateParts d = win::DecodeDateTime(static_cast<double>(days - kDateDelta));
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year % 10000, d.month, d.day);
        PutRaw(a, fieldNo, record, buf);
        break;
    }
    case fldBOOL: {
        const bool on = value != nullptr && *static_cast<const std::uint8_t*>(value) == 1;
        PutRaw(a, fieldNo, record, on ? "T" : "F");
        break;
    }
    case fldINT16: {
        if (value == nullptr) {
            PutRaw(a, fieldNo, record, "");
            break;
        }
        std::int16_t v = 0;
        std::memcpy(&v, value, sizeof v);
        const std::string text = std::to_string(v);
        if (static_cast<int>(text.size()) > width)
            return CURERR_NOTSUFFFIELDSIZE;
        PutRaw(a, fieldNo, record, RightAligned(text, width));
        break;
    }
    case fldFLOAT: {
        double v = 0;
        if (value != nullptr)
            std::memcpy(&v, value, sizeof v);
        std::string text;
        if (!std::isfinite(v) || !FormatFloat(v, width, l.iUnits2, text))
            return CURERR_NOTSUFFFIELDSIZE;
        PutRaw(a, fieldNo, record, text);
        break;
    }
    default:
        break;
    }
    return CUR_OK;
}

// ---- memo and binary fields ------------------------------------------------

namespace {

// The field's contents with the caller's record in the engine: binary
// contents when the engine holds some, else the memo text. At end of file
// there is no record and so no contents.
std::string BlobContents(TCurWorkArea& a, int fieldNo, const TSaveRec& save) {
    if (save.AtEof())
        return {};
    const char* name = a.FieldName(fieldNo);
    const int binLen = xb_GetBlobLength(name);
    if (binLen > 0) {
        std::string s(static_cast<std::size_t>(binLen), '\0');
        const int got = xb_GetBlob(name, s.data(), binLen + 1);
        s.resize(static_cast<std::size_t>(got < 0 ? 0 : std::min(got, binLen)));
        return s;
    }
    int length = 0;
    char* memo = xb_GetMemo(name, &length);
    if (memo == nullptr)
        return {};
    std::string s(memo, static_cast<std::size_t>(length < 0 ? 0 : length));
    xb_MemDealloc(memo);
    return s;
}

bool IsBlobField(const TCurWorkArea& a, int fieldNo) {
    return a.ValidField(fieldNo) && a.Logical(fieldNo).iFldType == fldBLOB;
}

} // namespace

CurResult CurOpenBlob(hCurCur cursor, std::uint8_t*, int) {
    return Select(cursor) == nullptr ? CURERR_INVALIDHNDL : CUR_OK;
}

CurResult CurGetBlobSize(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t& size) {
    size = 0;
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr || !IsBlobField(*a, fieldNo))
        return CURERR_INVALIDHNDL;
    TSaveRec save(*a, record);
    size = static_cast<std::uint32_t>(BlobContents(*a, fieldNo, save).size());
    return CUR_OK;
}

CurResult CurGetBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t offset,
                     std::uint32_t length, std::uint8_t* dest, std::uint32_t& read) {
    read = 0;
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr || !IsBlobField(*a, fieldNo))
        return CURERR_INVALIDHNDL;
    TSaveRec save(*a, record);
    const std::string source = BlobContents(*a, fieldNo, save);
    if (offset > source.size())
        return CURERR_OUTOFRANGE;
    const std::uint32_t available = static_cast<std::uint32_t>(source.size()) - offset;
    read = std::min(length, available);
    if (dest != nullptr && read > 0)
        std::memcpy(dest, source.data() + offset, read);
    return length > available ? CURERR_ENDOFBLOB : CUR_OK;
}

CurResult CurPutBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t offset,
                     std::uint32_t length, const std::uint8_t* data) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr || !IsBlobField(*a, fieldNo))
        return CURERR_INVALIDHNDL;
    TSaveRec save(*a, record);
    if (save.AtEof())
        return CURERR_NOCURRREC;
    std::string contents = BlobContents(*a, fieldNo, save);
    if (offset > contents.size())
        return CURERR_OUTOFRANGE;
    contents.resize(offset);
    if (data != nullptr && length > 0)
        contents.append(reinterpret_cast<const char*>(data), length);

    const char* name = a->FieldName(fieldNo);
    const std::int64_t convert = xb_SysProp(XB_PROP_MEMO_CONVERT, 0);
    int ok = 0;
    if (a->Logical(fieldNo).iSubType == fldstMEMO)
        // A memo stays a text memo, whatever bytes it holds.
        ok = xb_Replace(name, XB_REPLACE_MEMO, contents.data(), static_cast<int>(contents.size()));
    else
        ok = xb_PutBlob(name, contents.data(), static_cast<int>(contents.size()));
    xb_SysProp(XB_PROP_MEMO_CONVERT, convert);
    if (ok == 0)
        return CURERR_BLOBREAD;
    save.CopyBack(record);
    return CUR_OK;
}

CurResult CurTruncateBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t length) {
    return CurPutBlob(cursor, record, fieldNo, length, 0, nullptr);
}

CurResult CurFreeBlob(hCurCur, std::uint8_t*, int) {
    return CUR_OK;
}

} // namespace data
