// The table-driven decoder.
//
// Code bytes are read in blocks. A block is cut into pieces that are decoded
// side by side, several at a time ("lanes"), which keeps the processor busy
// while each waits for its table loads. Piece 0 starts where the previous
// block ended, on a code boundary; the others start at byte offsets, which
// may lie inside a code. A Huffman code resynchronises: decoding from a
// wrong position soon ends a code exactly where a true code ends, and from
// there on it is the true decoding. So each piece records its position after
// each of its first rounds (a round is five codes); when the piece before it
// has reached its start, that piece decodes on one code at a time until it
// stands on one of those positions, and the later piece's output counts from
// there. If none matches (rare; data can be made to defeat it), the earlier
// piece simply decodes the later piece's part itself.
//
// The last few bytes of the stream are walked bit by bit, where the
// valid-bit count of the last byte decides where the code ends.
#include "archive/huf/huf_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/codec/decode_payload.h"
#include "archive/huf/huf_lanes.h"
#include "archive/huf/huf_pending_output.h"
#include "archive/huf/huf_stream.h"
#include "archive/huf/huf_table.h"

namespace archive {

namespace {

using namespace huf_detail;

class Decoder {
public:
  // blockBytes: the most the input buffer will hold (small streams need
  // small buffers).
  Decoder(const HufTree& tree, PendingOutput& out, size_t blockBytes)
      : m_tree(tree), m_table(tree), m_out(out) {
    uint64_t bits = uint64_t(blockBytes) * 8;
    unsigned pieces = unsigned(std::clamp<uint64_t>(bits / kPieceBits, 1, kPieces));
    m_pieceOutput = size_t(std::min<uint64_t>(kPieceOutput, bits + 2 * kOutputSlack));
    m_output.reset(new uint8_t[m_pieceOutput * pieces]);
    for (unsigned j = 0; j < pieces; ++j) m_pieces[j].buf = m_output.get() + j * m_pieceOutput;
  }

  // Decodes whole codes from bitPos while the read position stays
  // kInputMargin bytes before avail; advances bitPos.
  bool Block(const uint8_t* in, size_t avail, uint64_t& bitPos);
  // Walks the bits from bitPos up to endBit one at a time (the tail).
  bool Tail(const uint8_t* in, uint64_t bitPos, uint64_t endBit);

  uint64_t Produced() const { return m_produced; }
  bool Failed() const { return m_produced > m_tree.total; }

private:
  // Hands decoded bytes on, never more than the counts.
  void Emit(const uint8_t* p, size_t n);
  void EmitAndReset(Piece& c) {
    Emit(c.base, size_t(c.op - c.base));
    m_out.Secure();
    c.op = c.base = c.buf;
  }
  // Decodes piece c up to end alone, emitting whenever its buffer fills.
  void RunTo(const uint8_t* in, Piece& c, uint64_t end);
  // Steps `from` one code at a time until it stands on one of to's recorded
  // positions; returns the index or -1.
  long Sync(const uint8_t* in, Piece& from, const Piece& to);
  void Parallel(const uint8_t* in, uint64_t start, uint64_t end, uint64_t& bitPos);

