// The exported xb_ operations: argument checks, the work-area table, error
// state, and conversions between field bytes and caller values. No C++
// exception leaves this file.
#include "platform/xbase/xbengine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <strings.h>

#include "platform/xbase/xbarea.h"
#include "platform/xbase/xbdate.h"
#include "platform/xbase/xberror.h"
#include "platform/xbase/xbnumber.h"

namespace xbase {
namespace {

std::array<std::unique_ptr<WorkArea>, 256> g_areas;
int g_current = 1;
int g_lastError = XB_OK;
std::string g_errorText;

void SetError(int code, const std::string& text) {
    g_lastError = code;
    g_errorText = text;
}

// Runs f; any failure becomes the error state and the result `failed`.
template <class R, class F> R Guard(R failed, F&& f) {
    g_lastError = XB_OK;
    g_errorText.clear();
    try {
        return f();
    } catch (const Error& e) {
        SetError(e.Code(), e.what());
    } catch (const std::bad_alloc&) {
        SetError(XB_ERR_IO, "Out of memory");
    } catch (const std::exception& e) {
        SetError(XB_ERR_IO, e.what());
    } catch (...) {
        SetError(XB_ERR_IO, "Unknown failure");
    }
    return failed;
}

WorkArea& Current() {
    WorkArea* a = g_areas[static_cast<std::size_t>(g_current)].get();
    if (!a)
        throw Error(XB_ERR_NOAREA, "No table open in work area " + std::to_string(g_current));
    return *a;
}

int CopyOut(const std::string& value, char* buf, int bufLen) {
    if (buf && bufLen > 0) {
        std::size_t n = std::min(value.size(), static_cast<std::size_t>(bufLen - 1));
        std::memcpy(buf, value.data(), n);
        buf[n] = '\0';
    }
    return static_cast<int>(value.size());
}

std::string Text(const void* value, int length) {
    if (!value)
        return "";
    const char* p = static_cast<const char*>(value);
    return length < 0 ? std::string(p) : std::string(p, static_cast<std::size_t>(length));
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

std::string Trim(std::string s) {
    s = TrimRight(std::move(s));
    std::size_t i = s.find_first_not_of(' ');
    return i == std::string::npos ? "" : s.substr(i);
}

// Fields whose contents live in the memo file (W: Visual FoxPro blobs).
bool IsMemo(const FieldDesc& f) {
    return f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W';
}

// A little-endian signed integer of 1 to 8 bytes; a wider field (a damaged
// descriptor) counts its first eight.
std::int64_t LeInt(const std::string& b) {
    std::size_t n = std::min<std::size_t>(b.size(), 8);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    if (n > 0 && n < 8 && (v >> (8 * n - 1)) & 1)
        v |= ~0ull << (8 * n);
    return static_cast<std::int64_t>(v);
}

std::string LeBytes(std::int64_t v, int width) {
    std::string out;
    for (int i = 0; i < width; ++i)
        out.push_back(static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i)));
    return out;
}

// A field's value as text; binary Visual FoxPro types are converted.
std::string FieldText(WorkArea& a, const FieldDesc& f) {
    std::string raw = a.FieldBytes(f);
    if (IsMemo(f)) {
        std::uint32_t type = 0;
        std::string data;
        a.ReadMemo(f, a.Record(), type, data);
        return data;
    }
    if (IsVarLength(f))
        return std::string(a.FieldValue(f, a.Record()));
    switch (f.type) {
    case 'I':
        return std::to_string(LeInt(raw));
    case 'Y': {
        std::int64_t v = LeInt(raw);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%s%lld.%04lld", v < 0 ? "-" : "",
                      static_cast<long long>(std::llabs(v) / 10000),
                      static_cast<long long>(std::llabs(v) % 10000));
        return buf;
    }
    case 'B': {
        double d = 0;
        if (raw.size() == 8)
            std::memcpy(&d, raw.data(), 8);
        return NumberToFixed(d, f.decimals);
    }
    case 'T': {
        raw.resize(std::max<std::size_t>(raw.size(), 8), '\0'); // a damaged, narrower field
        std::int64_t day = LeInt(raw.substr(0, 4)), ms = LeInt(raw.substr(4, 4));
        if (day == 0)
            return "";
        // Julian day to civil date.
        std::int64_t l = day + 68569, n = 4 * l / 146097;
        l -= (146097 * n + 3) / 4;
        std::int64_t i = 4000 * (l + 1) / 1461001;
        l = l - 1461 * i / 4 + 31;
        std::int64_t j = 80 * l / 2447, d = l - 2447 * j / 80;
        l = j / 11;
        std::int64_t m = j + 2 - 12 * l, y = 100 * (n - 49) + i + l;
        char buf[128];
        std::snprintf(buf, sizeof buf, "%04lld%02lld%02lld%02lld%02lld%02lld",
                      static_cast<long long>(y), static_cast<long long>(m),
                      static_cast<long long>(d), static_cast<long long>(ms / 3600000),
                      static_cast<long long>(ms / 60000 % 60),
                      static_cast<long long>(ms / 1000 % 60));
        return buf;
    }
    default:
        return raw;
    }
}

