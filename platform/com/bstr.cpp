#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

// Layout: [DWORD byte count][code units...][NUL code unit]; the BSTR
// points at the first code unit.
namespace {

constexpr size_t kPrefix = sizeof(DWORD);
constexpr UINT kMaxBytes = 0x7FFFFFF0u;

BSTR AllocBytes(UINT bytes) {
    if (bytes > kMaxBytes)
        return nullptr;
    auto* raw = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!raw)
        return nullptr;
    DWORD n = bytes;
    std::memcpy(raw, &n, kPrefix);
    std::memset(raw + kPrefix + bytes, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(raw + kPrefix);
}

char* RawOf(BSTR b) {
    return reinterpret_cast<char*>(b) - kPrefix;
}

} // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(com::OleStrLen(psz)));
}

BSTR SysAllocStringLen(const OLECHAR* psz, UINT len) {
    if (len > kMaxBytes / sizeof(OLECHAR))
        return nullptr;
    BSTR b = AllocBytes(len * sizeof(OLECHAR));
    if (!b)
        return nullptr;
    if (psz)
        std::memcpy(b, psz, len * sizeof(OLECHAR));
    else
        std::memset(b, 0, len * sizeof(OLECHAR));
    return b;
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    BSTR b = AllocBytes(len);
    if (!b)
        return nullptr;
    char* p = reinterpret_cast<char*>(b);
    if (psz)
        std::memcpy(p, psz, len);
    else
        std::memset(p, 0, len);
    p[len] = 0; // NUL after an odd byte count too
    return b;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr)
        return 0;
    BSTR b = SysAllocString(psz);
    if (psz && !b)
        return 0;
    SysFreeString(*pbstr);
    *pbstr = b;
    return 1;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr)
        return 0;
    BSTR b = SysAllocStringLen(psz, len);
    if (!b)
        return 0;
    SysFreeString(*pbstr);
    *pbstr = b;
    return 1;
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        std::free(RawOf(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr)
        return 0;
    DWORD n;
    std::memcpy(&n, RawOf(bstr), kPrefix);
    return n;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

} // extern "C"

namespace com {

size_t OleStrLen(const OLECHAR* s) {
    size_t n = 0;
    if (s)
        while (s[n])
            ++n;
    return n;
}

BSTR BstrFromBytes(std::string_view bytes) {
    if (bytes.size() > kMaxBytes / sizeof(OLECHAR))
        return nullptr;
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(bytes.size()));
    if (!b)
        return nullptr;
    for (size_t i = 0; i < bytes.size(); ++i)
        b[i] = static_cast<unsigned char>(bytes[i]);
    return b;
}

std::string BytesFromBstr(const OLECHAR* s, size_t len) {
    std::string out(len, '\0');
    for (size_t i = 0; i < len; ++i)
        out[i] = s[i] <= 0xFF ? static_cast<char>(s[i]) : '?';
    return out;
}

std::string BytesFromBstr(const OLECHAR* bstr) {
    return BytesFromBstr(bstr, SysStringLen(const_cast<BSTR>(bstr)));
}

std::u16string WideFromBytes(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

} // namespace com
