#pragma once
// A registry of our own with the Windows registry calls' semantics: keys
// and value names compare without regard to case (the first spelling is
// kept), a key's unnamed value is its "default", and a key that has
// subkeys cannot be deleted (ERROR_ACCESS_DENIED). Everything lives in one
// file, quelta.reg beside quelta.ini in the Windows directory; every change
// reloads it under a lock and rewrites it atomically (temp file, rename),
// so several processes share it and a reader never sees half a file.
#include "platform/com/types.h"

#include <string>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// All calls return ERROR_SUCCESS or a Win32 error code: ERROR_FILE_NOT_FOUND
// (no such key or value), ERROR_INVALID_HANDLE, ERROR_MORE_DATA (buffer too
// small; the size needed is stored), ERROR_ACCESS_DENIED (key has subkeys),
// ERROR_KEY_DELETED (the handle's key was deleted), ERROR_WRITE_FAULT (the
// file could not be written; nothing changed). Sub-key paths use "\".
extern "C" {
// Opens the key, creating it and its missing parents.
LONG RegCreateKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult);
// Opens an existing key; a null or empty sub key opens hKey itself again.
LONG RegOpenKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult);
LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                  PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);
// Sets the default value (REG_SZ only) of the sub key, creating it.
LONG RegSetValue(HKEY hKey, const char* lpSubKey, DWORD dwType, const char* lpData, DWORD cbData);
// Reads the default value of the sub key as text with its NUL; *lpcbData
// is the buffer size in, the size with NUL out. A key without a default
// value reads as "".
LONG RegQueryValue(HKEY hKey, const char* lpSubKey, char* lpData, LONG* lpcbData);
// A named value (null or "" names the default value).
LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                   const BYTE* lpData, DWORD cbData);
LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                     BYTE* lpData, DWORD* lpcbData);
LONG RegDeleteValue(HKEY hKey, const char* lpValueName);
// Deletes the sub key with its values; ERROR_ACCESS_DENIED when it has subkeys.
LONG RegDeleteKey(HKEY hKey, const char* lpSubKey);
// The index-th subkey's name; ERROR_NO_MORE_ITEMS past the last.
LONG RegEnumKey(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName);
LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                  DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
}

namespace com {
// The registry file's path (it need not exist yet).
[[nodiscard]] std::string RegistryFileName();
// Convenience over the calls above for text values.
LONG RegSetString(HKEY root, const std::string& subKey, const std::string& valueName,
                  const std::string& value);
// False when the key or the value does not exist.
bool RegGetString(HKEY root, const std::string& subKey, const std::string& valueName,
                  std::string& value);
[[nodiscard]] bool RegKeyExists(HKEY root, const std::string& subKey);
} // namespace com
