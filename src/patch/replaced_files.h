// The installed files a patch replaces or adds, each step written into the
// journal before it is taken: a replaced file keeps a second name in the work
// folder until the patch has committed, so that a patch that fails, is
// cancelled or is cut off can be undone (install/journal_recovery.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "install/journal_file.h"

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

  // Journals, with one flush, every step that writing these entries (names
  // relative to the product folder, in the order they will be written) is
  // to take: their new folders, new files and replacements with their
  // backups. A step planned but not taken is nothing to undo.
  bool Plan(const std::vector<std::string>& names);

  // The file `name` (relative to the product folder), which is not there, is
  // about to be made: the roll-back removes it. False when the journal
  // cannot say so (unless planned, it is journaled now).
  bool AddNew(const std::string& name);

  // Puts the complete file `staged`, queued for its flush just before, in
  // place of the installed `name` and keeps the old one: on the flush queue,
  // once the file is on disk (install/flush_queue.h). False when it cannot
  // be journaled or a queued step failed; the roll-back then still returns
  // the old file wherever it went.
  bool Replace(const std::string& name, const std::string& staged);

private:
  // A fresh backup name, relative to the product folder, in sub-folders of a
  // few dozen files: a name looked up in a folder of thousands costs a scan
  // of it on some file systems (Wine's case-insensitive lookup).
  std::string NextBackupName();

  std::string m_strInstallPath;
  JournalFile& m_journal;
  std::map<std::string, std::string> m_planned; // name -> backup; empty: a new file
  unsigned m_nBackups = 0;
  unsigned m_nReplaced = 0;
};
