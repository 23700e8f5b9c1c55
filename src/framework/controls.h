// Controls bound by id (DDX_Control): thin wrappers of their messages.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "wnd.h"

class CButton : public CWnd {
public:
  int GetCheck() const { return int(SendMessage(BM_GETCHECK)); }
  void SetCheck(int check) { SendMessage(BM_SETCHECK, WPARAM(check)); }
};

class CStatic : public CWnd {
public:
  HICON SetIcon(HICON icon) {
    return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
  }
  HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETICON)); }
};

class CEdit : public CWnd {
public:
  void SetSel(int start, int end) { SendMessage(EM_SETSEL, WPARAM(start), LPARAM(end)); }
  void SetReadOnly(BOOL readOnly = TRUE) { SendMessage(EM_SETREADONLY, WPARAM(readOnly)); }
  void LimitText(int chars) { SendMessage(EM_LIMITTEXT, WPARAM(chars)); }
};

class CProgressCtrl : public CWnd {
public:
  // The range travels as two 16-bit values: an upper bound above 65535 keeps
  // only its low 16 bits.
  void SetRange(int lower, int upper) {
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(WORD(lower), WORD(upper)));
  }
  int SetPos(int pos) { return int(SendMessage(PBM_SETPOS, WPARAM(pos))); }
  int GetPos() const { return int(SendMessage(PBM_GETPOS)); }
  int SetStep(int step) { return int(SendMessage(PBM_SETSTEP, WPARAM(step))); }
  int StepIt() { return int(SendMessage(PBM_STEPIT)); }
  int OffsetPos(int delta) { return int(SendMessage(PBM_DELTAPOS, WPARAM(delta))); }
};
