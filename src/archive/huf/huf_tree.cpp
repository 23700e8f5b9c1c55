#include "archive/huf/huf_tree.h"

#include "archive/common/byte_io.h"

#include <utility>

namespace archive {

namespace {

struct Builder {
  std::array<uint32_t, 511> count{}; // by node
  std::array<uint16_t, 256> work{};  // the working table of node numbers

  bool Less(int i, int j) const { return count[work[i]] < count[work[j]]; }

  // The exchange sort over entries 0..a.
  void ExchangeSort(int a) {
    for (int i = 0; i <= a; ++i)
      for (int j = i + 1; j <= a; ++j)
        if (Less(i, j)) std::swap(work[i], work[j]);
  }

  // The same exchange sort when entries 0..a-1 are already in order. Then no
  // two of them are ever swapped with each other: pass i only compares entry
  // i with entry a (everything between is no larger), so the whole sort is
  // one pass of swaps against entry a.
  void ExchangeSortLastNew(int a) {
    for (int i = 0; i < a; ++i)
      if (Less(i, a)) std::swap(work[i], work[a]);
  }

  void Build(const HufCounts& counts, HufTree& tree, bool literal) {
    tree = HufTree{};
    int zeros = 0;
    for (int i = 0; i < 256; ++i) {
      count[i] = counts[i];
      tree.total += counts[i];
      zeros += counts[i] == 0;
    }
    tree.symbolCount = 256 - zeros;
    if (literal) {
      for (int i = 0; i < 256; ++i) work[i] = uint16_t(i);
      ExchangeSort(255);
    } else {
      // A zero count is never larger than another, so it never becomes the
      // entry a pass carries forward: leaving the zeros out (behind the
      // others) changes neither which entries are swapped nor their order.
      int n = 0, z = 256 - zeros;
      for (int i = 0; i < 256; ++i) work[counts[i] ? n++ : z++] = uint16_t(i);
      ExchangeSort(n - 1);
    }
    uint16_t next = HufTree::kLeaves;
    for (int top = 255 - zeros; top > 0; --top) {
      // Entries 0..top-1 are in order; only entry top may be new.
      if (literal)
        ExchangeSort(top);
      else
        ExchangeSortLastNew(top);
      uint16_t zero = work[top - 1], one = work[top];
      count[next] = count[zero] + count[one]; // wraps at 32 bits
      tree.children[next - HufTree::kLeaves] = {zero, one};
      work[top - 1] = next++;
    }
    tree.root = work[0];
  }
};

} // namespace

void BuildHufTree(const HufCounts& counts, HufTree& tree) {
  Builder b;
  b.Build(counts, tree, false);
}

void BuildHufTreeLiteral(const HufCounts& counts, HufTree& tree) {
  Builder b;
  b.Build(counts, tree, true);
}

void ComputeHufCodes(const HufTree& tree, std::array<HufCode, 256>& codes) {
  codes = {};
  if (HufTree::IsLeaf(tree.root)) return;
  // Depth-first walk with an explicit stack: (node, code so far).
  struct Item {
    uint16_t node;
    HufCode code;
  };
  std::array<Item, 512> stack;
  int sp = 0;
  stack[sp++] = {tree.root, HufCode{}};
  while (sp) {
    Item it = stack[--sp];
    if (HufTree::IsLeaf(it.node)) {
      codes[it.node] = it.code;
      continue;
    }
    for (unsigned bit = 0; bit < 2; ++bit) {
      Item child{tree.Child(it.node, bit), it.code};
      unsigned k = child.code.length++;
      if (bit) child.code.words[k / 64] |= uint64_t(1) << (63 - k % 64);
      stack[sp++] = child;
    }
  }
}

void ParseHufCounts(const uint8_t* bytes, HufCounts& counts) {
  for (int i = 0; i < 256; ++i) counts[i] = LoadLE32(bytes + 4 * i);
}

} // namespace archive
