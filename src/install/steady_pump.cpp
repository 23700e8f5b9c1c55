#include "install/steady_pump.h"

#include <windows.h>

#include "app/cancel.h"
#include "app/pump.h"

namespace {

// About a hundred dispatches a second: the window answers at once to the eye,
// and a cancel is seen within this time.
constexpr DWORD kCadenceMs = 10;

DWORD g_lastPump = 0;

} // namespace

bool PumpWhenDue() {
  DWORD now = GetTickCount();
  if (now - g_lastPump < kCadenceMs) return g_bCancel != 0;
  g_lastPump = now;
  return PumpPendingMessages();
}
