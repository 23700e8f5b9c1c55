#include "archive/archive_extract.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "archive/archive_builder.h"
#include "archive/codec/decode_payload.h"
#include "archive/codec/zstd_decoder.h"
#include "archive/format/file_path.h"
#include "archive/huf/huf_encoder.h"

namespace archive {

namespace {

CheckResult Fail(std::string why) {
  CheckResult r;
  r.error = std::move(why);
  return r;
}

CheckResult Ok() {
  CheckResult r;
  r.ok = true;
  return r;
}

// A sink that may explain its own failure.
class ExplainingSink : public ByteSink {
public:
  std::string error;
};

// Decodes the payload stream into `sink`; the decoded length must be the sum
// of the entry sizes.
CheckResult DecodeInto(RandomAccessFile& file, const ArchiveInfo& info, ExplainingSink& sink,
                       const DecodeProgress& progress) {
  const uint64_t length = info.layout.StreamLength();
  FileRangeSource source(file, info.layout.dataStart, length);
  std::function<bool(uint64_t)> report;
  if (progress)
    report = [&](uint64_t done) {
      progress(done, length);
      return true;
    };
  const uint64_t expected = info.trailer.TotalSize();
  DecodeResult r =
      DecodePayload(info.trailer.extension.codec, source, length, expected, sink, report);
  if (!sink.error.empty()) return Fail(sink.error);
  switch (r.status) {
  case DecodeResult::Ok:
    break;
  case DecodeResult::Damaged:
    return Fail("payload stream damaged: " + r.error);
  case DecodeResult::WriteError:
    return Fail("cannot write the decoded payload");
  case DecodeResult::Cancelled:
    return Fail("cancelled");
  }
  return Ok();
}

// Checks the decoded bytes against the entries' total and the stream's
// counts, and hands them on to `next` (if any).
class CheckedSink final : public ExplainingSink {
public:
  // countBytes: keep a histogram of the byte values (a HUF stream's counts
  // are checked against it; a zstd frame carries its own checksum).
  CheckedSink(ExplainingSink* next, uint64_t limit, bool countBytes)
      : m_next(next), m_limit(limit), m_countBytes(countBytes) {}
  bool Write(const void* data, size_t n) override {
    if (n > m_limit - m_total) {
      error = "payload stream decodes to more bytes than the entries hold";
      return false;
    }
    m_total += n;
    if (m_countBytes) {
      HufCounts block{};
      CountBytes(block, data, n);
      for (size_t i = 0; i < 256; ++i) m_histogram[i] += block[i];
    }
    if (m_next && !m_next->Write(data, n)) {
      error = m_next->error;
      return false;
    }
    return true;
  }
  // Every byte value must have been decoded as often as the counts say.
  std::string Mismatch(const HufCounts& counts) const {
    for (size_t i = 0; i < 256; ++i)
      if (m_histogram[i] != counts[i])
        return "payload stream damaged: byte value " + std::to_string(i) + " decodes " +
               std::to_string(m_histogram[i]) + " times, counted " + std::to_string(counts[i]);
    return {};
  }

private:
  ExplainingSink* m_next;
  uint64_t m_limit;
  bool m_countBytes;
  uint64_t m_total = 0;
  std::array<uint64_t, 256> m_histogram{};
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Splits the decoded payload into the entries' files, in directory order.
class EntryWriter final : public ExplainingSink {
public:
  EntryWriter(const std::vector<ArchiveEntry>& entries,
              const std::function<std::string(const std::string&)>& outputPath)
      : m_entries(entries), m_outputPath(outputPath) {}

  bool Write(const void* data, size_t n) override {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
      if (!m_file && !OpenNext()) return false;
      size_t take = size_t(std::min<uint64_t>(n, m_left));
      if (std::fwrite(p, 1, take, m_file.get()) != take) return Failed("cannot write ");
      p += take;
      n -= take;
      m_left -= take;
      if (m_left == 0 && !CloseCurrent()) return false;
    }
    return true;
  }

  // Writes the empty entries behind the last byte.
  bool Finish() {
    if (m_file) return Failed("payload stream ends inside ");
    return OpenNext(false);
  }

  // Removes every file written and every folder made so far.
  void RemoveAll() {
    if (m_file) std::fclose(m_file.release());
    for (const auto& path : m_written) RemoveFile(path);
    std::error_code ec;
    for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it)
      std::filesystem::remove(*it, ec);
  }

private:
  // Creates the entries in turn up to the next one with data, which stays
  // open. With wantData, running out of entries means too many bytes.
  bool OpenNext(bool wantData = true) {
    while (m_next < m_entries.size()) {
      const ArchiveEntry& e = m_entries[m_next++];
      m_path = m_outputPath(e.name);
      if (!MakeFolders(FilePath(m_path).parent_path()))
        return Failed("cannot create the folder of ");
      m_file.reset(OpenFile(m_path, "wb"));
      if (!m_file) return Failed("cannot create ");
      m_written.push_back(m_path);
      m_left = e.size;
      if (m_left > 0) return true;
      if (!CloseCurrent()) return false;
    }
    if (!wantData) return true;
    error = "payload stream decodes to more bytes than the entries hold";
    return false;
  }

