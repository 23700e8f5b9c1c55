#include "archive/format/execution_level.h"

#include <string_view>

#include "archive/common/byte_io.h"
#include "archive/format/pe_layout.h"

namespace archive {

namespace {

constexpr uint32_t kManifestType = 24; // RT_MANIFEST
constexpr uint32_t kManifestId = 1;    // the manifest a process is created with

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of the level attribute in the manifest's text, and the blanks
// behind its closing quote: the room a new value may take.
struct LevelSlot {
  size_t value = 0;
  size_t length = 0;
  size_t blanks = 0;
};

bool FindLevelSlot(std::string_view text, LevelSlot& slot, std::string& error) {
  constexpr std::string_view kElement = "<requestedExecutionLevel";
  constexpr std::string_view kAttribute = "level=";
  const size_t element = text.find(kElement);
  if (element == std::string_view::npos ||
      text.find(kElement, element + 1) != std::string_view::npos) {
    error = "the manifest has no single requestedExecutionLevel element";
    return false;
  }
  const size_t end = text.find('>', element);
  for (size_t at = text.find(kAttribute, element); at < end; at = text.find(kAttribute, at + 1)) {
    if (!IsBlank(text[at - 1])) continue; // uiAccess=... and the like
    const size_t open = at + kAttribute.size();
    const char quote = open < text.size() ? text[open] : '\0';
    const size_t close = quote == '"' || quote == '\'' ? text.find(quote, open + 1) : end;
    if (close >= end) break;
    slot.value = open + 1;
    slot.length = close - slot.value;
    slot.blanks = 0;
    while (close + 1 + slot.blanks < end && IsBlank(text[close + 1 + slot.blanks])) ++slot.blanks;
    return true;
  }
  error = "the requestedExecutionLevel element of the manifest has no level";
  return false;
}

// The manifest's place in the image and the level attribute in it.
struct ManifestLevel {
  PeLayout layout;
  ResourceLocation where;
  LevelSlot slot;
};

bool FindLevel(const std::vector<uint8_t>& image, ManifestLevel& found, std::string& error) {
  if (!ReadPeLayout(image, found.layout, error) ||
      !FindPeResource(image, found.layout, kManifestType, kManifestId, found.where, error))
    return false;
  const std::string_view text(reinterpret_cast<const char*>(image.data() + found.where.offset),
                              found.where.size);
  return FindLevelSlot(text, found.slot, error);
}

} // namespace

const char* ExecutionLevelName(ExecutionLevel level) {
  return level == ExecutionLevel::AsInvoker ? "asInvoker" : "requireAdministrator";
}

bool ReadExecutionLevel(const std::vector<uint8_t>& image, std::string& level, std::string& error) {
  ManifestLevel found;
  if (!FindLevel(image, found, error)) return false;
  const uint8_t* value = image.data() + found.where.offset + found.slot.value;
  level.assign(value, value + found.slot.length);
  return true;
}

bool SetExecutionLevel(std::vector<uint8_t>& image, ExecutionLevel level, std::string& error) {
  ManifestLevel found;
  if (!FindLevel(image, found, error)) return false;
  const LevelSlot& slot = found.slot;
  const std::string_view value = ExecutionLevelName(level);
  // value, closing quote, blanks: a blank that parted the attribute from the
  // next one stays.
  const size_t room = slot.length + slot.blanks - (slot.blanks ? 1 : 0);
  if (value.size() > room) {
    error = "the manifest's level attribute has no room for \"" + std::string(value) + "\"";
    return false;
  }
  uint8_t* text = image.data() + found.where.offset;
  const char quote = char(text[slot.value + slot.length]);
  size_t at = slot.value;
  for (char c : value) text[at++] = uint8_t(c);
  text[at++] = uint8_t(quote);
  while (at < slot.value + slot.length + 1 + slot.blanks) text[at++] = ' ';

  // A checksum the linker wrote covers the image; one of 0 is not checked.
  const uint64_t checksum = found.layout.checksumOffset;
  if (checksum + 4 <= image.size() && LoadLE32(&image[checksum])) {
    const uint32_t sum = PeChecksum(image, checksum);
    for (int i = 0; i < 4; ++i) image[checksum + i] = uint8_t(sum >> (8 * i));
  }
  return true;
}

} // namespace archive
