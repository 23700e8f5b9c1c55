#include "patch/patch_payload.h"

#include <windows.h>

#include <mbstring.h>

#include "app/cancel.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "framework/controls.h"
#include "framework/format.h"
#include "install/created_folders.h"
#include "install/decode_progress.h"
#include "install/entry_splitter.h"
#include "install/temp_folder.h"
#include "patch/replaced_files.h"
#include "res/resource.h"

namespace {

// Where each entry of a patch goes: a file that is new is written in place
// and removed by a roll-back; a file that is installed already is written
// into the staging folder and then put in its place, the old one kept aside.
class PatchPolicy final : public EntryPolicy {
public:
  PatchPolicy(const InstallRequest& request, ReplacedFiles& replaced, CreatedFolders& folders)
      : m_request(request), m_entries(request.trailer->entries), m_replaced(replaced),
        m_folders(folders) {}

  bool OpenEntry(size_t index, OutputFile& file) override;
  bool EntryWritten(size_t index) override;
  void EntryAbandoned(size_t index) override;
  void WriteFailed(size_t) override { InstallLog("Unable to write file"); }

private:
  void LogCopy() const {
    InstallLog("Copying File [%s] to [%s]", m_staged.c_str(), m_target.c_str());
  }

  const InstallRequest& m_request;
  const std::vector<archive::ArchiveEntry>& m_entries;
  ReplacedFiles& m_replaced;
  CreatedFolders& m_folders;
  // Folders inside the staging folder: it goes as a whole.
  CreatedFolders m_stagingFolders;
  bool m_bNew = false;
  std::string m_staged; // staging folder + N
  std::string m_target; // installPath + N
};

bool PatchPolicy::OpenEntry(size_t index, OutputFile& file) {
  const archive::ArchiveEntry& entry = m_entries[index];
  m_staged = m_request.tempPath + entry.name;
  m_target = m_request.installPath + entry.name;
  InstallLog("Copying File [%s] [%u]", m_staged.c_str(), unsigned(entry.size));

  if (!m_folders.CreateFoldersOf(m_request.installPath, entry.name)) {
    // As a failed copy into the installation.
    LogCopy();
    return false;
  }
  switch (ReplacedFiles::Inspect(m_target)) {
  case ReplacedFiles::Found::Nothing:
    m_bNew = true;
    // Only a file made here is ever removed again.
    if (file.Create(m_target, CREATE_NEW)) {
      m_replaced.AddNew(m_target);
      return true;
    }
    LogCopy();
    return false;
  case ReplacedFiles::Found::File:
    m_bNew = false;
    if (m_stagingFolders.CreateFoldersOf(m_request.tempPath, entry.name) &&
        file.Create(m_staged, CREATE_ALWAYS))
      return true;
    InstallLog("Unable to create file");
    return false;
  case ReplacedFiles::Found::Refused:
    break;
  }
  LogCopy();
  return false;
}

bool PatchPolicy::EntryWritten(size_t) {
  LogCopy();
  return m_bNew || m_replaced.Replace(m_target, m_staged);
}

void PatchPolicy::EntryAbandoned(size_t) {
  // The installed file is untouched until its successor is complete; a new
  // one goes with the roll-back.
  if (!m_bNew) DeleteFileA(m_staged.c_str());
}

bool StartsWithFolder(const std::string& name, const std::string& folder) {
  return name.size() > folder.size() &&
         (name[folder.size()] == '\\' || name[folder.size()] == '/') &&
         _mbsnbicmp(reinterpret_cast<const unsigned char*>(name.c_str()),
                    reinterpret_cast<const unsigned char*>(folder.c_str()), folder.size()) == 0;
}

// A folder of our own for the patch's work, ending in a backslash: inside the
// installation, so that files are renamed on its volume and new files take
// its permissions; in the temporary directory when the installation allows
// no folder. No entry of the patch may lie inside it.
std::string CreateWorkFolder(const InstallRequest& request) {
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    std::string name =
        FormatString("TVP%05lX.tmp", static_cast<unsigned long>((seed + attempt) & 0xFFFFF));
    bool taken = false;
    for (const auto& entry : request.trailer->entries) taken |= StartsWithFolder(entry.name, name);
    std::string path = request.installPath + name;
    if (taken || path.size() + 1 >= MAX_PATH) continue;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return CreatePrivateTempFolder();
}

InstallOutcome Cancelled() {
  InstallOutcome outcome;
  outcome.result = InstallResult::Cancelled;
  return outcome;
}

} // namespace

InstallOutcome RunPayloadPatch(const InstallRequest& request) {
  InstallOutcome outcome = CheckEntryNames(request);
  if (outcome.result != InstallResult::Completed) return outcome;
  if (request.progress) {
    request.progress->SetRange(0, DecodeProgress::kRange);
    request.progress->SetPos(0);
  }
  // A damaged stream leaves the installation untouched.
  outcome = CheckPayload(request);
  if (outcome.result != InstallResult::Completed) return outcome;
  if (g_bCancel) return Cancelled();

  const std::string work = CreateWorkFolder(request);
  if (work.empty() || (!CreateDirectoryA((work + "new").c_str(), nullptr)) ||
      !CreateDirectoryA((work + "old").c_str(), nullptr)) {
    if (!work.empty()) RemoveFolderTree(work);
    outcome.result = g_bCancel ? InstallResult::Cancelled : InstallResult::Failed;
    if (!g_bCancel) outcome.message = LoadFormatted(IDS_OPEN_FAILED, request.installPath.c_str());
    return outcome;
  }
  InstallRequest patch = request;
  patch.tempPath = work + "new\\";
  ReplacedFiles replaced(work + "old\\");
  CreatedFolders folders;
  PatchPolicy policy(patch, replaced, folders);
  outcome = WritePayload(patch, policy);

  bool keepWork = false;
  if (outcome.result == InstallResult::Completed) {
    replaced.Discard();
    RecordWritten(request, folders.Created(), false);
  } else {
    keepWork = !replaced.RollBack(); // what could not be returned stays there
    folders.RemoveEmpty();
  }
  if (!keepWork) RemoveFolderTree(work);
  return outcome;
}
