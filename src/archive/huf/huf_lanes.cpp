#include "archive/huf/huf_lanes.h"

#include <climits>
#include <utility>

// x86-64 processors with BMI2 get their own build of the hot loop.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__)
#define HUF_BMI2 1
#else
#define HUF_BMI2 0
#endif

namespace archive::huf_detail {

__attribute__((noinline)) uint64_t LongCode(const uint8_t* in, const Table& table, uint64_t pos,
                                            uint8_t* op) {
  unsigned number = table.Symbols()[Peek(in, pos) >> kShift];
  pos += Table::kRootBits;
  for (;;) {
    uint16_t e = table.SubTable(number)[Peek(in, pos) >> kSubShift];
    pos += (e >> 8) & 15;
    if (!(e & Table::kLinkFlag)) {
      *op = uint8_t(e);
      return pos;
    }
    number = e & 0xFF;
  }
}

__attribute__((noinline)) void SlowRound(const uint8_t* in, const Table& table, uint64_t& pos,
                                         uint8_t* op) {
  for (unsigned i = 0; i < kSteps; ++i) StepOne(in, table, pos, op);
}

namespace {

// Rounds of N pieces side by side until one of them reaches its end or
// maxRounds are done; `record` keeps each piece's position after each round.
// Rounds go in batches that cannot carry any piece past its end by more than
// one round (a normal round takes at most kSteps * kRootBits bits; a round
// with a long code ends its batch), so that the ends need no test per round.
template <unsigned N, bool kBmi2>
__attribute__((always_inline)) inline void InterleaveBody(const uint8_t* in, const Table& table,
                                                          Piece* const* pieces, unsigned maxRounds,
                                                          bool record) {
  uint64_t pos[N], end[N];
  uint8_t* op[N];
  for (unsigned j = 0; j < N; ++j)
    pos[j] = pieces[j]->pos, end[j] = pieces[j]->end, op[j] = pieces[j]->op;
  size_t offset = 0; // every round writes kSteps symbols to each piece
  unsigned rounds = 0;
  const uint8_t* lengths = table.Lengths();
  while (rounds < maxRounds) {
    uint64_t left = UINT64_MAX;
    for (unsigned j = 0; j < N; ++j) left = std::min(left, pos[j] < end[j] ? end[j] - pos[j] : 0);
    if (!left) break;
    unsigned batch = unsigned(std::min<uint64_t>(
        maxRounds - rounds, std::max<uint64_t>(1, left / (kSteps * Table::kRootBits))));
    rounds += batch;
    for (unsigned b = 0; b < batch; ++b) {
      bool slow = false;
      // Groups of up to four pieces, one after the other.
      [&]<size_t... G>(std::index_sequence<G...>) {
        ((slow |= GroupRound<std::min(kGroup, N - kGroup * unsigned(G)), kBmi2>(
              in, table, lengths, pos + kGroup * G, op + kGroup * G, offset)),
         ...);
      }
      (std::make_index_sequence<(N + kGroup - 1) / kGroup>());
      offset += kSteps;
      if (record)
        for (unsigned j = 0; j < N; ++j) pieces[j]->records[pieces[j]->recordCount++] = pos[j];
      if (__builtin_expect(slow, 0)) {
        rounds -= batch - b - 1;
        break;
      }
    }
  }
  for (unsigned j = 0; j < N; ++j) pieces[j]->pos = pos[j], pieces[j]->op = op[j] + offset;
}

template <unsigned N>
__attribute__((noinline)) void Interleave(const uint8_t* in, const Table& table,
                                          Piece* const* pieces, unsigned maxRounds, bool record) {
  InterleaveBody<N, false>(in, table, pieces, maxRounds, record);
}

#if HUF_BMI2
// The same compiled for processors with BMI2, whose shifts by a register
// count take one instruction and leave the flags alone.
template <unsigned N>
__attribute__((noinline, target("bmi2"))) void InterleaveBmi2(const uint8_t* in, const Table& table,
                                                              Piece* const* pieces,
                                                              unsigned maxRounds, bool record) {
  InterleaveBody<N, true>(in, table, pieces, maxRounds, record);
}

bool HasBmi2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi2") != 0;
  }();
  return has;
}
#endif

template <unsigned N>
void InterleaveAny(const uint8_t* in, const Table& table, Piece* const* pieces, unsigned maxRounds,
                   bool record) {
#if HUF_BMI2
  if (HasBmi2()) return InterleaveBmi2<N>(in, table, pieces, maxRounds, record);
#endif
  Interleave<N>(in, table, pieces, maxRounds, record);
}

void InterleaveSome(const uint8_t* in, const Table& table, Piece* const* pieces, unsigned n,
                    unsigned maxRounds, bool record) {
  [&]<size_t... I>(std::index_sequence<I...>) {
    using Run = void (*)(const uint8_t*, const Table&, Piece* const*, unsigned, bool);
    static constexpr Run runs[] = {&InterleaveAny<I + 1>...};
    runs[n - 1](in, table, pieces, maxRounds, record);
  }
  (std::make_index_sequence<kLanes>());
}

} // namespace

// Runs the n pieces of the list up to kLanes at a time, a waiting one taking
// the lane of one that is done, until all are done: at their ends, or with
// `record`, also when they have their records.
void RunAll(const uint8_t* in, const Table& table, Piece* const* list, unsigned n, bool record) {
  Piece* lanes[kLanes];
  unsigned live = 0, next = 0;
  for (;;) {
    unsigned kept = 0;
    for (unsigned j = 0; j < live; ++j)
      if (!lanes[j]->Done(record)) lanes[kept++] = lanes[j];
    live = kept;
    for (; live < kLanes && next < n; ++next)
      if (!list[next]->Done(record)) lanes[live++] = list[next];
    if (!live) return;
    unsigned maxRounds = UINT_MAX;
    if (record)
      for (unsigned j = 0; j < live; ++j)
        maxRounds = std::min(maxRounds, kRecordRounds + 1 - lanes[j]->recordCount);
    InterleaveSome(in, table, lanes, live, maxRounds, record);
  }
}

} // namespace archive::huf_detail