std::string NumberText(double v, const FieldDesc& f) {
    if (!std::isfinite(v))
        throw Error(XB_ERR_FIELD, "Not a number for field " + f.name);
    // Fewer decimals until the value fits; never silently wrong digits.
    for (int dec = f.decimals; dec >= 0; --dec) {
        std::string s = NumberToFixed(v, dec);
        if (static_cast<int>(s.size()) <= f.width)
            return std::string(static_cast<std::size_t>(f.width) - s.size(), ' ') + s;
    }
    throw Error(XB_ERR_FIELD, "Value does not fit field " + f.name);
}

void StoreText(WorkArea& a, const FieldDesc& f, const std::string& text) {
    const EngineSettings& s = Settings();
    switch (f.type) {
    case 'M':
        a.WriteMemo(f, 1, text);
        return;
    case 'D':
        a.SetFieldBytes(f, ParseDate(text, s.dateFormat, s.epoch));
        return;
    case 'L': {
        std::string t = Trim(text);
        char c = t.empty() ? ' ' : t[0] == '.' && t.size() > 1 ? t[1] : t[0];
        a.SetFieldBytes(f, std::string(1, (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 'T'
                                          : c == ' '                                     ? ' '
                                                                                         : 'F'));
        return;
    }
    case 'N':
    case 'F': {
        std::string t = Trim(text);
        if (t.empty()) {
            a.SetFieldBytes(f, "");
            return;
        }
        char* end = nullptr;
        double v = NumberFromText(t.c_str(), &end);
        if (!end || *end != '\0')
            throw Error(XB_ERR_FIELD, "Not a number for field " + f.name + ": " + t);
        a.SetFieldBytes(f, NumberText(v, f));
        return;
    }
    case 'I':
        a.SetFieldBytes(f, LeBytes(std::strtoll(text.c_str(), nullptr, 10), 4));
        return;
    case 'V':
    case 'Q':
        a.SetVarValue(f, text);
        return;
    default:
        if (static_cast<int>(text.size()) > f.width)
            a.SetFieldBytes(f, text.substr(0, static_cast<std::size_t>(f.width)));
        else
            a.SetFieldBytes(f, text);
    }
}

void Replace(WorkArea& a, const char* field, int kind, const void* value, int length) {
    const FieldDesc& f = a.FieldByName(field);
    switch (kind) {
    case XB_REPLACE_DOUBLE: {
        if (!value)
            throw Error(XB_ERR_ARGUMENT, "No value");
        double v = *static_cast<const double*>(value);
        if (f.type == 'N' || f.type == 'F')
            a.SetFieldBytes(f, NumberText(v, f));
        else if (f.type == 'I')
            a.SetFieldBytes(f, LeBytes(static_cast<std::int64_t>(std::llround(v)), 4));
        else if (f.type == 'B')
            a.SetFieldBytes(f, std::string(reinterpret_cast<const char*>(&v), 8));
        else
            StoreText(a, f, NumberToGeneral(v, 6));
        return;
    }
    case XB_REPLACE_LOGICAL: {
        bool on = value && *static_cast<const int*>(value) != 0;
        if (f.type == 'L')
            a.SetFieldBytes(f, on ? "T" : "F");
        else
            StoreText(a, f, on ? "T" : "F");
        return;
    }
    case XB_REPLACE_STRING:
    case XB_REPLACE_DATE:
        StoreText(a, f, Text(value, length));
        return;
    case XB_REPLACE_MEMO:
        if (!IsMemo(f))
            StoreText(a, f, Text(value, length));
        else
            a.WriteMemo(f, 1, Text(value, length));
        return;
    default:
        throw Error(XB_ERR_ARGUMENT, "Unknown replace kind " + std::to_string(kind));
    }
}

void CloseAll() {
    std::exception_ptr failure;
    for (auto& a : g_areas) {
        if (!a)
            continue;
        try {
            a->Close();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        a.reset();
    }
    if (failure)
        std::rethrow_exception(failure);
}

int AreaOf(const std::string& alias) {
    for (int i = 1; i <= 255; ++i)
        if (g_areas[static_cast<std::size_t>(i)] &&
            ::strcasecmp(g_areas[static_cast<std::size_t>(i)]->Alias().c_str(), alias.c_str()) == 0)
            return i;
    return 0;
}

std::string StemOf(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

int SetFlag(bool& flag, int on) {
    int previous = flag ? 1 : 0;
    flag = on != 0;
    return previous;
}

const FieldDesc& FieldNo(int field) {
    WorkArea& a = Current();
    if (field < 1 || field > static_cast<int>(a.Dbf().Fields().size()))
        throw Error(XB_ERR_FIELD, "No field number " + std::to_string(field));
    return a.FieldAt(field - 1);
}

OrderInfo InfoOf(int order) {
    WorkArea& a = Current();
    if (order == 0)
        order = a.Order();
    if (order < 1 || order > a.OrderCount())
        throw Error(XB_ERR_INDEX, "No order " + std::to_string(order));
    return a.Info(order);
}

} // namespace
} // namespace xbase

using namespace xbase;

extern "C" {

int xb_LastError(void) {
    return g_lastError;
}
int xb_ErrorText(char* buf, int bufLen) {
    return CopyOut(g_errorText, buf, bufLen);
}
const char* xb_Version(void) {
    return "XBase 02.40.01 Quelta xBase engine (FoxPro DBF/FPT/CDX)";
}
void NotifyUse(int) {}

int xb_Create(const char* path, const XbFieldDef* fields, int count) {
    return Guard(0, [&] {
        if (!path || !*path || !fields || count < 1)
            throw Error(XB_ERR_ARGUMENT, "xb_Create needs a path and fields");
        std::vector<FieldDesc> defs;
        bool memo = false;
        for (int i = 0; i < count; ++i) {
            FieldDesc f;
            f.name = std::string(fields[i].name, strnlen(fields[i].name, sizeof fields[i].name));
            for (char& c : f.name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(fields[i].type)));
            f.width = fields[i].width;
            f.decimals = fields[i].decimals;
            switch (f.type) {
            case 'D':
                f.width = 8;
                break;
            case 'L':
                f.width = 1;
                break;
            case 'M':
                f.width = 10;
                memo = true;
                break;
            case 'C':
            case 'N':
            case 'F':
                break;
            default:
                throw Error(XB_ERR_ARGUMENT, "Unsupported field type for " + f.name);
            }
            if ((f.type == 'N' || f.type == 'F') &&
                (f.width > 20 || f.decimals < 0 || (f.decimals > 0 && f.decimals > f.width - 2)))
                throw Error(XB_ERR_ARGUMENT, "Bad numeric width for " + f.name);
            for (const auto& g : defs)
                if (g.name == f.name)
                    throw Error(XB_ERR_ARGUMENT, "Duplicate field " + f.name);
            defs.push_back(f);
        }
        std::string p = ResolveNoCase(path);
        std::string memoPath;
        if (memo) {
            std::size_t dot = p.find_last_of('.');
            std::size_t slash = p.find_last_of('/');
            memoPath = (dot != std::string::npos && (slash == std::string::npos || dot > slash)
                            ? p.substr(0, dot)
                            : p) +
                       ".fpt";
            if (FileExistsNoCase(memoPath))
                throw Error(XB_ERR_EXISTS, "File exists: " + memoPath);
        }
        DbfFile::Create(p, defs);
        if (memo)
            MemoFile::Create(memoPath, Settings().memoBlockSize);
        return 1;
    });
}

int xb_Use(const char* path, const char* alias, int mode, int driver) {
    return Guard(0, [&] {
        if (!path || !*path)
            throw Error(XB_ERR_ARGUMENT, "xb_Use needs a path");
        if (mode < XB_SHARED || mode > XB_EXCLUSIVE)
            throw Error(XB_ERR_ARGUMENT, "Bad open mode " + std::to_string(mode));
        std::string name = alias && *alias ? std::string(alias) : StemOf(path);
        if (name.empty() || name.size() > 254)
            throw Error(XB_ERR_ALIAS, "Bad alias");
        if (AreaOf(name))
            throw Error(XB_ERR_ALIAS, "Alias already in use: " + name);
        int area = 0;
        for (int i = 1; i <= 255 && !area; ++i)
            if (!g_areas[static_cast<std::size_t>(i)])
                area = i;
        if (!area)
            throw Error(XB_ERR_NOAREA, "All 255 work areas are in use");
        auto a = std::make_unique<WorkArea>(area, name);
        a->Open(path, mode, driver < 1 || driver > 3 ? XB_DRIVER_FOX : driver);
        g_areas[static_cast<std::size_t>(area)] = std::move(a);
        g_current = area;
        return area;
    });
}

int xb_Select(int area) {
    int previous = g_current;
    if (area >= 1 && area <= 255)
        g_current = area;
    return previous;
}

int xb_WorkArea(const char* alias) {
    if (!alias || !*alias)
        return g_current;
    return AreaOf(alias);
}

int xb_Alias(int area, char* buf, int bufLen) {
    if (area == 0)
        area = g_current;
    if (area < 1 || area > 255 || !g_areas[static_cast<std::size_t>(area)])
        return CopyOut("", buf, bufLen);
    return CopyOut(g_areas[static_cast<std::size_t>(area)]->Alias(), buf, bufLen);
}

int xb_Close(void) {
    return Guard(0, [&] {
        auto& slot = g_areas[static_cast<std::size_t>(g_current)];
        if (!slot)
            return 1;
        std::unique_ptr<WorkArea> a = std::move(slot);
        a->Close();
        return 1;
    });
}

int xb_CloseAll(void) {
    return Guard(0, [&] {
        CloseAll();
        return 1;
    });
}

int xb_GoTop(void) {
    return Guard(0, [&] {
        Current().GoTop();
        return 1;
    });
}
int xb_GoBottom(void) {
    return Guard(0, [&] {
        Current().GoBottom();
        return 1;
    });
}
int xb_Skip(int count) {
    return Guard(0, [&] {
        Current().Skip(count);
        return 1;
    });
}
int xb_Go(int32_t record) {
    return Guard(0, [&] {
        Current().Go(record);
        return 1;
    });
}
int xb_Eof(void) {
    return Guard(1, [&] { return Current().Eof() ? 1 : 0; });
}
int xb_Bof(void) {
    return Guard(1, [&] { return Current().Bof() ? 1 : 0; });
}
int32_t xb_RecNo(void) {
    return Guard<int32_t>(0, [&] { return static_cast<int32_t>(Current().RecNo()); });
}
int32_t xb_RecCount(void) {
    return Guard<int32_t>(0, [&] { return static_cast<int32_t>(Current().RecCount()); });
}
int32_t xb_Count(void) {
    return Guard<int32_t>(0, [&] { return static_cast<int32_t>(Current().CountVisible()); });
}
int xb_Deleted(void) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        return !a.Eof() && a.Record()[0] == '*' ? 1 : 0;
    });
}
int32_t xb_OrderRecNo(void) {
    return Guard<int32_t>(0, [&] { return static_cast<int32_t>(Current().OrderRecNo()); });
}

