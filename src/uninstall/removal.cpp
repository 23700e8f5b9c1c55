#include "uninstall/removal.h"

#include <algorithm>
#include <map>
#include <set>

#include "app/cut_point.h"
#include "app/files.h"
#include "app/install_log.h"
#include "app/registry.h"
#include "app/unattended.h"
#include "framework/format.h"
#include "install/files_in_use.h"
#include "install/journal_recovery.h"
#include "install/product_key.h"
#include "install/shortcuts.h"
#include "install/uninstall_entry.h"
#include "uninstall/journaled_moves.h"

namespace {

using archive::UninstallItem;
using archive::UninstallItemKind;

// A file in use: the user may close the program that holds it and retry.
const char kFileInUse[] =
    "Die Datei \"%s\" wird gerade verwendet und kann nicht entfernt werden.\n"
    "Schlie\xDF"
    "en Sie bitte das Programm, das sie verwendet, und klicken Sie auf \"Wiederholen\". Mit "
    "\"Abbrechen\" wird die Datei erst beim n\xE4"
    "chsten Neustart entfernt.";

// Unattended: a few tries before the file is left to the restart.
constexpr int kSilentTries = 3;
constexpr DWORD kSilentPauseMs = 300;

// path lies strictly below folder (no trailing backslash on either).
bool IsBelow(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
         SamePathText(path.substr(0, folder.size()), folder);
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool InUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

class Remover {
public:
  explicit Remover(const RemovalRequest& r) : m_r(r) {
    m_desktop = UserShellFolder(L"Desktop");
    m_programs = UserShellFolder(L"Programs");
    m_root = r.installPath.substr(0, r.installPath.size() - 1);
  }

  void Run();
  const RemovalResult& Result() const { return m_result; }

private:
  void RemoveFile(const std::string& path);
  void RemoveFolder(const std::string& path, bool mayHoldUserFiles);
  bool Schedule(const std::string& path);
  bool ShortcutAllowed(const std::string& path) const {
    const std::string folder = ParentOf(path);
    return (!m_desktop.empty() && SamePathText(folder, m_desktop)) ||
           (!m_programs.empty() &&
            (SamePathText(folder, m_programs) || IsBelow(folder, m_programs)));
  }
  void Refuse(const std::string& path) {
    InstallLog("Not in the installation [%s]", path.c_str());
    m_result.notRemoved.push_back(path);
  }
  void RemoveUninstaller();
  // A file of the list that is there to remove (not behind a link, not the
  // uninstaller itself).
  bool IsListedFile(const std::string& path);
  // False (and the junction kept and named) when the way from the
  // installation folder to path crosses a reparse point; `itself`: path is a
  // folder and counts as one of the way.
  bool OutsideLinks(const std::string& path, bool itself);
  bool IsReparsePoint(const std::string& folder);
  void Step() {
    ++m_done;
    CutPoint("remove", unsigned(m_done));
    if (m_r.progress) m_r.progress(m_done, m_total);
  }

  const RemovalRequest& m_r;
  std::string m_desktop, m_programs, m_root;
  std::vector<std::string> m_scheduled;
  std::map<std::string, bool> m_reparsePoints; // by folder, as looked at
  std::set<std::string> m_keptLinks;
  RemovalResult m_result;
  size_t m_found = 0; // items that were there to remove
  size_t m_done = 0, m_total = 0;
};

bool Remover::IsReparsePoint(const std::string& folder) {
  auto known = m_reparsePoints.find(folder);
  if (known != m_reparsePoints.end()) return known->second;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  const bool link =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  m_reparsePoints.emplace(folder, link);
  return link;
}

bool Remover::OutsideLinks(const std::string& path, bool itself) {
  if (!IsBelow(path, m_root)) return true;
  for (size_t slash = path.find('\\', m_root.size() + 1);; slash = path.find('\\', slash + 1)) {
    if (slash == std::string::npos) {
      if (!itself) return true;
      slash = path.size();
    }
    const std::string folder = path.substr(0, slash);
    if (IsReparsePoint(folder)) {
      if (m_keptLinks.insert(folder).second) {
        InstallLog("Link kept [%s]", folder.c_str());
        m_result.keptFolders.push_back(folder);
      }
      return false;
    }
    if (slash == path.size()) return true;
  }
}

bool Remover::Schedule(const std::string& path) {
  if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    InstallLog("Unable to remove [%s]", path.c_str());
    m_result.notRemoved.push_back(path);
    m_result.failed = true;
    return false;
  }
  InstallLog("Removing at restart [%s]", path.c_str());
  m_scheduled.push_back(path);
  m_result.restartNeeded = true;
  return true;
}

void Remover::RemoveFile(const std::string& path) {
  if (!OutsideLinks(path, false)) return;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  ++m_found;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  for (int attempt = 1;; ++attempt) {
    if (DeleteFileA(path.c_str())) {
      InstallLog("Removing File [%s]", path.c_str());
      return;
    }
    const DWORD error = GetLastError();
    if (!InUse(error)) break;
    if (IsSilent()) {
      if (attempt >= kSilentTries) break;
      Sleep(kSilentPauseMs);
      continue;
    }
    if (MessageBoxA(m_r.owner, FormatString(kFileInUse, path.c_str()).c_str(), m_r.caption.c_str(),
                    MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
      break;
  }
  Schedule(path);
}

void Remover::RemoveFolder(const std::string& path, bool mayHoldUserFiles) {
  if (!OutsideLinks(path, true)) return;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (RemoveDirectoryA(path.c_str())) {
    InstallLog("Removing Directory [%s]", path.c_str());
    return;
  }
  // Emptied only at the restart: it goes then as well.
  for (const std::string& scheduled : m_scheduled)
    if (IsBelow(scheduled, path)) {
      Schedule(path);
      return;
    }
  if (mayHoldUserFiles) {
    InstallLog("Directory kept [%s]", path.c_str());
    m_result.keptFolders.push_back(path);
  }
}

bool Remover::IsListedFile(const std::string& path) {
  if (!OutsideLinks(path, false) || SamePathText(path, m_r.uninstaller)) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Remover::RemoveUninstaller() {
  const std::string& self = m_r.uninstaller;
  if (self.empty() || !Exists(self)) return;
  if (DeleteFileA(self.c_str())) return;
  // A running program cannot be deleted, but it can be moved on its volume.
  if (!m_r.moveAsideFolder.empty()) {
    const std::string aside = m_r.moveAsideFolder + "uninstall-alt.exe";
    // That folder goes at the next restart with everything in it.
    if (MoveFileExA(self.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  }
  Schedule(self);
}

void Remover::Run() {
  const auto& items = m_r.list->items;
  // Every file of the installation folder must be free before the first
  // goes. (A shortcut in use is asked about when it comes, as ever.) None
  // lies in the journal's work folder: the start removed what an earlier
  // run left of it, and this run makes it only below.
  std::vector<std::string> inside;
  for (const UninstallItem& item : items)
    if (item.kind == UninstallItemKind::File && IsListedFile(m_r.installPath + item.path))
      inside.push_back(m_r.installPath + item.path);
  if (!WaitUntilFilesAreFree(m_r.owner, m_r.caption.c_str(), inside)) {
    m_result.refused = true;
    return;
  }
  m_total = inside.size() + items.size();
  // The installation folder's files first, under the journal; what could
  // not be moved is deleted below as everything else.
  const JournaledMoves moves = MoveIntoJournal(m_r, inside, m_total);
  m_found = moves.moved;
  m_done = inside.size();
  std::vector<std::string> folders, shortcutFolders;
  bool installFolder = false;
  for (const UninstallItem& item : items) {
    switch (item.kind) {
    case UninstallItemKind::File:
      RemoveFile(m_r.installPath + item.path);
      break;
    case UninstallItemKind::Shortcut:
      if (ShortcutAllowed(item.path))
        RemoveFile(item.path);
      else
        Refuse(item.path);
      break;
    case UninstallItemKind::Folder:
      folders.push_back(m_r.installPath + item.path);
      break;
    case UninstallItemKind::ShortcutFolder:
      if (IsBelow(item.path, m_programs))
        shortcutFolders.push_back(item.path);
      else
        Refuse(item.path);
      break;
    case UninstallItemKind::ProductKey: {
      // Only the key of this installation: a later one elsewhere keeps its own.
      std::string path = ReadProductPath(m_r.productName);
      if (!path.empty() && SamePathText(path, m_r.installPath)) {
        ++m_found;
        if (RegDeleteKeyA(HKEY_CURRENT_USER, ProductKeyPath(m_r.productName).c_str()) ==
            ERROR_SUCCESS)
          InstallLog("Removing Key [HKCU\\%s]", ProductKeyPath(m_r.productName).c_str());
      }
      break;
    }
    case UninstallItemKind::UninstallEntry: {
      // Wherever it was written: the other stub's view or the user's own.
      bool left = false;
      const std::string key = UninstallKeyPath(m_r.productName);
      auto named = RemoveUninstallEntries(m_r.productName, m_r.installPath, left);
      if (!named.empty()) ++m_found;
      for (const RegistryPlace& place : named)
        InstallLog("Removing Key [%s]", PlaceText(place, key).c_str());
      if (left) InstallLog("Unable to remove [%s]", key.c_str());
      break;
    }
    case UninstallItemKind::InstallFolder:
      installFolder = true;
      break;
    }
    Step();
  }
  CutPoint("outside");
  // The moved files go with the work folder; the uninstaller stays until
  // then, so that a run cut off before can be started again.
  if (moves.committed) RemoveJournalWork(m_r.installPath);
  RemoveUninstaller();
  // Innermost first; a folder below another comes before it when sorted by
  // length, longest first.
  auto deepestFirst = [](const std::string& a, const std::string& b) {
    return a.size() > b.size();
  };
  std::sort(folders.begin(), folders.end(), deepestFirst);
  std::sort(shortcutFolders.begin(), shortcutFolders.end(), deepestFirst);
  for (const std::string& folder : folders) RemoveFolder(folder, true);
  for (const std::string& folder : shortcutFolders) RemoveFolder(folder, false);
  if (installFolder) RemoveFolder(m_root, true);
  m_result.nothingToDo = m_found == 0;
}

} // namespace

RemovalResult RemoveInstallation(const RemovalRequest& request) {
  Remover remover(request);
  remover.Run();
  return remover.Result();
}

void ScheduleFolderRemoval(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      MoveFileExA((folder + found.cFileName).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  MoveFileExA(folder.substr(0, folder.size() - 1).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
