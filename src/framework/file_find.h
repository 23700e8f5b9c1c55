// Searching for files and folders by name or wildcard.
#pragma once

#include <windows.h>

#include <string>

class CFileFind {
public:
  CFileFind() = default;
  ~CFileFind() { Close(); }
  CFileFind(const CFileFind&) = delete;
  CFileFind& operator=(const CFileFind&) = delete;

  // Starts a search ("*.*" when no name is given). True when something matched;
  // call FindNextFile to step onto the first match.
  BOOL FindFile(const char* name = nullptr);
  // Steps onto the next match. Returns FALSE when the match it stepped onto is
  // the last one (which is still valid to read), as MFC does.
  BOOL FindNextFile();
  void Close();

  std::string GetFileName() const { return m_current.cFileName; }
  std::string GetFilePath() const;
  ULONGLONG GetLength() const;
  BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
  BOOL IsDots() const;
  BOOL MatchesMask(DWORD mask) const { return (m_current.dwFileAttributes & mask) != 0; }

private:
  HANDLE m_hFind = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA m_next{};    // the match found ahead
  WIN32_FIND_DATAA m_current{}; // the match FindNextFile stepped onto
  bool m_bHaveNext = false;
  std::string m_strRoot; // folder of the searched name, with its trailing separator
};
