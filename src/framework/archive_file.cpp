#include "framework/archive_file.h"

CArchiveFile::CArchiveFile(CFile& file) : m_file(file) {
  try {
    m_nSize = file.GetLength();
  } catch (const CFileException&) {
    m_nSize = 0;
  }
}

bool CArchiveFile::ReadAt(uint64_t offset, void* data, size_t n) {
  if (offset > m_nSize || n > m_nSize - offset) return false;
  try {
    m_file.Seek(LONGLONG(offset), CFile::begin);
    auto* out = static_cast<unsigned char*>(data);
    while (n > 0) {
      UINT chunk = n > (1u << 30) ? (1u << 30) : UINT(n);
      UINT got = m_file.Read(out, chunk);
      if (got == 0) return false;
      out += got;
      n -= got;
    }
    return true;
  } catch (const CFileException&) {
    return false;
  }
}
