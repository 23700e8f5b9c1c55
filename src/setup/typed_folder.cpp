// The folder the user typed or the administrator passed, made whole before
// the installation starts.
#include <algorithm>

#include "app/install_log.h"
#include "app/unattended.h"
#include "app/whole_folder.h"
#include "framework/format.h"
#include "install/uninstaller_file.h"
#include "setup/setup_dialog.h"

namespace {

// Code page 1252.
const char kFolderNotWhole[] =
    "Das Verzeichnis \"%s\" ist kein vollst\xE4ndiger Pfad. Bitte geben Sie ein Verzeichnis mit "
    "Laufwerk und Ordnernamen an, zum Beispiel \"C:\\Programme\\%s\".";
const char kFolderTooLong[] =
    "Der Pfad \"%s\" ist zu lang. Bitte w\xE4hlen Sie ein Verzeichnis mit einem k\xFCrzeren "
    "Namen.";

// The longest name the installation writes below its folder.
size_t LongestName(const archive::ArchiveTrailer& t) {
  size_t longest = std::max(sizeof("install.log") - 1,
                            t.extension.uninstaller.enabled ? sizeof(kUninstallerName) + 3 : 0);
  for (const archive::ArchiveEntry& entry : t.entries)
    longest = std::max(longest, entry.name.size() + (t.hasRegFiles ? sizeof("Reg\\") - 1 : 0));
  return longest;
}

} // namespace

bool SetupDialog::AcceptTargetFolder(const std::string& typed, std::string& directory) {
  const FolderForm form = MakeWholeFolder(typed, 1 + LongestName(m_trailer), directory);
  if (form == FolderForm::Whole) return true;
  InstallLog("Target folder refused [%s]", typed.c_str());
  const std::string text =
      form == FolderForm::TooLong
          ? FormatString(kFolderTooLong, typed.c_str())
          : FormatString(kFolderNotWhole, typed.c_str(), m_strProductName.c_str());
  ReportFailure(m_hWnd, text, m_strCaption.c_str(), MB_OK | MB_ICONSTOP, kExitRefused);
  if (IsSilent()) {
    EndDialog(-1);
    return false;
  }
  // The directory page stays, with the text as typed.
  --m_nPage;
  return false;
}
