#include "archive/archive_builder.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <memory>

#include "archive/format/archive_end.h"
#include "archive/codec/zstd_encoder.h"
#include "archive/format/execution_level.h"
#include "archive/format/file_path.h"
#include "archive/huf/huf_encoder.h"

namespace archive {

namespace {

constexpr size_t kBlockSize = 1 << 20;

using WideCounts = std::array<uint64_t, 256>;

BuildResult Fail(std::string why) {
  BuildResult r;
  r.error = std::move(why);
  return r;
}

// Counts what passes through, to learn the stream's length.
class CountingSink final : public ByteSink {
public:
  explicit CountingSink(ByteSink& next) : m_next(next) {}
  bool Write(const void* data, size_t n) override {
    m_written += n;
    return m_next.Write(data, n);
  }
  uint64_t Written() const { return m_written; }

private:
  ByteSink& m_next;
  uint64_t m_written = 0;
};

// Reads `size` bytes of `file` block by block and hands each block to `use`;
// false when a read fails or `use` says stop.
template <class Use>
bool ForEachBlock(RandomAccessFile& file, uint64_t size, std::vector<uint8_t>& buffer, Use use) {
  for (uint64_t offset = 0; offset < size;) {
    size_t n = size_t(std::min<uint64_t>(buffer.size(), size - offset));
    if (!file.ReadAt(offset, buffer.data(), n) || !use(buffer.data(), n)) return false;
    offset += n;
  }
  return true;
}

// Byte counts of one block, added to 64-bit totals so that no count wraps.
void CountBlock(const uint8_t* data, size_t n, WideCounts& totals, HufCounts& block) {
  block.fill(0);
  CountBytes(block, data, n);
  for (size_t i = 0; i < 256; ++i) totals[i] += block[i];
}

// The trailer must read back as the installer reads it: the reader's checks
// (lengths, NUL bytes, safe names, region size) decide.
std::string CheckTrailer(const ArchiveTrailer& trailer) {
  ArchiveTrailer probe = trailer;
  probe.dataStart = 0;
  VectorSink region;
  WriteTrailer(region, probe);
  MemoryFile file(std::move(region.bytes));
  ArchiveTrailer back;
  TrailerReadResult r = ReadTrailer(file, back);
  return r.ok ? std::string() : r.error;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(FilePath(a), FilePath(b), ec) && !ec;
}

// The stub's image, then zero bytes up to dataStart.
bool WriteImage(RandomAccessFile& stub, uint32_t padding, std::vector<uint8_t>& buffer,
                ByteSink& out) {
  if (!ForEachBlock(stub, stub.Size(), buffer,
                    [&](const uint8_t* data, size_t n) { return out.Write(data, n); }))
    return false;
  const uint8_t zeros[8] = {};
  return !padding || out.Write(zeros, padding);
}

// Zero bytes behind the stub's image make the file's length a multiple of
// 8, so that a signer appends its certificate table right behind the
// archive, without padding of its own.
uint32_t ImagePadding(uint64_t stubSize, uint64_t streamLength, const ArchiveTrailer& trailer) {
  const uint64_t unpadded = stubSize + streamLength + SerializeTrailerRegion(trailer).size() + 4;
  return uint32_t((8 - unpadded % 8) % 8);
}

// The stub's image with a manifest that asks for no elevation.
std::unique_ptr<MemoryFile> AsInvokerImage(StdioFile& stub, std::string& why) {
  std::vector<uint8_t> image(size_t(stub.Size()));
  if (!stub.ReadAt(0, image.data(), image.size())) {
    why = "cannot read it";
    return nullptr;
  }
  if (!SetExecutionLevel(image, ExecutionLevel::AsInvoker, why)) return nullptr;
  return std::make_unique<MemoryFile>(std::move(image));
}

BuildResult Built(const ArchiveTrailer& trailer, uint64_t payloadSize, uint64_t streamLength,
                  uint32_t padding) {
  BuildResult r;
  r.ok = true;
  r.payloadSize = payloadSize;
  r.streamLength = streamLength;
  r.dataStart = trailer.dataStart;
  r.imagePadding = padding;
  r.fileSize = r.dataStart + r.streamLength + SerializeTrailerRegion(trailer).size() + 4;
  return r;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The zstd payload: the frame's length is known only once it is written, and
// the padding in front of it depends on it; so the frame goes to a scratch
// file first and is copied behind the stub.
BuildResult BuildZstdProgram(RandomAccessFile& stub, const std::vector<PayloadFile>& files,
                             ArchiveTrailer& trailer, uint64_t payloadSize, ByteSink& out,
                             const BuildProgress& progress, const std::string& scratchPath) {
  if (scratchPath.empty()) return Fail("no scratch file for the zstd payload");
  // Declared before the file, so that the file is closed before it is
  // removed: Windows does not remove a file that is open.
  struct Remove {
    const std::string& path;
    ~Remove() { RemoveFile(path); }
  } removeScratch{scratchPath};
  std::unique_ptr<std::FILE, FileCloser> scratch(OpenFile(scratchPath, "w+b"));
  if (!scratch) return Fail("cannot create " + scratchPath);

  std::vector<uint8_t> buffer(kBlockSize);
  uint64_t done = 0;
  {
    StdioSink sink(scratch.get());
    const CodecBlock& codec = trailer.extension.codec;
    ZstdEncoder encoder(sink, int(codec.level), codec.windowLog, payloadSize);
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string& path = files[i].sourcePath;
      StdioFile in(path);
      if (!in.IsOpen() || in.Size() != trailer.entries[i].size)
        return Fail(path + " changed while the program was being built");
      bool read = ForEachBlock(in, in.Size(), buffer, [&](const uint8_t* data, size_t n) {
        if (!encoder.Write(data, n)) return false;
        done += n;
        if (progress) progress(done, payloadSize);
        return true;
      });
      if (!encoder.Error().empty()) return Fail(encoder.Error());
      if (!read) return Fail("cannot read " + path);
    }
    if (!encoder.Finish()) return Fail(encoder.Error());
  }
  if (std::fflush(scratch.get()) != 0 || !SeekStdio(scratch.get(), 0, SEEK_END))
    return Fail("cannot write " + scratchPath);
  const int64_t end = TellStdio(scratch.get());
  if (end < 0 || !SeekStdio(scratch.get(), 0, SEEK_SET)) return Fail("cannot read " + scratchPath);
  const uint64_t streamLength = uint64_t(end);

  const uint32_t padding = ImagePadding(stub.Size(), streamLength, trailer);
  trailer.dataStart = uint32_t(stub.Size()) + padding;
  if (!WriteImage(stub, padding, buffer, out)) return Fail("cannot write the output");
  StdioSource source(scratch.get());
  for (uint64_t left = streamLength; left;) {
    size_t n = source.Read(buffer.data(), size_t(std::min<uint64_t>(left, buffer.size())));
    if (n == 0) return Fail("cannot read " + scratchPath);
    if (!out.Write(buffer.data(), n)) return Fail("cannot write the output");
    left -= n;
  }
  if (!WriteTrailer(out, trailer)) return Fail("cannot write the output");
  return Built(trailer, payloadSize, streamLength, padding);
}

} // namespace

BuildResult BuildProgram(const std::string& stubPath, const std::vector<PayloadFile>& files,
                         const ArchiveTrailer& trailerIn, ByteSink& out,
                         const BuildProgress& progress, const std::string& scratchPath) {
  ArchiveTrailer trailer = trailerIn;
  trailer.entries.clear();
  uint64_t payloadSize = 0;
  for (const auto& f : files) {
    StdioFile in(f.sourcePath);
    if (!in.IsOpen()) return Fail("cannot open " + f.sourcePath);
    if (in.Size() > std::numeric_limits<uint32_t>::max())
      return Fail(f.sourcePath + " is " + std::to_string(in.Size()) +
                  " bytes long; an entry must be smaller than 4 GiB");
    trailer.entries.push_back({uint32_t(in.Size()), f.name});
    payloadSize += in.Size();
  }

  StdioFile stubFile(stubPath);
  if (!stubFile.IsOpen()) return Fail("cannot open the stub " + stubPath);
  if (stubFile.Size() > std::numeric_limits<uint32_t>::max() - 7)
    return Fail("the stub " + stubPath + " is 4 GiB or larger");
  // A signer replaces an existing signature by cutting the file at its
  // certificate table, which would cut off the archive behind it.
  if (ReadCertificateTable(stubFile).Present())
    return Fail("the stub " + stubPath + " is signed; build from an unsigned stub and sign the " +
                "program that is built");
  // A per-user product's program starts without asking for elevation.
  std::unique_ptr<MemoryFile> edited;
  if (trailer.extension.product.scope == InstallScope::User) {
    std::string why;
    if (!(edited = AsInvokerImage(stubFile, why)))
      return Fail("the stub " + stubPath + " cannot be made a per-user program: " + why);
  }
  RandomAccessFile& stub = edited ? static_cast<RandomAccessFile&>(*edited) : stubFile;
  trailer.dataStart = uint32_t(stub.Size());
  if (trailer.extension.codec.codec == PayloadCodec::Zstd) {
    CodecBlock& codec = trailer.extension.codec;
    if (codec.level < 1 || codec.level > uint32_t(kZstdMaxLevel))
      return Fail("zstd level " + std::to_string(codec.level) + " is not one of 1..22");
    codec.windowLog =
        ZstdWindowLog(payloadSize, codec.windowLog ? codec.windowLog : kZstdDefaultWindowLog);
  }
  if (std::string why = CheckTrailer(trailer); !why.empty()) return Fail(why);
  if (trailer.extension.codec.codec == PayloadCodec::Zstd)
    return BuildZstdProgram(stub, files, trailer, payloadSize, out, progress, scratchPath);

  std::vector<uint8_t> buffer(kBlockSize);
  const uint64_t total = 2 * payloadSize;
  uint64_t done = 0;
  auto advance = [&](size_t n) {
    done += n;
    if (progress) progress(done, total);
  };

  // First pass: the byte counts of the whole payload.
  WideCounts totals{};
  HufCounts block;
  for (size_t i = 0; i < files.size(); ++i) {
    StdioFile in(files[i].sourcePath);
    bool read = in.IsOpen() && in.Size() == trailer.entries[i].size &&
                ForEachBlock(in, in.Size(), buffer, [&](const uint8_t* data, size_t n) {
                  CountBlock(data, n, totals, block);
                  advance(n);
                  return true;
                });
    if (!read) return Fail("cannot read " + files[i].sourcePath);
  }
  HufCounts counts;
  for (size_t i = 0; i < 256; ++i) {
    if (totals[i] > std::numeric_limits<uint32_t>::max())
      return Fail("byte value " + std::to_string(i) + " occurs " + std::to_string(totals[i]) +
                  " times in the payload; the stream format counts at most 4294967295");
    counts[i] = uint32_t(totals[i]);
  }

  const uint64_t streamLength = HufStreamLength(counts, kPayloadStreamName);
  const uint32_t padding = ImagePadding(stub.Size(), streamLength, trailer);
  trailer.dataStart = uint32_t(stub.Size()) + padding;
  if (!WriteImage(stub, padding, buffer, out))
    return Fail("cannot copy the stub " + stubPath + " into the output");

  // Second pass: the code bits. A file that changed since the first pass
  // would no longer match the counts the stream starts with.
  CountingSink stream(out);
  HufEncoder encoder(counts, stream, kPayloadStreamName);
  WideCounts seen{};
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i].sourcePath;
    StdioFile in(path);
    if (!in.IsOpen() || in.Size() != trailer.entries[i].size)
      return Fail(path + " changed while the program was being built");
    bool writeFailed = false;
    bool changed = false;
    bool read = ForEachBlock(in, in.Size(), buffer, [&](const uint8_t* data, size_t n) {
      CountBlock(data, n, seen, block);
      for (size_t b = 0; b < 256; ++b)
        if (seen[b] > totals[b]) changed = true;
      if (changed) return false;
      if (!encoder.Write(data, n)) {
        writeFailed = true;
        return false;
      }
      advance(n);
      return true;
    });
    if (changed) return Fail(path + " changed while the program was being built");
    if (writeFailed) return Fail("cannot write the output");
    if (!read) return Fail("cannot read " + path);
  }
  if (seen != totals) return Fail("the payload files changed while the program was being built");
  if (!encoder.Finish()) return Fail("cannot write the output");
  if (stream.Written() != streamLength)
    return Fail("the payload stream came out " + std::to_string(stream.Written()) +
                " bytes long instead of " + std::to_string(streamLength));

  if (!WriteTrailer(out, trailer)) return Fail("cannot write the output");
  return Built(trailer, payloadSize, stream.Written(), padding);
}

