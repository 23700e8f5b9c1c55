// Small byte-stream interfaces shared by the archive code. Portable: the
// stub, mksetup, tests and fuzzers plug their own files into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace archive {

// A file read at absolute offsets.
class RandomAccessFile {
public:
  virtual ~RandomAccessFile() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly n bytes at offset; false when the file is shorter or on error.
  virtual bool ReadAt(uint64_t offset, void* data, size_t n) = 0;
};

// Sequential output.
class ByteSink {
public:
  virtual ~ByteSink() = default;
  // False on a write error (disk full, ...).
  virtual bool Write(const void* data, size_t n) = 0;
};

// Sequential input.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  // Returns the number of bytes read; 0 at the end or on error.
  virtual size_t Read(void* data, size_t n) = 0;
};

class MemoryFile final : public RandomAccessFile {
public:
  explicit MemoryFile(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
  uint64_t Size() const override { return m_bytes.size(); }
  bool ReadAt(uint64_t offset, void* data, size_t n) override;
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
  std::vector<uint8_t> m_bytes;
};

class VectorSink final : public ByteSink {
public:
  bool Write(const void* data, size_t n) override;
  std::vector<uint8_t> bytes;
};

class MemorySource final : public ByteSource {
public:
  MemorySource(const void* data, size_t n) : m_data(static_cast<const uint8_t*>(data)), m_size(n) {}
  size_t Read(void* data, size_t n) override;

private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

// stdio-backed implementations (64-bit offsets on every platform).
class StdioFile final : public RandomAccessFile {
public:
  // Opens for reading; check IsOpen().
  explicit StdioFile(const std::string& path);
  ~StdioFile() override;
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;
  bool IsOpen() const { return m_file != nullptr; }
  uint64_t Size() const override { return m_size; }
  bool ReadAt(uint64_t offset, void* data, size_t n) override;

private:
  std::FILE* m_file = nullptr;
  uint64_t m_size = 0;
};

class StdioSink final : public ByteSink {
public:
  explicit StdioSink(std::FILE* file) : m_file(file) {}
  bool Write(const void* data, size_t n) override;

private:
  std::FILE* m_file;
};

class StdioSource final : public ByteSource {
public:
  explicit StdioSource(std::FILE* file) : m_file(file) {}
  size_t Read(void* data, size_t n) override;

private:
  std::FILE* m_file;
};

// Seeks a stdio stream with a 64-bit offset (SEEK_SET/SEEK_END); tells its
// position (-1 on error).
bool SeekStdio(std::FILE* file, int64_t offset, int whence);
int64_t TellStdio(std::FILE* file);

// Little-endian helpers.
inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t LoadLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void AppendLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void AppendLE16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

// A counted string inside a trailer block body: uint32 length, then the
// bytes (no NUL). The reader moves pos past it; false with an English reason
// naming the field when it runs past the block or is longer than limit.
bool ReadCountedText(const uint8_t* body, uint32_t length, uint32_t& pos, uint32_t limit,
                     std::string& text, const char* field, std::string& error);
void AppendCountedText(std::vector<uint8_t>& out, const std::string& text);

} // namespace archive
