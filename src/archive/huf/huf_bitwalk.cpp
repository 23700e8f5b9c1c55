// The reference decoder: one bit at a time down the code tree.
#include <vector>

#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_stream.h"

namespace archive {

HufDecodeResult HufDecodeBitwise(ByteSource& in, uint64_t inLength, ByteSink& out,
                                 const std::function<bool(uint64_t)>& progress) {
  HufStreamReader reader(in, inLength, progress);
  HufCounts counts;
  std::string error;
  if (!reader.ReadHeader(counts, error)) return HufDamaged(error, 0);
  HufTree tree;
  BuildHufTree(counts, tree);
  if (tree.symbolCount < 2) return HufDecodeWithoutCode(reader, tree, out);

  std::vector<uint8_t> input(kHufInputBlock), output(kHufInputBlock);
  size_t fill = 0;
  uint64_t produced = 0, written = 0;
  auto flush = [&]() {
    if (fill && !out.Write(output.data(), fill)) return false;
    written += fill;
    fill = 0;
    return true;
  };
  unsigned node = tree.root;
  uint8_t validBits = 8;
  bool final = false;
  while (!final) {
    size_t got;
    if (!reader.ReadCode(input.data(), input.size(), got)) {
      flush();
      return HufDamaged("stream ends early", written);
    }
    if (reader.CodeLeft() == 0) {
      final = true;
      if (!HufReadFinal(reader, validBits, error)) {
        flush();
        return HufDamaged(error, written);
      }
    }
    for (size_t i = 0; i < got; ++i) {
      unsigned bits = final && i + 1 == got ? validBits : 8;
      for (unsigned b = 0; b < bits; ++b) {
        node = tree.Child(node, (input[i] >> (7 - b)) & 1);
        if (HufTree::IsLeaf(node)) {
          if (produced == tree.total) {
            flush();
            return HufDamaged(HufLengthMismatch(produced + 1, tree.total, true), written);
          }
          ++produced;
          output[fill++] = uint8_t(node);
          if (fill == output.size() && !flush()) return HufWriteError(written);
          node = tree.root;
        }
      }
    }
    if (!final && !reader.Progress()) {
      if (!flush()) return HufWriteError(written);
      return HufCancelled(written);
    }
  }
  if (!flush()) return HufWriteError(written);
  if (produced != tree.total)
    return HufDamaged(HufLengthMismatch(produced, tree.total, false), written);
  HufDecodeResult r;
  r.written = written;
  if (!reader.Progress()) return HufCancelled(written);
  return r;
}

} // namespace archive
