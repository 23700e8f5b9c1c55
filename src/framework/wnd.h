// A window handle and the few calls the program makes on it.
#pragma once

#include <windows.h>

#include <string>

class CWnd {
public:
  CWnd() = default;
  explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
  virtual ~CWnd();
  CWnd(const CWnd&) = default;
  CWnd& operator=(const CWnd&) = default;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  BOOL ShowWindow(int cmdShow) { return ::ShowWindow(m_hWnd, cmdShow); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
  HWND SetFocus() { return ::SetFocus(m_hWnd); }
  BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL DestroyWindow();

  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  void SetWindowText(const std::string& text) { SetWindowText(text.c_str()); }
  std::string GetWindowText() const;

  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, msg, wParam, lParam);
  }
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageA(m_hWnd, msg, wParam, lParam);
  }

  // A child by its control id; an empty CWnd when there is none.
  CWnd GetDlgItem(int id) const { return CWnd(::GetDlgItem(m_hWnd, id)); }
  void SetDlgItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text); }
  std::string GetDlgItemText(int id) const { return GetDlgItem(id).GetWindowText(); }

  HICON SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

  // A message box owned by this window.
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

  HWND m_hWnd = nullptr;
};
