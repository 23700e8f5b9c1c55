// Asks for the desktop shortcut and the start-menu entry. The caller presets
// both boxes and the product name; the dialog ends with OK only.
#pragma once

#include <string>

#include "framework/afxwin.h"

class ShortcutOptionsDialog : public CDialog {
public:
  explicit ShortcutOptionsDialog(CWnd* parent = nullptr);

  int m_bDesktop = 0;
  int m_bStartMenu = 0;
  std::string m_strProductName;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // Escape is ignored: the choice is always made with OK.
  void OnCancel() override {}
};
