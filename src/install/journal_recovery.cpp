#include "install/journal_recovery.h"

#include <windows.h>

#include "app/install_log.h"
#include "app/registry.h"
#include "archive/format/update_journal.h"
#include "install/journal_file.h"
#include "install/journal_place.h"
#include "install/product_key.h"
#include "install/temp_folder.h"

namespace {

// A journal is a few hundred bytes a file.
constexpr DWORD kMaxJournalSize = 64u << 20;

enum class Read { Missing, Sound, Damaged };

Read ReadJournalFile(const std::string& path, archive::Journal& journal, bool& began,
                     std::string& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD why = GetLastError();
    if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) return Read::Missing;
    error = "the journal cannot be opened";
    return Read::Damaged;
  }
  std::vector<uint8_t> bytes;
  LARGE_INTEGER size;
  bool read = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxJournalSize;
  if (read) {
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    read = bytes.empty() || (ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) &&
                             got == bytes.size());
  }
  CloseHandle(file);
  if (!read) {
    error = "the journal cannot be read";
    return Read::Damaged;
  }
  return archive::ReadJournal(bytes.data(), bytes.size(), journal, began, error) ? Read::Sound
                                                                                 : Read::Damaged;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Newest step first. A file that cannot be put back or removed now waits
// for the next restart; false then.
bool UndoSteps(const std::string& installPath, const archive::Journal& journal) {
  bool complete = true;
  for (auto step = journal.steps.rbegin(); step != journal.steps.rend(); ++step) {
    const std::string target = installPath + step->path;
    switch (step->kind) {
    case archive::JournalKind::Replace: {
      // No backup: the file was never touched, or is back already.
      const std::string backup = installPath + step->backup;
      if (!Exists(backup)) break;
      InstallLog("Restoring File [%s]", target.c_str());
      if (MoveFileExA(backup.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MoveWriteThrough()))
        break;
      InstallLog("Unable to restore file [%s] from [%s]", target.c_str(), backup.c_str());
      MoveFileExA(backup.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
      complete = false;
      break;
    }
    case archive::JournalKind::NewFile:
      if (!Exists(target)) break;
      InstallLog("Removing File [%s]", target.c_str());
      if (DeleteFileA(target.c_str())) break;
      InstallLog("Unable to remove file [%s]", target.c_str());
      MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      complete = false;
      break;
    case archive::JournalKind::NewFolder:
      if (RemoveDirectoryA(target.c_str())) InstallLog("Removing Directory [%s]", target.c_str());
      break;
    default:
      break;
    }
  }
  return complete;
}

} // namespace

// The journal goes first, then the folder with the backups: a cut between
// leaves a work folder without a journal, which the next start removes.
void RemoveJournalWork(const std::string& installPath) {
  DeleteFileA(JournalPath(installPath).c_str());
  RemoveFolderTree(JournalWorkFolder(installPath));
}

Recovery RecoverInterruptedRun(const std::string& installPath, const std::string& productName) {
  if (installPath.empty() || !Exists(JournalWorkFolder(installPath))) return Recovery::Nothing;
  archive::Journal journal;
  bool began = false;
  std::string error;
  switch (ReadJournalFile(JournalPath(installPath), journal, began, error)) {
  case Read::Damaged:
    InstallLog("Damaged journal [%s] [%s]", JournalPath(installPath).c_str(), error.c_str());
    return Recovery::Damaged;
  case Read::Missing:
    began = false;
    break;
  case Read::Sound:
    break;
  }
  if (!began) {
    // Cut before its first change, or after its last: only the folder is left.
    RemoveJournalWork(installPath);
    return Recovery::Nothing;
  }
  if (journal.committed) {
    if (journal.operation == archive::JournalOperation::Patch)
      FinishCommittedPatch(installPath, productName, journal.toRelease);
    else
      RemoveJournalWork(installPath);
    InstallLog("Interrupted update finished [%s]", installPath.c_str());
    return Recovery::Finished;
  }
  InstallLog("Undoing interrupted update [%s]", installPath.c_str());
  if (!UndoSteps(installPath, journal)) {
    InstallLog("Interrupted update is undone at the next restart [%s]", installPath.c_str());
    return Recovery::RestartNeeded;
  }
  RemoveJournalWork(installPath);
  InstallLog("Interrupted update undone [%s]", installPath.c_str());
  return Recovery::Undone;
}

void FinishCommittedPatch(const std::string& installPath, const std::string& productName,
                          uint32_t toRelease) {
  WriteRegistryDword(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), "Version", toRelease);
  FlushProductKey(productName);
  RemoveJournalWork(installPath);
}

bool UndoOwnRun(const std::string& installPath) {
  archive::Journal journal;
  bool began = false;
  std::string error;
  switch (ReadJournalFile(JournalPath(installPath), journal, began, error)) {
  case Read::Missing:
    return true;
  case Read::Damaged:
    InstallLog("Damaged journal [%s] [%s]", JournalPath(installPath).c_str(), error.c_str());
    return false;
  case Read::Sound:
    break;
  }
  if (!UndoSteps(installPath, journal)) return false;
  RemoveJournalWork(installPath);
  return true;
}
