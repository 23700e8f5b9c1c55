#include "app/files.h"

#include "framework/file_find.h"

bool FileExists(const char* path) {
  // The finder would search "*.*" for an empty name and find the current
  // folder's contents.
  if (!path || !*path) return false;
  CFileFind finder;
  bool found = finder.FindFile(path);
  if (found) finder.Close();
  return found;
}
