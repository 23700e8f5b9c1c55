#pragma once

#include <windows.h>

#include <string>

// Starts a command line as it is (nothing is quoted here), for a 64-bit
// product from the 64-bit system folder (see NativeFileSystem). Without noWait it
// waits for the process to end, then a further second. True when the process
// was started and, when waiting, its exit code could be read.
bool RunProcess(const char* commandLine, bool noWait);

// The same for a program that needs administrator rights when we run
// without them: Windows is asked for them for this one process
// (ShellExecuteEx, verb "runas"), and we wait for its end as RunProcess does.
// False when it did not start, also when the user declined. `owner` is the
// window the consent prompt belongs to.
bool RunProcessElevated(HWND owner, const std::string& commandLine);

// A program of the system folder by its full path, quoted, for the head of a
// command line: "C:\Windows\system32\rundll32.exe". A bare name would be
// looked up in the setup's own folder first, a Downloads folder where anyone
// may have put a program of that name; it would run with our rights.
std::string SystemProgram(const char* fileName);

// The command line with its program named by its full path. A program given
// with a folder (quoted or not) stays as it is; a bare name is looked for in
// the system folder, the Windows folder and the absolute folders of PATH, in
// this order, never in our own folder or the current one, and the path found
// is put in quotes. Empty when none of them holds it.
std::string QualifyCommandProgram(const std::string& command);

// Opens directory + fileName with the program registered for the name's
// extension, which runs from the first "." of the name ("readme.old.txt" is
// looked up as ".old.txt"). Does not wait. False when the name has no
// extension, the type or its open command is not registered, the program is
// a bare name found in no folder of the system's, or it does not start.
bool OpenWithRegisteredProgram(const char* directory, const char* fileName);
