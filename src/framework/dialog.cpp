#include "dialog.h"

#include <exception>
#include <string>

#include "app.h"
#include "exception.h"

HWND CDataExchange::PrepareCtrl(int id) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, id); }

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!control.m_hWnd) control.m_hWnd = pDX->PrepareCtrl(id);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  CWnd ctrl(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate)
    value = ctrl.GetWindowText();
  else
    ctrl.SetWindowText(value);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  CWnd ctrl(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate)
    value = int(ctrl.SendMessage(BM_GETCHECK));
  else
    ctrl.SendMessage(BM_SETCHECK, WPARAM(value));
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!owner) {
    // Like MFC: a dialog without a parent is owned by the main window, unless
    // it is the main window itself.
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd && app->m_pMainWnd != this && IsWindow(app->m_pMainWnd->m_hWnd))
      owner = GetLastActivePopup(GetAncestor(app->m_pMainWnd->m_hWnd, GA_ROOT));
  }
  HINSTANCE inst = AfxGetApp() ? AfxGetApp()->m_hInstance : GetModuleHandleA(nullptr);
  INT_PTR result = DialogBoxParamA(inst, MAKEINTRESOURCEA(m_nIDTemplate), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

namespace {
// Messages whose result is the dialog procedure's return value itself rather
// than DWLP_MSGRESULT.
bool ReturnsDirectly(UINT msg) {
  switch (msg) {
  case WM_CTLCOLORMSGBOX:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORLISTBOX:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORDLG:
  case WM_CTLCOLORSCROLLBAR:
  case WM_CTLCOLORSTATIC:
  case WM_COMPAREITEM:
  case WM_VKEYTOITEM:
  case WM_CHARTOITEM:
  case WM_QUERYDRAGICON:
  case WM_INITDIALOG:
    return true;
  default:
    return false;
  }
}

void ReportException(const std::string& text) {
  AfxMessageBox(text.empty() ? std::string("An unexpected error occurred.") : text,
                MB_OK | MB_ICONEXCLAMATION);
}
} // namespace

void CDialog::OnException(const std::string& text) { ReportException(text); }

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return OnInitDialog();
  if (msg == WM_WINDOWPOSCHANGING && m_bHidden)
    reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~UINT(SWP_SHOWWINDOW);
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  LRESULT result = 0;
  if (!OnMessage(msg, wParam, lParam, result)) return FALSE;
  if (ReturnsDirectly(msg)) return INT_PTR(result);
  SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    self->m_hWnd = hWnd;
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  }
  if (!self) return FALSE; // messages before WM_INITDIALOG

  INT_PTR handled = FALSE;
  try {
    handled = self->Dispatch(msg, wParam, lParam);
  } catch (const CException& e) {
    self->OnException(e.GetErrorMessage());
  } catch (const std::exception& e) {
    self->OnException(e.what());
  } catch (...) {
    self->OnException(std::string());
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hWnd, DWLP_USER, 0);
    self->m_hWnd = nullptr;
  }
  return handled;
}
