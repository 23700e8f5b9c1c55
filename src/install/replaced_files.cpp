#include "install/replaced_files.h"

#include <windows.h>

#include "app/cut_point.h"
#include "archive/format/update_journal.h"
#include "install/file_streams.h"
#include "install/files_in_use.h"
#include "install/flush_queue.h"

namespace {

// The installed file's replacement, taken on the flush queue once the staged
// file is on disk.
class ReplaceStep final : public QueuedStep {
public:
  ReplaceStep(std::string target, std::string backup, std::string staged, unsigned n)
      : m_strTarget(std::move(target)), m_strBackup(std::move(backup)),
        m_strStaged(std::move(staged)), m_n(n) {}
  bool Take() override;

private:
  std::string m_strTarget, m_strBackup, m_strStaged;
  unsigned m_n; // the how-many-th replacement, for the tests' cut point
};

bool ReplaceStep::Take() {
  const char *target = m_strTarget.c_str(), *backup = m_strBackup.c_str(),
             *staged = m_strStaged.c_str();
  // The old file keeps a second name in the backup folder and the new one is
  // renamed over the installed name, which so never goes missing: two cheap
  // steps, and no file is copied (the work folder is on the product's
  // volume). Never a copy: a copy cut off is a torn file.
  if (CreateHardLinkA(backup, target, nullptr)) {
    CutPoint("link", m_n);
    if (MoveFileExA(staged, target, MOVEFILE_REPLACE_EXISTING | MoveWriteThrough())) return true;
    // The installed file is in use, say: the second name goes again.
    if (!DeleteFileA(backup)) return false;
  }
  // No hard links here (a FAT drive), or a file in use that may be renamed
  // but not replaced: it moves aside.
  return MoveFileExA(target, backup, MoveWriteThrough()) &&
         MoveFileExA(staged, target, MoveWriteThrough());
}

// A staged file where nothing stood: renamed into place once it is on disk.
class PlaceNewStep final : public QueuedStep {
public:
  PlaceNewStep(std::string staged, std::string target)
      : m_strStaged(std::move(staged)), m_strTarget(std::move(target)) {}
  bool Take() override {
    return MoveFileExA(m_strStaged.c_str(), m_strTarget.c_str(), MoveWriteThrough()) != FALSE;
  }

private:
  std::string m_strStaged, m_strTarget;
};

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

bool ReplacedFiles::AreFree(HWND owner, const char* caption, const std::string& installPath,
                            const std::vector<std::string>& names) {
  std::vector<std::string> replaced;
  for (const std::string& name : names)
    if (Inspect(installPath + name) == Found::File) replaced.push_back(installPath + name);
  return WaitUntilFilesAreFree(owner, caption, replaced);
}

bool ReplacedFiles::Plan(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (!m_journal.FoldersOf(name, false)) return false;
    switch (Inspect(m_strInstallPath + name)) {
    case Found::Nothing:
      m_planned[name].clear();
      if (!m_journal.Step(archive::JournalKind::NewFile, name, {}, false)) return false;
      break;
    case Found::File: {
      const std::string backup = NextBackupName();
      if (backup.empty() || !m_journal.Step(archive::JournalKind::Replace, name, backup, false))
        return false;
      m_planned[name] = backup;
      break;
    }
    case Found::Refused:
      break; // the entry fails when it comes
    }
  }
  return m_journal.Flush();
}

bool ReplacedFiles::AddNew(const std::string& name) {
  auto planned = m_planned.find(name);
  if (planned != m_planned.end() && planned->second.empty()) return true;
  return m_journal.FoldersOf(name) && m_journal.Step(archive::JournalKind::NewFile, name);
}

ReplacedFiles::Opened ReplacedFiles::Open(const std::string& name, const std::string& staging,
                                          OutputFile& file) {
  switch (Inspect(m_strInstallPath + name)) {
  case Found::Nothing:
    // Only a file made here is ever removed again.
    if (!AddNew(name) || !file.Create(m_strInstallPath + name, CREATE_NEW)) return Opened::Failed;
    file.FlushOnClose();
    return Opened::InPlace;
  case Found::File:
    if (!m_stagingFolders.CreateFoldersOf(staging, name) ||
        !file.Create(staging + name, CREATE_ALWAYS))
      return Opened::StagingFailed;
    file.FlushOnClose();
    return Opened::Staged;
  case Found::Refused:
    break;
  }
  return Opened::Failed;
}

std::string ReplacedFiles::NextBackupName() {
  return JournalBackupName(m_strInstallPath, m_nBackups++);
}

bool ReplacedFiles::Replace(const std::string& name, const std::string& staged) {
  auto planned = m_planned.find(name);
  const bool wasPlanned = planned != m_planned.end() && !planned->second.empty();
  const std::string relative = wasPlanned ? planned->second : NextBackupName();
  // A step that failed in the background fails the patch here already.
  if (relative.empty() || !QueueSound() ||
      (!wasPlanned && !m_journal.Step(archive::JournalKind::Replace, name, relative)))
    return false;
  QueueStep(new ReplaceStep(m_strInstallPath + name, m_strInstallPath + relative, staged,
                            ++m_nReplaced));
  return true;
}

bool ReplacedFiles::PlaceStaged(const StagedFiles& write, const std::string& staging) {
  if (!write) return true;
  std::vector<std::string> names;
  write(staging, names);
  for (const std::string& name : names) {
    const std::string staged = staging + name, target = m_strInstallPath + name;
    // The staged file is held by the flush queue until it is on disk: its
    // rename into place follows there.
    if (!FlushFile(staged)) return false;
    if (Inspect(target) != Found::Nothing) {
      if (!Replace(name, staged)) return false;
    } else {
      if (!AddNew(name)) return false;
      QueueStep(new PlaceNewStep(staged, target));
    }
  }
  return true;
}
