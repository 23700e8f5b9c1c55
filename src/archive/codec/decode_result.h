// What a decoding of a payload stream came to.
#pragma once

#include <cstdint>
#include <string>

namespace archive {

struct DecodeResult {
  enum Status { Ok, Damaged, WriteError, Cancelled } status = Ok;
  std::string error;    // English, for the log
  uint64_t written = 0; // decoded bytes written
};

} // namespace archive
