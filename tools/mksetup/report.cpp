#include <cstdio>

#include "commands.h"

namespace mksetup {

void ReportError(const std::string& what) {
  std::fprintf(stderr, "mksetup: error: %s\n", what.c_str());
}

std::string FormatRatio(uint64_t streamLength, uint64_t payloadSize) {
  if (payloadSize == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * double(streamLength) / double(payloadSize));
  return text;
}

} // namespace mksetup
