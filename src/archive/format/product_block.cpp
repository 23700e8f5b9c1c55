#include "archive/format/product_block.h"

#include "archive/common/byte_io.h"

namespace archive {

bool IsValidDisplayVersion(const std::string& text) {
  if (text.size() > kMaxDisplayVersionLength) return false;
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

bool ReadProductBlock(const uint8_t* body, uint32_t length, ProductBlock& block,
                      std::string& error) {
  if (length < 12) {
    error = "product block is " + std::to_string(length) + " bytes long";
    return false;
  }
  const uint32_t architecture = LoadLE32(body);
  const uint32_t scope = LoadLE32(body + 4);
  if (architecture > uint32_t(ProductArchitecture::X64)) {
    error = "unknown product architecture " + std::to_string(architecture);
    return false;
  }
  if (scope > uint32_t(InstallScope::User)) {
    error = "unknown install scope " + std::to_string(scope);
    return false;
  }
  uint32_t pos = 8;
  if (!ReadCountedText(body, length, pos, kMaxDisplayVersionLength, block.displayVersion,
                       "display version", error))
    return false;
  if (!IsValidDisplayVersion(block.displayVersion)) {
    error = "display version holds a control character";
    return false;
  }
  if (pos != length) {
    error = "product block holds more than its fields";
    return false;
  }
  block.architecture = ProductArchitecture(architecture);
  block.scope = InstallScope(scope);
  return true;
}

void AppendProductBlock(std::vector<uint8_t>& out, const ProductBlock& block) {
  if (block.Empty()) return;
  AppendLE32(out, kProductBlockTag);
  AppendLE32(out, uint32_t(12 + block.displayVersion.size()));
  AppendLE32(out, uint32_t(block.architecture));
  AppendLE32(out, uint32_t(block.scope));
  AppendCountedText(out, block.displayVersion);
}

const char* ArchitectureName(ProductArchitecture architecture) {
  return architecture == ProductArchitecture::X64 ? "x64" : "x86";
}

const char* ScopeName(InstallScope scope) {
  return scope == InstallScope::User ? "user" : "machine";
}

} // namespace archive
