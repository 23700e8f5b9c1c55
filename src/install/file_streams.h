// The archive code's byte streams on Win32 files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "archive/common/byte_io.h"
#include "framework/file.h"

// Reads at most `length` bytes from the current position of an open file.
// A read error ends the stream early and is remembered.
class CFileSource final : public archive::ByteSource {
public:
  CFileSource(CFile& file, uint64_t length) : m_file(file), m_left(length) {}
  size_t Read(void* data, size_t n) override;
  bool ReadFailed() const { return m_bReadFailed; }

private:
  CFile& m_file;
  uint64_t m_left;
  bool m_bReadFailed = false;
};

// Appends to an open file.
class CFileSink final : public archive::ByteSink {
public:
  explicit CFileSink(CFile& file) : m_file(file) {}
  bool Write(const void* data, size_t n) override;

private:
  CFile& m_file;
};

// A file being written: created with a chosen disposition, written, closed.
// Closes on destruction without a word.
class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile() { Abort(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // disposition: CREATE_ALWAYS, CREATE_NEW, ... False with GetLastError set.
  bool Create(const std::string& path, DWORD disposition);
  bool Write(const void* data, size_t n);
  // The data is forced onto the disk when the file is closed (before a
  // journaled rename puts it in place): in the background, on the flush
  // queue (install/flush_queue.h), which closes it and reports a failure.
  void FlushOnClose() { m_bFlush = true; }
  // False when the system reports an error on closing (a file to flush:
  // when its flush fails, the queue reports it).
  bool Close();
  void Abort();
  bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

private:
  HANDLE m_hFile = INVALID_HANDLE_VALUE;
  bool m_bFlush = false;
};
