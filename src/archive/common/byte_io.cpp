#include "archive/common/byte_io.h"

#include <algorithm>
#include <cstring>

#include "archive/format/file_path.h"

namespace archive {

bool MemoryFile::ReadAt(uint64_t offset, void* data, size_t n) {
  if (offset > m_bytes.size() || n > m_bytes.size() - offset) return false;
  if (n) std::memcpy(data, m_bytes.data() + offset, n);
  return true;
}

bool VectorSink::Write(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), p, p + n);
  return true;
}

size_t MemorySource::Read(void* data, size_t n) {
  size_t take = std::min(n, m_size - m_pos);
  if (take) std::memcpy(data, m_data + m_pos, take);
  m_pos += take;
  return take;
}

bool SeekStdio(std::FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, offset, whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

int64_t TellStdio(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

StdioFile::StdioFile(const std::string& path) {
  m_file = OpenFile(path, "rb");
  if (!m_file) return;
  if (!SeekStdio(m_file, 0, SEEK_END)) {
    std::fclose(m_file);
    m_file = nullptr;
    return;
  }
  int64_t size = TellStdio(m_file);
  m_size = size < 0 ? 0 : uint64_t(size);
}

StdioFile::~StdioFile() {
  if (m_file) std::fclose(m_file);
}

bool StdioFile::ReadAt(uint64_t offset, void* data, size_t n) {
  if (!m_file || offset > m_size || n > m_size - offset) return false;
  if (!SeekStdio(m_file, int64_t(offset), SEEK_SET)) return false;
  return std::fread(data, 1, n, m_file) == n;
}

bool StdioSink::Write(const void* data, size_t n) { return std::fwrite(data, 1, n, m_file) == n; }

size_t StdioSource::Read(void* data, size_t n) { return std::fread(data, 1, n, m_file); }

} // namespace archive
