// The application object. All of the program's work happens in InitInstance:
// it logs the machine, checks the archive behind its own image and runs one
// wizard, the setup or the patch dialog; then the process ends.
#pragma once

#include "framework/afxwin.h"

class SetupApp : public CWinApp {
public:
  SetupApp() = default;
  BOOL InitInstance() override;
  int ExitInstance() override;

private:
  bool m_bReportsExitCode = false;
};
