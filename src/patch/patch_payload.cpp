#include "patch/patch_payload.h"

#include <windows.h>

#include <optional>

#include "app/cancel.h"
#include "app/cut_point.h"
#include "app/install_log.h"
#include "app/unattended.h"
#include "app/load_formatted.h"
#include "framework/controls.h"
#include "framework/format.h"
#include "install/created_folders.h"
#include "install/decode_progress.h"
#include "install/entry_splitter.h"
#include "install/journal_file.h"
#include "install/journal_recovery.h"
#include "install/product_key.h"
#include "install/replaced_files.h"
#include "install/temp_folder.h"
#include "patch/delta_entries.h"
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
  // A delta is decoded against the installed file into the staged one.
  EntryDecoder* DecoderFor(size_t index, archive::ByteSink& file) override;

private:
  void LogCopy() const {
    InstallLog("Copying File [%s] to [%s]", m_staged.c_str(), m_target.c_str());
  }

  const InstallRequest& m_request;
  const std::vector<archive::ArchiveEntry>& m_entries;
  ReplacedFiles& m_replaced;
  CreatedFolders& m_folders;
  bool m_bNew = false;
  std::optional<DeltaEntryDecoder> m_decoder; // the entry's, when it is a delta
  std::string m_staged;                       // staging folder + N
  std::string m_target;                       // installPath + N
  std::string m_name;                         // N
  unsigned m_nWritten = 0;
};

bool PatchPolicy::OpenEntry(size_t index, OutputFile& file) {
  const archive::ArchiveEntry& entry = m_entries[index];
  m_staged = m_request.tempPath + entry.name;
  m_target = m_request.installPath + entry.name;
  m_name = entry.name;
  InstallLog("Copying File [%s] [%u]", m_staged.c_str(), unsigned(entry.size));

  // Its folders and the file itself are in the journal's plan. A delta
  // needs its installed file; the checks saw it a moment ago.
  if (!m_folders.CreateFoldersOf(m_request.installPath, entry.name) ||
      (archive::FindDelta(m_request.trailer->extension.deltas, index) &&
       ReplacedFiles::Inspect(m_target) != ReplacedFiles::Found::File)) {
    // As a failed copy into the installation.
    LogCopy();
    return false;
  }
  switch (m_replaced.Open(entry.name, m_request.tempPath, file)) {
  case ReplacedFiles::Opened::InPlace:
    m_bNew = true;
    return true;
  case ReplacedFiles::Opened::Staged:
    m_bNew = false;
    return true;
  case ReplacedFiles::Opened::StagingFailed:
    m_bNew = false;
    InstallLog("Unable to create file");
    return false;
  case ReplacedFiles::Opened::Failed:
    break;
  }
  m_bNew = true;
  LogCopy();
  return false;
}

EntryDecoder* PatchPolicy::DecoderFor(size_t index, archive::ByteSink& file) {
  const archive::DeltaRecord* record =
      archive::FindDelta(m_request.trailer->extension.deltas, index);
  if (!record) return nullptr;
  m_decoder.emplace(*record, m_target, &file);
  return &*m_decoder;
}

bool PatchPolicy::EntryWritten(size_t) {
  // The installed file is no longer mapped when it is replaced.
  m_decoder.reset();
  LogCopy();
  if (!m_bNew && !m_replaced.Replace(m_name, m_staged)) return false;
  CutPoint("entry", ++m_nWritten);
  return true;
}

void PatchPolicy::EntryAbandoned(size_t) {
  m_decoder.reset();
  // The installed file is untouched until its successor is complete; a new
  // one goes with the roll-back.
  if (!m_bNew) DeleteFileA(m_staged.c_str());
}

InstallOutcome Cancelled() {
  InstallOutcome outcome;
  outcome.result = InstallResult::Cancelled;
  return outcome;
}

} // namespace

InstallOutcome RunPayloadPatch(const InstallRequest& request, const PatchRelease& release) {
  InstallOutcome outcome = CheckEntryNames(request);
  if (outcome.result != InstallResult::Completed) return outcome;
  if (request.progress) {
    request.progress->SetRange(0, DecodeProgress::kRange);
    request.progress->SetPos(0);
  }
  // A patch made for other files, or a damaged stream, leaves the
  // installation untouched.
  const bool deltas = !request.trailer->extension.deltas.empty();
  if (deltas) {
    outcome = CheckDeltaReferences(request);
    if (outcome.result != InstallResult::Completed) return outcome;
  }
  CutPoint("check");
  DeltaCheckPolicy checker(request);
  outcome = CheckPayload(request, deltas ? &checker : nullptr);
  if (outcome.result != InstallResult::Completed) return outcome;
  if (g_bCancel) return Cancelled();
  // Every file it replaces must be free before the first is written.
  std::vector<std::string> names;
  for (const auto& entry : request.trailer->entries) names.push_back(entry.name);
  if (!ReplacedFiles::AreFree(request.owner ? request.owner->m_hWnd : nullptr,
                              request.caption.c_str(), request.installPath, names)) {
    outcome.result = InstallResult::Refused; // no message: the user has seen the file named
    return outcome;
  }

  InstallRequest patch = request;
  patch.tempPath = JournalWorkFolder(request.installPath) + "new\\";
  JournalFile journal;
  ReplacedFiles replaced(request.installPath, journal);
  CreatedFolders folders;
  PatchPolicy policy(patch, replaced, folders);
  outcome = WriteJournaled(patch, names, archive::JournalOperation::Patch, release.fromRelease,
                           release.toRelease, false, release.extraFiles, replaced, policy, folders);
  if (outcome.result != InstallResult::Completed) return outcome;
  // Committed: the new release is recorded, then the backups go.
  FinishCommittedPatch(request.installPath, release.productName, release.toRelease);
  return outcome;
}
