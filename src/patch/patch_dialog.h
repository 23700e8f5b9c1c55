// The patcher's wizard window (template 132).
#pragma once

#include "framework/afxwin.h"

class PatchDialog : public CDialog {
public:
  explicit PatchDialog(CWnd* parent = nullptr);

protected:
  BOOL OnInitDialog() override;
};
