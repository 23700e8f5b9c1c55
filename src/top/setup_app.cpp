#include "top/setup_app.h"

#include <cstdint>
#include <cstdlib>

#include "app/damaged_archive.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/product_placement.h"
#include "app/system_report.h"
#include "app/unattended.h"
#include "archive/format/archive_end.h"
#include "archive/format/trailer.h"
#include "framework/archive_file.h"
#include "framework/format.h"
#include "install/product_key.h"
#include "install/temp_folder.h"
#include "patch/patch_dialog.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"
#include "top/interrupted_run.h"
#include "uninstall/removal.h"
#include "uninstall/temp_copy.h"
#include "uninstall/uninstall_dialog.h"

SetupApp theApp;

// No exception escapes the dialogs or start-up; should one ever do, end the
// program quietly. The library's verbose handler would pull its whole name
// demangler (some 45 KiB) into the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace {

// String 1 with the reason, stop icon: the program cannot go on. An
// unattended run shows nothing and ends with "refused".
void ShowOpenFailure(const char* reason) {
  std::string text = LoadFormatted(IDS_OPEN_FAILED, reason);
  // The code counts whenever it is reported (the uninstaller always).
  SetExitCode(kExitRefused);
  if (!IsSilent()) AfxMessageBox(text, MB_OK | MB_ICONHAND);
}

template <typename Dialog> void RunWizard(CWinApp& app) {
  Dialog dlg(nullptr);
  app.m_pMainWnd = &dlg;
  dlg.DoModal();
}

enum class Kind { Unknown, Installer, Patch, Uninstaller };

// What the archive behind the image is, read before anything is written;
// Unknown when it cannot be read (start-up then reports it as ever).
Kind PeekArchiveKind(archive::ArchiveTrailer& trailer) {
  CFile file;
  if (!AfxOpenModuleFile(file, CFile::modeRead | CFile::shareDenyNone)) return Kind::Unknown;
  CArchiveFile reader(file);
  if (!archive::ReadTrailer(reader, trailer).ok) return Kind::Unknown;
  if (trailer.IsInstaller()) return Kind::Installer;
  return trailer.IsUninstaller() ? Kind::Uninstaller : Kind::Patch;
}

// The switches each kind takes, for the message about one it does not.
const char kInstallerSwitches[] =
    "/S\tohne Fenster installieren\n"
    "/D=Verzeichnis\tin dieses Verzeichnis installieren (als letzter Parameter, ohne "
    "Anf\xFChrungszeichen)";
const char kPatchSwitches[] = "/S\tden Patch ohne Fenster installieren";
const char kUninstallerSwitches[] = "/S\tohne Fenster entfernen";
const char kNeeds64BitWindows[] =
    "\"%s\" ist ein 64-Bit-Programm und kann auf dieser 32-Bit-Version von Windows nicht "
    "installiert werden. Die Installation kann nicht fortfahren.";
const char kUnknownArgument[] =
    "Der Parameter \"%s\" ist unbekannt. M\xF6gliche Parameter sind:\n%s";

// An argument this kind does not take: named with the accepted ones, or in
// an unattended run exit code 1. False when the arguments are sound.
bool RefuseArguments(Kind kind) {
  const CommandLine& args = TheCommandLine();
  std::string bad = args.unknown;
  if (bad.empty() && args.hasTarget && kind != Kind::Installer) bad = "/D=" + args.target;
  if (bad.empty() && !args.uninstallOrigin.empty() && kind != Kind::Uninstaller) bad = "/_?=";
  if (bad.empty()) return false;
  SetExitCode(kExitRefused);
  if (IsSilent()) return true;
  const char* accepted = kind == Kind::Patch         ? kPatchSwitches
                         : kind == Kind::Uninstaller ? kUninstallerSwitches
                                                     : kInstallerSwitches;
  AfxMessageBox(FormatString(kUnknownArgument, bad.c_str(), accepted), MB_OK | MB_ICONSTOP);
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Places the product; a 64-bit product on a 32-bit Windows is refused before
// the first page (exit code 1 when unattended). False when refused.
bool PlaceOwnProduct(const archive::ArchiveTrailer& trailer) {
  const ProductPlacement placement = PlaceProduct(trailer.extension.product);
  SetProductPlacement(placement);
  if (placement.runsHere) return true;
  InstallLog("Refused [64-bit product on 32-bit Windows]");
  SetExitCode(kExitRefused);
  if (!IsSilent())
    AfxMessageBox(FormatString(kNeeds64BitWindows, trailer.productName.c_str()),
                  MB_OK | MB_ICONSTOP);
  return false;
}

// The log's start: a fresh install.log with the machine report.
void StartLog() {
  DeleteFileA("install.log");
  InstallLog("Setup Step 1 Initialized");
  ReportOperatingSystem();
  ReportMemory();
  ReportProcessors();
  ReportDisplayModes();
  ReportDrivers();
}

// The uninstaller: from the installation folder it runs its copy in TEMP
// and waits; as that copy it removes the installation the original lies in.
void RunUninstaller(CWinApp& app, const archive::ArchiveTrailer& own) {
  const CommandLine& args = TheCommandLine();
  std::string origin = args.uninstallOrigin, moveAside;
  if (origin.empty()) {
    int code = kExitFailed;
    if (RunFromTemporaryCopy(code)) {
      SetExitCode(code);
      return;
    }
    // No copy: it works in place, and its log goes to TEMP.
    origin = AfxGetModuleFileName();
    SetCurrentDirectoryA(SystemTempFolder().c_str());
  } else {
    moveAside = FolderOf(AfxGetModuleFileName());
  }
  StartLog();
  InstallLog("Uninstaller Archive");
  if (!IsOriginalOf(origin, own)) {
    InstallLog("Damaged Archive [not the uninstaller of %s]", origin.c_str());
    ShowOpenFailure(kDamagedArchiveReason);
  } else if (RecoverBeforeStart(own.productName, FolderOf(origin))) {
    UninstallDialog dlg(FolderOf(origin), origin, moveAside);
    app.m_pMainWnd = &dlg;
    dlg.DoModal();
  }
  // The copy, its log and whatever it moved aside go at the next restart.
  if (!moveAside.empty()) ScheduleFolderRemoval(moveAside);
}

} // namespace

