// The installed files a patch replaces, kept until the patch has finished so
// that a patch that fails or is cancelled leaves the old version as it was.
#pragma once

#include <string>
#include <vector>

class ReplacedFiles {
public:
  // backupFolder: a folder of our own (ending in a backslash) on which the
  // replaced files wait; a rename when it lies on their volume.
  explicit ReplacedFiles(std::string backupFolder) : m_strFolder(std::move(backupFolder)) {}

  // Call before target is written. An existing file is moved into the backup
  // folder; a missing one is remembered as new. False when target cannot be
  // replaced: a folder, a read-only file, or a file that cannot be moved.
  bool SetAside(const std::string& target);

  // Puts the old version back, newest first: new files are removed and the
  // replaced ones return. False when a file could not be returned; it then
  // stays in the backup folder (named in the log).
  bool RollBack();

  // The patch is complete: the replaced files are deleted.
  void Discard();

private:
  struct Record {
    std::string target;
    std::string backup; // empty: target was new
  };
  std::vector<Record> m_records;
  std::string m_strFolder;
};
