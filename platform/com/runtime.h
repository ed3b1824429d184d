#pragma once
// The COM library calls: initialisation, creating objects through the
// registry (HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 names the
// server's shared library, loaded with dlopen), ProgIDs, task memory and
// type libraries.
#include "platform/com/dispatch.h"
#include "platform/com/typedesc.h"

#include <string>

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_ALL = 0x17;
inline constexpr DWORD CLSCTX_SERVER = 0x15;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

extern "C" {
// Counted per thread: S_OK the first time, S_FALSE after.
HRESULT CoInitialize(void* pvReserved);
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
// The thread's last CoUninitialize unloads the servers that allow it.
void CoUninitialize();

// Only in-process servers exist here; other contexts give
// REGDB_E_CLASSNOTREG. CO_E_NOTINITIALIZED before CoInitialize.
// REGDB_E_CLASSNOTREG (no key), CO_E_DLLNOTFOUND (library cannot be
// loaded), CO_E_ERRORINDLL (no DllGetClassObject), or the server's result.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid,
                         void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
// Asks every loaded server DllCanUnloadNow and unloads those that answer S_OK.
void CoFreeUnusedLibraries();

// HKEY_CLASSES_ROOT\<progid>\Clsid; CO_E_CLASSSTRING when unknown.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
// HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID, in memory from CoTaskMemAlloc;
// REGDB_E_CLASSNOTREG when absent.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

void* CoTaskMemAlloc(size_t cb);
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);

// Loads the type library that a server library describes (the export
// DllGetTypeLibInfo); TYPE_E_CANTLOADLIBRARY when it has none.
HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
// Through HKEY_CLASSES_ROOT\TypeLib\{libid}\<major>.<minor>\<lcid>\linux
// (lcid in hex, as "409"; "0" serves any locale).
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
// Writes TypeLib\{libid}\<ver> (default = doc string; "<lcid>\linux" = szFullPath;
// "FLAGS" = "0"; "HELPDIR" = szHelpDir or the library's folder) and
// Interface\{iid} for each interface (default = its name; "TypeLib" =
// {libid} with "Version"; "ProxyStubClsid32").
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes what RegisterTypeLib wrote; TYPE_E_REGISTRYACCESS when the library
// is not registered in that version.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind);
}

// Exports of an in-process server library, resolved by name.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, void**);
using LPFNCANUNLOADNOW = HRESULT (*)();
using LPFNREGISTERSERVER = HRESULT (*)();
using LPFNGETTYPELIBINFO = const com::TypeLibInfo* (*)();

namespace com {
// A short English text for the code ("Class not registered"), else
// "Error 0x80004005"-style text with the code in hex.
[[nodiscard]] std::string ErrorMessage(HRESULT hr);
} // namespace com