  // Makes the missing folders of a path, outermost first, and notes them.
  bool MakeFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec)) return true;
    if (!MakeFolders(folder.parent_path())) return false;
    if (!std::filesystem::create_directory(folder, ec))
      return !ec && std::filesystem::is_directory(folder, ec);
    m_folders.push_back(folder);
    return true;
  }

  bool CloseCurrent() {
    std::FILE* f = m_file.release();
    return std::fclose(f) == 0 || Failed("cannot write ");
  }

  bool Failed(const std::string& what) {
    error = what + m_path;
    return false;
  }

  const std::vector<ArchiveEntry>& m_entries;
  const std::function<std::string(const std::string&)>& m_outputPath;
  size_t m_next = 0;
  std::unique_ptr<std::FILE, FileCloser> m_file;
  std::string m_path;
  uint64_t m_left = 0;
  std::vector<std::string> m_written;
  std::vector<std::filesystem::path> m_folders; // made by this extraction, outermost first
};

// Decodes the payload into `next` (or nowhere), checking length and counts.
CheckResult DecodeChecked(RandomAccessFile& file, const ArchiveInfo& info, ExplainingSink* next,
                          const DecodeProgress& progress) {
  const bool huf = info.trailer.extension.codec.codec == PayloadCodec::Huf;
  CheckedSink sink(next, info.trailer.TotalSize(), huf);
  CheckResult r = DecodeInto(file, info, sink, progress);
  if (r.ok && huf) {
    if (std::string why = sink.Mismatch(info.counts); !why.empty()) return Fail(why);
  }
  return r;
}

} // namespace

size_t FileRangeSource::Read(void* data, size_t n) {
  size_t take = size_t(std::min<uint64_t>(n, m_left));
  if (take == 0 || !m_file.ReadAt(m_offset, data, take)) return 0;
  m_offset += take;
  m_left -= take;
  return take;
}

CheckResult OpenArchive(RandomAccessFile& file, ArchiveInfo& info) {
  info = ArchiveInfo{};
  TrailerReadResult r = ReadTrailer(file, info.trailer);
  if (!r.ok) return Fail("trailer: " + r.error);
  info.layout = r.layout;
  info.trailerRead = true;

  const size_t fields = SerializeTrailerRegion(info.trailer).size();
  if (fields != info.layout.regionSize)
    return Fail("trailer: the region is " + std::to_string(info.layout.regionSize) +
                " bytes long, its fields take " + std::to_string(fields));

  const uint64_t length = info.layout.StreamLength();
  uint8_t head[kHufCountsBytes] = {};
  if (!file.ReadAt(info.layout.dataStart, head, size_t(std::min<uint64_t>(length, sizeof head))))
    return Fail("cannot read the payload stream");
  const bool zstdFrame = length >= 4 && LoadLE32(head) == kZstdFrameMagic;
  const PayloadCodec codec = info.trailer.extension.codec.codec;
  if (codec == PayloadCodec::Zstd) {
    if (!zstdFrame) return Fail("payload stream is no zstd frame, the archive marks zstd");
    return Ok();
  }

  if (length < kHufCountsBytes)
    return Fail("payload stream is " + std::to_string(length) +
                " bytes long, too short for its byte counts");
  ParseHufCounts(head, info.counts);

  uint64_t counted = 0;
  for (uint32_t c : info.counts) counted += c;
  if (counted != info.trailer.TotalSize()) {
    if (zstdFrame) return Fail("payload stream is a zstd frame, the archive marks HUF");
    return Fail("payload stream counts " + std::to_string(counted) + " bytes, the entries hold " +
                std::to_string(info.trailer.TotalSize()));
  }
  return Ok();
}

CheckResult CheckReferencedNames(const ArchiveTrailer& trailer) {
  std::string missing;
  for (const auto& ref : ReferencedNames(trailer)) {
    bool found =
        std::any_of(trailer.entries.begin(), trailer.entries.end(),
                    [&](const ArchiveEntry& e) { return SameEntryName(e.name, ref.name); });
    if (!found) {
      if (!missing.empty()) missing += ", ";
      missing += std::string(ref.field) + " [" + ref.name + "]";
    }
  }
  return missing.empty() ? Ok() : Fail("not in the archive: " + missing);
}

CheckResult VerifyPayload(RandomAccessFile& file, const ArchiveInfo& info,
                          const DecodeProgress& progress) {
  return DecodeChecked(file, info, nullptr, progress);
}

bool IsExtractableName(const std::string& name) { return IsSafeEntryName(name); }

CheckResult ExtractPayload(RandomAccessFile& file, const ArchiveInfo& info,
                           const std::function<std::string(const std::string&)>& outputPath,
                           const DecodeProgress& progress) {
  for (const auto& e : info.trailer.entries)
    if (!IsExtractableName(e.name)) return Fail("unsafe entry name [" + e.name + "]");

  EntryWriter writer(info.trailer.entries, outputPath);
  CheckResult r = DecodeChecked(file, info, &writer, progress);
  if (r.ok && !writer.Finish()) r = Fail(writer.error);
  if (!r.ok) writer.RemoveAll();
  return r;
}

} // namespace archive
