// An installed file mapped read-only into memory, so that a delta can be
// decoded against it without a heap copy of it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class MappedFile {
public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens and maps the whole file, others may read it meanwhile. False when
  // it cannot be opened, is larger than maxSize or cannot be mapped (the
  // size is still set when it was learnt). An empty file maps to no bytes.
  bool Open(const std::string& path, uint64_t maxSize);
  void Close();

  const uint8_t* Data() const { return m_pView; }
  uint64_t Size() const { return m_nSize; }
  // Open got as far as the file's size.
  bool SizeKnown() const { return m_bSizeKnown; }

private:
  HANDLE m_hFile = INVALID_HANDLE_VALUE;
  HANDLE m_hMapping = nullptr;
  const uint8_t* m_pView = nullptr;
  uint64_t m_nSize = 0;
  bool m_bSizeKnown = false;
};
