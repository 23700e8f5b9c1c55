#include "install/decode_progress.h"

#include <algorithm>

#include "framework/controls.h"
#include "install/steady_pump.h"

namespace {

// A bar repaints itself on every new position, which costs far more than the
// decoding of a block: it moves in steps of half a percent.
constexpr int kMinStep = DecodeProgress::kRange / 200;

} // namespace

void DecodeProgress::Show(uint64_t done) {
  if (!m_bar) return;
  uint64_t span = uint64_t(m_to - m_from);
  int pos = m_from;
  if (m_total > 0) pos += int(span * std::min(done, m_total) / m_total);
  if (pos != m_shown && (m_shown < 0 || pos - m_shown >= kMinStep || pos == m_to)) {
    m_bar->SetPos(pos);
    m_shown = pos;
  }
}

bool DecodeProgress::operator()(uint64_t done) {
  Show(done);
  return !PumpWhenDue();
}
