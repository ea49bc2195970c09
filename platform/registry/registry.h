// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small, read-only system registry over text hive files.
//
// Linux has no registry, so the few values the program looks up (where the
// system-information tool is) come from hive files in the registry export
// format:
//
//   Windows Registry Editor Version 5.00        (or REGEDIT4)
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   "PATH"="/usr/bin/hardinfo"
//   "Count"=dword:00000100
//   "Blob"=hex:01,02,03
//   "Other"=hex(7):61,00,00,00
//
// Hive files are read in order, each applied over the ones before it (as if
// imported one after the other): by default the system hive
// /etc/xdg/Pacebook/system.reg, then system.reg beside the executable for a
// portable install. A file that is missing has no keys; a file that is
// damaged (no header line, a line that cannot be read) adds nothing at all.
//
// Names of keys and values are matched without regard to case. Strings are
// handed out as bytes in the 8-bit code page (Latin-1; other characters
// become '?'), with their terminating NUL, as the "A" functions do.
//
// The functions keep the signatures and return codes of their namesakes.
// Nothing can be written; asking for write rights on a key whose hive file
// the user cannot write is refused with ERROR_ACCESS_DENIED.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace registry {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using HKEY = std::uint32_t;  // a 32-bit handle
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPCSTR = const char*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

// Predefined root keys.
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// Return codes.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM SYNCHRONIZE = 0x00100000;
inline constexpr REGSAM STANDARD_RIGHTS_ALL = 0x001F0000;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_ALL = 0x10000000;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Opens the key lpSubKey below hKey (a root or an open key; NULL or "" opens
// hKey itself again). Options must be 0 (REG_OPTION_OPEN_LINK, 8, is taken
// as 0). On failure *phkResult becomes 0.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Reads the value lpValueName (NULL or "": the key's default value). The
// type goes to *lpType, the data to lpData, whose size in bytes *lpcbData
// gives on entry and receives the data's size. A buffer too small gives
// ERROR_MORE_DATA with the size needed in *lpcbData; lpData NULL asks only
// for the size. lpReserved must be NULL.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);

// Closes a key opened by RegOpenKeyExA. Closing a root key does nothing and
// succeeds; 0 or a handle that is not open gives ERROR_INVALID_HANDLE.
LONG RegCloseKey(HKEY hKey);

// The system hive: /etc/xdg/Pacebook/system.reg.
QString systemHiveFile();
// The hive beside the executable: <folder of the executable>/system.reg.
QString portableHiveFile();

// The hive files read, in order. Tests point the registry at their own.
QStringList hiveFiles();
void setHiveFiles(const QStringList& files);  // an empty list: back to the two defaults

}  // namespace registry
