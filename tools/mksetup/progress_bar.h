// A one-line progress bar on stderr, shown only when stderr is a terminal
// and the work has taken a moment already.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace mksetup {

class ProgressBar {
public:
  explicit ProgressBar(std::string label);
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(uint64_t done, uint64_t total);
  // Clears the bar's line.
  void Finish();

private:
  std::string m_label;
  bool m_enabled;
  bool m_drawn = false;
  int m_shown = -1; // per mille last drawn
  std::chrono::steady_clock::time_point m_start;
};

} // namespace mksetup
