// Where the archive of a signed or unsigned program ends, with crafted PE
// headers and certificate tables.
#include "archive/archive_end.h"

#include <gtest/gtest.h>

#include "archive/trailer.h"
#include "pe_image.h"

using namespace archive;
using pe_test::CertificateTableBytes;
using pe_test::PeImage;

namespace {

ArchiveTrailer Product() {
  ArchiveTrailer t;
  t.caption = "Beispiel Setup";
  t.productName = "Beispiel";
  t.entries = {{12, "a.txt"}, {0, "leer.txt"}};
  t.dataStart = uint32_t(PeImage::kSize);
  return t;
}

// Image, a stand-in stream of `stream` bytes and the trailer.
std::vector<uint8_t> Program(const PeImage& pe, size_t stream = 40,
                             const ArchiveTrailer& t = Product()) {
  std::vector<uint8_t> bytes = pe.Bytes();
  bytes.resize(bytes.size() + stream, 0x5A);
  VectorSink sink;
  WriteTrailer(sink, t);
  bytes.insert(bytes.end(), sink.bytes.begin(), sink.bytes.end());
  return bytes;
}

// A stream length that makes Program()'s length a multiple of 8.
size_t AlignedStream(const PeImage& pe) {
  const size_t rest = pe.Bytes().size() + 40 + SerializeTrailerRegion(Product()).size() + 4;
  return 40 + (8 - rest % 8) % 8;
}

// `program` as a signer leaves it: zero bytes up to a multiple of 8 (or the
// given filler), then a certificate table named by the headers.
std::vector<uint8_t> Sign(std::vector<uint8_t> program, PeImage pe, uint32_t tableSize = 1024,
                          uint8_t filler = 0) {
  while (program.size() % 8) program.push_back(filler);
  pe.certificateOffset = uint32_t(program.size());
  pe.certificateSize = tableSize;
  std::vector<uint8_t> headers = pe.Bytes();
  std::copy(headers.begin(), headers.begin() + 0x200, program.begin());
  std::vector<uint8_t> table = CertificateTableBytes(tableSize);
  program.insert(program.end(), table.begin(), table.end());
  return program;
}

// Writes a 32-bit field of the headers in place.
void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

TEST(ArchiveEnd, UnsignedFilesEndAtTheirEnd) {
  PeImage pe;
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{'M', 'Z'}, std::vector<uint8_t>(5000, 0),
        pe.Bytes(), Program(pe)}) {
    MemoryFile file(bytes);
    ArchiveEnd end = FindArchiveEnd(file);
    EXPECT_EQ(end.offset, bytes.size());
    EXPECT_FALSE(end.Signed());
    EXPECT_TRUE(end.error.empty()) << end.error;
  }
  MemoryFile unsigned_(Program(pe));
  ArchiveTrailer back;
  TrailerReadResult r = ReadTrailer(unsigned_, back);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.layout.archiveEnd, r.layout.fileSize);
  EXPECT_FALSE(r.layout.Signed());
}

TEST(ArchiveEnd, SignedProgramsEndWhereTheirTableBegins) {
  for (bool plus : {false, true}) {
    PeImage pe;
    pe.plus = plus;
    const size_t stream = AlignedStream(pe);
    std::vector<uint8_t> program = Program(pe, stream);
    ASSERT_EQ(program.size() % 8, 0u);
    std::vector<uint8_t> bytes = Sign(program, pe, 2048);
    MemoryFile file(bytes);
    ArchiveEnd end = FindArchiveEnd(file);
    EXPECT_TRUE(end.error.empty()) << end.error;
    EXPECT_EQ(end.offset, program.size());
    EXPECT_EQ(end.certificate.offset, program.size());
    EXPECT_EQ(end.certificate.size, 2048u);
    EXPECT_EQ(end.padding, 0u);

    ArchiveTrailer back;
    TrailerReadResult r = ReadTrailer(file, back);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(back.productName, "Beispiel");
    EXPECT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(r.layout.archiveEnd, program.size());
    EXPECT_EQ(r.layout.regionStart + r.layout.regionSize + 4, program.size());
    EXPECT_EQ(r.layout.StreamLength(), stream);
    EXPECT_TRUE(r.layout.Signed());
    EXPECT_EQ(r.layout.certificateSize, 2048u);
    EXPECT_EQ(r.layout.fileSize, bytes.size());
    uint32_t flag = 7;
    EXPECT_TRUE(ReadArchiveKind(file, flag).ok);
    EXPECT_EQ(flag, 1u);
  }
}

