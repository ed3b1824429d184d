#pragma once
// GUIDs and their text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "platform/com/types.h"

#include <string>
#include <string_view>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

namespace com {

namespace detail {
constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}
} // namespace detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces;
// false (g untouched) on any other text.
constexpr bool ParseGuid(std::string_view s, GUID& g) {
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        return false;
    BYTE b[16] = {};
    int n = 0;
    for (size_t i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        int d = detail::HexDigit(s[i]);
        if (d < 0)
            return false;
        b[n / 2] = static_cast<BYTE>(b[n / 2] * 16 + d);
        ++n;
    }
    g.Data1 = static_cast<DWORD>(b[0]) << 24 | static_cast<DWORD>(b[1]) << 16 |
              static_cast<DWORD>(b[2]) << 8 | b[3];
    g.Data2 = static_cast<WORD>(b[4] << 8 | b[5]);
    g.Data3 = static_cast<WORD>(b[6] << 8 | b[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = b[8 + i];
    return true;
}

// A GUID from a literal; a malformed literal fails to compile in constant
// evaluation (and yields the null GUID otherwise).
constexpr GUID MakeGuid(std::string_view s) {
    GUID g{};
    if (!ParseGuid(s, g))
        throw "malformed GUID literal";
    return g;
}

// "{AA447DF0-09EA-11D2-B639-00A0C9B805AB}": braces, upper-case hex.
[[nodiscard]] std::string GuidToString(const GUID& g);

} // namespace com

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};
inline constexpr IID IID_IUnknown = com::MakeGuid("00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = com::MakeGuid("00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IDispatch = com::MakeGuid("00020400-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeInfo = com::MakeGuid("00020401-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeLib = com::MakeGuid("00020402-0000-0000-C000-000000000046");
inline constexpr IID IID_IErrorInfo = com::MakeGuid("1CF2B120-547D-101B-8E65-08002B2BC0B6");
inline constexpr IID IID_ICreateErrorInfo = com::MakeGuid("22F03340-547D-101B-8E65-08002B2BC0B6");
inline constexpr IID IID_ISupportErrorInfo = com::MakeGuid("DF0B3D60-548F-101B-8E65-08002B2BC0B6");

// Writes the braced text and a NUL into buf; returns the characters
// written including the NUL (39), or 0 when cchMax is too small.
extern "C" int StringFromGUID2(REFGUID rguid, LPOLESTR buf, int cchMax);
// The braced text in memory from CoTaskMemAlloc.
STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* out);
STDAPI StringFromIID(REFIID riid, LPOLESTR* out);
// Accepts only the braced form; CO_E_CLASSSTRING (CO_E_IIDSTRING) otherwise.
STDAPI CLSIDFromString(LPCOLESTR s, CLSID* out);
STDAPI IIDFromString(LPCOLESTR s, IID* out);
