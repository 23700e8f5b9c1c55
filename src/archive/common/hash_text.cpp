// The hashes as mksetup and the tests show and compare them; not needed by
// the stub, which only compares digests while it reads.
#include "archive/format/delta_block.h"
#include "archive/common/sha256.h"

namespace archive {

std::string Sha256Hex(const Sha256Digest& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : digest) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

bool MatchesReference(const DeltaRecord& record, const uint8_t* bytes, uint64_t size) {
  return size == record.referenceSize && Sha256::Of(bytes, size_t(size)) == record.referenceHash;
}

} // namespace archive
