#pragma once

#include <string>
#include <vector>

// Creates every ancestor of path and then path itself. The search for
// separators starts at index 4, so a drive root ("C:\") is never created; on
// a network path the server and share names are skipped. True when every
// folder of the chain now exists: a folder that exists already is accepted
// whatever CreateDirectoryA answers for it; a level that is not a folder
// afterwards (a file in the way, no right to create it) is a failure.
bool CreateDirectoryChain(const std::string& path);

// The same; `created` receives each folder the call made (without a trailing
// backslash), outermost first.
bool CreateDirectoryChain(const std::string& path, std::vector<std::string>& created);

// The folders of a relative path below root (an existing folder, ending in a
// backslash): for "bin\lib\x.dll", root + "bin" and root + "bin\lib". Neither
// root nor anything above it is touched. `skip` leading levels are known to
// exist already. False at the first level that cannot be a folder; failed
// then names it.
bool CreateFoldersBelow(const std::string& root, const std::string& relativePath, size_t skip,
                        std::vector<std::string>& created, std::string& failed);

// The chain of CreateDirectoryChain(path), every level tried and every
// failure ignored (for the start-menu folders).
void CreateEveryDirectory(const std::string& path);
