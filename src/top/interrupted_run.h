// The first thing any start for a product does: a run of an earlier process
// that was cut off (a patch, an installation) is undone, or finished when it
// had committed, before this one writes anything.
#pragma once

#include <string>

// installPath: where the product lies (ending in '\'), empty when unknown;
// the folder of an installation that was cut off is looked at as well.
// Tells the user what was done (a silent run only logs it). False when
// this start must end here: the journal is damaged, or files in use wait
// for a restart; the exit code says which.
bool RecoverBeforeStart(const std::string& productName, const std::string& installPath);
