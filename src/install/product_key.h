// The registry key that records an installed product:
// HKEY_CURRENT_USER\Software\Tarnivex\<product> with "Path" (the install
// directory, ending in a backslash), "Exe" (the program file, relative to
// "Path") and "Version" (a DWORD).
#pragma once

#include <windows.h>

#include <string>

std::string ProductKeyPath(const std::string& productName);

// Empty when the product is not recorded.
std::string ReadProductPath(const std::string& productName);
std::string ReadProductExe(const std::string& productName);
// 0xFFFFFFFF when no version is recorded (or it is not a DWORD).
DWORD ReadProductVersion(const std::string& productName);

// Writes "Path", "Exe" and "Version" in this order, creating the key when
// needed. A failed write leaves the others unaffected; false when any failed.
bool RegisterProduct(const std::string& productName, const std::string& installPath,
                     const std::string& exeName, DWORD version);
