#include "product_options.h"

#include "trailer_text.h"

namespace mksetup {

std::string SetArchitecture(std::string_view name, archive::ProductBlock& product) {
  for (auto a : {archive::ProductArchitecture::X86, archive::ProductArchitecture::X64})
    if (name == archive::ArchitectureName(a)) {
      product.architecture = a;
      return {};
    }
  return "must be \"x86\" or \"x64\"";
}

std::string SetScope(std::string_view name, archive::ProductBlock& product) {
  for (auto s : {archive::InstallScope::Machine, archive::InstallScope::User})
    if (name == archive::ScopeName(s)) {
      product.scope = s;
      return {};
    }
  return "must be \"machine\" or \"user\"";
}

std::string SetDisplayVersion(std::string_view utf8, archive::ProductBlock& product) {
  std::string text;
  if (std::string why = ToTrailerText(utf8, false, text); !why.empty()) return why;
  if (text.size() > archive::kMaxDisplayVersionLength)
    return "is " + std::to_string(text.size()) + " bytes long in code page 1252 (at most " +
           std::to_string(archive::kMaxDisplayVersionLength) + ")";
  if (!archive::IsValidDisplayVersion(text)) return "holds a control character";
  product.displayVersion = std::move(text);
  return {};
}

std::string ShownVersion(const archive::ProductBlock& product, uint16_t version) {
  return product.displayVersion.empty() ? std::to_string(version) : product.displayVersion;
}

} // namespace mksetup
