#include "app/files.h"

#include "framework/file_find.h"

bool FileExists(const char* path) {
  CFileFind finder;
  bool found = finder.FindFile(path);
  if (found) finder.Close();
  return found;
}
