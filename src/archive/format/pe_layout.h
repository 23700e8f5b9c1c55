// The parts of a PE32 or PE32+ image that the builder edits: the section
// table, the resource directory and the header checksum. Read from the
// image's bytes in memory; every offset is checked against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

struct PeSection {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
};

struct PeLayout {
  // File offset of the optional header's CheckSum field.
  uint64_t checksumOffset = 0;
  // The resource directory (data directory 2); 0 when the image has none.
  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
  std::vector<PeSection> sections;

  // The file offset of `size` bytes at `rva`, when one section holds all of
  // them in the file.
  bool FileOffset(uint32_t rva, uint32_t size, uint64_t& offset) const;
};

// False with an English reason when the bytes are no sound PE image.
bool ReadPeLayout(const std::vector<uint8_t>& image, PeLayout& layout, std::string& error);

// Where the bytes of one resource lie in the file.
struct ResourceLocation {
  uint64_t offset = 0;
  uint32_t size = 0;
};

// The resource of a numeric type and id, in its first language, found
// through the resource directory. False with an English reason.
bool FindPeResource(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t type,
                    uint32_t id, ResourceLocation& where, std::string& error);

// The header checksum of the image as the linker computes it: 16-bit words
// summed with their carries folded, the CheckSum field left out, plus the
// length of the image.
uint32_t PeChecksum(const std::vector<uint8_t>& image, uint64_t checksumOffset);

} // namespace archive
