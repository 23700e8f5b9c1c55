// Where the archive of a signed or unsigned program ends, with crafted PE
// headers and certificate tables.
#include "archive/format/archive_end.h"

#include <gtest/gtest.h>

#include "archive/format/trailer.h"
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

// `program` with a certificate table right behind it, named by the headers.
std::vector<uint8_t> AppendTable(std::vector<uint8_t> program, PeImage pe,
                                 uint32_t tableSize = 1024) {
  pe.certificateOffset = uint32_t(program.size());
  pe.certificateSize = tableSize;
  std::vector<uint8_t> headers = pe.Bytes();
  std::copy(headers.begin(), headers.begin() + 0x200, program.begin());
  std::vector<uint8_t> table = CertificateTableBytes(tableSize);
  program.insert(program.end(), table.begin(), table.end());
  return program;
}

// `program` as a signer leaves it: zero bytes up to a multiple of 8 (or the
// given filler), then the certificate table.
std::vector<uint8_t> Sign(std::vector<uint8_t> program, const PeImage& pe,
                          uint32_t tableSize = 1024, uint8_t filler = 0) {
  while (program.size() % 8) program.push_back(filler);
  return AppendTable(std::move(program), pe, tableSize);
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
      {"PE signature PE\\0\\1", [&](auto& b) { b[pe.lfanew + 3] = 1; }},
      {"PE signature PE\\1\\0", [&](auto& b) { b[pe.lfanew + 2] = 1; }},
      {"table a byte past the end", [](auto& b) { b.pop_back(); }},
      {"entry of 7 bytes", [&](auto& b) { Put32(b, offset, 7); }},
      {"optional header a byte short", [&](auto& b) { b[pe.lfanew + 20] = 108 + 4 + 5 * 8 - 1; }},
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
    // The builder asks the headers alone (is the stub signed?): only the
    // table followed by more bytes is a table to them.
    EXPECT_EQ(ReadCertificateTable(file).Present(), c.what == std::string("bytes behind the table"))
        << c.what;
  }
  // Cut inside the headers, at every length: never a table, never a crash.
  for (size_t n = 0; n <= 0x200; ++n) {
    MemoryFile file(std::vector<uint8_t>(good.begin(), good.begin() + n));
    EXPECT_FALSE(ReadCertificateTable(file).Present()) << n;
  }
}

// The same rules just met: each gives a table, and the archive in front of it reads.
TEST(ArchiveEnd, TablesThatJustMeetTheRulesAreTaken) {
  for (bool plus : {false, true}) {
    PeImage pe;
    pe.plus = plus;
    const std::vector<uint8_t> program = Program(pe, AlignedStream(pe));
    const uint32_t offset = uint32_t(program.size());
    const uint32_t directoriesNeeded = (plus ? 108 : 92) + 4 + 5 * 8;
    struct Case {
      const char* what;
      std::function<void(std::vector<uint8_t>&)> bend;
    };
    const std::vector<Case> cases = {
        {"as signed", [](auto&) {}},
        {"five directories", [&](auto& b) { Put32(b, pe.RvaCountAt(), 5); }},
        {"optional header just long enough",
         [&](auto& b) { b[pe.lfanew + 20] = directoriesNeeded; }},
        {"entry of 8 bytes", [&](auto& b) { Put32(b, offset, 8); }},
        {"entry as long as the table", [&](auto& b) { Put32(b, offset, 1024); }},
    };
    for (const Case& c : cases) {
      std::vector<uint8_t> bytes = Sign(program, pe);
      c.bend(bytes);
      MemoryFile file(bytes);
      CertificateTable table = ReadCertificateTable(file);
      EXPECT_TRUE(table.Present()) << plus << " " << c.what;
      EXPECT_EQ(table.offset, offset) << c.what;
      ArchiveTrailer back;
      TrailerReadResult r = ReadTrailer(file, back);
      EXPECT_TRUE(r.ok) << plus << " " << c.what << ": " << r.error;
    }
    // A table may begin right behind the headers (the optional header's end),
    // not one boundary earlier.
    const uint32_t headersEnd = pe.lfanew + 24 + (plus ? 112 : 96) + 16 * 8;
    ASSERT_EQ(headersEnd % 8, 0u);
    for (uint32_t at : {headersEnd - 8, headersEnd}) {
      PeImage early = pe;
      early.certificateOffset = at;
      early.certificateSize = 16;
      std::vector<uint8_t> bytes = early.Bytes();
      Put32(bytes, at, 16);
      MemoryFile file(bytes);
      EXPECT_EQ(ReadCertificateTable(file).Present(), at == headersEnd) << plus << " " << at;
    }
  }
}

