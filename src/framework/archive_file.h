// The archive reader's view of a framework file: reads at absolute offsets
// through CFile, reporting failures as false instead of exceptions.
#pragma once

#include "archive/common/byte_io.h"
#include "framework/file.h"

class CArchiveFile final : public archive::RandomAccessFile {
public:
  // The file must stay open while this object is used; its length is taken now.
  explicit CArchiveFile(CFile& file);
  uint64_t Size() const override { return m_nSize; }
  bool ReadAt(uint64_t offset, void* data, size_t n) override;

private:
  CFile& m_file;
  uint64_t m_nSize = 0;
};
