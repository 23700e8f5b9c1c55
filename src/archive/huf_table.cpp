#include "huf_table.h"

namespace archive {

HufDecodeTable::HufDecodeTable(const HufTree& tree) : m_tree(tree), m_root(2u << kRootBits) {
  uint8_t* length = m_root.data();
  uint8_t* symbol = length + (1u << kRootBits);
  for (unsigned index = 0; index < (1u << kRootBits); ++index) {
    unsigned node = tree.root;
    for (unsigned k = 0; k < kRootBits; ++k) {
      node = tree.Child(node, (index >> (kRootBits - 1 - k)) & 1);
      if (HufTree::IsLeaf(node)) {
        length[index] = uint8_t(k + 1);
        symbol[index] = uint8_t(node);
        break;
      }
    }
    if (!length[index]) symbol[index] = uint8_t(BuildSubTable(node));
  }
}

// Distinct indices reach distinct nodes, so each internal node gets at most
// one sub-table: at most 255 of them, numbered in a byte.
unsigned HufDecodeTable::BuildSubTable(unsigned start) {
  unsigned number = unsigned(m_sub.size() >> kSubBits);
  m_sub.resize(m_sub.size() + (1u << kSubBits));
  for (unsigned index = 0; index < (1u << kSubBits); ++index) {
    unsigned node = start;
    uint16_t entry = 0;
    for (unsigned k = 0; k < kSubBits; ++k) {
      node = m_tree.Child(node, (index >> (kSubBits - 1 - k)) & 1);
      if (HufTree::IsLeaf(node)) {
        entry = uint16_t((k + 1) << 8 | node);
        break;
      }
    }
    if (!entry) {
      unsigned next = BuildSubTable(node);
      entry = uint16_t(kLinkFlag | kSubBits << 8 | next);
    }
    m_sub[(size_t(number) << kSubBits) + index] = entry;
  }
  return number;
}

} // namespace archive