// A table the headers name but that breaks a rule is no signature: the
// archive is looked for at the end of the file, where a signed file has none.
TEST(ArchiveEnd, TablesThatBreakTheRulesAreNotTaken) {
  PeImage pe;
  const std::vector<uint8_t> program = Program(pe, AlignedStream(pe));
  const std::vector<uint8_t> good = Sign(program, pe);
  const size_t dir = pe.SecurityDirectoryAt();
  const uint32_t offset = uint32_t(program.size());
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> bend;
  };
  const std::vector<Case> cases = {
      {"bytes behind the table", [](auto& b) { b.push_back(0); }},
      {"table past the end", [](auto& b) { b.resize(b.size() - 8); }},
      {"misaligned", [&](auto& b) { Put32(b, dir, offset + 4), b.resize(b.size() - 4); }},
      {"inside the headers", [&](auto& b) { Put32(b, dir, 0x100); }},
      {"offset 0", [&](auto& b) { Put32(b, dir, 0); }},
      {"size wraps", [&](auto& b) { Put32(b, dir + 4, 0xFFFFFFFF); }},
      {"offset wraps", [&](auto& b) { Put32(b, dir, 0xFFFFFFF8), Put32(b, dir + 4, 0x10); }},
      {"entry longer than the table", [&](auto& b) { Put32(b, offset, 1025); }},
      {"entry shorter than its header", [&](auto& b) { Put32(b, offset, 4); }},
      {"size shorter than an entry", [&](auto& b) { Put32(b, dir + 4, 0); }},
      {"four directories", [&](auto& b) { Put32(b, pe.RvaCountAt(), 4); }},
      {"optional header too short", [&](auto& b) { b[pe.lfanew + 20] = 112 + 4 * 8; }},
      {"not PE32 or PE32+", [&](auto& b) { b[pe.lfanew + 24] = 0x07; }},
      {"no PE signature", [&](auto& b) { b[pe.lfanew + 1] = 'X'; }},
      {"no MZ", [](auto& b) { b[0] = 'Z'; }},
      {"e_lfanew past the end", [](auto& b) { Put32(b, 0x3C, 0xFFFFFFF0); }},
      {"e_lfanew at the end", [](auto& b) { Put32(b, 0x3C, uint32_t(b.size() - 8)); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.bend(bytes);
    MemoryFile file(bytes);
    ArchiveEnd end = FindArchiveEnd(file);
    EXPECT_FALSE(end.Signed()) << c.what;
    EXPECT_EQ(end.offset, bytes.size()) << c.what;
    ArchiveTrailer back;
    EXPECT_FALSE(ReadTrailer(file, back).ok) << c.what;
  }
  // Cut inside the headers, at every length: never a table, never a crash.
  for (size_t n = 0; n <= 0x200; ++n) {
    MemoryFile file(std::vector<uint8_t>(good.begin(), good.begin() + n));
    EXPECT_FALSE(ReadCertificateTable(file).Present()) << n;
  }
}

TEST(ArchiveEnd, SignerPaddingBehindAnotherBuildersArchiveIsSkipped) {
  PeImage pe;
  const size_t aligned = AlignedStream(pe);
  for (size_t stream = aligned + 1; stream < aligned + 8; ++stream) { // 7 down to 1 zero bytes
    std::vector<uint8_t> program = Program(pe, stream);
    const uint32_t padding = uint32_t((8 - program.size() % 8) % 8);
    std::vector<uint8_t> bytes = Sign(program, pe);
    MemoryFile file(bytes);
    ArchiveTrailer back;
    TrailerReadResult r = ReadTrailer(file, back);
    ASSERT_TRUE(r.ok) << stream << ": " << r.error;
    EXPECT_EQ(r.layout.signaturePadding, padding);
    EXPECT_EQ(r.layout.archiveEnd, program.size());
    EXPECT_EQ(r.layout.StreamLength(), stream);
    EXPECT_EQ(back.entries.size(), 2u);
  }
}

TEST(ArchiveEnd, SignedFilesWithoutOneSoundArchiveBeforeTheTableAreRefused) {
  PeImage pe;
  auto refused = [](const std::vector<uint8_t>& bytes, const std::string& reason) {
    MemoryFile file(bytes);
    ArchiveEnd end = FindArchiveEnd(file);
    EXPECT_TRUE(end.Signed());
    EXPECT_NE(end.error.find(reason), std::string::npos) << end.error;
    ArchiveTrailer back;
    TrailerReadResult r = ReadTrailer(file, back);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, end.error);
  };
  // A signed stub without an archive.
  refused(Sign(pe.Bytes(), pe), "no archive ends at the certificate table");
  // Padding that is not zero is part of the archive, and breaks it.
  refused(Sign(Program(pe, AlignedStream(pe) + 3), pe, 1024, 0x01),
          "no archive ends at the certificate table");
  // A damaged trailer, with its reason.
  std::vector<uint8_t> program = Program(pe, AlignedStream(pe));
  Put32(program, program.size() - 4, 3);
  refused(Sign(program, pe), "trailer length 3 is too small");
  // A region with bytes beyond its fields could be the tail of another one.
  ArchiveTrailer t = Product();
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  std::vector<uint8_t> bytes = pe.Bytes();
  bytes.resize(bytes.size() + 40, 0x5A);
  region.resize(region.size() + 8 + (8 - (bytes.size() + region.size() + 4) % 8) % 8, 0);
  bytes.insert(bytes.end(), region.begin(), region.end());
  AppendLE32(bytes, uint32_t(region.size()));
  refused(Sign(bytes, pe), "holds more than its fields");
}
