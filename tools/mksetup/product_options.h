// How and where the product installs, as the manifest (architecture, scope,
// display_version) and `mksetup diff` (--architecture, --scope,
// --display-version) name it: the trailer's product block.
#pragma once

#include <string>
#include <string_view>

#include "archive/format/product_block.h"

namespace mksetup {

// Each sets one field of the block from the vendor's UTF-8 text; on failure
// it returns what is wrong ("must be \"x86\" or \"x64\""), else an empty
// string. An empty display version means the version word in decimal.
std::string SetArchitecture(std::string_view name, archive::ProductBlock& product);
std::string SetScope(std::string_view name, archive::ProductBlock& product);
std::string SetDisplayVersion(std::string_view utf8, archive::ProductBlock& product);

// What the list of installed programs shows: the display version, or the
// version word in decimal when the block has none.
std::string ShownVersion(const archive::ProductBlock& product, uint16_t version);

} // namespace mksetup
