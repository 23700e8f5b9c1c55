#pragma once

#include <string>

// Creates every ancestor of path and then path itself. The search for
// separators starts at index 4, so a drive root ("C:\") is never created; on
// a network path the server and share names are skipped. True when every
// folder of the chain now exists: a folder that exists already is accepted
// (ERROR_ALREADY_EXISTS), any other failure, or a file in the way, is not.
bool CreateDirectoryChain(const std::string& path);

// The same chain with every level tried and every failure ignored.
void CreateEveryDirectory(const std::string& path);
