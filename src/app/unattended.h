// Unattended runs: the program's few switches, the exit code an
// administrator's tool reads, and the questions and failures of the wizards,
// which a silent run answers or records without a window.
//
//   /S                  no window at all
//   /D=<folder>         the installer's target; last, unquoted, may hold blanks
//   /_?=<path>          (internal) the uninstaller's copy in TEMP: the path of
//                       the uninstaller it was started for; last, unquoted
#pragma once

#include <windows.h>

#include <string>

enum ExitCode {
  kExitDone = 0,
  kExitRefused = 1, // refused before anything was written
  kExitFailed = 2,  // failed; what was done is undone as on a cancel
  kExitRestart = 3, // done, a restart finishes the work
};

struct CommandLine {
  bool silent = false;
  bool hasTarget = false;
  std::string target;          // /D=
  std::string uninstallOrigin; // /_?=
  std::string unknown;         // the first argument that is none of these; empty: none
};

// Splits the arguments behind the program's name (as GetCommandLineA has it).
CommandLine ParseCommandLine(const char* commandLine);

// The arguments of this process; parsed once.
const CommandLine& TheCommandLine();
bool IsSilent();

// The code the process ends with. The first refusal or failure stays; a
// restart needed replaces only "done".
int GetExitCode();
void SetExitCode(int code);

// A question or note of a wizard: shown, or in a silent run answered with
// silentAnswer without a window (and logged).
int AskUser(HWND owner, const std::string& text, const char* caption, UINT type, int silentAnswer);
// A failure that ends the work: shown, or in a silent run logged. Either
// way the exit code becomes `code`.
void ReportFailure(HWND owner, const std::string& text, const char* caption, UINT type,
                   int code = kExitFailed);
