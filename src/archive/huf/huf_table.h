// Lookup tables that decode a HUF code without walking the tree bit by bit.
//
// The root tables are indexed by the next kRootBits bits of the stream
// (most significant first) and give the first code in them: its length and
// its symbol. Two byte arrays rather than one array of pairs, so that the
// decoder's hot loop loads each with one plain byte load. A code longer than
// kRootBits has length 0 there ("link"); its symbol entry then names the
// sub-table of the tree node those bits reach. A sub-table is indexed by the
// next 8 bits and gives one symbol and its remaining length, or links on to
// a deeper sub-table, so codes of any length (up to 255 bits) decode in
// steps. The root tables take 4 KiB; codes longer than the root tables are
// rare (a code of length L stands for about 2^-L of the data).
#pragma once

#include <cstdint>
#include <vector>

#include "archive/huf/huf_tree.h"

namespace archive {

class HufDecodeTable {
public:
  static constexpr unsigned kRootBits = 11;
  static constexpr unsigned kSubBits = 8;
  static constexpr uint16_t kLinkFlag = 0x8000;

  explicit HufDecodeTable(const HufTree& tree);

  // Lengths at [0, 2^kRootBits), symbols right behind them: one base
  // address serves both.
  const uint8_t* Lengths() const { return m_root.data(); }
  const uint8_t* Symbols() const { return m_root.data() + (1u << kRootBits); }
  // Sub-table entry: bits 0-7 the symbol (or, with kLinkFlag, the next
  // sub-table's number), bits 8-11 the bits it consumes.
  const uint16_t* SubTable(unsigned number) const { return &m_sub[size_t(number) << kSubBits]; }

private:
  unsigned BuildSubTable(unsigned node);

  const HufTree& m_tree;
  std::vector<uint8_t> m_root;
  std::vector<uint16_t> m_sub;
};

} // namespace archive