// A sound table that starts off an 8-byte boundary is no signature (signers
// align it), even right behind a complete archive.
TEST(ArchiveEnd, TableOffAnEightByteBoundaryIsNoSignature) {
  PeImage pe;
  for (size_t misalignment = 0; misalignment < 8; ++misalignment) {
    std::vector<uint8_t> program = Program(pe, AlignedStream(pe) + misalignment);
    ASSERT_EQ(program.size() % 8, misalignment);
    MemoryFile file(AppendTable(program, pe));
    EXPECT_EQ(ReadCertificateTable(file).Present(), misalignment == 0) << misalignment;
    ArchiveTrailer back;
    EXPECT_EQ(ReadTrailer(file, back).ok, misalignment == 0) << misalignment;
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
  // Likewise when only the zero byte next to the table is not zero.
  std::vector<uint8_t> nearest = Sign(Program(pe, AlignedStream(pe) + 5), pe);
  nearest[nearest.size() - 1024 - 1] = 0x01;
  refused(nearest, "no archive ends at the certificate table");
  // A signer pads with at most 7 zero bytes: behind 8 there is no archive.
  std::vector<uint8_t> eight = Program(pe, AlignedStream(pe));
  eight.resize(eight.size() + 8, 0);
  refused(Sign(eight, pe), "no archive ends at the certificate table");
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

// Zero bytes before the table can belong to the archive or be the signer's
// padding. A file that holds a sound archive both ways is refused rather than
// read one way or the other. An installer region of 7680 bytes (length word
// 00 1E 00 00) ending in zero fields, followed by one pad byte: the last 34
// bytes then read as well as a 30-byte patch region of zeros whose length
// word is 1E 00 00 00.
TEST(ArchiveEnd, ArchiveThatReadsTwoWaysIsRefused) {
  PeImage pe;
  ArchiveTrailer installer;
  installer.licenseText.assign(7680 - 54, 'L');
  installer.dataStart = 0;
  ASSERT_EQ(SerializeTrailerRegion(installer).size(), 7680u);
  std::vector<uint8_t> program = pe.Bytes();
  program.resize(program.size() + (8 - (program.size() + 7680 + 4 + 1) % 8) % 8, 0x5A);
  VectorSink sink;
  WriteTrailer(sink, installer);
  program.insert(program.end(), sink.bytes.begin(), sink.bytes.end());
  program.push_back(0);
  ASSERT_EQ(program.size() % 8, 0u);
  MemoryFile file(AppendTable(program, pe));

  // Each reading is sound on its own.
  ArchiveTrailer asPatch, asInstaller;
  TrailerReadResult patchRead = ReadTrailerEndingAt(file, program.size(), asPatch);
  TrailerReadResult installerRead = ReadTrailerEndingAt(file, program.size() - 1, asInstaller);
  ASSERT_TRUE(patchRead.ok) << patchRead.error;
  ASSERT_TRUE(installerRead.ok) << installerRead.error;
  EXPECT_EQ(patchRead.layout.regionSize, 30u);
  EXPECT_EQ(SerializeTrailerRegion(asPatch).size(), 30u);
  EXPECT_FALSE(asPatch.IsInstaller());
  EXPECT_TRUE(asInstaller.IsInstaller());

  ArchiveEnd end = FindArchiveEnd(file);
  EXPECT_TRUE(end.Signed());
  EXPECT_NE(end.error.find("reads in more than one way (0 and 1 zero bytes skipped)"),
            std::string::npos)
      << end.error;
  ArchiveTrailer back;
  TrailerReadResult r = ReadTrailer(file, back);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, end.error);
}
