// The license: accepted with IDOK, declined (and the decline confirmed) with
// IDCANCEL. The caller sets m_strText before DoModal.
#pragma once

#include <string>

#include "framework/afxwin.h"

class LicenseDialog : public CDialog {
public:
  explicit LicenseDialog(CWnd* parent = nullptr);

  std::string m_strText;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // The decline button and Escape: asks before the dialog ends.
  void OnCancel() override;
};
