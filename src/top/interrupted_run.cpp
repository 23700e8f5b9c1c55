#include "top/interrupted_run.h"

#include "app/install_log.h"
#include "app/product_mutex.h"
#include "app/unattended.h"
#include "framework/app.h"
#include "framework/format.h"
#include "install/journal_place.h"
#include "install/journal_recovery.h"

namespace {

const char kRunUndone[] =
    "Eine unterbrochene Aktualisierung von \"%s\" wurde r\xFC"
    "ckg\xE4ngig gemacht.";
const char kRestartFinishes[] =
    "Eine unterbrochene Aktualisierung von \"%s\" wird erst beim n\xE4"
    "chsten Neustart des Computers vollst\xE4ndig r\xFC"
    "ckg\xE4ngig gemacht. Bitte starten Sie den Computer neu und starten Sie Setup erneut.";
const char kJournalDamaged[] =
    "Die Aufzeichnung einer unterbrochenen Aktualisierung von \"%s\" ist besch\xE4"
    "digt. Setup kann nicht fortfahren.";

void Tell(const char* format, const std::string& productName, UINT icon) {
  if (!IsSilent()) AfxMessageBox(FormatString(format, productName.c_str()), MB_OK | icon);
}

// The journal in one folder: true when this start may go on.
bool Recover(const std::string& productName, const std::string& installPath) {
  switch (RecoverInterruptedRun(installPath, productName)) {
  case Recovery::Nothing:
  case Recovery::Finished:
    return true;
  case Recovery::Undone:
    Tell(kRunUndone, productName, MB_ICONINFORMATION);
    return true;
  case Recovery::RestartNeeded:
    SetExitCode(kExitRestart);
    Tell(kRestartFinishes, productName, MB_ICONEXCLAMATION);
    return false;
  case Recovery::Damaged:
    SetExitCode(kExitRefused);
    Tell(kJournalDamaged, productName, MB_ICONSTOP);
    return false;
  }
  return true;
}

} // namespace

bool RecoverBeforeStart(const std::string& productName, const std::string& installPath) {
  // An installation cut off may have worked elsewhere than where the key
  // leads, or where it leads to nothing yet.
  const std::string place = ReadJournalPlace(productName);
  // A run of the product that is going on now is not interrupted: it holds
  // the product, and this start is refused when its wizard claims it.
  if ((installPath.empty() && place.empty()) || !AcquireProductMutex(productName)) return true;
  const std::string folders[] = {installPath, place == installPath ? std::string() : place};
  for (const std::string& folder : folders)
    if (!folder.empty() && !Recover(productName, folder)) return false;
  if (place.empty()) return true;
  // Back where the installation started: a folder it left empty (its own,
  // made for it) goes too, and with the place a key that held nothing else.
  if (RemoveDirectoryA(place.c_str())) InstallLog("Removing Directory [%s]", place.c_str());
  ForgetJournalPlace(productName);
  return true;
}
