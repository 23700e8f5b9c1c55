#include "top/setup_app.h"

#include <cstdint>
#include <cstdlib>

#include "app/damaged_archive.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/system_report.h"
#include "archive/archive_end.h"
#include "archive/trailer.h"
#include "framework/archive_file.h"
#include "patch/patch_dialog.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

SetupApp theApp;

// No exception escapes the dialogs or start-up; should one ever do, end the
// program quietly. The library's verbose handler would pull its whole name
// demangler (some 45 KiB) into the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace {

// String 1 with the reason, stop icon: the program cannot go on.
void ShowOpenFailure(const char* reason) {
  AfxMessageBox(LoadFormatted(IDS_OPEN_FAILED, reason), MB_OK | MB_ICONHAND);
}

template <typename Dialog> void RunWizard(CWinApp& app) {
  Dialog dlg(nullptr);
  app.m_pMainWnd = &dlg;
  dlg.DoModal();
}

} // namespace

BOOL SetupApp::InitInstance() {
  Enable3dControls();
  DeleteFileA("install.log");
  InstallLog("Setup Step 1 Initialized");
  ReportOperatingSystem();
  ReportMemory();
  ReportProcessors();
  ReportDisplayModes();
  ReportDrivers();

  CFileException error;
  try {
    InstallLog("Opening Archive [%s]", AfxGetModuleFileName().c_str());

    CFile file;
    if (!AfxOpenModuleFile(file, CFile::modeRead | CFile::shareDenyNone, &error)) {
      char reason[MAX_PATH];
      error.GetErrorMessage(reason, MAX_PATH);
      std::string text = LoadFormatted(IDS_OPEN_FAILED, reason);
      InstallLog("Error [%s]", text.c_str());
      AfxMessageBox(text, MB_OK | MB_ICONHAND);
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
