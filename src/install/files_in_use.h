// Files another program holds open, found before a run writes a byte: each
// file it will replace or delete must open for writing and deleting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The first of these files that another program holds so that it cannot be
// replaced now; empty when none.
std::string FirstFileInUse(const std::vector<std::string>& paths);

// The name of the program that holds the file, when Windows' Restart Manager
// (Vista and later) can tell; empty otherwise.
std::string ProgramHolding(const std::string& path);

// Until every file is free: the user is asked to close the program
// ("Wiederholen", "Abbrechen"); a silent run tries again for a few seconds.
// False when the user cancelled or the time ran out; nothing is written.
bool WaitUntilFilesAreFree(HWND owner, const char* caption, const std::vector<std::string>& paths);
