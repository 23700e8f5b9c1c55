// The installer's wizard window (template 102).
#pragma once

#include "framework/afxwin.h"

class SetupDialog : public CDialog {
public:
  explicit SetupDialog(CWnd* parent = nullptr);

protected:
  BOOL OnInitDialog() override;

private:
  HICON m_hIcon;
};
