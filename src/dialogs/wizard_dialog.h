// What the two wizard windows, the installer's and the patcher's, have in
// common: the archive behind the program's own image and the settings both
// read from its trailer region, the text, progress bar and readme check box
// every page uses, and the license shown before the work starts. Each wizard
// adds its own pages and settings.
#pragma once

#include <cstdint>
#include <string>

#include "archive/format/trailer.h"
#include "framework/afxwin.h"

class WizardDialog : public CDialog {
protected:
  WizardDialog(UINT templateId, CWnd* parent);

  // Binds the readme check box, the text and the progress bar.
  void DoDataExchange(CDataExchange* pDX) override;

  // Opens the program's own file as m_file. On a failure it shows string 1
  // with the system's reason, ends the dialog with -1 and returns false.
  bool OpenOwnArchive();
  // Reads the trailer region of m_file into m_trailer and takes the settings
  // both wizards share. The start-up checked the same region; it is read and
  // checked again because the file may have changed in between. A region that
  // does not hold together, or an installer's where a patch is expected, is
  // logged and shown as a damaged archive; the dialog ends with -1.
  bool ReadTrailerRegion(bool expectPatch);
  // Shows the license, when the archive has one. Declined: the wizard ends
  // and the result is false.
  bool AcceptLicense();
  // Takes the product's mutex for the rest of the run. When another setup,
  // patch or uninstall of the product holds it, the wizard is refused (a
  // message, or exit code 1 unattended), ends, and the result is false.
  bool ClaimProduct();
  // Unattended, an exception in a handler ends the run as a failure, with
  // no window; otherwise the framework's message box.
  void OnException(const std::string& text) override;

  // Settings from the archive.
  uint16_t m_nVersion = 0;
  std::string m_strLicenseText;
  std::string m_strCaption;
  std::string m_strProductName;
  BOOL m_bHasReadme = FALSE;
  std::string m_strReadmeFile;
  uint32_t m_nEntryCount = 0;
  const archive::ArchiveEntry* m_pEntries = nullptr; // into m_trailer
  uint32_t m_nDataOffset = 0;
  // The validated trailer region and where its pieces lie in the file.
  archive::ArchiveTrailer m_trailer;
  archive::ArchiveLayout m_layout;
  uint32_t m_nDirectorySize = 0;

  // Run-time state.
  CFile m_file;
  // The product's folder, ending in a backslash, and its program file.
  std::string m_strInstallPath;
  std::string m_strExeName;

  // Controls.
  CButton m_readmeCheck;
  CStatic m_staticText;
  CProgressCtrl m_progress;
};
