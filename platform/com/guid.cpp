#include "platform/com/guid.h"
#include "platform/com/bstr.h"
#include "platform/com/runtime.h"

#include <cstdio>
#include <cstring>

namespace com {

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

} // namespace com

namespace {

HRESULT AllocText(const GUID& g, LPOLESTR* out) {
    if (!out)
        return E_INVALIDARG;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    StringFromGUID2(g, *out, 39);
    return S_OK;
}

HRESULT FromText(LPCOLESTR s, GUID* out, HRESULT bad) {
    if (!out)
        return E_INVALIDARG;
    if (!s)
        return bad;
    size_t n = com::OleStrLen(s);
    if (n != 38 || s[0] != u'{')
        return bad;
    std::string text = com::BytesFromBstr(s, n);
    return com::ParseGuid(text, *out) ? S_OK : bad;
}

} // namespace

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR buf, int cchMax) {
    if (!buf || cchMax < 39)
        return 0;
    std::string s = com::GuidToString(rguid);
    for (size_t i = 0; i < s.size(); ++i)
        buf[i] = static_cast<OLECHAR>(s[i]);
    buf[s.size()] = 0;
    return 39;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* out) {
    return AllocText(rclsid, out);
}
HRESULT StringFromIID(REFIID riid, LPOLESTR* out) {
    return AllocText(riid, out);
}
HRESULT CLSIDFromString(LPCOLESTR s, CLSID* out) {
    return FromText(s, out, CO_E_CLASSSTRING);
}
HRESULT IIDFromString(LPCOLESTR s, IID* out) {
    return FromText(s, out, CO_E_IIDSTRING);
}

} // extern "C"