  const HufTree& m_tree;
  HufDecodeTable m_table;
  PendingOutput& m_out;
  std::array<Piece, kPieces> m_pieces;
  std::unique_ptr<uint8_t[]> m_output; // one buffer per piece
  size_t m_pieceOutput = 0;
  uint64_t m_produced = 0;
  unsigned m_node = m_tree.root; // the tail's position in the tree
};

void Decoder::Emit(const uint8_t* p, size_t n) {
  uint64_t room = m_tree.total - std::min(m_tree.total, m_produced);
  size_t take = size_t(std::min<uint64_t>(n, room));
  if (take) m_out.Add(p, take);
  m_produced += n;
}

void Decoder::RunTo(const uint8_t* in, Piece& c, uint64_t end) {
  while (c.pos < end && !Failed()) {
    size_t room = size_t(c.buf + m_pieceOutput - c.op);
    if (room < 2 * kOutputSlack) {
      EmitAndReset(c);
      room = m_pieceOutput;
    }
    // At most one symbol per bit, and a round's overshoot.
    uint64_t stop = std::min<uint64_t>(end, c.pos + room - kOutputSlack);
    uint64_t pos = c.pos;
    uint8_t* op = c.op;
    size_t offset = 0;
    for (; pos < stop; offset += kSteps)
      GroupRound<1>(in, m_table, m_table.Lengths(), &pos, &op, offset);
    c.pos = pos;
    c.op = op + offset;
  }
}

long Decoder::Sync(const uint8_t* in, Piece& from, const Piece& to) {
  unsigned k = 0;
  for (;;) {
    while (k < to.recordCount && to.records[k] < from.pos) ++k;
    if (k == to.recordCount) return -1;
    if (to.records[k] == from.pos) return long(k);
    if (size_t(from.buf + m_pieceOutput - from.op) < kOutputSlack) EmitAndReset(from);
    StepOne(in, m_table, from.pos, from.op);
  }
}

void Decoder::Parallel(const uint8_t* in, uint64_t start, uint64_t end, uint64_t& bitPos) {
  // Parts of equal length, the later ones starting on byte boundaries.
  const unsigned pieces = unsigned(std::min<uint64_t>(kPieces, (end - start) / kPieceBits));
  uint64_t part = (end - start) / pieces;
  Piece* list[kPieces];
  for (unsigned j = 0; j < pieces; ++j) {
    Piece& c = m_pieces[j];
    c.pos = j ? (start + j * part) / 8 * 8 : start;
    c.base = c.op = c.buf;
    c.records[0] = c.pos;
    c.recordCount = 1;
    list[j] = &c;
  }
  for (unsigned j = 0; j + 1 < pieces; ++j) m_pieces[j].end = m_pieces[j + 1].pos;
  m_pieces[pieces - 1].end = end;

  RunAll(in, m_table, list + 1, pieces - 1, true);
  RunAll(in, m_table, list, pieces, false);

  // Join: each piece's output up to where the next one's becomes true.
  Piece* cur = &m_pieces[0];
  for (unsigned j = 1; j < pieces; ++j) {
    Piece& next = m_pieces[j];
    long k = Sync(in, *cur, next);
    if (k >= 0) {
      Emit(cur->base, size_t(cur->op - cur->base));
      next.base = next.buf + kSteps * size_t(k);
      cur = &next;
    } else {
      RunTo(in, *cur, next.end);
    }
  }
  Emit(cur->base, size_t(cur->op - cur->base));
  bitPos = cur->pos;
}

bool Decoder::Block(const uint8_t* in, size_t avail, uint64_t& bitPos) {
  m_out.Secure(); // the pieces' buffers are written from their start
  if (avail < kInputMargin) return !Failed();
  uint64_t end = uint64_t(avail - kInputMargin) * 8;
  if (bitPos >= end) return !Failed();
  if (end - bitPos >= 2 * kPieceBits) {
    Parallel(in, bitPos, end, bitPos);
  } else {
    Piece& c = m_pieces[0];
    c.pos = bitPos;
    c.base = c.op = c.buf;
    RunTo(in, c, end);
    Emit(c.base, size_t(c.op - c.base));
    bitPos = c.pos;
  }
  return !Failed();
}

bool Decoder::Tail(const uint8_t* in, uint64_t bitPos, uint64_t endBit) {
  m_out.Secure();
  uint8_t* out = m_pieces[0].buf;
  size_t fill = 0;
  for (; bitPos < endBit; ++bitPos) {
    m_node = m_tree.Child(m_node, (in[bitPos / 8] >> (7 - bitPos % 8)) & 1);
    if (HufTree::IsLeaf(m_node)) {
      out[fill++] = uint8_t(m_node);
      m_node = m_tree.root;
      if (fill == m_pieceOutput) {
        Emit(out, fill);
        m_out.Secure();
        fill = 0;
      }
    }
  }
  Emit(out, fill);
  return !Failed();
}

// The table-driven decoder behind the payload decoder interface. Input is
// gathered into the block buffer; each full block is decoded at once, and
// what the caller's output has no room for waits in m_pending.
class HufPayloadDecoder final : public PayloadDecoder {
public:
  explicit HufPayloadDecoder(uint64_t streamLength) : m_length(streamLength) {}
  Status Decode(DecodeInput& in, DecodeOutput& out) override;

private:
  enum class Stage { Header, Name, Code, SkipCode, Final, Repeat, Done };

  // Copies up to n bytes of input to dst (skips them with dst null).
  size_t Take(DecodeInput& in, uint8_t* dst, uint64_t n) {
    size_t take = size_t(std::min<uint64_t>(n, in.size - in.pos));
    if (dst && take) std::memcpy(dst, in.data + in.pos, take);
    in.pos += take;
    m_consumed += take;
    return take;
  }
  Status HeaderDone();
  // A fault found while decoded bytes still wait: they go out first, as they
  // would have from a decoder writing straight to its sink.
  Status Fault(std::string why) {
    m_fault = std::move(why);
    return Status::Working;
  }
  Status Failed();
  Status Finish(uint8_t validBits);

