// The journal of a change to an installed product, as it is written: every
// record appended and on disk (FlushFileBuffers) before the step it names
// (archive/format/update_journal.h has the format). It lies in the work folder
// inside the product's folder, at a fixed name the product key leads to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "archive/format/update_journal.h"

class JournalFile;

// "<product folder>TVPJOURN.tmp\" and the journal in it.
std::string JournalWorkFolder(const std::string& installPath);
std::string JournalPath(const std::string& installPath);

// The n-th backup's name, relative to the product folder: "old\<n/64>\<n>.old"
// in the work folder, in sub-folders of a few dozen files (a name looked up
// in a folder of thousands costs a scan of it on some file systems). The
// sub-folder is made with its first name; empty when it cannot be.
std::string JournalBackupName(const std::string& installPath, unsigned n);

// Makes the work folder (with "new" for staged files and "old" for
// backups) and begins its journal; refused when an entry of the run would
// lie in the work folder or its paths would grow too long. A journal that
// was begun is left open for the caller to undo (UndoOwnRun).
bool BeginWork(JournalFile& journal, const std::string& installPath,
               const std::vector<std::string>& names, archive::JournalOperation operation,
               uint32_t fromRelease, uint32_t toRelease);

// A file's data forced onto the disk.
bool FlushHandle(HANDLE file);
// The same on the flush queue, before the step queued next (its rename into
// place); false when the file cannot be opened.
bool FlushFile(const std::string& path);
// The flag for a rename that is on disk when it returns
// (MOVEFILE_WRITE_THROUGH).
DWORD MoveWriteThrough();

class JournalFile {
public:
  JournalFile() = default;
  ~JournalFile() { Close(); }
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Makes the work folder (it must not exist) and the journal in it with
  // its first record. False, with nothing made, when that cannot be done.
  bool Begin(const std::string& installPath, archive::JournalOperation operation,
             uint32_t fromRelease, uint32_t toRelease);
  // Each on disk before it returns, unless `flush` is false: then it is
  // held until the next Flush (a plan of many steps written with one flush,
  // before the first of them is taken).
  bool Step(archive::JournalKind kind, const std::string& path, const std::string& backup = {},
            bool flush = true);
  // The folders of `name` that are not there yet, about to be made.
  bool FoldersOf(const std::string& name, bool flush = true);
  bool Flush();
  // Waits for every step on the flush queue first: false, and no commit,
  // when one failed.
  bool Commit();
  // Waits for the flush queue (a roll-back must not race its steps) and
  // closes the journal; it stays on disk.
  void Close();
  bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

private:
  bool Append(const std::vector<uint8_t>& bytes, bool flush);

  std::vector<uint8_t> m_pending; // appended, not yet written
  HANDLE m_hFile = INVALID_HANDLE_VALUE;
  std::string m_strInstallPath;
  std::string m_strLastFolder; // the folder of the last name whose folders were noted
};
