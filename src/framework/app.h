// The application object: one global instance derived from CWinApp. The
// framework's WinMain calls its InitInstance; when that returns FALSE the
// process ends without entering the message loop.
#pragma once

#include <windows.h>

#include <string>

#include "wnd.h"

class CWinApp {
public:
  // Without a name the application is named after its program file.
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return FALSE; }
  virtual int ExitInstance() { return 0; }
  // The message loop, for applications whose InitInstance returns TRUE.
  virtual int Run();

  // Takes one message from the queue (waiting for it) and dispatches it,
  // giving dialogs their keyboard handling. FALSE on WM_QUIT.
  BOOL PumpMessage();
  HICON LoadIcon(UINT id) const;
  // Three-dimensional controls are the system's default; kept for callers.
  BOOL Enable3dControls() { return TRUE; }

  const char* GetAppName() const;

  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance;

private:
  mutable std::string m_strAppName;
};

CWinApp* AfxGetApp();
// The application's name: caption of message boxes without one of their own.
const char* AfxGetAppName();
// A message box over the application's active window. Without an icon in
// type, OK boxes get the exclamation mark and Yes/No boxes the question mark.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpId = 0);
// The same with a text from the string table.
int AfxMessageBox(UINT idPrompt, UINT type = MB_OK, UINT helpId = UINT(-1));
// The full path of the running program as the system has it; empty when it
// cannot be had.
std::wstring AfxGetModuleFileNameW();
// The same in the code page, for the log and messages: the path itself or
// its short form when either names the file, else its closest display form.
// The program file is never opened through it: see AfxOpenModuleFile.
std::string AfxGetModuleFileName();
class CFile;
class CFileException;
// Opens the running program's own file through the wide API, so that a
// folder whose name the code page cannot write still finds it.
BOOL AfxOpenModuleFile(CFile& file, UINT openFlags, CFileException* error = nullptr);
// A string-table entry; empty when missing.
std::string AfxLoadString(UINT id);
