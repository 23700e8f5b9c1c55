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

inline DecodeResult MakeDecodeResult(DecodeResult::Status status, std::string error,
                                     uint64_t written) {
  DecodeResult r;
  r.status = status;
  r.error = std::move(error);
  r.written = written;
  return r;
}

} // namespace archive