int SetupApp::ExitInstance() {
  // Without switches the installer and the patch end with 0 as they always
  // have; unattended runs and the uninstaller tell how it went.
  return m_bReportsExitCode ? GetExitCode() : 0;
}

BOOL SetupApp::InitInstance() {
  Enable3dControls();
  archive::ArchiveTrailer own;
  const Kind kind = PeekArchiveKind(own);
  // A program whose archive cannot be read may be a damaged uninstaller: its
  // refusal is reported as the uninstaller's would be.
  m_bReportsExitCode = IsSilent() || kind == Kind::Uninstaller || kind == Kind::Unknown;
  if (RefuseArguments(kind)) {
    m_bReportsExitCode = true;
    return FALSE;
  }
  if (kind == Kind::Uninstaller) {
    SetProductPlacement(PlaceProduct(own.extension.product));
    RunUninstaller(*this, own);
    return FALSE;
  }
  StartLog();
  CFileException error;
  try {
    InstallLog("Opening Archive [%s]", AfxGetModuleFileName().c_str());

    CFile file;
    if (!AfxOpenModuleFile(file, CFile::modeRead | CFile::shareDenyNone, &error)) {
      char reason[MAX_PATH];
      error.GetErrorMessage(reason, MAX_PATH);
      std::string text = LoadFormatted(IDS_OPEN_FAILED, reason);
      InstallLog("Error [%s]", text.c_str());
      ShowOpenFailure(reason);
      return FALSE;
    }

    // The length word, then the installer flag at the start of the trailer
    // region, counted back from the archive's end: the end of the file, or
    // the start of the signature in a signed program. A length reaching
    // before the start of the file throws.
    CArchiveFile reader(file);
    const LONGLONG archiveEnd = LONGLONG(archive::FindArchiveEnd(reader).offset);
    uint32_t directorySize = 0, installerFlag = 0;
    file.Seek(archiveEnd - 4, CFile::begin);
    file.Read(&directorySize, 4);
    file.Seek(archiveEnd - (LONGLONG(directorySize) + 4), CFile::begin);
    file.Read(&installerFlag, 4);

    // The wizards trust what they read, so the whole trailer is checked here
    // before either of them runs.
    archive::ArchiveTrailer trailer;
    archive::TrailerReadResult check = archive::ReadTrailer(reader, trailer);
    file.Close();
    if (!check.ok) {
      InstallLog("Damaged Archive [%s]", check.error.c_str());
      ShowOpenFailure(kDamagedArchiveReason);
      return FALSE;
    }
    if (!PlaceOwnProduct(trailer)) return FALSE;

    // An earlier run for this product that was cut off is undone first.
    if (!RecoverBeforeStart(trailer.productName, ReadProductPath(trailer.productName))) {
      m_bReportsExitCode = true;
      return FALSE;
    }
    if (installerFlag != 0) {
      InstallLog("Installer Archive");
      RunWizard<SetupDialog>(*this);
    } else {
      InstallLog("Patch Archive");
      RunWizard<PatchDialog>(*this);
    }
  } catch (const CException& e) {
    char reason[MAX_PATH];
    e.GetErrorMessage(reason, MAX_PATH);
    InstallLog("Exception caught [%s]", reason);
    ShowOpenFailure(reason);
  }
  return FALSE;
}
