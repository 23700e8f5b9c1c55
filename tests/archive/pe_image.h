// A small but complete PE image for tests: DOS header, PE32 or PE32+ headers
// and one code section, 1 KiB in all. Signing tools accept it, and its fields
// can be bent to try the header checks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace pe_test {

struct PeImage {
  bool plus = true; // PE32+ (x86-64) or PE32 (i386)
  uint32_t lfanew = 0x40;
  uint32_t rvaCount = 16;
  int optionalSize = -1; // -1: what the directories take
  uint32_t certificateOffset = 0;
  uint32_t certificateSize = 0;

  static constexpr size_t kSize = 0x400;

  size_t RvaCountAt() const { return lfanew + 24 + (plus ? 108 : 92); }
  size_t SecurityDirectoryAt() const { return RvaCountAt() + 4 + 4 * 8; }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b(std::max<size_t>(kSize, lfanew + 0x200), 0);
    auto put16 = [&](size_t at, uint32_t v) {
      b[at] = uint8_t(v);
      b[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
      put16(at, v);
      put16(at + 2, v >> 16);
    };
    b[0] = 'M';
    b[1] = 'Z';
    put32(0x3C, lfanew);
    const size_t pe = lfanew;
    b[pe] = 'P';
    b[pe + 1] = 'E';
    const uint32_t directoriesEnd = (plus ? 112 : 96) + 16 * 8;
    put16(pe + 4, plus ? 0x8664 : 0x14C);
    put16(pe + 6, 1); // sections
    put16(pe + 20, optionalSize < 0 ? directoriesEnd : uint32_t(optionalSize));
    put16(pe + 22, plus ? 0x0022 : 0x0102);
    const size_t o = pe + 24;
    put16(o, plus ? 0x20B : 0x10B);
    put32(o + 4, 0x200);   // size of code
    put32(o + 16, 0x1000); // entry point
    put32(o + 20, 0x1000); // base of code
    if (plus) {
      put32(o + 24, 0x40000000); // image base 0x140000000
      put32(o + 28, 0x1);
    } else {
      put32(o + 28, 0x400000);
    }
    put32(o + 32, 0x1000); // section alignment
    put32(o + 36, 0x200);  // file alignment
    put16(o + 40, 6);      // operating system version
    put16(o + 48, 6);      // subsystem version
    put32(o + 56, 0x2000); // size of image
    put32(o + 60, 0x200);  // size of headers
    put16(o + 68, 2);      // GUI
    const size_t stack = o + 72;
    const unsigned word = plus ? 8 : 4;
    put32(stack, 0x100000);
    put32(stack + word, 0x1000);
    put32(stack + 2 * word, 0x100000);
    put32(stack + 3 * word, 0x1000);
    put32(RvaCountAt(), rvaCount);
    put32(SecurityDirectoryAt(), certificateOffset);
    put32(SecurityDirectoryAt() + 4, certificateSize);
    const size_t section = o + directoriesEnd;
    std::copy_n(".text", 5, b.begin() + section);
    put32(section + 8, 0x10);        // virtual size
    put32(section + 12, 0x1000);     // virtual address
    put32(section + 16, 0x200);      // raw size
    put32(section + 20, 0x200);      // raw data
    put32(section + 36, 0x60000020); // code, execute, read
    b[0x200] = 0xC3;                 // ret
    return b;
  }
};

// A certificate table of `size` bytes (a multiple of 8): one entry that
// fills it, with a revision and type as signers write them.
inline std::vector<uint8_t> CertificateTableBytes(uint32_t size) {
  std::vector<uint8_t> t(size, 0xA5);
  for (int i = 0; i < 4; ++i) t[i] = uint8_t(size >> (8 * i));
  t[4] = 0x00;
  t[5] = 0x02;
  t[6] = 0x02;
  t[7] = 0x00;
  return t;
}

} // namespace pe_test
