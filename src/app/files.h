#pragma once

#include <string>

// True when something matches the path, which may hold wildcards; folders
// match as well as files. An empty name matches nothing.
bool FileExists(const char* path);

// Two paths or names that Windows takes for the same: equal ignoring case.
bool SamePathText(const std::string& a, const std::string& b);
