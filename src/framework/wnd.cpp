#include "wnd.h"

#include <vector>

#include "app.h"

CWnd::~CWnd() {
  // The application must not keep pointing at a window object that is gone.
  if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  BOOL ok = ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return ok;
}

std::string CWnd::GetWindowText() const {
  int len = ::GetWindowTextLengthA(m_hWnd);
  if (len <= 0) return std::string();
  std::vector<char> buf(size_t(len) + 1);
  int got = ::GetWindowTextA(m_hWnd, buf.data(), len + 1);
  return std::string(buf.data(), got > 0 ? size_t(got) : 0);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}
