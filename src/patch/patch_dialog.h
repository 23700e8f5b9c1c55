// The patcher's wizard window (template 132): finds the installed product,
// then steps through the welcome page, the application of the patch and the
// finish page. OnOK drives the pages, OnCancel asks before it ends the wizard.
#pragma once

#include <cstdint>
#include <string>

#include "archive/trailer.h"
#include "framework/afxwin.h"

class PatchDialog : public CDialog {
public:
  explicit PatchDialog(CWnd* parent = nullptr);
  ~PatchDialog() override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // "Weiter" and Enter: the next page.
  void OnOK() override;
  // "Abbrechen" and Escape, on every page.
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  // Fills the members from the trailer region of m_file; false when the
  // region does not hold a sound patch directory.
  bool ReadDirectory();
  // Finds the installation through the product key or, failing that, the
  // uninstall entry. Returns the refusal text, or an empty text when the
  // patch may go on.
  std::string FindInstalledProduct();
  // "Foo - Version 3".
  std::string TitleString() const;

  void ShowWelcomePage();
  void ApplyPage();
  void FinishPage();
  void OnDestroy();

  // Writes the patch over the installation. On a failure it has put the old
  // files back, shown its message and ended the dialog with -1; on a cancel
  // it puts the old files back and returns quietly.
  void ApplyPatch();

  std::string m_strReadmeFile;
  uint32_t m_nEntryCount = 0;
  uint16_t m_nVersion = 0;
  BOOL m_bHasReadme = FALSE;
  std::string m_strExeName;
  const archive::ArchiveEntry* m_pEntries = nullptr; // into m_trailer
  std::string m_strInstallPath;
  uint32_t m_nDirectorySize = 0;
  uint32_t m_nDataOffset = 0;
  std::string m_strProductName;
  std::string m_strLicenseText;
  std::string m_strCaption;
  // The validated trailer region, owning the entries, and where its pieces
  // lie in the file.
  archive::ArchiveTrailer m_trailer;
  archive::ArchiveLayout m_layout;
  CFile m_file;
  int m_nPage = -1;
  bool m_bApplying = false;
  // The patch was not made for the installed files: the wizard closes.
  bool m_bRefused = false;
  CButton m_readmeCheck;
  CStatic m_staticText;
  CProgressCtrl m_progress;
};
