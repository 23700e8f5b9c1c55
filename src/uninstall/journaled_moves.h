// The installation's own files leave the product folder under the journal:
// the whole plan is written with one flush, then each file is renamed into
// the work folder (on its volume: cheap) instead of being deleted, and the
// commit follows the last. Cut off before the commit, the next start puts
// every file back; after it, the next start deletes the work folder.
#pragma once

#include <string>
#include <vector>

#include "uninstall/removal.h"

struct JournaledMoves {
  size_t moved = 0;       // files now in the work folder
  bool committed = false; // the commit is on disk; the work folder is to go
};

// paths: installed files in request.installPath. A file that cannot be
// moved stays where it is, for the caller to delete. Without a journal (it
// cannot be written) nothing is moved. Each file is one of `total` steps of
// the request's progress.
JournaledMoves MoveIntoJournal(const RemovalRequest& request, const std::vector<std::string>& paths,
                               size_t total);
