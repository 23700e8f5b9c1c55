#include "patch/replaced_files.h"

#include <windows.h>

#include "app/install_log.h"
#include "framework/format.h"

bool ReplacedFiles::SetAside(const std::string& target) {
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    m_records.push_back({target, {}});
    return true;
  }
  // A patch never replaces folders, and, as ever, not read-only files.
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
  std::string backup = m_strFolder + FormatString("%u.old", unsigned(m_records.size()));
  if (!MoveFileExA(target.c_str(), backup.c_str(), MOVEFILE_COPY_ALLOWED)) return false;
  m_records.push_back({target, backup});
  return true;
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
    DeleteFileA(target);
    if (!MoveFileExA(record->backup.c_str(), target, MOVEFILE_COPY_ALLOWED)) {
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
