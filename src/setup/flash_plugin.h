// The Flash control a product may need: the version of the one installed,
// the question put to the user, and the command lines that install the
// control the archive carries.
#pragma once

#include <windows.h>

#include <string>

// The installed control as its class registration names it. The version
// words are 0 when the file or its version information is missing.
struct InstalledFlash {
  bool found = false;  // registered, and the file exists
  DWORD versionMS = 0; // major in the upper, minor in the lower 16 bits
  DWORD versionLS = 0; // build, revision
};

InstalledFlash FindInstalledFlash();

// A control of major version 7 or more is good enough.
bool IsFlashAccepted(const InstalledFlash& installed);

// Text 6 (found, with its version) or 7 (none found), markers replaced.
std::string FlashQuestion(const InstalledFlash& installed);

// The setup-information step: the system folder's rundll32.exe, by its full
// path and quoted (a rundll32.exe beside the setup must never be the one that
// runs). InstallHinfSection takes the rest of its command line as the file's
// path, quotes and blanks included, so that path stays unquoted.
std::string FlashInfCommand(const std::string& tempPath, const std::string& infFile);

// The registration step: the registrar from our temporary folder (ends in
// '\') registers the control the first step put below the system directory.
// Both paths are quoted, so a blank in them cannot start another program.
std::string FlashRegistrationCommand(const std::string& tempPath, const std::string& registrar,
                                     const std::string& systemDirectory,
                                     const std::string& control);
