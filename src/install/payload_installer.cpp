#include "install/payload_installer.h"

#include <windows.h>

#include <mbstring.h>

#include <optional>

#include "app/cancel.h"
#include "app/cut_point.h"
#include "app/damaged_archive.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/unattended.h"
#include "archive/codec/decode_payload.h"
#include "framework/app.h"
#include "framework/controls.h"
#include "framework/file.h"
#include "install/created_folders.h"
#include "install/decode_progress.h"
#include "install/entry_splitter.h"
#include "install/file_streams.h"
#include "install/journal_file.h"
#include "install/journal_place.h"
#include "install/journal_recovery.h"
#include "install/product_key.h"
#include "install/replaced_files.h"
#include "res/resource.h"

namespace {

// Share of the bar given to checking the stream before anything is written;
// writing the files takes the rest.
constexpr int kCheckShare = 1000;

bool SameName(const std::string& a, const std::string& b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                  reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

// The plug-in's three files, which go to the temporary folder.
bool IsPluginEntry(const archive::ArchiveTrailer& t, const std::string& name) {
  return t.hasPlugin && (SameName(name, t.pluginInfFile) || SameName(name, t.pluginControlFile) ||
                         SameName(name, t.pluginRegistrar));
}

// The four Reg files, which go to the folder "Reg".
bool IsRegEntry(const archive::ArchiveTrailer& t, const std::string& name) {
  if (!t.hasRegFiles) return false;
  for (const auto& reg : t.regFiles)
    if (SameName(name, reg)) return true;
  return false;
}

// Counts the decoded bytes and forgets them.
class CountingSink final : public archive::ByteSink {
public:
  bool Write(const void*, size_t n) override {
    count += n;
    return true;
  }
  uint64_t count = 0;
};

// Where each entry goes on an installation. A new file is written straight
// into the target folder; a file that exists already is replaced only when
// its successor is complete, staged in the journal's work folder. Plug-in
// files stay in the temporary folder; Reg files go to the "Reg" sub-folder.
// An entry's folders are made just before it is written; every step is in
// the journal's plan.
class InstallPolicy final : public EntryPolicy {
public:
  // names: each entry's name relative to the target folder, empty for the
  // plug-in's files (RoutedNames).
  InstallPolicy(const InstallRequest& request, const std::vector<std::string>& names,
                ReplacedFiles& replaced, CreatedFolders& folders)
      : m_request(request), m_entries(request.trailer->entries), m_names(names),
        m_replaced(replaced), m_folders(folders),
        m_staging(JournalWorkFolder(request.installPath) + "new\\") {}

  bool OpenEntry(size_t index, OutputFile& file) override;
  bool EntryWritten(size_t index) override;
  void EntryAbandoned(size_t index) override;

  // The folder that could not be made when the last entry failed there.
  const std::string& FailedFolder() const { return m_failedFolder; }

private:
  enum class Route { KeepInTemp, Direct, Staged };

  void LogCopy() const {
    InstallLog("Copying File [%s] to [%s]", m_tempFile.c_str(), m_logTarget.c_str());
  }

  const InstallRequest& m_request;
  const std::vector<archive::ArchiveEntry>& m_entries;
  const std::vector<std::string>& m_names;
  ReplacedFiles& m_replaced;
  CreatedFolders& m_folders;
  // Folders inside the temporary folder: it goes as a whole.
  CreatedFolders m_tempFolders;
  const std::string m_staging; // the work folder's "new\"
  Route m_route = Route::Direct;
  std::string m_name;      // N, or "Reg\" + N: relative to the target folder
  std::string m_tempFile;  // tempPath + N
  std::string m_logTarget; // installPath + N
  std::string m_failedFolder;
  unsigned m_nWritten = 0;
};

bool InstallPolicy::OpenEntry(size_t index, OutputFile& file) {
  const archive::ArchiveEntry& entry = m_entries[index];
  m_tempFile = m_request.tempPath + entry.name;
  m_logTarget = m_request.installPath + entry.name;
  m_name = m_names[index];
  // Sizes of 2 GiB and more are printed as they are, not as negative numbers.
  InstallLog("Copying File [%s] [%u]", m_tempFile.c_str(), unsigned(entry.size));

  if (m_name.empty()) {
    m_route = Route::KeepInTemp;
    if (m_tempFolders.CreateFoldersOf(m_request.tempPath, entry.name) &&
        file.Create(m_tempFile, CREATE_ALWAYS))
      return true;
    InstallLog("Unable to create file");
    return false;
  }
  if (!m_folders.CreateFoldersOf(m_request.installPath, m_name)) {
    // As a failed copy into the target; the message names the folder.
    m_failedFolder = m_folders.Failed();
    LogCopy();
    return false;
  }
  switch (m_replaced.Open(m_name, m_staging, file)) {
  case ReplacedFiles::Opened::InPlace:
    m_route = Route::Direct;
    return true;
  case ReplacedFiles::Opened::Staged:
    m_route = Route::Staged;
    return true;
  case ReplacedFiles::Opened::StagingFailed:
    m_route = Route::Staged;
    InstallLog("Unable to create file");
    return false;
  case ReplacedFiles::Opened::Failed:
    break;
  }
  // The target cannot be written: as a failed copy into it.
  m_route = Route::Direct;
  LogCopy();
  return false;
}

bool InstallPolicy::EntryWritten(size_t) {
  if (m_route == Route::KeepInTemp) return true;
  LogCopy();
  if (m_route == Route::Staged && !m_replaced.Replace(m_name, m_staging + m_name)) return false;
  CutPoint("entry", ++m_nWritten);
  return true;
}

void InstallPolicy::EntryAbandoned(size_t) {
  // An incomplete new file goes; a file being replaced stays as it was.
  const std::string path = m_route == Route::Direct   ? m_request.installPath + m_name
                           : m_route == Route::Staged ? m_staging + m_name
                                                      : m_tempFile;
  DeleteFileA(path.c_str());
}

InstallOutcome Failure(UINT id, const std::string& argument) {
  InstallOutcome outcome;
  outcome.result = g_bCancel ? InstallResult::Cancelled : InstallResult::Failed;
  if (!g_bCancel) outcome.message = LoadFormatted(id, argument.c_str());
  return outcome;
}

InstallOutcome Cancelled() {
  InstallOutcome outcome;
  outcome.result = InstallResult::Cancelled;
  return outcome;
}

// String 1 for an archive found damaged before anything was written.
InstallOutcome Damaged() {
  InstallOutcome outcome = Failure(IDS_OPEN_FAILED, kDamagedArchiveReason);
  outcome.nothingWritten = true;
  return outcome;
}

// Opens the program file at the start of the payload stream.
bool OpenStream(const InstallRequest& request, CFile& file) {
  const UINT mode = CFile::modeRead | CFile::shareDenyNone | CFile::modeNoInherit;
  if (!(request.programFile.empty() ? file.Open(request.programPath.c_str(), mode)
                                    : file.Open(request.programFile, mode)))
    return false;
  try {
    file.Seek(LONGLONG(request.trailer->dataStart), CFile::begin);
    return true;
  } catch (const CFileException&) {
    return false;
  }
}

} // namespace

namespace {

// The payload stream, decoded by the codec the archive names, into `sink`;
// progress over [from, to] of the bar.
archive::DecodeResult DecodeStream(const InstallRequest& request, CFileSource& source,
                                   archive::ByteSink& sink, DecodeProgress& progress) {
  const archive::ArchiveTrailer& trailer = *request.trailer;
  return archive::DecodePayload(trailer.extension.codec, source, request.streamLength,
                                trailer.TotalSize(), sink,
                                [&](uint64_t done) { return progress(done); });
}

} // namespace

// Only a stream that decodes to exactly the entries' bytes is installed, so a
// damaged archive leaves the target as it was.
InstallOutcome CheckPayload(const InstallRequest& request, EntryPolicy* checker) {
  CFile file;
  if (!OpenStream(request, file)) return Failure(IDS_OPEN_FAILED, request.programPath);
  CFileSource source(file, request.streamLength);
  CountingSink counter;
  std::optional<EntrySplitter> splitter;
  if (checker) splitter.emplace(request.trailer->entries, *checker);
  archive::ByteSink& sink = splitter ? static_cast<archive::ByteSink&>(*splitter) : counter;
  DecodeProgress progress(request.progress, request.streamLength, 0, kCheckShare);
  archive::DecodeResult r = DecodeStream(request, source, sink, progress);
  if (splitter && r.status == archive::DecodeResult::Ok) splitter->Finish();
  if (r.status == archive::DecodeResult::Cancelled ||
      (splitter && splitter->StopReason() == EntrySplitter::Stop::Cancelled))
    return Cancelled();
  if (source.ReadFailed()) return Failure(IDS_OPEN_FAILED, request.programPath);
  if (splitter && splitter->StopReason() != EntrySplitter::Stop::None) {
    // The checker has logged why an entry's bytes are not what they claim.
    if (splitter->StopReason() == EntrySplitter::Stop::LengthMismatch)
      InstallLog("Damaged Archive [payload does not decode to the entries' %llu bytes]",
                 static_cast<unsigned long long>(request.trailer->TotalSize()));
    return Damaged();
  }
  if (r.status != archive::DecodeResult::Ok) {
    InstallLog("Damaged Archive [%s]", r.error.c_str());
    return Damaged();
  }
  return {};
}

InstallOutcome WritePayload(const InstallRequest& request, EntryPolicy& policy) {
  const auto& entries = request.trailer->entries;
  CFile file;
  if (!OpenStream(request, file)) return Failure(IDS_OPEN_FAILED, request.programPath);
  CFileSource source(file, request.streamLength);
  EntrySplitter splitter(entries, policy);
  DecodeProgress progress(request.progress, request.streamLength, kCheckShare,
                          DecodeProgress::kRange);
  archive::DecodeResult r = DecodeStream(request, source, splitter, progress);
  if (r.status == archive::DecodeResult::Ok) splitter.Finish();

  switch (splitter.StopReason()) {
  case EntrySplitter::Stop::None:
    break;
  case EntrySplitter::Stop::Cancelled:
    return Cancelled();
  case EntrySplitter::Stop::Failed:
    return Failure(IDS_OPEN_FAILED, entries[splitter.FailedEntry()].name);
  case EntrySplitter::Stop::Damaged:
    // A delta that checked out a moment ago: its reference has changed.
    return Failure(IDS_OPEN_FAILED, entries[splitter.FailedEntry()].name);
  case EntrySplitter::Stop::LengthMismatch:
    r.status = archive::DecodeResult::Damaged;
    break;
  }
  if (r.status == archive::DecodeResult::Cancelled) {
    splitter.Abandon();
    return Cancelled();
  }
  if (r.status != archive::DecodeResult::Ok) {
    // The stream checked out a moment ago: the program file cannot be read.
    splitter.Abandon();
    InstallLog("Unable to read from Archive");
    size_t at = std::min(splitter.FailedEntry(), entries.size() - 1);
    return Failure(IDS_OPEN_FAILED, entries.empty() ? request.programPath : entries[at].name);
  }
  progress.Show(request.streamLength);
  return {};
}

void RecordWritten(const InstallRequest& request, const std::vector<std::string>& createdFolders,
                   bool regRoutes) {
  archive::UninstallList* list = request.record;
  if (!list) return;
  const archive::ArchiveTrailer& t = *request.trailer;
  for (const auto& entry : t.entries) {
    if (regRoutes && IsPluginEntry(t, entry.name)) continue;
    const bool reg = regRoutes && IsRegEntry(t, entry.name);
    list->Add(archive::UninstallItemKind::File, (reg ? "Reg\\" : "") + entry.name);
  }
  const std::string& root = request.installPath; // ends in '\'
  const std::string self = root.substr(0, root.size() - 1);
  for (const std::string& folder : createdFolders) {
    if (SameName(folder, self))
      list->Add(archive::UninstallItemKind::InstallFolder, "");
    else if (folder.size() > root.size() && SameName(folder.substr(0, root.size()), root))
      list->Add(archive::UninstallItemKind::Folder, folder.substr(root.size()));
  }
}

InstallOutcome CheckEntryNames(const InstallRequest& request) {
  // The reader has checked the names already; nothing outside the target
  // folder is ever written, whoever filled the trailer.
  for (const auto& entry : request.trailer->entries) {
    if (!archive::IsSafeEntryName(entry.name)) {
      InstallLog("Damaged Archive [unsafe entry name %s]", entry.name.c_str());
      return Damaged();
    }
  }
  return {};
}

namespace {

// Each entry where it goes: its name relative to the target folder; empty
// for the plug-in's files, which stay in the temporary folder (an empty name
// is nothing to plan, check or replace).
std::vector<std::string> RoutedNames(const archive::ArchiveTrailer& trailer) {
  std::vector<std::string> names;
  for (const auto& entry : trailer.entries)
    names.push_back(IsPluginEntry(trailer, entry.name) ? std::string()
                    : IsRegEntry(trailer, entry.name)  ? "Reg\\" + entry.name
                                                       : entry.name);
  return names;
}

InstallOutcome InstallEntries(const InstallRequest& request, CreatedFolders& folders) {
  // The stream is checked before the first folder is made: a damaged
  // archive leaves no trace.
  if (request.progress) {
    request.progress->SetRange(0, DecodeProgress::kRange);
    request.progress->SetPos(0);
  }
  InstallOutcome outcome = CheckPayload(request);
  if (outcome.result != InstallResult::Completed) return outcome;
  if (g_bCancel) return Cancelled();
  CutPoint("check");
  const std::vector<std::string> names = RoutedNames(*request.trailer);
  // Every file it replaces must be free before the first is written.
  if (!ReplacedFiles::AreFree(request.owner ? request.owner->m_hWnd : nullptr,
                              request.caption.c_str(), request.installPath, names)) {
    outcome.result = InstallResult::Refused; // no message: the user has seen the file named
    return outcome;
  }

  // The next start finds the journal by the product key, even where the
  // key does not lead to this folder yet.
  const bool placed = !request.productName.empty();
  if (placed && !RecordJournalPlace(request.productName, request.installPath))
    return Failure(IDS_OPEN_FAILED, request.installPath);
  if (!folders.CreateChain(request.installPath)) {
    outcome = Failure(IDS_DIR_FAILED, request.installPath);
  } else {
    InstallLog("Creating Directory [%s]", request.installPath.c_str());
    JournalFile journal;
    ReplacedFiles replaced(request.installPath, journal);
    InstallPolicy policy(request, names, replaced, folders);
    // An installation names no release it starts from.
    outcome = WriteJournaled(request, names, archive::JournalOperation::Install, 0,
                             request.trailer->version, true, request.extraFiles, replaced, policy,
                             folders);
    if (outcome.result == InstallResult::Failed && !policy.FailedFolder().empty())
      outcome.message = LoadFormatted(IDS_DIR_FAILED, policy.FailedFolder().c_str());
  }
  // Back to what was there; the journal's place stays for the start after
  // the restart when a file could not be returned.
  if (outcome.journalKept) return outcome;
  if (outcome.result == InstallResult::Completed)
    RemoveJournalWork(request.installPath);
  else
    folders.RemoveEmpty();
  if (placed) ForgetJournalPlace(request.productName);
  return outcome;
}

} // namespace

InstallOutcome WriteJournaled(const InstallRequest& request, const std::vector<std::string>& names,
                              archive::JournalOperation operation, uint32_t fromRelease,
                              uint32_t toRelease, bool regRoutes, const StagedFiles& extra,
                              ReplacedFiles& replaced, EntryPolicy& policy,
                              CreatedFolders& folders) {
  InstallOutcome outcome;
  UINT failed = IDS_OPEN_FAILED;
  std::string named = request.installPath;
  if (BeginWork(replaced.Journal(), request.installPath, names, operation, fromRelease,
                toRelease) &&
      replaced.Plan(names)) {
    if (regRoutes && request.trailer->hasRegFiles &&
        !folders.CreateChain(request.installPath + "Reg")) {
      failed = IDS_DIR_FAILED;
      named += "\\Reg";
    } else {
      outcome = WritePayload(request, policy);
      if (outcome.result != InstallResult::Completed) {
        failed = 0; // the outcome says why
      } else {
        RecordWritten(request, folders.Created(), regRoutes);
        CutPoint("files");
        if (replaced.PlaceStaged(extra, JournalWorkFolder(request.installPath) + "new\\") &&
            replaced.Journal().Commit())
          failed = 0;
      }
    }
  }
  if (failed) outcome = Failure(failed, named);
  // Only a work folder of this run's own is ever undone.
  const bool began = replaced.Journal().IsOpen();
  replaced.Journal().Close();
  if (outcome.result == InstallResult::Completed) {
    CutPoint("commit");
  } else if (began && !UndoOwnRun(request.installPath)) {
    SetExitCode(kExitRestart);
    outcome.journalKept = true;
  }
  return outcome;
}

InstallRequest OwnProgramRequest(const archive::ArchiveTrailer& trailer, uint64_t streamLength,
                                 const std::string& installPath, const std::string& caption,
                                 CWnd* owner, CStatic* statusText, CProgressCtrl* progress) {
  InstallRequest request;
  request.programPath = AfxGetModuleFileName();
  request.programFile = AfxGetModuleFileNameW();
  request.trailer = &trailer;
  request.streamLength = streamLength;
  request.installPath = installPath;
  request.caption = caption;
  request.owner = owner;
  request.statusText = statusText;
  request.progress = progress;
  return request;
}

InstallOutcome RunPayloadInstallation(const InstallRequest& request) {
  const archive::ArchiveTrailer& trailer = *request.trailer;
  if (request.statusText) request.statusText->SetWindowText(LoadFormatted(IDS_EXTRACTING, nullptr));
  if (request.progress) {
    request.progress->SetRange(0, int(trailer.entries.size() & 0xFFFF));
    request.progress->SetPos(0);
    request.progress->SetStep(1);
  }
  InstallOutcome outcome = CheckEntryNames(request);
  if (outcome.result != InstallResult::Completed) return outcome;

  // A cancel or a failure undoes the files and takes away the folders made
  // here, as far as they are empty.
  CreatedFolders folders;
  return InstallEntries(request, folders);
}

InstallResult InstallPayload(const InstallRequest& request) {
  InstallOutcome outcome = RunPayloadInstallation(request);
  if (outcome.result == InstallResult::Refused) SetExitCode(kExitRefused);
  if (outcome.result == InstallResult::Failed) {
    HWND owner = request.owner ? request.owner->GetSafeHwnd() : nullptr;
    ReportFailure(owner, outcome.message, request.caption.c_str(), MB_OK | MB_ICONSTOP,
                  outcome.nothingWritten ? kExitRefused : kExitFailed);
  }
  return outcome.result;
}
