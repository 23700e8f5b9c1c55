// The progress of a decoding on the bar, and the window kept alive.
#pragma once

#include <cstdint>

class CProgressCtrl;

// Given the input consumed so far, moves the bar (may be null) over
// [from, to] of its 0..10000 range and dispatches the waiting window
// messages when they are due. Returns false once the user has cancelled: the
// decoder's progress callback, which is called every 64 KiB of input.
class DecodeProgress {
public:
  static constexpr int kRange = 10000;

  DecodeProgress(CProgressCtrl* bar, uint64_t total, int from = 0, int to = kRange)
      : m_bar(bar), m_total(total), m_from(from), m_to(to) {}
  bool operator()(uint64_t done);
  // Sets the bar to its position for `done` without dispatching messages.
  void Show(uint64_t done);

private:
  CProgressCtrl* m_bar;
  uint64_t m_total;
  int m_from;
  int m_to;
  int m_shown = -1;
};