BuildResult BuildProgramFile(const std::string& stubPath, const std::vector<PayloadFile>& files,
                             const ArchiveTrailer& trailer, const std::string& outPath,
                             const BuildProgress& progress) {
  if (SameFile(outPath, stubPath)) return Fail("the output " + outPath + " is the stub itself");
  for (const auto& f : files)
    if (SameFile(outPath, f.sourcePath))
      return Fail("the output " + outPath + " is one of the payload files");

  const std::string temp = outPath + ".part";
  std::FILE* file = OpenFile(temp, "wb");
  if (!file) return Fail("cannot create " + temp);
  StdioSink sink(file);
  BuildResult r = BuildProgram(stubPath, files, trailer, sink, progress, outPath + ".zst.part");
  if (std::fclose(file) != 0 && r.ok) r = Fail("cannot write " + temp);
  std::error_code ec;
  if (r.ok) {
    std::filesystem::rename(FilePath(temp), FilePath(outPath), ec);
    if (ec) r = Fail("cannot rename " + temp + " to " + outPath + ": " + ec.message());
  }
  if (!r.ok) RemoveFile(temp);
  return r;
}

namespace {

// Upper case in code page 1252, as the file system and the installer's
// name comparisons see it.
uint8_t FoldCp1252(uint8_t c) {
  if (c >= 'a' && c <= 'z') return uint8_t(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return uint8_t(c - 0x20);
  switch (c) {
  case 0x9A:
    return 0x8A; // š
  case 0x9C:
    return 0x8C; // œ
  case 0x9E:
    return 0x8E; // ž
  case 0xFF:
    return 0x9F; // ÿ
  default:
    return c;
  }
}

} // namespace

std::string EntryNameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = char(FoldCp1252(uint8_t(c)));
  return key;
}

bool SameEntryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCp1252(uint8_t(a[i])) != FoldCp1252(uint8_t(b[i]))) return false;
  return true;
}

std::vector<NameReference> ReferencedNames(const ArchiveTrailer& t) {
  std::vector<NameReference> refs;
  auto add = [&](std::string_view field, const std::string& name) {
    if (!name.empty()) refs.push_back({field, name});
  };
  if (t.IsInstaller() && t.hasProgram) {
    add("program file", t.programFile);
    add("icon file", t.iconFile);
  }
  if (t.IsInstaller() && t.hasPlugin) {
    add("plug-in control", t.pluginControlFile);
    add("plug-in setup file", t.pluginInfFile);
    add("plug-in registrar", t.pluginRegistrar);
  }
  if (t.hasReadme) add("readme file", t.readmeFile);
  if (t.IsInstaller() && t.hasRegFiles)
    for (const auto& name : t.regFiles) add("Reg file", name);
  return refs;
}

} // namespace archive
