// The code tree of the HUF stream format, shared by encoder and decoder.
//
// Both sides must build exactly the same tree from the 256 byte counts: the
// working table starts in symbol order, is exchange-sorted by count
// (descending, equal counts never swapped), and is re-sorted before every
// merge of its last two entries (bit 0 = entry top-1, bit 1 = entry top).
// Internal counts add with 32-bit wrap-around, as the format has it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace archive {

using HufCounts = std::array<uint32_t, 256>;

// Size of the counts table at the start of a stream.
constexpr size_t kHufCountsBytes = 1024;

struct HufTree {
  static constexpr uint16_t kLeaves = 256;
  // Nodes 0..255 are the leaves (node i stands for byte i); internal nodes
  // are numbered from 256 in the order they were merged.
  std::array<std::array<uint16_t, 2>, 255> children{}; // [node - 256][bit]
  uint16_t root = 0;
  int symbolCount = 0; // distinct byte values with a non-zero count
  uint64_t total = 0;  // sum of the counts: the decoded length

  static bool IsLeaf(unsigned node) { return node < kLeaves; }
  uint16_t Child(unsigned node, unsigned bit) const { return children[node - kLeaves][bit]; }
  int InternalCount() const { return symbolCount > 1 ? symbolCount - 1 : 0; }
};

// Builds the tree of a counts table. With fewer than two distinct byte
// values the root is a leaf and no code exists.
void BuildHufTree(const HufCounts& counts, HufTree& tree);

// The literal construction (full exchange sort before every merge); only
// for tests, to check that BuildHufTree gives the same tree.
void BuildHufTreeLiteral(const HufCounts& counts, HufTree& tree);

// One symbol's code: length in bits (0 when the symbol has none, at most
// 255) and its bits, most significant first: bit k of the code is bit
// (63 - k % 64) of words[k / 64].
struct HufCode {
  unsigned length = 0;
  std::array<uint64_t, 4> words{};
  unsigned Bit(unsigned k) const { return unsigned(words[k / 64] >> (63 - k % 64)) & 1; }
};

// The code of every symbol, by walking the tree.
void ComputeHufCodes(const HufTree& tree, std::array<HufCode, 256>& codes);

// Parses the counts table (1024 little-endian bytes).
void ParseHufCounts(const uint8_t* bytes, HufCounts& counts);

} // namespace archive
