#include "app/whole_folder.h"

#include <windows.h>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Stripped(std::string text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  text.erase(0, start);
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}

// "X:\..." or "\\server\share...": a path that does not depend on the
// current folder. The "\\?\" and "\\.\" forms are no folders to type.
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
    const char drive = char(path[0] & ~0x20);
    return drive >= 'A' && drive <= 'Z';
  }
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != '?' &&
         path[2] != '.' && !IsSeparator(path[2]);
}

} // namespace

FolderForm MakeWholeFolder(const std::string& typed, size_t room, std::string& folder) {
  const std::string path = Stripped(typed);
  if (!IsAbsolute(path)) return FolderForm::Relative;
  if (path.size() >= MAX_PATH) return FolderForm::TooLong;
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0) return FolderForm::Relative;
  if (n >= MAX_PATH) return FolderForm::TooLong;
  std::string whole(full, n);
  while (!whole.empty() && IsSeparator(whole.back())) whole.pop_back();
  // "C:" is the current folder of drive C, not its root: no product's folder.
  if (whole.size() <= 2) return FolderForm::Relative;
  if (whole.size() + room >= MAX_PATH) return FolderForm::TooLong;
  folder = whole;
  return FolderForm::Whole;
}
