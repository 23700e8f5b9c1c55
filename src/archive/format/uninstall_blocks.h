// The trailer blocks of the built-in uninstaller (trailer_extension.h).
//
// Block "UNIN", in an installer: uint32 flags (bit 0: write an uninstaller
// into the installation folder), counted publisher (code page 1252, for the
// entry in the list of installed programs).
//
// Block "ULST" marks an uninstall archive and lists what the installation
// wrote: uint32 count, then per item uint32 kind and a counted path. Files
// and folders are relative to the installation folder (the folder the
// uninstaller lies in); shortcuts and the start-menu folders made for them
// are absolute. The product key, the uninstall entry and the installation
// folder itself are items without a path. An uninstall archive has the patch
// form of the region (flag 0) and carries no entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <set>
#include <vector>

namespace archive {

constexpr uint32_t kUninstallerBlockTag = 0x4E494E55; // "UNIN"
constexpr uint32_t kUninstallListTag = 0x54534C55;    // "ULST"

// Bits of the UNIN block's flags word; any other bit is refused.
constexpr uint32_t kUninstallerEnabled = 1;

struct UninstallerBlock {
  bool enabled = false;
  std::string publisher;
  bool Empty() const { return !enabled && publisher.empty(); }
  bool operator==(const UninstallerBlock&) const = default;
};

enum class UninstallItemKind : uint32_t {
  File = 1,           // relative file
  Folder = 2,         // relative folder the installation made
  Shortcut = 3,       // absolute path of a .lnk file
  ShortcutFolder = 4, // absolute start-menu folder made for the shortcuts
  ProductKey = 5,     // HKCU\Software\Tarnivex\<product>
  UninstallEntry = 6, // HKLM\...\Uninstall\<product>
  InstallFolder = 7,  // the installation folder was made by the installation
};

struct UninstallItem {
  UninstallItemKind kind = UninstallItemKind::File;
  std::string path;
  bool operator==(const UninstallItem&) const = default;
};

struct UninstallList {
  bool present = false; // the block is there: this is an uninstall archive
  std::vector<UninstallItem> items;
  bool operator==(const UninstallList& other) const {
    return present == other.present && items == other.items;
  }
  // Adds the item unless it is listed already (names compared without
  // regard to ASCII case, as Windows compares them). Constant time: the
  // items are looked up in an index of their folded keys, which catches up
  // with items appended to `items` directly.
  void Add(UninstallItemKind kind, const std::string& path);
  bool Has(UninstallItemKind kind) const;
  // Adds every item of `earlier` that is not listed yet, in its order.
  void Merge(const UninstallList& earlier);

private:
  std::set<std::string> m_index; // a tree: the stub links no hash table code
  size_t m_indexed = 0; // items[0, m_indexed) are in m_index
};

// An absolute path that names what it says: "X:\" and a safe relative path
// behind it (no "..", no stream, no device).
bool IsSafeAbsolutePath(const std::string& path);

bool ReadUninstallerBlock(const uint8_t* body, uint32_t length, UninstallerBlock& block,
                          std::string& error);
bool ReadUninstallList(const uint8_t* body, uint32_t length, UninstallList& list,
                       std::string& error);
void AppendUninstallerBlock(std::vector<uint8_t>& out, const UninstallerBlock& block);
void AppendUninstallList(std::vector<uint8_t>& out, const UninstallList& list);

} // namespace archive
