// Every file below a folder, named by its path relative to that folder: the
// tree a manifest's `folders` carries and `mksetup diff` compares.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mksetup {

struct WalkedFile {
  std::filesystem::path source; // the file on disk
  std::string relative;         // its path below the folder, UTF-8, parts joined by '/'
  std::string name;             // the entry name: code page 1252, parts joined by '\'
  std::string problem;          // why it cannot be an entry (then `name` is empty)
};

struct FolderWalk {
  // Sorted by entry name, byte by byte (unsigned code page 1252 bytes, '\'
  // between the parts); files with a problem last, by `relative`.
  std::vector<WalkedFile> files;
  // What stopped the walk from seeing a part of the tree: unreadable
  // folders, links to folders, entries that are neither file nor folder.
  std::vector<std::string> errors;
};

// Walks `root`. Folders are entered, empty ones leave no trace; a link to a
// file counts as the file it points to; links to folders are not followed
// (an error), nor are broken links.
FolderWalk WalkFolder(const std::filesystem::path& root);

// The path for messages: the folder's path and the file's relative path.
std::string DisplayPath(const std::filesystem::path& path);

} // namespace mksetup
