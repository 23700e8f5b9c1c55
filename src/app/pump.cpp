#include "app/pump.h"

#include "app/cancel.h"
#include "framework/app.h"

#include <windows.h>

bool PumpPendingMessages() {
  CWinApp* app = AfxGetApp();
  MSG msg;
  while (app != nullptr && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (g_bCancel) return true;
    // A quit request stays queued for the modal loop that has to end on it.
    if (msg.message == WM_QUIT) break;
    app->PumpMessage();
  }
  return g_bCancel != 0;
}
