// The byte readers' bounds: a read is whole or refused, at the end and past it.
#include "archive/common/byte_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace archive;

namespace {

// Reads of n bytes at offset from a 10-byte file: whole reads up to the end
// succeed, anything reaching past it (or wrapping around) fails and writes
// nothing.
struct Range {
  uint64_t offset;
  size_t n;
  bool ok;
};
constexpr Range kRanges[] = {
    {0, 0, true},         {0, 10, true},          {0, 11, false},         {9, 1, true},
    {9, 2, false},        {10, 0, true},          {10, 1, false},         {11, 0, false},
    {1, SIZE_MAX, false}, {UINT64_MAX, 1, false}, {UINT64_MAX, 0, false},
};

void ExpectRanges(RandomAccessFile& file) {
  ASSERT_EQ(file.Size(), 10u);
  for (const Range& r : kRanges) {
    uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(file.ReadAt(r.offset, buffer, r.n), r.ok) << r.offset << "+" << r.n;
    const size_t read = r.ok ? r.n : 0;
    for (size_t i = 0; i < read; ++i) EXPECT_EQ(buffer[i], uint8_t(r.offset + i));
    for (size_t i = read; i < sizeof buffer; ++i)
      EXPECT_EQ(buffer[i], 0xEE) << r.offset << "+" << r.n << ": wrote past the read";
  }
}

std::vector<uint8_t> TenBytes() { return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}; }

} // namespace

TEST(ByteReaders, MemoryFileBounds) {
  MemoryFile file(TenBytes());
  ExpectRanges(file);
}

TEST(ByteReaders, StdioFileBounds) {
  char path[] = "/tmp/byte-io-test-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  auto bytes = TenBytes();
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 10);
  close(fd);
  {
    StdioFile file(path);
    ASSERT_TRUE(file.IsOpen());
    ExpectRanges(file);
  }
  std::remove(path);
  StdioFile missing(path);
  EXPECT_FALSE(missing.IsOpen());
  uint8_t byte;
  EXPECT_FALSE(missing.ReadAt(0, &byte, 0));
}

TEST(ByteReaders, MemorySourceEndsAtItsEnd) {
  auto bytes = TenBytes();
  MemorySource source(bytes.data(), bytes.size());
  uint8_t buffer[8];
  EXPECT_EQ(source.Read(buffer, 7), 7u);
  EXPECT_EQ(source.Read(buffer, 8), 3u);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(buffer[2], 9);
  EXPECT_EQ(source.Read(buffer, 8), 0u);
  EXPECT_EQ(source.Read(buffer, 0), 0u);
}
