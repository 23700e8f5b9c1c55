// Block "PROD" of the trailer extension: how and where the product installs.
//
//   uint32 architecture  0 x86 (32-bit product), 1 x64 (64-bit product)
//   uint32 scope         0 machine (elevated, Program Files, HKLM entry),
//                        1 user (no elevation, the user's own program folder,
//                        HKCU entry)
//   counted display version (code page 1252): what the list of installed
//                        programs shows; empty: the version word in decimal
//
// Written only when a field differs from its default, so every archive
// without it reads as an x86, per-machine product, as before. Any other value
// is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

constexpr uint32_t kProductBlockTag = 0x444F5250; // "PROD"

enum class ProductArchitecture : uint32_t { X86 = 0, X64 = 1 };
enum class InstallScope : uint32_t { Machine = 0, User = 1 };

// Longest display version a reader accepts.
constexpr uint32_t kMaxDisplayVersionLength = 64;

struct ProductBlock {
  ProductArchitecture architecture = ProductArchitecture::X86;
  InstallScope scope = InstallScope::Machine;
  std::string displayVersion;
  bool Empty() const {
    return architecture == ProductArchitecture::X86 && scope == InstallScope::Machine &&
           displayVersion.empty();
  }
  bool operator==(const ProductBlock&) const = default;
};

bool ReadProductBlock(const uint8_t* body, uint32_t length, ProductBlock& block,
                      std::string& error);
void AppendProductBlock(std::vector<uint8_t>& out, const ProductBlock& block);

// "x86", "x64"; "machine", "user": the names of the manifest and of mksetup.
const char* ArchitectureName(ProductArchitecture architecture);
const char* ScopeName(InstallScope scope);
// The display version as a string of code page 1252 characters a vendor may
// write: printable, no control characters, at most kMaxDisplayVersionLength.
bool IsValidDisplayVersion(const std::string& text);

} // namespace archive
