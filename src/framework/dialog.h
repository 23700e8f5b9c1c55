// Modal dialogs on numbered templates. One static dialog procedure binds the
// controls (DoDataExchange), calls OnInitDialog, routes IDOK and IDCANCEL to
// OnOK and OnCancel and hands every other message to OnMessage. Exceptions
// never leave the procedure: they go to OnException (a message box).
#pragma once

#include <windows.h>

#include <string>

#include "wnd.h"

class CDialog;

// Direction and target of one data exchange (UpdateData).
class CDataExchange {
public:
  CDataExchange(CDialog* dlg, BOOL saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlg) {}
  HWND PrepareCtrl(int id) const;

  BOOL m_bSaveAndValidate; // TRUE: controls -> members; FALSE: members -> controls
  CDialog* m_pDlgWnd;
};

// Binds a control object to the dialog's child with this id.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// A check box's state: 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CDialog : public CWnd {
public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
  ~CDialog() override = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog; returns what EndDialog was given, -1 when the template
  // could not be loaded.
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  // TRUE: read the controls into the members; FALSE: show the members.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  // The window never shows (an unattended run): it works as ever, unseen.
  bool m_bHidden = false;

protected:
  virtual void DoDataExchange(CDataExchange* pDX) {}
  // Shows the members (UpdateData(FALSE)); TRUE lets the system set the focus.
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // Every other message. Return true when handled, with the message's result
  // in result; false leaves it to the system's dialog handling.
  virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }
  // An exception a handler let out, with its text (may be empty); the
  // framework's handler shows it in a message box.
  virtual void OnException(const std::string& text);

private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
};
