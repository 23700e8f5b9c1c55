// Writing the payload of the archive into the installation directory: the
// folders, the decoded entries, the plug-in files in the temporary folder,
// the "Reg" files in their sub-folder, the log lines and the failure
// messages of the setup wizard's install page. The patch writes its entries
// through the same engine with a policy of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format/trailer.h"
#include "archive/format/update_journal.h"
#include "install/replaced_files.h"

class CWnd;
class CreatedFolders;
class EntryPolicy;
class CStatic;
class CProgressCtrl;

struct InstallRequest {
  std::string programPath; // program file carrying the archive, as messages name it
  const archive::ArchiveTrailer*
      trailer;             // validated trailer (entries, dataStart, plug-in and Reg names)
  uint64_t streamLength;   // layout.StreamLength(): from dataStart to the trailer region
  std::string tempPath;    // private temporary folder, ends in '\'
  std::string installPath; // target directory, ends in '\'; entries may lie in its sub-folders
  std::string caption;     // caption of the failure messages
  CWnd* owner;             // owner of message boxes
  CStatic* statusText;     // text 11 goes here
  CProgressCtrl* progress;
  std::wstring programFile = {}; // the program file, opened through the wide API;
                                 // when empty, programPath is opened
  // When set, a complete run adds to it the files it wrote and the folders
  // it made (for the built-in uninstaller).
  archive::UninstallList* record = nullptr;
  // An installation records in this product's key where its journal lies
  // while it runs (install/journal_place.h); none when empty.
  std::string productName = {};
  // Once every entry is in place and recorded, before the commit: writes
  // further files into the staging folder (ending in '\\') and adds their
  // names, relative to the installation; they are put in place through the
  // journal (the built-in uninstaller with this run's list so far).
  StagedFiles extraFiles = {};
};

// A request for the archive of this program's own file: its paths, the
// trailer and stream length read from it, the page's controls. The temporary
// folder is left to the caller.
InstallRequest OwnProgramRequest(const archive::ArchiveTrailer& trailer, uint64_t streamLength,
                                 const std::string& installPath, const std::string& caption,
                                 CWnd* owner, CStatic* statusText, CProgressCtrl* progress);

// Refused: a patch that was not made for the installed files; nothing is
// written, and the message is the refusal's.
enum class InstallResult { Completed, Cancelled, Failed, Refused };

// What an installation came to; on failure the text of its message box.
struct InstallOutcome {
  InstallResult result = InstallResult::Completed;
  std::string message;
  // A failure found before anything was written (a damaged archive): the
  // run ends as refused, not as failed.
  bool nothingWritten = false;
  // A journaled run that could not be undone whole: files wait for the
  // restart, and the journal stays for the next start.
  bool journalKept = false;
};

// The installation without the message box: the tests' entry point. Every
// step is journaled as the patch's are: a failure or a cancel leaves the
// target folder as it was, and a run cut off is undone by the next start
// until the journal's commit, which comes once every file is in place.
// Refused (no message): a file it replaces is in use, nothing is written.
InstallOutcome RunPayloadInstallation(const InstallRequest& request);

// On failure it has shown string 1 or 12 itself (caption, stop icon); the
// caller ends the dialog with -1. A cancel returns silently.
InstallResult InstallPayload(const InstallRequest& request);

// The engine's steps, shared with the patch. Each returns Completed or the
// outcome to report (string 1; a cancel returns Cancelled).
//
// Every entry name must be a safe relative path; nothing is written.
InstallOutcome CheckEntryNames(const InstallRequest& request);
// Decodes the whole stream without writing it (the first tenth of the bar):
// only a stream that decodes to exactly the entries' bytes may be written.
// With a checker, the entries go through it (a patch decodes its deltas and
// checks their results); it must write nothing.
InstallOutcome CheckPayload(const InstallRequest& request, EntryPolicy* checker = nullptr);
// Decodes the stream once more straight from the program file and hands each
// entry to the policy, in directory order (the rest of the bar). A failure of
// the policy is string 1 with the entry's name.
InstallOutcome WritePayload(const InstallRequest& request, EntryPolicy& policy);
// The journaled part of an installation or a patch, with the journal, the
// replaced files and the policy made for them: the work folder and the
// plan, the Reg folder (regRoutes), the entries, the record of what was
// written (RecordWritten), the files `extra` stages, the commit. On failure
// or cancel the run's own journal is undone before this returns; the
// journal and its work folder stay only after a commit (for the caller to
// finish) or when a file waits for the restart.
InstallOutcome WriteJournaled(const InstallRequest& request, const std::vector<std::string>& names,
                              archive::JournalOperation operation, uint32_t fromRelease,
                              uint32_t toRelease, bool regRoutes, const StagedFiles& extra,
                              ReplacedFiles& replaced, EntryPolicy& policy,
                              CreatedFolders& folders);

// Adds to request.record (when set) every entry where it was written (with
// Reg files in "Reg\" when regRoutes, plug-in files left out) and the
// folders made: those inside the installation folder by their relative
// names, the installation folder itself as such.
void RecordWritten(const InstallRequest& request, const std::vector<std::string>& createdFolders,
                   bool regRoutes);
