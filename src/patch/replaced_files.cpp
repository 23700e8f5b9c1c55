#include "patch/replaced_files.h"

#include <windows.h>

#include "app/install_log.h"
#include "framework/format.h"

namespace {

constexpr unsigned kBackupsPerFolder = 64;

} // namespace

ReplacedFiles::Found ReplacedFiles::Inspect(const std::string& target) {
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Found::Nothing
                                                                          : Found::Refused;
  }
  // A patch never replaces folders, and, as ever, not read-only files.
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY) ? Found::Refused
                                                                           : Found::File;
}

void ReplacedFiles::AddNew(const std::string& target) { m_records.push_back({target, {}}); }

std::string ReplacedFiles::NextBackupName() {
  unsigned n = m_nBackups++;
  std::string folder = m_strFolder + FormatString("%u", n / kBackupsPerFolder);
  if (n % kBackupsPerFolder == 0 && !CreateDirectoryA(folder.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS)
    return {};
  return folder + FormatString("\\%u.old", n);
}

bool ReplacedFiles::Replace(const std::string& target, const std::string& staged) {
  std::string backup = NextBackupName();
  if (backup.empty()) return false;
  // The old file keeps a second name in the backup folder and the new one is
  // renamed over the installed name, which so never goes missing: two cheap
  // steps, and no file is copied.
  if (CreateHardLinkA(backup.c_str(), target.c_str(), nullptr)) {
    if (MoveFileExA(staged.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      m_records.push_back({target, backup});
      return true;
    }
    // The installed file is in use, say: the second name goes again.
    if (!DeleteFileA(backup.c_str()) && (backup = NextBackupName()).empty()) return false;
  }
  // No hard links here (another volume, a FAT drive), or a file in use that
  // may be renamed but not replaced: it moves aside.
  if (!MoveFileExA(target.c_str(), backup.c_str(), MOVEFILE_COPY_ALLOWED)) return false;
  m_records.push_back({target, backup});
  return MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool ReplacedFiles::RollBack() {
  bool complete = true;
  for (auto record = m_records.rbegin(); record != m_records.rend(); ++record) {
    const char* target = record->target.c_str();
    if (record->backup.empty()) {
      InstallLog("Removing File [%s]", target);
      DeleteFileA(target);
      continue;
    }
    InstallLog("Restoring File [%s]", target);
    if (!MoveFileExA(record->backup.c_str(), target,
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      InstallLog("Unable to restore file [%s] from [%s]", target, record->backup.c_str());
      complete = false;
    }
  }
  m_records.clear();
  return complete;
}

void ReplacedFiles::Discard() {
  for (const Record& record : m_records)
    if (!record.backup.empty()) DeleteFileA(record.backup.c_str());
  m_records.clear();
}
