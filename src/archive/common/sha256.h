// SHA-256 (FIPS 180-4), for the hashes a patch records of the files it
// reads and writes. Portable and self-contained: the stub has no other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace archive {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
  Sha256() { Reset(); }
  void Reset();
  void Update(const void* data, size_t n);
  // The digest of everything updated since the last reset; resets.
  Sha256Digest Finish();

  static Sha256Digest Of(const void* data, size_t n) {
    Sha256 h;
    h.Update(data, n);
    return h.Finish();
  }

private:
  void Compress(const uint8_t* block);

  uint32_t m_state[8];
  uint8_t m_block[64];
  size_t m_used = 0;
  uint64_t m_length = 0;
};

// 64 lower-case hex digits.
std::string Sha256Hex(const Sha256Digest& digest);

} // namespace archive
