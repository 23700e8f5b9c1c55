// The patcher's wizard window (template 132): finds the installed product,
// then steps through the welcome page, the application of the patch and the
// finish page. OnOK drives the pages, OnCancel asks before it ends the wizard.
#pragma once

#include <string>

#include "dialogs/wizard_dialog.h"

class PatchDialog : public WizardDialog {
public:
  explicit PatchDialog(CWnd* parent = nullptr);
  ~PatchDialog() override;

protected:
  BOOL OnInitDialog() override;
  // "Weiter" and Enter: the next page.
  void OnOK() override;
  // "Abbrechen" and Escape, on every page.
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
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
  // Ends a patch that wrote nothing: the message, or in a silent run exit
  // code 1 without a window.
  void Refuse(const std::string& message);

  int m_nPage = -1;
  bool m_bApplying = false;
  // The patch was not made for the installed files: the wizard closes.
  bool m_bRefused = false;
  // Found through the uninstall entry: the patch writes the whole product key.
  bool m_bRepairKey = false;
  // After a complete patch: the product key, the uninstaller's list and its
  // entry in the list of programs follow the new release.
  void RecordRelease(const archive::ArchiveTrailer* uninstall);
};
