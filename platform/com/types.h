#pragma once
// Base types and result codes of COM and OLE Automation, with the Windows
// names, sizes and values, so automation code reads as it does on Windows.
// Strings are UTF-16 code units (char16_t); LONG is 32 bits as on Windows.
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using FLOAT = float;
using DOUBLE = double;

using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using DATE = double; // days since 1899-12-30, time of day as the fraction

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*; // length-prefixed, see bstr.h

// Calling convention marker of interface methods; empty here.
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_NEUTRAL = 0x0000;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr SCODE HRESULT_CODE(HRESULT hr) {
    return hr & 0xFFFF;
}
constexpr SCODE HRESULT_FACILITY(HRESULT hr) {
    return (hr >> 16) & 0x1FFF;
}
constexpr HRESULT MAKE_HRESULT(unsigned sev, unsigned fac, unsigned code) {
    return static_cast<HRESULT>((sev << 31) | (fac << 16) | code);
}
// A Win32 error code (ERROR_*) as an HRESULT of FACILITY_WIN32.
constexpr HRESULT HRESULT_FROM_WIN32(long err) {
    return err <= 0 ? static_cast<HRESULT>(err)
                    : static_cast<HRESULT>((static_cast<unsigned long>(err) & 0xFFFF) | (7u << 16) |
                                           0x80000000u);
}

#define QUELTA_HR(x) static_cast<HRESULT>(static_cast<std::uint32_t>(x))

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT NOERROR = 0;

inline constexpr HRESULT E_NOTIMPL = QUELTA_HR(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = QUELTA_HR(0x80004002);
inline constexpr HRESULT E_POINTER = QUELTA_HR(0x80004003);
inline constexpr HRESULT E_ABORT = QUELTA_HR(0x80004004);
inline constexpr HRESULT E_FAIL = QUELTA_HR(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = QUELTA_HR(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = QUELTA_HR(0x80070005);
inline constexpr HRESULT E_HANDLE = QUELTA_HR(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = QUELTA_HR(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = QUELTA_HR(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = QUELTA_HR(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = QUELTA_HR(0x80040111);
inline constexpr HRESULT CLASS_E_NOTLICENSED = QUELTA_HR(0x80040112);

inline constexpr HRESULT REGDB_E_READREGDB = QUELTA_HR(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = QUELTA_HR(0x80040151);
inline constexpr HRESULT REGDB_E_KEYMISSING = QUELTA_HR(0x80040152);
inline constexpr HRESULT REGDB_E_INVALIDVALUE = QUELTA_HR(0x80040153);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = QUELTA_HR(0x80040154);
inline constexpr HRESULT REGDB_E_IIDNOTREG = QUELTA_HR(0x80040155);

inline constexpr HRESULT CO_E_NOTINITIALIZED = QUELTA_HR(0x800401F0);
inline constexpr HRESULT CO_E_ALREADYINITIALIZED = QUELTA_HR(0x800401F1);
inline constexpr HRESULT CO_E_CLASSSTRING = QUELTA_HR(0x800401F3);
inline constexpr HRESULT CO_E_IIDSTRING = QUELTA_HR(0x800401F4);
inline constexpr HRESULT CO_E_APPNOTFOUND = QUELTA_HR(0x800401F5);
inline constexpr HRESULT CO_E_DLLNOTFOUND = QUELTA_HR(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = QUELTA_HR(0x800401F9);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = QUELTA_HR(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = QUELTA_HR(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = QUELTA_HR(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = QUELTA_HR(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = QUELTA_HR(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = QUELTA_HR(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = QUELTA_HR(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = QUELTA_HR(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = QUELTA_HR(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = QUELTA_HR(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = QUELTA_HR(0x8002000C);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = QUELTA_HR(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = QUELTA_HR(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = QUELTA_HR(0x8002000F);
inline constexpr HRESULT DISP_E_BADCALLEE = QUELTA_HR(0x80020010);
inline constexpr HRESULT DISP_E_NOTACOLLECTION = QUELTA_HR(0x80020011);
inline constexpr HRESULT DISP_E_DIVBYZERO = QUELTA_HR(0x80020012);

inline constexpr HRESULT TYPE_E_INVDATAREAD = QUELTA_HR(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = QUELTA_HR(0x80028019);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = QUELTA_HR(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = QUELTA_HR(0x8002801D);
inline constexpr HRESULT TYPE_E_INVALIDSTATE = QUELTA_HR(0x80028029);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = QUELTA_HR(0x8002802B);
inline constexpr HRESULT TYPE_E_IOERROR = QUELTA_HR(0x80028CA2);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = QUELTA_HR(0x80029C4A);

inline constexpr HRESULT SELFREG_E_TYPELIB = QUELTA_HR(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = QUELTA_HR(0x80040201);

// Win32 error codes that the registry calls return (as LONG).
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_READ_FAULT = 30;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_MOD_NOT_FOUND = 126;
inline constexpr LONG ERROR_PROC_NOT_FOUND = 127;
