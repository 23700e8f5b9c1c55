#include "app/files.h"

#include <windows.h>

#include "framework/file_find.h"

bool SamePathText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                        int(b.size())) == CSTR_EQUAL;
}

bool FileExists(const char* path) {
  // The finder would search "*.*" for an empty name and find the current
  // folder's contents.
  if (!path || !*path) return false;
  CFileFind finder;
  bool found = finder.FindFile(path);
  if (found) finder.Close();
  return found;
}
