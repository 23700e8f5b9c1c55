#include "install/file_streams.h"

#include "install/flush_queue.h"

#include <algorithm>

size_t CFileSource::Read(void* data, size_t n) {
  UINT take = UINT(std::min<uint64_t>({n, m_left, 1u << 30}));
  if (take == 0) return 0;
  try {
    UINT got = m_file.Read(data, take);
    m_left -= got;
    return got;
  } catch (const CFileException&) {
    m_bReadFailed = true;
    m_left = 0;
    return 0;
  }
}

bool CFileSink::Write(const void* data, size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  try {
    while (n > 0) {
      UINT chunk = UINT(std::min<size_t>(n, 1u << 30));
      m_file.Write(p, chunk);
      p += chunk;
      n -= chunk;
    }
    return true;
  } catch (const CFileException&) {
    return false;
  }
}

bool OutputFile::Create(const std::string& path, DWORD disposition) {
  Abort();
  m_bFlush = false;
  m_hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
  return IsOpen();
}

bool OutputFile::Write(const void* data, size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    DWORD chunk = DWORD(std::min<size_t>(n, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(m_hFile, p, chunk, &written, nullptr) || written != chunk) return false;
    p += chunk;
    n -= chunk;
  }
  return true;
}

bool OutputFile::Close() {
  if (!IsOpen()) return true;
  HANDLE h = m_hFile;
  m_hFile = INVALID_HANDLE_VALUE;
  if (!m_bFlush) return CloseHandle(h) != FALSE;
  QueueFlush(h);
  return true;
}

void OutputFile::Abort() {
  if (IsOpen()) CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}
