#include "archive/format/archive_end.h"

#include "archive/format/trailer.h"

namespace archive {

namespace {

constexpr uint64_t kDosHeaderSize = 0x40;
constexpr uint64_t kLfanewOffset = 0x3C;
constexpr uint64_t kFileHeaderSize = 24; // "PE\0\0" and the COFF header
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
// Where NumberOfRvaAndSizes lies in the optional header; the directories follow it.
constexpr uint64_t kRvaCountPe32 = 92;
constexpr uint64_t kRvaCountPe32Plus = 108;
// A certificate entry starts with its length (including this 8-byte header),
// its revision and its type.
constexpr uint32_t kCertificateHeaderSize = 8;

bool ReadBytes(RandomAccessFile& file, uint64_t offset, void* data, size_t n) {
  uint64_t size = file.Size();
  return offset <= size && n <= size - offset && file.ReadAt(offset, data, n);
}

} // namespace

CertificateTable ReadCertificateTable(RandomAccessFile& file) {
  const CertificateTable none;
  const uint64_t size = file.Size();
  uint8_t dos[kDosHeaderSize];
  if (!ReadBytes(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return none;
  const uint64_t pe = LoadLE32(dos + kLfanewOffset);

  // Signature, COFF header and the start of the optional header up to the
  // security directory, whichever kind it is.
  uint8_t head[kFileHeaderSize + kRvaCountPe32Plus + 4 + 8 * (kSecurityDirectory + 1)];
  uint8_t* optional = head + kFileHeaderSize;
  if (!ReadBytes(file, pe, head, kFileHeaderSize + 2)) return none;
  if (head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0) return none;
  const uint16_t optionalSize = LoadLE16(head + 20);
  const uint16_t magic = LoadLE16(optional);
  uint64_t rvaCount;
  if (magic == kMagicPe32)
    rvaCount = kRvaCountPe32;
  else if (magic == kMagicPe32Plus)
    rvaCount = kRvaCountPe32Plus;
  else
    return none;
  const uint64_t directories = rvaCount + 4;
  const uint64_t needed = directories + 8 * (kSecurityDirectory + 1);
  if (optionalSize < needed) return none;
  if (!ReadBytes(file, pe, head, size_t(kFileHeaderSize + needed))) return none;
  if (LoadLE32(optional + rvaCount) <= kSecurityDirectory) return none;

  CertificateTable table, unnamed;
  unnamed.directoryEntry = pe + kFileHeaderSize + directories + 8 * kSecurityDirectory;
  table.directoryEntry = unnamed.directoryEntry;
  const uint8_t* entry = optional + directories + 8 * kSecurityDirectory;
  table.offset = LoadLE32(entry);
  table.size = LoadLE32(entry + 4);
  // pe is below 2^32 and optionalSize below 2^16: no sum here can wrap.
  const uint64_t headersEnd = pe + kFileHeaderSize + optionalSize;
  if (table.size < kCertificateHeaderSize || table.offset % 8 != 0 || table.offset < headersEnd ||
      table.offset > size || table.size > size - table.offset)
    return unnamed;
  uint8_t certificate[kCertificateHeaderSize];
  if (!ReadBytes(file, table.offset, certificate, sizeof certificate)) return unnamed;
  const uint32_t length = LoadLE32(certificate);
  if (length < kCertificateHeaderSize || length > table.size) return unnamed;
  return table;
}

ArchiveEnd FindArchiveEnd(RandomAccessFile& file) {
  ArchiveEnd end;
  end.offset = file.Size();
  const CertificateTable table = ReadCertificateTable(file);
  if (!table.Present() || table.offset + table.size != file.Size()) return end;
  end.certificate = table;
  end.offset = table.offset;

  // A signer pads the file with zero bytes up to the table's 8-byte
  // boundary. Each count of skipped zero bytes that leaves a complete trailer
  // is a possible reading; only a single one is taken.
  uint8_t before[8] = {};
  const size_t available = size_t(table.offset < 8 ? table.offset : 8);
  if (!ReadBytes(file, table.offset - available, before + 8 - available, available)) {
    end.error = "cannot read the bytes before the certificate table";
    return end;
  }
  int found = -1;
  std::string firstError;
  std::string readings;
  for (uint32_t pad = 0; pad < 8 && pad <= available; ++pad) {
    if (pad > 0 && before[8 - pad] != 0) break;
    ArchiveTrailer trailer;
    TrailerReadResult r = ReadTrailerEndingAt(file, table.offset - pad, trailer);
    if (r.ok && SerializeTrailerRegion(trailer).size() != r.layout.regionSize) {
      r.ok = false;
      r.error = "the trailer region holds more than its fields";
    }
    if (pad == 0) firstError = r.error;
    if (!r.ok) continue;
    readings += (readings.empty() ? "" : " and ") + std::to_string(pad);
    if (found >= 0) {
      end.error = "the archive before the certificate table reads in more than one way (" +
                  readings + " zero bytes skipped)";
      return end;
    }
    found = int(pad);
  }
  if (found < 0) {
    end.error = "no archive ends at the certificate table (offset " + std::to_string(table.offset) +
                "): " + firstError;
    return end;
  }
  end.padding = uint32_t(found);
  end.offset = table.offset - end.padding;
  return end;
}

} // namespace archive
