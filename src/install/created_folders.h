// The folders an installation or a patch makes on its way, so that a cancel
// or a failure can take away those that are still empty, and nothing else.
#pragma once

#include <string>
#include <vector>

class CreatedFolders {
public:
  // The chain of the installation folder (CreateDirectoryChain).
  bool CreateChain(const std::string& path);
  // The folders of the entry `name` below root (an existing folder, ending in
  // '\'): none for a plain name. A name that is not a safe relative path
  // makes nothing and fails, whoever checked it before.
  bool CreateFoldersOf(const std::string& root, const std::string& name);
  // Every folder made here, outermost first, without a trailing backslash.
  const std::vector<std::string>& Created() const { return m_created; }
  // The folder that could not be made, after a failure.
  const std::string& Failed() const { return m_failed; }

  // Removes the folders made here that are empty now, innermost first, and
  // logs each; folders that still hold anything stay.
  void RemoveEmpty();

private:
  std::vector<std::string> m_created; // outermost first
  // The folder levels of the last name below m_lastRoot, all in place.
  std::string m_lastRoot;
  std::vector<std::string> m_lastLevels;
  std::string m_failed;
};