int xb_GetRecord(char* buf, int bufLen) {
    return Guard(0, [&] {
        const std::string& r = Current().Record();
        if (!buf || bufLen <= 0)
            return static_cast<int>(r.size());
        int n = std::min(bufLen, static_cast<int>(r.size()));
        std::memcpy(buf, r.data(), static_cast<std::size_t>(n));
        return n;
    });
}

int xb_PutRecord(const char* buf, int bufLen) {
    return Guard(0, [&] {
        if (!buf || bufLen <= 0)
            throw Error(XB_ERR_ARGUMENT, "No record given");
        WorkArea& a = Current();
        std::string r(buf, static_cast<std::size_t>(std::min(bufLen, a.Dbf().RecSize())));
        if (static_cast<int>(r.size()) < a.Dbf().RecSize())
            r += a.Record().substr(r.size());
        a.PutRecord(r);
        return static_cast<int>(r.size());
    });
}

int xb_AppendEx(void) {
    int result = Guard(-1, [&] { return Current().Append(); });
    if (result >= 0)
        return result;
    switch (g_lastError) {
    case XB_ERR_NOAREA:
        return XB_APPEND_NOTABLE;
    case XB_ERR_READONLY:
        return XB_APPEND_READONLY;
    case XB_ERR_LOCKED:
        return XB_APPEND_FILELOCK;
    case XB_ERR_CORRUPT:
        return XB_APPEND_CORRUPT;
    default:
        return XB_APPEND_IO;
    }
}

