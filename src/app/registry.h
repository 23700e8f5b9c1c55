#pragma once

#include <windows.h>

#include <string>

// Registry access shared by the wizards. Sub-keys have no leading backslash;
// none of these routines shows a message. `view` is 0 (the program's own
// view), KEY_WOW64_64KEY or KEY_WOW64_32KEY.

// The value's text, with REG_EXPAND_SZ values expanded; empty when the key or
// value is missing or cannot be read. valueName null reads the default value.
std::string ReadRegistryString(HKEY root, const char* subKey, const char* valueName,
                               REGSAM view = 0);

// The same through the wide API, for values the code page may not be able to
// write (folders the system names).
std::wstring ReadRegistryStringW(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                                 REGSAM view = 0);

// The REG_DWORD value; 0xFFFFFFFF when it is missing, unreadable or of another type.
DWORD ReadRegistryDword(HKEY root, const char* subKey, const char* valueName, REGSAM view = 0);

// Creates missing keys on the way; true when the value was set.
bool WriteRegistryString(HKEY root, const char* subKey, const char* valueName, const char* text,
                         REGSAM view = 0);
bool WriteRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD value,
                        REGSAM view = 0);
// True when the key can be opened.
bool RegistryKeyExists(HKEY root, const char* subKey, REGSAM view = 0);
// Deletes a key without sub-keys; true when it is gone.
bool DeleteRegistryKey(HKEY root, const char* subKey, REGSAM view = 0);
