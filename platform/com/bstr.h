#pragma once
// BSTR: UTF-16 code units with a 32-bit byte count in front of the pointer
// and a terminating NUL; may hold NULs. A null BSTR is the empty string.
// Text in this system is bytes: each byte maps to the code unit of the
// same value (and back), so any message byte survives a round trip.
#include "platform/com/types.h"

#include <string>
#include <string_view>

extern "C" {
// Copies up to the first NUL; a null argument gives a null BSTR.
BSTR SysAllocString(const OLECHAR* psz);
// Copies len code units (NULs included); psz null gives len zeroed units.
BSTR SysAllocStringLen(const OLECHAR* psz, UINT len);
// A BSTR of len bytes (len/2 code units, rounded down), as on Windows.
BSTR SysAllocStringByteLen(const char* psz, UINT len);
// Replaces *pbstr with a copy; FALSE when out of memory.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void SysFreeString(BSTR bstr);
// Code units, NULs included; 0 for a null BSTR.
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
}

namespace com {

// Bytes -> BSTR, byte b becoming code unit b. Null only when out of memory
// (an empty input gives an empty, non-null BSTR).
[[nodiscard]] BSTR BstrFromBytes(std::string_view bytes);
// BSTR -> bytes; code units above 0xFF (only from outside text) become '?'.
[[nodiscard]] std::string BytesFromBstr(const OLECHAR* bstr);
[[nodiscard]] std::string BytesFromBstr(const OLECHAR* s, size_t len);
// Code units of a NUL-terminated string (not a BSTR length).
[[nodiscard]] size_t OleStrLen(const OLECHAR* s);
// A std::u16string from bytes, for literals and names built at run time.
[[nodiscard]] std::u16string WideFromBytes(std::string_view bytes);

// Owns one BSTR; frees it on destruction.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view bytes) : s_(BstrFromBytes(bytes)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            SysFreeString(s_);
            s_ = o.s_;
            o.s_ = nullptr;
        }
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }

    // Takes ownership of an allocated BSTR.
    static Bstr Attach(BSTR s) {
        Bstr b;
        b.s_ = s;
        return b;
    }
    [[nodiscard]] BSTR get() const { return s_; }
    // Frees the current string and gives its slot for an [out] parameter.
    BSTR* out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    [[nodiscard]] BSTR Detach() {
        BSTR s = s_;
        s_ = nullptr;
        return s;
    }
    [[nodiscard]] std::string Bytes() const { return BytesFromBstr(s_); }
    [[nodiscard]] UINT Length() const { return SysStringLen(s_); }

private:
    BSTR s_ = nullptr;
};

} // namespace com