int xb_Delete(void) {
    return Guard(0, [&] {
        Current().SetDeleted(true);
        return 1;
    });
}
int xb_Recall(void) {
    return Guard(0, [&] {
        Current().SetDeleted(false);
        return 1;
    });
}
int xb_Rlock(int32_t record) {
    return Guard(0, [&] {
        if (record < 0)
            throw Error(XB_ERR_RANGE, "Bad record number");
        if (Current().Lock(static_cast<std::uint32_t>(record)))
            return 1;
        SetError(XB_ERR_LOCKED, "Record is locked by another user");
        return 0;
    });
}
int xb_Unlock(int32_t record) {
    return Guard(0, [&] {
        Current().Unlock(static_cast<std::uint32_t>(std::max<int32_t>(record, 0)));
        return 1;
    });
}
int xb_Commit(void) {
    return Guard(0, [&] {
        Current().Commit();
        return 1;
    });
}
int xb_Discard(void) {
    return Guard(0, [&] {
        Current().Discard();
        return 1;
    });
}
int xb_Replace(const char* field, int kind, const void* value, int length) {
    return Guard(0, [&] {
        Replace(Current(), field, kind, value, length);
        return 1;
    });
}

int xb_GetTrimString(const char* field, char* buf, int bufLen) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        std::string t = FieldText(a, f);
        return CopyOut(f.type == 'N' || f.type == 'F' ? Trim(t) : TrimRight(t), buf, bufLen);
    });
}
int xb_GetString(const char* field, char* buf, int bufLen) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        return CopyOut(FieldText(a, a.FieldByName(field)), buf, bufLen);
    });
}
int xb_GetDateString(const char* field, char* buf, int bufLen) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        std::string stored = f.type == 'T' ? FieldText(a, f).substr(0, 8) : a.FieldBytes(f);
        return CopyOut(FormatDate(stored, Settings().dateFormat, Settings().century), buf, bufLen);
    });
}
int xb_GetLogical(const char* field) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        std::string b = a.FieldBytes(a.FieldByName(field));
        char c = b.empty() ? ' ' : b[0];
        return c == 'T' || c == 't' || c == 'Y' || c == 'y' ? 1 : 0;
    });
}
int xb_Empty(const char* field) {
    return Guard(1, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        if (IsMemo(f))
            return FieldText(a, f).empty() ? 1 : 0;
        if (f.type == 'Q') {
            std::string_view v = a.FieldValue(f, a.Record());
            return v.find_first_not_of('\0') == std::string_view::npos ? 1 : 0;
        }
        if (f.type == 'V')
            return Trim(FieldText(a, f)).empty() ? 1 : 0;
        std::string b = a.FieldBytes(f);
        if (f.type == 'I' || f.type == 'Y' || f.type == 'B' || f.type == 'T')
            return b.find_first_not_of('\0') == std::string::npos ? 1 : 0;
        std::string t = Trim(b);
        if (t.empty())
            return 1;
        if (f.type == 'N' || f.type == 'F')
            return NumberFromText(t.c_str()) == 0 ? 1 : 0;
        if (f.type == 'L')
            return t[0] == 'F' || t[0] == 'f' || t[0] == 'N' || t[0] == 'n' || t[0] == '?' ? 1 : 0;
        return 0;
    });
}
char* xb_GetMemo(const char* field, int* length) {
    return Guard<char*>(nullptr, [&]() -> char* {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        if (!IsMemo(f))
            throw Error(XB_ERR_FIELD, "Not a memo field: " + f.name);
        std::string data = FieldText(a, f);
        char* out = static_cast<char*>(std::malloc(data.size() + 1));
        if (!out)
            throw std::bad_alloc();
        std::memcpy(out, data.data(), data.size());
        out[data.size()] = '\0';
        if (length)
            *length = static_cast<int>(data.size());
        return out;
    });
}
void xb_MemDealloc(void* memory) {
    std::free(memory);
}
int xb_GetBlob(const char* field, char* buf, int bufLen) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        if (!IsMemo(f) && f.type != 'Q')
            throw Error(XB_ERR_FIELD, "Not a memo or binary field: " + f.name);
        std::string data = FieldText(a, f);
        if (!buf || bufLen <= 0)
            return static_cast<int>(data.size());
        int n = std::min(bufLen, static_cast<int>(data.size()));
        std::memcpy(buf, data.data(), static_cast<std::size_t>(n));
        return n;
    });
}
int xb_GetBlobLength(const char* field) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        if (f.type == 'Q')
            return static_cast<int>(a.FieldValue(f, a.Record()).size());
        if (!IsMemo(f))
            throw Error(XB_ERR_FIELD, "Not a memo or binary field: " + f.name);
        std::uint32_t type = 0;
        std::string data;
        a.ReadMemo(f, a.Record(), type, data);
        // A blob field is binary whatever its blocks say.
        return type == kMemoText && f.type != 'W' ? 0 : static_cast<int>(data.size());
    });
}
int xb_PutBlob(const char* field, const char* data, int length) {
    return Guard(0, [&] {
        WorkArea& a = Current();
        const FieldDesc& f = a.FieldByName(field);
        std::string bytes =
            data && length > 0 ? std::string(data, static_cast<std::size_t>(length)) : "";
        if (f.type == 'Q') {
            a.SetVarValue(f, bytes);
            return 1;
        }
        if (!IsMemo(f))
            throw Error(XB_ERR_FIELD, "Not a memo or binary field: " + f.name);
        a.WriteMemo(f, kMemoBinary, bytes);
        return 1;
    });
}
int xb_IsEncrypted(int) {
    return 0;
}