  uint64_t m_length;
  uint64_t m_consumed = 0;
  Stage m_stage = Stage::Header;
  PendingOutput m_pending;
  uint8_t m_head[kHufCountsBytes + 1];
  size_t m_headFill = 0;
  uint64_t m_nameLeft = 0;
  uint64_t m_codeLeft = 0;
  HufTree m_tree;
  std::unique_ptr<Decoder> m_dec;
  std::unique_ptr<uint8_t[]> m_buffer;
  size_t m_bufferSize = 0;
  size_t m_avail = 0;
  uint64_t m_bitPos = 0; // within m_buffer
  uint64_t m_repeatLeft = 0;
  std::string m_fault;
};

PayloadDecoder::Status HufPayloadDecoder::HeaderDone() {
  HufCounts counts;
  ParseHufCounts(m_head, counts);
  BuildHufTree(counts, m_tree);
  m_nameLeft = m_head[kHufCountsBytes];
  // The name field and the final valid-bit byte must fit.
  if (m_length < sizeof m_head + m_nameLeft + 1)
    return Damaged("stream of " + std::to_string(m_length) + " bytes is too short for its header");
  m_codeLeft = m_length - sizeof m_head - m_nameLeft - 1;
  m_stage = Stage::Name;
  if (m_tree.symbolCount < 2) return Status::Working;
  // The buffer holds the bytes the last block did not reach and a block.
  m_bufferSize = size_t(std::min<uint64_t>(kBlockBytes, m_codeLeft + kInputMargin + 16));
  m_buffer.reset(new uint8_t[m_bufferSize]);
  m_dec = std::make_unique<Decoder>(m_tree, m_pending, m_bufferSize);
  return Status::Working;
}

PayloadDecoder::Status HufPayloadDecoder::Failed() {
  return Fault(HufLengthMismatch(m_dec->Produced(), m_tree.total, true));
}

PayloadDecoder::Status HufPayloadDecoder::Finish(uint8_t validBits) {
  if (validBits > 8)
    return Fault("last code byte has " + std::to_string(validBits) + " valid bits");
  if (!m_dec) {
    m_repeatLeft = m_tree.symbolCount == 1 ? m_tree.total : 0;
    m_stage = Stage::Repeat;
    return Status::Working;
  }
  // The final byte says how much of the last code byte counts.
  uint64_t endBit = m_avail ? (m_avail - 1) * 8 + validBits : 0;
  if (!m_dec->Block(m_buffer.get(), m_avail, m_bitPos) ||
      !m_dec->Tail(m_buffer.get(), m_bitPos, endBit))
    return Failed();
  if (m_dec->Produced() != m_tree.total)
    return Fault(HufLengthMismatch(m_dec->Produced(), m_tree.total, false));
  m_stage = Stage::Done;
  return Status::Working;
}

PayloadDecoder::Status HufPayloadDecoder::Decode(DecodeInput& in, DecodeOutput& out) {
  m_pending.out = &out;
  if (!Error().empty()) return Status::Damaged;
  for (;;) {
    if (!m_pending.Drain()) return Status::Working;
    if (!m_fault.empty()) return Damaged(m_fault);
    switch (m_stage) {
    case Stage::Header:
      if (m_length < sizeof m_head)
        return Damaged("stream of " + std::to_string(m_length) +
                       " bytes is too short for its header");
      m_headFill += Take(in, m_head + m_headFill, sizeof m_head - m_headFill);
      if (m_headFill < sizeof m_head) return Status::Working;
      if (HeaderDone() == Status::Damaged) return Status::Damaged;
      break;
    case Stage::Name:
      m_nameLeft -= Take(in, nullptr, m_nameLeft);
      if (m_nameLeft) return Status::Working;
      m_stage = m_dec ? Stage::Code : Stage::SkipCode;
      break;
    case Stage::SkipCode:
      m_codeLeft -= Take(in, nullptr, m_codeLeft);
      if (m_codeLeft) return Status::Working;
      m_stage = Stage::Final;
      break;
    case Stage::Code: {
      size_t got = Take(in, m_buffer.get() + m_avail,
                        std::min<uint64_t>(m_codeLeft, m_bufferSize - m_avail));
      m_codeLeft -= got;
      m_avail += got;
      if (m_codeLeft == 0) {
        m_stage = Stage::Final;
      } else if (m_avail >= kBlockInput - kHufInputBlock / 4) {
        // The caller's input blocks hold the header too, so the code in
        // them falls a little short of whole blocks: decode at most a
        // quarter block early rather than a whole input block late.
        if (!m_dec->Block(m_buffer.get(), m_avail, m_bitPos)) {
          Failed();
          break;
        }
        // Keep the unread bytes for the next block.
        size_t keep = size_t(m_bitPos / 8);
        std::memmove(m_buffer.get(), m_buffer.get() + keep, m_avail - keep);
        m_avail -= keep;
        m_bitPos %= 8;
      } else if (got == 0) {
        return Status::Working;
      }
      break;
    }
    case Stage::Final: {
      uint8_t validBits;
      if (!Take(in, &validBits, 1)) return Status::Working;
      if (Finish(validBits) == Status::Damaged) return Status::Damaged;
      break;
    }
    case Stage::Repeat: {
      size_t n = size_t(std::min<uint64_t>(m_repeatLeft, out.size - out.pos));
      if (n) std::memset(out.data + out.pos, m_tree.root, n);
      out.pos += n;
      m_repeatLeft -= n;
      if (m_repeatLeft) return Status::Working;
      m_stage = Stage::Done;
      break;
    }
    case Stage::Done:
      return Status::Done;
    }
  }
}

} // namespace

std::unique_ptr<PayloadDecoder> MakeHufDecoder(uint64_t streamLength) {
  return std::make_unique<HufPayloadDecoder>(streamLength);
}

HufDecodeResult HufDecodeStream(ByteSource& in, uint64_t inLength, ByteSink& out,
                                const std::function<bool(uint64_t)>& progress) {
  HufPayloadDecoder decoder(inLength);
  return DecodePayload(decoder, in, inLength, out, progress);
}

} // namespace archive
