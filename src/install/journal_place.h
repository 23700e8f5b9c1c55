// Where an installation's journal lies while it runs, recorded in the
// product key before the journal is begun: a first installation has no
// "Path" yet, and one into another folder has a "Path" that leads
// elsewhere. "Journal" names the folder (ending in '\'); it goes once the
// work folder has gone, and a key that held nothing else goes with it. A
// start that finds it recovers the journal in that folder, whatever it
// holds, by the journal's own rules.
#pragma once

#include <string>

// Records where the installation into installPath is about to keep its
// journal, on disk before it returns (RegFlushKey). False when it cannot.
bool RecordJournalPlace(const std::string& productName, const std::string& installPath);
// The folder recorded; empty when none is, or the value is no whole path
// ending in '\'.
std::string ReadJournalPlace(const std::string& productName);
// The value goes; so does the key when nothing else is left in it.
void ForgetJournalPlace(const std::string& productName);

// The product key's values on disk (RegFlushKey), unless the flushes are
// left out.
void FlushProductKey(const std::string& productName);