int xb_FieldCount(void) {
    return Guard(0, [&] { return static_cast<int>(Current().Dbf().Fields().size()); });
}

int xb_FieldName(int field, char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(FieldNo(field).name, buf, bufLen); });
}
int xb_FieldType(int field) {
    return Guard(0,
                 [&] { return static_cast<int>(static_cast<unsigned char>(FieldNo(field).type)); });
}
int xb_FieldWidth(int field) {
    return Guard(0, [&] { return FieldNo(field).width; });
}
int xb_FieldDecimals(int field) {
    return Guard(0, [&] { return FieldNo(field).decimals; });
}
int xb_FieldOffset(int field) {
    return Guard(0, [&] { return FieldNo(field).offset + 1; });
}
int xb_FieldNum(const char* name) {
    return Guard(0, [&] { return name ? Current().FieldIndex(name) + 1 : 0; });
}
int xb_RecSize(void) {
    return Guard(0, [&] { return Current().Dbf().RecSize(); });
}
int xb_BaseName(char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(Current().Dbf().Path(), buf, bufLen); });
}

int xb_IndexOpen(const char* file) {
    return Guard(0, [&] {
        if (!file || !*file)
            throw Error(XB_ERR_ARGUMENT, "No index file given");
        return Current().IndexOpen(file);
    });
}
int xb_IndexTag(const char* file, const char* tag, const char* expression, int option,
                int descending, const char* condition) {
    return Guard(0, [&] {
        if (!tag || !*tag || !expression || !*expression)
            throw Error(XB_ERR_ARGUMENT, "A tag needs a name and a key expression");
        return Current().IndexTag(file ? file : "", tag, expression, option == 1, descending != 0,
                                  condition ? condition : "");
    });
}
int xb_SetOrder(int order) {
    return Guard(-1, [&] { return Current().SetOrder(order); });
}
int xb_TagArea(const char* tag) {
    return Guard(0, [&] { return tag ? Current().TagOrder(tag) : 0; });
}

