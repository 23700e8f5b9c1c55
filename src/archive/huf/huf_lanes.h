// The HUF decoder's hot loop: pieces of a block decoded side by side in
// "lanes" (huf_decoder.cpp explains the scheme), and what the block decoder
// shares with it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/huf/huf_stream.h"
#include "archive/huf/huf_table.h"

namespace archive::huf_detail {

using Table = HufDecodeTable;

// Pieces decoded side by side (four in builds for size, such as the 32-bit
// stub: half the code), and of those, how many the hot loop keeps in
// registers at once.
#ifdef __OPTIMIZE_SIZE__
constexpr unsigned kLanes = 4;
#else
constexpr unsigned kLanes = 8;
#endif
constexpr unsigned kGroup = 4;
// Pieces per block at most, and the bits a piece has at least.
constexpr unsigned kPieces = 64;
constexpr uint64_t kPieceBits = 32 * 1024;
// Codes per round: one 64-bit load of the stream gives at least 57 bits,
// five root-table steps take at most 55.
constexpr unsigned kSteps = 5;
// Rounds whose end positions a piece records for joining.
constexpr unsigned kRecordRounds = 32;
// Decoding stops this many bytes before the end of the buffered code: a
// round that starts before the end reads at most five codes of up to 255
// bits (160 bytes) ahead, a joining step one more code, with 8-byte loads.
constexpr size_t kInputMargin = 256;
// Input is read (and progress reported) in kHufInputBlock steps, and
// decoded in blocks of a few of them: a block's last pieces finish one by
// one with fewer lanes busy, which costs less in a larger block.
constexpr size_t kBlockInput = 4 * kHufInputBlock;
constexpr size_t kBlockBytes = kBlockInput + kHufInputBlock + kInputMargin + 16;
// A piece's output buffer: at most one code per bit of its part, and slack
// for a round's overshoot and the joining steps.
constexpr size_t kOutputSlack = 2048;
constexpr size_t kMaxPieceBits = std::max<uint64_t>(2 * kPieceBits, kBlockBytes * 8 / kPieces + 8);
constexpr size_t kPieceOutput = kMaxPieceBits + 2 * kOutputSlack;

constexpr unsigned kShift = 64 - Table::kRootBits;
constexpr unsigned kSubShift = 64 - Table::kSubBits;

inline uint64_t Peek(const uint8_t* in, uint64_t pos) {
  uint64_t v;
  std::memcpy(&v, in + pos / 8, 8);
  return __builtin_bswap64(v) << (pos % 8);
}

// A code longer than the root table, starting at pos: follows the
// sub-tables, writes the symbol to *op and returns the position after it.
uint64_t LongCode(const uint8_t* in, const Table& table, uint64_t pos, uint8_t* op);

inline void StepOne(const uint8_t* in, const Table& table, uint64_t& pos, uint8_t*& op) {
  size_t index = Peek(in, pos) >> kShift;
  unsigned length = table.Lengths()[index];
  if (__builtin_expect(length == 0, 0)) {
    pos = LongCode(in, table, pos, op++);
    return;
  }
  *op++ = table.Symbols()[index];
  pos += length;
}

// A round's codes one at a time, when a root-table step met a longer code.
void SlowRound(const uint8_t* in, const Table& table, uint64_t& pos, uint8_t* op);

// One round of M pieces (M <= 4, so that their state fits the registers):
// one load of the stream each, then kSteps root-table steps, the pieces'
// steps alternating in program order so that the processor finds
// independent work close at hand. A sentinel bit below the loaded bits tells
// how far the steps went. A link (length 0) stops a piece's steps where they
// are; its round is then done again one code at a time. Every round writes
// exactly kSteps symbols.
template <unsigned M, bool kBmi2 = false>
__attribute__((always_inline)) inline bool GroupRound(const uint8_t* in, const Table& table,
                                                      const uint8_t* lengths, uint64_t* pos,
                                                      uint8_t* const* op, size_t offset) {
  constexpr size_t kSymbols = size_t(1) << Table::kRootBits; // symbols follow the lengths
  uint64_t bits[M];
  unsigned length[M];
  uint8_t* out[M];
  // With BMI2 a shift by a count in a register is one instruction that
  // leaves its source alone; hide the constant so that the compiler uses it.
  unsigned shift = kShift;
  if constexpr (kBmi2) asm("" : "+r"(shift));
#pragma GCC unroll 4
  for (unsigned j = 0; j < M; ++j) bits[j] = Peek(in, pos[j]) | 1, out[j] = op[j] + offset;
#pragma GCC unroll 8
  for (unsigned i = 0; i < kSteps; ++i) {
#pragma GCC unroll 4
    for (unsigned j = 0; j < M; ++j) {
      size_t index = bits[j] >> shift;
      length[j] = lengths[index];
      out[j][i] = lengths[index + kSymbols];
      bits[j] <<= length[j];
    }
  }
  bool slow = false;
#pragma GCC unroll 4
  for (unsigned j = 0; j < M; ++j) {
    if (__builtin_expect(length[j] == 0, 0)) {
      SlowRound(in, table, pos[j], out[j]);
      slow = true;
    } else {
      pos[j] += uint64_t(unsigned(__builtin_ctzll(bits[j])));
    }
  }
  return slow;
}

struct Piece {
  uint64_t pos = 0; // bit position in the block buffer
  uint64_t end = 0; // the piece's part ends here
  uint8_t* buf = nullptr;
  uint8_t* base = nullptr; // first valid output byte
  uint8_t* op = nullptr;
  // [0] = start, [r] = position after r rounds (r * kSteps symbols).
  std::array<uint64_t, kRecordRounds + 1> records;
  unsigned recordCount = 0;

  bool Done(bool recording) const {
    return pos >= end || (recording && recordCount > kRecordRounds);
  }
};

// Runs the n pieces of the list up to kLanes at a time, a waiting one taking
// the lane of one that is done, until all are done: at their ends, or with
// `record`, also when they have their records.
void RunAll(const uint8_t* in, const Table& table, Piece* const* list, unsigned n, bool record);

} // namespace archive::huf_detail
