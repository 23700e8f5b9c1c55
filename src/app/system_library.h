// Where the program takes its DLLs from. It runs elevated, usually from a
// Downloads folder that anyone can write to, so no DLL may ever come from its
// own folder or the current one: the search is narrowed to the system
// folder before anything else runs, and the DLLs that system components load
// later by name are loaded from the system folder first.
#pragma once

#include <windows.h>

// Narrows the DLL search of the process to the system folder where Windows
// can (SetDefaultDllDirectories), else takes the current folder out of it
// (SetDllDirectoryA("")). Both are looked up at run time: Windows XP and
// Vista without updates lack the first, XP before SP1 the second. Uses
// nothing but kernel32, so it may run before the C runtime is set up.
void RestrictDllSearch();

// Loads every DLL of the list below from the system folder; the ones this
// Windows lacks are skipped. Once loaded, a later load by name finds these
// and never looks at the program's folder.
void PreloadSystemLibraries();

// The system folder's copy of a DLL (name without folder, "version.dll"),
// loaded by its full path; null when there is none.
HMODULE LoadSystemLibrary(const char* name);

// The names PreloadSystemLibraries loads; for the tests.
extern const char* const kPreloadedLibraries[];
extern const unsigned kPreloadedLibraryCount;
