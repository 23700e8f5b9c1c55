// The uninstaller's wizard (the patch dialog's template, so it looks as the
// other wizards do): a question naming the product, the removal with its
// progress, and a finish page that says what stayed. Unattended it runs the
// same pages unseen, without the question.
#pragma once

#include <string>

#include "dialogs/wizard_dialog.h"
#include "uninstall/removal.h"

class UninstallDialog : public WizardDialog {
public:
  // installPath: the folder of the uninstaller the user started (ending in
  // '\'); uninstaller: that file; moveAsideFolder: where it may be moved
  // while it runs (the private TEMP folder of the copy; may be empty).
  UninstallDialog(std::string installPath, std::string uninstaller, std::string moveAsideFolder);

protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

private:
  void ShowQuestionPage();
  void RemovePage();
  std::string FinishText() const;
  void Advance();

  std::string m_strUninstaller;
  std::string m_strMoveAside;
  int m_nPage = -1;
  bool m_bRemoving = false;
  RemovalResult m_result;
};
