// Counted texts inside trailer blocks (byte_io.h). A file of their own: the
// stub reads them, and byte_io.cpp's stdio files would come along with them.
#include "archive/common/byte_io.h"

namespace archive {

bool ReadCountedText(const uint8_t* body, uint32_t length, uint32_t& pos, uint32_t limit,
                     std::string& text, const char* field, std::string& error) {
  if (length - pos < 4) {
    error = std::string(field) + " runs past its block";
    return false;
  }
  const uint32_t n = LoadLE32(body + pos);
  pos += 4;
  if (n > limit || n > length - pos) {
    error = std::string(field) + " of " + std::to_string(n) + " bytes does not fit its block";
    return false;
  }
  text.assign(reinterpret_cast<const char*>(body + pos), n);
  pos += n;
  if (text.find('\0') != std::string::npos) {
    error = std::string(field) + " holds a NUL byte";
    return false;
  }
  return true;
}

void AppendCountedText(std::vector<uint8_t>& out, const std::string& text) {
  AppendLE32(out, uint32_t(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

} // namespace archive
