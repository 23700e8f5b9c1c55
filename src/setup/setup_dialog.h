// The installer's wizard window (template 102). One window, seven controls;
// a page is the set of visible controls, the message text and the caption of
// the next button. OnOK steps through the pages, OnCancel asks before it ends
// the wizard.
#pragma once

#include <string>

#include "dialogs/wizard_dialog.h"

class SetupDialog : public WizardDialog {
public:
  explicit SetupDialog(CWnd* parent = nullptr);

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // The page driver: "Weiter", "Schliessen" and Enter.
  void OnOK() override;
  // "Abbrechen" and Escape, on every page.
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  // Reads the settings and the directory from the trailer region of m_file;
  // on a damaged region it has shown its message and ended the dialog.
  bool ReadDirectory();
  void OnPaint();
  void OnDestroy();
  // Closes the archive and removes our temporary folder; never fails.
  void ReleaseTemporaryFiles();

  // Pages.
  void ShowWelcomePage();
  void ShowDirectoryPage();
  void InstallPage();
  void ShowFinishPage();
  // The shape every closing page shares: only "Schliessen" and the text.
  void ShowClosingPage(const std::string& text);
  void RunFinishActions();
  // The built-in uninstaller and its entry in the list of programs, when the
  // archive asks for them; after the product key.
  void WriteUninstaller(bool logCopied);
  // The uninstaller with `list` and what the installed one's list holds
  // (taken over into `list`), written as `target`.
  bool WriteUninstallerWith(archive::UninstallList& list, const std::string& target,
                            bool logTakeOver);
  // An unattended run steps on by itself.
  void AdvanceUnattended();

  // Installed-version check and target directory.
  // False when an unattended run refuses (it has ended the dialog).
  bool CheckInstalledVersion();
  // The proposal for page 2 (an unattended run's /D= folder); empty, after a
  // message, when the program files folder has no form the code page can write.
  std::string DefaultDirectory();
  void OnBrowse();
  // The typed folder (or /D=) made absolute and whole, in `directory`. A
  // folder that is relative, empty or too long for the longest entry is
  // refused before anything is written: a message and the directory page
  // again, or unattended exit code 1; the result is false.
  bool AcceptTargetFolder(const std::string& typed, std::string& directory);
  // A per-user product's target the user cannot write: refused with a
  // message (exit code 1 when unattended); false then.
  bool AcceptUserTarget(const std::string& directory);
  // Asks before installing into an existing directory; false on No.
  bool ConfirmExistingDirectory(const std::string& directory);

  // Writes the payload into m_strInstallPath and makes the shortcuts; true
  // when every file is in place. On a failure it has shown its message and
  // ended the dialog with -1; on a cancel it returns quietly.
  bool RunInstallation();

  // The Flash control the product needs. The check asks when the installed
  // one is missing or too old; false when the user declines.
  bool CheckFlashPlugin();
  // Runs the control's two installation commands; false when one of them
  // cannot be started.
  bool InstallFlashPlugin();
  void ShowFlashRefusalPage();
  void ShowFlashFailurePage();

  // Setup settings from the archive.
  std::string m_strProgramFolder;
  BOOL m_bHasProgram = FALSE;
  std::string m_strIconFile;
  BOOL m_bNeedsFlash = FALSE;
  std::string m_strFlashControl;
  std::string m_strFlashInf;
  std::string m_strFlashRegTool;
  BOOL m_bHasStartMenu = FALSE;
  BOOL m_bStartMenuInProgramFolder = FALSE;
  BOOL m_bUninstallShortcut = FALSE;
  BOOL m_bReadmeShortcut = FALSE;
  BOOL m_bProgramShortcut = FALSE;
  BOOL m_bHasRegFiles = FALSE;
  std::string m_strRegFiles[4];

  // Run-time state.
  int m_nPage = 0;
  // A folder of our own in the system's temporary directory, ending in a
  // backslash; made when the installation starts, removed when the window goes.
  std::string m_strTempPath;
  bool m_bDirConfirmed = false;
  bool m_bInstallFlash = false;
  // The refusal page shows: "Schliessen" just ends the dialog.
  bool m_bFlashRefused = false;
  std::string m_strFlashCommand;
  // What this installation wrote, for the uninstaller.
  archive::UninstallList m_uninstallList;
  HICON m_hIcon = nullptr;

  // Controls.
  CButton m_btnNext;
  CButton m_btnCancel;
  CEdit m_editDir;
  CButton m_btnBrowse;
};
