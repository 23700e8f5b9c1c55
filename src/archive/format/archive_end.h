// Where the archive of a program file ends. An unsigned program carries its
// length word in its last 4 bytes. A signed one carries its Authenticode
// signature behind the archive, as the PE certificate table (the security
// directory of the optional header, whose "address" is a file offset), and
// the archive ends where that table begins.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/byte_io.h"

namespace archive {

// The certificate table as the PE headers name it.
struct CertificateTable {
  uint64_t offset = 0; // file offset
  uint32_t size = 0;   // 0: the headers name none
  // File offset of the security directory's 8 bytes in the headers, when the
  // headers are sound enough to have one (also when no table is named).
  uint64_t directoryEntry = 0;
  bool Present() const { return size != 0; }
};

// The certificate table named by sound PE32 or PE32+ headers: "MZ", e_lfanew
// inside the file, "PE\0\0", an optional header long enough for at least five
// data directories, and a table that begins behind the headers on an 8-byte
// boundary, lies inside the file and starts with a certificate entry that
// fits it. Anything else gives an absent table.
CertificateTable ReadCertificateTable(RandomAccessFile& file);

struct ArchiveEnd {
  // Offset just behind the archive's length word.
  uint64_t offset = 0;
  // The certificate table, when the file ends with one; the archive then ends
  // at its start, or up to 7 zero bytes before it when the signer padded a
  // file whose length was no multiple of 8.
  CertificateTable certificate;
  uint32_t padding = 0;
  // Empty, or why no archive can be found before the table (English).
  std::string error;
  bool Signed() const { return certificate.Present(); }
};

// An unsigned file (or one whose table does not run to the end of the file)
// ends its archive at the end of the file. A signed one ends it at the start
// of the table; when a signer padded the file, exactly one of the up to 7
// zero bytes before the table must leave a complete, sound trailer in front
// of it, or the file is refused (error set, offset at the table's start).
ArchiveEnd FindArchiveEnd(RandomAccessFile& file);

} // namespace archive
