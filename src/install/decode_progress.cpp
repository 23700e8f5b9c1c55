#include "install/decode_progress.h"

#include <algorithm>

#include "framework/controls.h"
#include "install/steady_pump.h"

void DecodeProgress::Show(uint64_t done) {
  if (!m_bar) return;
  uint64_t span = uint64_t(m_to - m_from);
  int pos = m_from;
  if (m_total > 0) pos += int(span * std::min(done, m_total) / m_total);
  if (pos != m_shown) {
    m_bar->SetPos(pos);
    m_shown = pos;
  }
}

bool DecodeProgress::operator()(uint64_t done) {
  Show(done);
  return !PumpWhenDue();
}
