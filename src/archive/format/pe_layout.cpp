#include "archive/format/pe_layout.h"

#include "archive/common/byte_io.h"

namespace archive {

namespace {

constexpr uint64_t kLfanewOffset = 0x3C;
constexpr uint64_t kFileHeaderSize = 24; // "PE\0\0" and the COFF header
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint64_t kChecksumField = 64; // in the optional header, either kind
constexpr uint32_t kResourceDirectory = 2;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint32_t kSubdirectory = 0x80000000;

bool Inside(const std::vector<uint8_t>& image, uint64_t offset, uint64_t n) {
  return offset <= image.size() && n <= image.size() - offset;
}

// One level of the resource tree: the value of the entry with a numeric
// `id`, or of the first entry when `id` is absent (-1).
bool ResourceEntry(const uint8_t* tree, uint32_t treeSize, uint32_t directory, int64_t id,
                   uint32_t& value) {
  if (directory > treeSize || treeSize - directory < 16) return false;
  const uint32_t named = LoadLE16(tree + directory + 12);
  const uint32_t numbered = LoadLE16(tree + directory + 14);
  const uint64_t entries = uint64_t(directory) + 16;
  if ((named + numbered) * 8ull > treeSize - entries) return false;
  for (uint32_t i = id < 0 ? 0 : named; i < named + numbered; ++i) {
    const uint8_t* entry = tree + entries + 8 * i;
    if (id < 0 || LoadLE32(entry) == uint32_t(id)) {
      value = LoadLE32(entry + 4);
      return true;
    }
  }
  return false;
}

} // namespace

bool PeLayout::FileOffset(uint32_t rva, uint32_t size, uint64_t& offset) const {
  for (const PeSection& s : sections) {
    if (rva < s.virtualAddress) continue;
    const uint64_t into = uint64_t(rva) - s.virtualAddress;
    if (into < s.rawSize && size <= s.rawSize - into) {
      offset = s.rawOffset + into;
      return true;
    }
  }
  return false;
}

bool ReadPeLayout(const std::vector<uint8_t>& image, PeLayout& layout, std::string& error) {
  layout = {};
  if (!Inside(image, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') {
    error = "not a PE image (no MZ header)";
    return false;
  }
  const uint64_t pe = LoadLE32(&image[kLfanewOffset]);
  if (!Inside(image, pe, kFileHeaderSize + 2) || image[pe] != 'P' || image[pe + 1] != 'E' ||
      image[pe + 2] != 0 || image[pe + 3] != 0) {
    error = "not a PE image (no PE signature)";
    return false;
  }
  const uint32_t sectionCount = LoadLE16(&image[pe + 6]);
  const uint64_t optionalSize = LoadLE16(&image[pe + 20]);
  const uint64_t optional = pe + kFileHeaderSize;
  const uint16_t magic = LoadLE16(&image[optional]);
  uint64_t rvaCountField;
  if (magic == kMagicPe32)
    rvaCountField = 92;
  else if (magic == kMagicPe32Plus)
    rvaCountField = 108;
  else {
    error = "unknown optional header magic " + std::to_string(magic);
    return false;
  }
  const uint64_t directories = rvaCountField + 4;
  if (optionalSize < directories || !Inside(image, optional, optionalSize)) {
    error = "the optional header is cut short";
    return false;
  }
  layout.checksumOffset = optional + kChecksumField;
  const uint32_t rvaCount = LoadLE32(&image[optional + rvaCountField]);
  const uint64_t resource = directories + 8 * kResourceDirectory;
  if (rvaCount > kResourceDirectory && resource + 8 <= optionalSize) {
    layout.resourceRva = LoadLE32(&image[optional + resource]);
    layout.resourceSize = LoadLE32(&image[optional + resource + 4]);
  }
  const uint64_t table = optional + optionalSize;
  if (!Inside(image, table, sectionCount * kSectionHeaderSize)) {
    error = "the section table runs past the image";
    return false;
  }
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* s = &image[table + i * kSectionHeaderSize];
    PeSection section{LoadLE32(s + 12), LoadLE32(s + 8), LoadLE32(s + 20), LoadLE32(s + 16)};
    if (!Inside(image, section.rawOffset, section.rawSize)) {
      error = "section " + std::to_string(i) + " runs past the image";
      return false;
    }
    layout.sections.push_back(section);
  }
  return true;
}

bool FindPeResource(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t type,
                    uint32_t id, ResourceLocation& where, std::string& error) {
  const std::string what = "resource " + std::to_string(type) + "/" + std::to_string(id);
  uint64_t treeOffset = 0;
  if (layout.resourceSize == 0 ||
      !layout.FileOffset(layout.resourceRva, layout.resourceSize, treeOffset)) {
    error = "the image has no resource directory";
    return false;
  }
  const uint8_t* tree = &image[treeOffset];
  const uint32_t size = layout.resourceSize;
  // Type, then name, then language; the first two lead to directories, the
  // last to the data entry.
  uint32_t byType = 0, byName = 0, leaf = 0;
  if (!ResourceEntry(tree, size, 0, type, byType) || !(byType & kSubdirectory) ||
      !ResourceEntry(tree, size, byType & ~kSubdirectory, id, byName) ||
      !(byName & kSubdirectory) || !ResourceEntry(tree, size, byName & ~kSubdirectory, -1, leaf) ||
      (leaf & kSubdirectory) || leaf > size || size - leaf < 16) {
    error = "the image has no " + what;
    return false;
  }
  const uint32_t dataRva = LoadLE32(tree + leaf);
  where.size = LoadLE32(tree + leaf + 4);
  if (!layout.FileOffset(dataRva, where.size, where.offset) ||
      !Inside(image, where.offset, where.size)) {
    error = "the data of " + what + " lies outside the image's sections";
    return false;
  }
  return true;
}

uint32_t PeChecksum(const std::vector<uint8_t>& image, uint64_t checksumOffset) {
  uint64_t sum = 0;
  // The field's own bytes count as zero.
  auto byte = [&](uint64_t i) -> uint32_t {
    return i >= image.size() || (i >= checksumOffset && i - checksumOffset < 4) ? 0 : image[i];
  };
  for (uint64_t i = 0; i < image.size(); i += 2) {
    sum += byte(i) | byte(i + 1) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + image.size());
}

} // namespace archive
