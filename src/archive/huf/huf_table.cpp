#include "archive/huf/huf_table.h"

#include <algorithm>

namespace archive {

namespace {

// Visits the tree below `start` down to `bits` levels: leaf(first, count,
// depth, symbol) for each leaf, whose code covers the `count` table indices
// from `first` on; link(index, node) for each internal node exactly `bits`
// deep.
template <typename Leaf, typename Link>
void Visit(const HufTree& tree, unsigned start, unsigned bits, Leaf leaf, Link link) {
  struct Item {
    uint16_t node;
    uint8_t depth;
    uint32_t path;
  };
  Item stack[2 * 16];
  int sp = 0;
  stack[sp++] = {uint16_t(tree.Child(start, 1)), 1, 1};
  stack[sp++] = {uint16_t(tree.Child(start, 0)), 1, 0};
  while (sp) {
    Item it = stack[--sp];
    if (HufTree::IsLeaf(it.node)) {
      unsigned rest = bits - it.depth;
      leaf(it.path << rest, 1u << rest, unsigned(it.depth), uint8_t(it.node));
    } else if (it.depth == bits) {
      link(it.path, unsigned(it.node));
    } else {
      stack[sp++] = {tree.Child(it.node, 1), uint8_t(it.depth + 1), it.path << 1 | 1};
      stack[sp++] = {tree.Child(it.node, 0), uint8_t(it.depth + 1), it.path << 1};
    }
  }
}

} // namespace

HufDecodeTable::HufDecodeTable(const HufTree& tree) : m_tree(tree), m_root(2u << kRootBits) {
  constexpr unsigned kSymbols = 1u << kRootBits; // symbols follow the lengths
  Visit(
      tree, tree.root, kRootBits,
      [&](unsigned first, unsigned count, unsigned depth, uint8_t symbol) {
        std::fill_n(&m_root[first], count, uint8_t(depth));
        std::fill_n(&m_root[kSymbols + first], count, symbol);
      },
      [&](unsigned index, unsigned node) {
        m_root[index] = 0;
        m_root[kSymbols + index] = uint8_t(BuildSubTable(node));
      });
}

// Distinct indices reach distinct nodes, so each internal node gets at most
// one sub-table: at most 255 of them, numbered in a byte.
unsigned HufDecodeTable::BuildSubTable(unsigned start) {
  unsigned number = unsigned(m_sub.size() >> kSubBits);
  size_t base = m_sub.size();
  m_sub.resize(m_sub.size() + (1u << kSubBits));
  Visit(
      m_tree, start, kSubBits,
      [&](unsigned first, unsigned count, unsigned depth, uint8_t symbol) {
        std::fill_n(&m_sub[base + first], count, uint16_t(depth << 8 | symbol));
      },
      [&](unsigned index, unsigned node) {
        unsigned next = BuildSubTable(node); // grows m_sub: index it afresh
        m_sub[base + index] = uint16_t(kLinkFlag | kSubBits << 8 | next);
      });
  return number;
}

} // namespace archive
