// The installed files a patch replaces, kept until the patch has finished so
// that a patch that fails or is cancelled leaves the old version as it was.
#pragma once

#include <string>
#include <vector>

class ReplacedFiles {
public:
  // backupFolder: a folder of our own (ending in a backslash) on which the
  // replaced files wait, on the volume of the installation when it can be.
  explicit ReplacedFiles(std::string backupFolder) : m_strFolder(std::move(backupFolder)) {}

  // What stands where the patch writes: nothing yet, a file it replaces, or
  // something it must not replace (a folder, a read-only file, or a path
  // that cannot be looked at).
  enum class Found { Nothing, File, Refused };
  static Found Inspect(const std::string& target);

  // target did not exist and has been created by the patch: the roll-back
  // removes it.
  void AddNew(const std::string& target);

  // Puts the complete file `staged` in place of the installed target and
  // keeps the old one. False when that cannot be done; the roll-back then
  // still returns the old file wherever it went.
  bool Replace(const std::string& target, const std::string& staged);

  // Puts the old version back, newest first: new files are removed and the
  // replaced ones return. False when a file could not be returned; it then
  // stays in the backup folder (named in the log).
  bool RollBack();

  // The patch is complete: the replaced files are deleted.
  void Discard();

private:
  // A fresh name in the backup folder, in sub-folders of a few dozen files:
  // a name looked up in a folder of thousands costs a scan of it on some
  // file systems (Wine's case-insensitive lookup).
  std::string NextBackupName();

  struct Record {
    std::string target;
    std::string backup; // empty: target was new
  };
  std::vector<Record> m_records;
  std::string m_strFolder;
  unsigned m_nBackups = 0;
};
