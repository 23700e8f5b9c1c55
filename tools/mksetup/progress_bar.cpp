#include "progress_bar.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

namespace mksetup {

namespace {
constexpr auto kDelay = std::chrono::milliseconds(300);
constexpr int kWidth = 30;
} // namespace

ProgressBar::ProgressBar(std::string label)
    : m_label(std::move(label)), m_enabled(isatty(STDERR_FILENO) == 1),
      m_start(std::chrono::steady_clock::now()) {}

void ProgressBar::Update(uint64_t done, uint64_t total) {
  if (!m_enabled || total == 0) return;
  int perMille = int(done >= total ? 1000 : done * 1000 / total);
  if (perMille == m_shown) return;
  if (!m_drawn && std::chrono::steady_clock::now() - m_start < kDelay) return;
  m_shown = perMille;
  m_drawn = true;
  char bar[kWidth + 1];
  int filled = perMille * kWidth / 1000;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d.%d%%", m_label.c_str(), bar, perMille / 10, perMille % 10);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!m_drawn) return;
#ifdef _WIN32
  std::fprintf(stderr, "\r%*s\r", int(m_label.size()) + kWidth + 10,
               ""); // older consoles know no escapes
#else
  std::fprintf(stderr, "\r\033[K");
#endif
  std::fflush(stderr);
  m_drawn = false;
}

} // namespace mksetup