int xb_TagName(int order, char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(InfoOf(order).tag, buf, bufLen); });
}
int xb_IndexOrd(void) {
    return Guard(0, [&] { return Current().Order(); });
}
int xb_IndexName(int order, char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(InfoOf(order).bagPath, buf, bufLen); });
}
int xb_IndexKey(int order, char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(InfoOf(order).keyExpr, buf, bufLen); });
}
int xb_IndexKeyField(int order, char* buf, int bufLen) {
    return Guard(0, [&] {
        OrderInfo info = InfoOf(order);
        WorkArea& a = Current();
        std::string key = Trim(info.keyExpr);
        if (a.FieldIndex(key) >= 0)
            return CopyOut(key, buf, bufLen);
        // The first field name the expression mentions.
        std::string upper = key;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::size_t best = std::string::npos;
        std::string name;
        for (const auto& f : a.Dbf().Fields()) {
            std::size_t at = upper.find(f.name);
            if (at != std::string::npos && at < best) {
                best = at;
                name = f.name;
            }
        }
        return CopyOut(name, buf, bufLen);
    });
}
int xb_IndexType(int order) {
    return Guard(0, [&] {
        OrderInfo info = InfoOf(order);
        bool cond = !Trim(info.forExpr).empty();
        return info.unique ? (cond ? XB_INDEX_UNIQUE_CONDITIONAL : XB_INDEX_UNIQUE)
                           : (cond ? XB_INDEX_CONDITIONAL : XB_INDEX_PLAIN);
    });
}
int xb_IndexCondition(int order, char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(InfoOf(order).forExpr, buf, bufLen); });
}
int xb_KeyData(char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(Current().CurrentKey(), buf, bufLen); });
}

