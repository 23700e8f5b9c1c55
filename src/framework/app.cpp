#include "app.h"

#include <commctrl.h>

#include <vector>

#include "code_page.h"
#include "file.h"

namespace {
CWinApp* g_pApp = nullptr;

HWND ActiveOwner() {
  CWinApp* app = AfxGetApp();
  HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
  if (!main || !IsWindow(main)) return GetActiveWindow();
  return GetLastActivePopup(GetAncestor(main, GA_ROOT));
}
} // namespace

CWinApp::CWinApp(const char* appName) : m_hInstance(GetModuleHandleA(nullptr)) {
  if (appName) m_strAppName = appName;
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

std::wstring AfxGetModuleFileNameW() {
  // However long the path: the buffer grows until the name fits.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD len = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (len == 0) return {};
    if (len < path.size()) return std::wstring(path.data(), len);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::string AfxGetModuleFileName() {
  std::wstring wide = AfxGetModuleFileNameW();
  std::string path = CodePagePath(wide);
  return path.empty() ? ToDisplayText(wide) : path;
}

BOOL AfxOpenModuleFile(CFile& file, UINT openFlags, CFileException* error) {
  std::wstring path = AfxGetModuleFileNameW();
  if (path.empty()) {
    if (error) *error = CFileException(CFileException::fileNotFound, LONG(GetLastError()));
    return FALSE;
  }
  return file.Open(path, openFlags, error);
}

const char* CWinApp::GetAppName() const {
  if (m_strAppName.empty()) {
    // The long name as the user sees it, not its short form.
    std::string name = ToDisplayText(AfxGetModuleFileNameW());
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    m_strAppName = name;
  }
  return m_strAppName.c_str();
}

BOOL CWinApp::PumpMessage() {
  MSG msg;
  if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return FALSE;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  char cls[16] = "";
  if (root && GetClassNameA(root, cls, sizeof(cls)) && lstrcmpA(cls, "#32770") == 0 &&
      IsDialogMessageA(root, &msg))
    return TRUE;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return TRUE;
}

int CWinApp::Run() {
  while (PumpMessage()) {
  }
  return ExitInstance();
}

HICON CWinApp::LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }

CWinApp* AfxGetApp() { return g_pApp; }

const char* AfxGetAppName() { return g_pApp ? g_pApp->GetAppName() : ""; }

int AfxMessageBox(const char* text, UINT type, UINT) {
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
      type |= MB_ICONEXCLAMATION;
      break;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      type |= MB_ICONQUESTION;
      break;
    default:
      break;
    }
  }
  return MessageBoxA(ActiveOwner(), text, AfxGetAppName(), type);
}

int AfxMessageBox(const std::string& text, UINT type, UINT helpId) {
  return AfxMessageBox(text.c_str(), type, helpId);
}

int AfxMessageBox(UINT idPrompt, UINT type, UINT) {
  return AfxMessageBox(AfxLoadString(idPrompt).c_str(), type, 0);
}

std::string AfxLoadString(UINT id) {
  HINSTANCE inst = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
  std::vector<char> buf(1024);
  for (;;) {
    int len = LoadStringA(inst, id, buf.data(), int(buf.size()));
    if (len <= 0) return std::string();
    if (size_t(len) < buf.size() - 1) return std::string(buf.data(), size_t(len));
    buf.resize(buf.size() * 4); // possibly cut: try again with more room
  }
}

// The program's entry point: common controls, then the application object.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
