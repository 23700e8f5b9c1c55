// Where an installation's journal lies while it runs, recorded in the
// product key before the journal is begun: a first installation has no
// "Path" yet, and one into another folder has a "Path" that leads
// elsewhere. "Journal" names the folder (ending in '\'), "JournalMade" the
// outermost folder of its chain that the run makes (absent when the folder
// was there). Both go once the work folder has gone, and a key that held
// nothing else goes with them. A start that finds them recovers the
// journal in that folder, whatever it holds, by the journal's own rules.
#pragma once

#include <string>

struct JournalPlace {
  std::string folder; // empty: none recorded
  std::string made;   // empty: the run made no folder
};

// Records where the installation into installPath is about to keep its
// journal, on disk before it returns (RegFlushKey). False when it cannot.
bool RecordJournalPlace(const std::string& productName, const std::string& installPath);
// The place recorded; an unusable value (not a whole path ending in '\')
// reads as none.
JournalPlace ReadJournalPlace(const std::string& productName);
// The values go; so does the key when nothing else is left in it.
void ForgetJournalPlace(const std::string& productName);
// The folders the run made, from the installation folder outwards up to
// `made`, as far as each is empty.
void RemoveFoldersMade(const JournalPlace& place);

// The product key's values on disk (RegFlushKey), unless the flushes are
// left out.
void FlushProductKey(const std::string& productName);
