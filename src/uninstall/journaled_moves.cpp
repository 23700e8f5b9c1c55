#include "uninstall/journaled_moves.h"

#include "app/cut_point.h"
#include "app/install_log.h"
#include "install/journal_file.h"
#include "install/journal_recovery.h"
#include "install/product_key.h"

JournaledMoves MoveIntoJournal(const RemovalRequest& request, const std::vector<std::string>& paths,
                               size_t total) {
  JournaledMoves result;
  if (paths.empty()) return result;
  const std::string& installPath = request.installPath;
  JournalFile journal;
  std::vector<std::string> backups;
  bool planned = journal.Begin(installPath, archive::JournalOperation::Uninstall,
                               ReadProductVersion(request.productName), 0);
  for (size_t i = 0; planned && i < paths.size(); ++i) {
    backups.push_back(JournalBackupName(installPath, unsigned(i)));
    planned = !backups[i].empty() && journal.Step(archive::JournalKind::Replace,
                                                  paths[i].substr(installPath.size()), backups[i],
                                                  false);
  }
  if (planned && journal.Flush()) {
    CutPoint("plan");
    for (size_t i = 0; i < paths.size(); ++i) {
      const std::string& target = paths[i];
      // Not written through: a rename the disk lost leaves the file in place,
      // and a run of the uninstaller deletes it as ever.
      if (MoveFileExA(target.c_str(), (installPath + backups[i]).c_str(), 0)) {
        InstallLog("Removing File [%s]", target.c_str());
        ++result.moved;
      }
      CutPoint("remove", unsigned(i + 1));
      if (request.progress) request.progress(i + 1, total);
    }
    CutPoint("moved");
    result.committed = journal.Commit();
  }
  const bool own = journal.IsOpen();
  journal.Close();
  if (result.committed) {
    CutPoint("commit");
    return result;
  }
  InstallLog("Unable to write the journal [%s]", installPath.c_str());
  // Only a work folder of this run's own goes again, every file back in
  // place; what is left is deleted without a journal.
  if (own) UndoOwnRun(installPath);
  result.moved = 0;
  return result;
}
