// Writing the payload of the archive into the installation directory: the
// folders, the decoded entries, the plug-in files in the temporary folder,
// the "Reg" files in their sub-folder, the log lines and the failure
// messages of the setup wizard's install page.
#pragma once

#include <cstdint>
#include <string>

#include "archive/trailer.h"

class CWnd;
class CStatic;
class CProgressCtrl;

struct InstallRequest {
  std::string programPath; // program file carrying the archive, as messages name it
  const archive::ArchiveTrailer*
      trailer;             // validated trailer (entries, dataStart, plug-in and Reg names)
  uint64_t streamLength;   // layout.StreamLength(): from dataStart to the trailer region
  std::string tempPath;    // private temporary folder, ends in '\'
  std::string installPath; // target directory, ends in '\'
  std::string caption;     // caption of the failure messages
  CWnd* owner;             // owner of message boxes
  CStatic* statusText;     // text 11 goes here
  CProgressCtrl* progress;
  std::wstring programFile = {}; // the program file, opened through the wide API;
                                 // when empty, programPath is opened
};

enum class InstallResult { Completed, Cancelled, Failed };

// What an installation came to; on failure the text of its message box.
struct InstallOutcome {
  InstallResult result = InstallResult::Completed;
  std::string message;
};

// The installation without the message box: the tests' entry point.
InstallOutcome RunPayloadInstallation(const InstallRequest& request);

// On failure it has shown string 1 or 12 itself (caption, stop icon); the
// caller ends the dialog with -1. A cancel returns silently.
InstallResult InstallPayload(const InstallRequest& request);
