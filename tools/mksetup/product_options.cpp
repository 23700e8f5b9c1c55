#include "product_options.h"

#include "trailer_text.h"

namespace mksetup {

namespace {

// Sets `out` to the value whose name is `name`; else says which names there are.
template <class Value, size_t N>
std::string SetNamed(std::string_view name, const Value (&values)[N], const char* (*nameOf)(Value),
                     Value& out) {
  std::string names;
  for (Value value : values) {
    if (name == nameOf(value)) {
      out = value;
      return {};
    }
    names += std::string(names.empty() ? "" : " or ") + "\"" + nameOf(value) + "\"";
  }
  return "must be " + names;
}

} // namespace

std::string SetArchitecture(std::string_view name, archive::ProductBlock& product) {
  const archive::ProductArchitecture all[] = {archive::ProductArchitecture::X86,
                                              archive::ProductArchitecture::X64};
  return SetNamed(name, all, archive::ArchitectureName, product.architecture);
}

std::string SetScope(std::string_view name, archive::ProductBlock& product) {
  const archive::InstallScope all[] = {archive::InstallScope::Machine, archive::InstallScope::User};
  return SetNamed(name, all, archive::ScopeName, product.scope);
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
