// Decodes one delta of a patch: a zstd frame whose prefix is the installed
// file. The frame's bytes are written in, in pieces of any size; the result
// goes to a sink, checked against the size and SHA-256 its record gives.
// The reference is only read, and must stay in place until Finish (the
// patcher maps the installed file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/common/byte_io.h"
#include "archive/format/delta_block.h"
#include "archive/common/sha256.h"

struct ZSTD_DCtx_s;

namespace archive {

// log2 of the largest window a delta may ask for: kMaxDeltaSpan.
constexpr int kMaxDeltaWindowLog = 28;

class DeltaDecoder final : public ByteSink {
public:
  // out: where the result goes; null to check it only. hashResult: also
  // compare the result's SHA-256 with the record's at Finish.
  DeltaDecoder(const DeltaRecord& record, const uint8_t* reference, size_t referenceSize,
               ByteSink* out, bool hashResult);
  ~DeltaDecoder() override;
  DeltaDecoder(const DeltaDecoder&) = delete;
  DeltaDecoder& operator=(const DeltaDecoder&) = delete;

  // The frame's next bytes. False when they are not a delta against this
  // reference, the result grows beyond its size, or the sink fails (then
  // OutputFailed()).
  bool Write(const void* data, size_t n) override;
  // After the frame's last byte: true when the frame is complete and its
  // result has the recorded size (and hash).
  bool Finish();

  // English, for the log; empty while nothing failed.
  const char* Error() const { return m_error; }
  bool OutputFailed() const { return m_bOutputFailed; }
  uint64_t ResultBytes() const { return m_produced; }

private:
  bool Fail(const char* why);
  // One call of the decoder on n bytes at data (none at the end).
  bool Step(const void* data, size_t n, size_t& consumed, size_t& produced);

  const DeltaRecord& m_record;
  ByteSink* m_out;
  bool m_bHash;
  Sha256 m_hash;
  ZSTD_DCtx_s* m_dctx = nullptr;
  std::vector<uint8_t> m_buffer;
  uint64_t m_produced = 0;
  bool m_bFrameDone = false;
  bool m_bFailed = false;
  bool m_bOutputFailed = false;
  const char* m_error = "";
};

// The whole frame at once, into a vector: for tests and mksetup's checks.
bool DecodeDelta(const DeltaRecord& record, const std::vector<uint8_t>& reference,
                 const std::vector<uint8_t>& frame, std::vector<uint8_t>& result,
                 std::string& error);

} // namespace archive
