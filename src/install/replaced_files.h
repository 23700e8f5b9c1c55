// The installed files a patch or an installation replaces or adds, each step written into the
// journal before it is taken: a replaced file keeps a second name in the work
// folder until the patch has committed, so that a patch that fails, is
// cancelled or is cut off can be undone (install/journal_recovery.h).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "install/created_folders.h"
#include "install/journal_file.h"

class OutputFile;

// Writes further files into the staging folder (ending in '\\') and adds
// their names, relative to the product folder.
using StagedFiles =
    std::function<void(const std::string& staging, std::vector<std::string>& names)>;

class ReplacedFiles {
public:
  // installPath: the product folder (ending in a backslash); the backups go
  // to the journal's work folder in it.
  ReplacedFiles(std::string installPath, JournalFile& journal)
      : m_strInstallPath(std::move(installPath)), m_journal(journal) {}

  // What stands where the patch writes: nothing yet, a file it replaces, or
  // something it must not replace (a folder, a read-only file, or a path
  // that cannot be looked at).
  enum class Found { Nothing, File, Refused };
  static Found Inspect(const std::string& target);

  // Every installed file that writing these entries replaces must be free
  // before the first byte is written (WaitUntilFilesAreFree).
  static bool AreFree(HWND owner, const char* caption, const std::string& installPath,
                      const std::vector<std::string>& names);

  // Journals, with one flush, every step that writing these entries (names
  // relative to the product folder, in the order they will be written) is
  // to take: their new folders, new files and replacements with their
  // backups. A step planned but not taken is nothing to undo.
  bool Plan(const std::vector<std::string>& names);

  // The file `name` (relative to the product folder), which is not there, is
  // about to be made: the roll-back removes it. False when the journal
  // cannot say so (unless planned, it is journaled now).
  bool AddNew(const std::string& name);

  // Opens the file the entry `name` is written to, flushed when it is
  // closed: where nothing stands yet, the file itself (journaled as new);
  // where an installed file stands, its successor in `staging` (with its
  // folders), which Replace puts in place once it is complete. Failed: the
  // target cannot be written (nothing was made); StagingFailed: the staged
  // file cannot be made.
  enum class Opened { InPlace, Staged, Failed, StagingFailed };
  Opened Open(const std::string& name, const std::string& staging, OutputFile& file);

  // Puts the complete file `staged`, queued for its flush just before, in
  // place of the installed `name` and keeps the old one: on the flush queue,
  // once the file is on disk (install/flush_queue.h). False when it cannot
  // be journaled or a queued step failed; the roll-back then still returns
  // the old file wherever it went.
  bool Replace(const std::string& name, const std::string& staged);

  // The files `write` stages, each flushed and put in place through the
  // journal: new where nothing stands, else replacing the installed one.
  bool PlaceStaged(const StagedFiles& write, const std::string& staging);

  JournalFile& Journal() { return m_journal; }

private:
  // A fresh backup name, relative to the product folder (JournalBackupName).
  std::string NextBackupName();

  std::string m_strInstallPath;
  JournalFile& m_journal;
  // Folders inside the staging folder: it goes as a whole.
  CreatedFolders m_stagingFolders;
  std::map<std::string, std::string> m_planned; // name -> backup; empty: a new file
  unsigned m_nBackups = 0;
  unsigned m_nReplaced = 0;
};
