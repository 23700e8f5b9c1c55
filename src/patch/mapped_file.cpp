#include "patch/mapped_file.h"

bool MappedFile::Open(const std::string& path, uint64_t maxSize) {
  Close();
  m_hFile = CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (m_hFile == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_hFile, &size)) return false;
  m_nSize = uint64_t(size.QuadPart);
  m_bSizeKnown = true;
  if (m_nSize > maxSize || m_nSize > SIZE_MAX) return false;
  // A mapping of nothing cannot be made, and is not needed.
  if (m_nSize == 0) return true;
  m_hMapping = CreateFileMappingA(m_hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!m_hMapping) return false;
  m_pView = static_cast<const uint8_t*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 0));
  return m_pView != nullptr;
}

void MappedFile::Close() {
  if (m_pView) UnmapViewOfFile(m_pView);
  if (m_hMapping) CloseHandle(m_hMapping);
  if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
  m_pView = nullptr;
  m_hMapping = nullptr;
  m_hFile = INVALID_HANDLE_VALUE;
  m_nSize = 0;
  m_bSizeKnown = false;
}
