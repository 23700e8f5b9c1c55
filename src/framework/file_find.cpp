#include "file_find.h"

#include <cstring>

BOOL CFileFind::FindFile(const char* name) {
  Close();
  std::string pattern = name && *name ? name : "*.*";
  m_hFind = FindFirstFileA(pattern.c_str(), &m_next);
  if (m_hFind == INVALID_HANDLE_VALUE) return FALSE;
  m_bHaveNext = true;
  size_t slash = pattern.find_last_of("\\/:");
  m_strRoot = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  return TRUE;
}

BOOL CFileFind::FindNextFile() {
  if (m_hFind == INVALID_HANDLE_VALUE || !m_bHaveNext) return FALSE;
  m_current = m_next;
  m_bHaveNext = ::FindNextFileA(m_hFind, &m_next) != FALSE;
  return m_bHaveNext;
}

void CFileFind::Close() {
  if (m_hFind != INVALID_HANDLE_VALUE) FindClose(m_hFind);
  m_hFind = INVALID_HANDLE_VALUE;
  m_bHaveNext = false;
}

std::string CFileFind::GetFilePath() const { return m_strRoot + m_current.cFileName; }

ULONGLONG CFileFind::GetLength() const {
  return (ULONGLONG(m_current.nFileSizeHigh) << 32) | m_current.nFileSizeLow;
}

BOOL CFileFind::IsDots() const {
  return IsDirectory() && (std::strcmp(m_current.cFileName, ".") == 0 ||
                           std::strcmp(m_current.cFileName, "..") == 0);
}