int xb_Seek(const char* key) {
    return Guard(0, [&] { return Current().Seek(key ? key : "") ? 1 : 0; });
}
int xb_SetScope(const char* low, const char* high) {
    return Guard(0, [&] {
        Current().SetScope(low, high);
        return 1;
    });
}
int xb_Query(const char* expression) {
    return Guard(0, [&] {
        Current().SetFilter(expression ? expression : "");
        return 1;
    });
}
int xb_DBFilter(char* buf, int bufLen) {
    return Guard(0, [&] { return CopyOut(Current().FilterText(), buf, bufLen); });
}

int xb_EvalTest(const char* expression) {
    return Guard(0, [&] {
        if (!expression)
            throw Error(XB_ERR_ARGUMENT, "No expression");
        return Current().Evaluate(expression).type;
    });
}
int xb_EvalString(const char* expression, char* buf, int bufLen) {
    return Guard(0, [&] {
        if (!expression)
            throw Error(XB_ERR_ARGUMENT, "No expression");
        return CopyOut(Current().Evaluate(expression).text, buf, bufLen);
    });
}
int xb_EvalLogical(const char* expression) {
    return Guard(0, [&] {
        if (!expression)
            throw Error(XB_ERR_ARGUMENT, "No expression");
        EvalResult r = Current().Evaluate(expression);
        if (r.type != XB_EVAL_LOGICAL)
            throw Error(XB_ERR_EXPRESSION, std::string("Not a logical expression: ") + expression);
        return r.logical ? 1 : 0;
    });
}

int xb_Pack(void) {
    return Guard(0, [&] {
        Current().Pack();
        return 1;
    });
}
int xb_Zap(void) {
    return Guard(0, [&] {
        Current().Zap();
        return 1;
    });
}

int xb_SetTurboRead(int on) {
    return Guard(0, [&] {
        Current().SetTurbo(on != 0);
        return 1;
    });
}
int xb_SetEpoch(int year) {
    int previous = Settings().epoch;
    if (year >= 100 && year <= 2999)
        Settings().epoch = year;
    return previous;
}
int xb_SetCentury(int on) {
    return SetFlag(Settings().century, on);
}
int xb_SetDateFormat(int format) {
    int previous = Settings().dateFormat;
    if ((format >= 0 && format <= 6) || format == XB_DATE_WINDOWS)
        Settings().dateFormat = format;
    return previous;
}
int xb_SetDeleted(int on) {
    return SetFlag(Settings().deleted, on);
}
int xb_SetExact(int on) {
    return SetFlag(Settings().exact, on);
}
int xb_SetLockTimeout(int seconds) {
    int previous = Settings().lockTimeoutSec;
    if (seconds >= 0 && seconds <= 3600)
        Settings().lockTimeoutSec = seconds;
    return previous;
}
int xb_SetMemoBlockSize(int size) {
    int previous = Settings().memoBlockSize;
    if (size >= 32 && size <= 16384)
        Settings().memoBlockSize = size;
    return previous;
}
int xb_SetSoftSeek(int on) {
    return SetFlag(Settings().softSeek, on);
}
int xb_SetStringType(int) {
    return 1;
}

int64_t xb_SysProp(int property, int64_t value) {
    return Guard<int64_t>(0, [&]() -> int64_t {
        EngineSettings& s = Settings();
        auto swap = [&](int64_t& slot) {
            int64_t previous = slot;
            slot = value;
            return previous;
        };
        switch (property) {
        case XB_PROP_GET_SOFTSEEK:
            return s.softSeek ? 1 : 0;
        case XB_PROP_SET_SOFTSEEK:
            return SetFlag(s.softSeek, static_cast<int>(value));
        case XB_PROP_GET_EXACT:
            return s.exact ? 1 : 0;
        case XB_PROP_SET_EXACT:
            return SetFlag(s.exact, static_cast<int>(value));
        case XB_PROP_RECHECK:
            return Current().MayHaveVanished() ? 1 : 0;
        case XB_PROP_APPEND_DEFER:
            return swap(s.appendDefer);
        case XB_PROP_HEADER_CACHE:
            return swap(s.headerCache);
        case XB_PROP_MEMO_CONVERT:
            return swap(s.memoConvert);
        case XB_PROP_INDEX_COUNT:
            return Current().OrderCount();
        case XB_PROP_DESCENDING: {
            WorkArea& a = Current();
            int order = value >= 1 && value <= a.OrderCount() ? static_cast<int>(value) : a.Order();
            return order > 0 && a.Info(order).descending ? 1 : 0;
        }
        case XB_PROP_RECORD_BUFFER:
            return static_cast<int64_t>(reinterpret_cast<intptr_t>(Current().Record().data()));
        case XB_PROP_AREA_OPEN:
            return value >= 1 && value <= 255 && g_areas[static_cast<std::size_t>(value)] ? 1 : 0;
        case XB_PROP_EXIT:
            CloseAll();
            s = EngineSettings{};
            g_current = 1;
            return 0;
        case XB_PROP_ONE_TAG_FILES:
            return 0;
        case XB_PROP_REREAD:
            Current().Reread();
            return 1;
        case XB_PROP_VARLEN_FIELD:
            return IsVarLength(FieldNo(static_cast<int>(std::clamp<int64_t>(value, 0, 65535)))) ? 1
                                                                                                : 0;
        default:
            throw Error(XB_ERR_ARGUMENT, "Unknown property " + std::to_string(property));
        }
    });
}

} // extern "C"
