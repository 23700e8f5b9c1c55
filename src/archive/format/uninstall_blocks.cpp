#include "archive/format/uninstall_blocks.h"

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"

namespace archive {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool EndsWithLnk(const std::string& path) {
  return path.size() > 4 && SameIgnoringCase(path.substr(path.size() - 4), ".LNK");
}

bool CheckItem(const UninstallItem& item, std::string& error) {
  switch (item.kind) {
  case UninstallItemKind::File:
  case UninstallItemKind::Folder:
    if (IsSafeEntryName(item.path)) return true;
    error = "unsafe uninstall path [" + item.path + "]";
    return false;
  case UninstallItemKind::Shortcut:
    if (IsSafeAbsolutePath(item.path) && EndsWithLnk(item.path)) return true;
    error = "unsafe shortcut [" + item.path + "]";
    return false;
  case UninstallItemKind::ShortcutFolder:
    if (IsSafeAbsolutePath(item.path)) return true;
    error = "unsafe shortcut folder [" + item.path + "]";
    return false;
  case UninstallItemKind::ProductKey:
  case UninstallItemKind::UninstallEntry:
  case UninstallItemKind::InstallFolder:
    if (item.path.empty()) return true;
    error = "uninstall item " + std::to_string(uint32_t(item.kind)) + " with a path";
    return false;
  }
  error = "unknown uninstall item " + std::to_string(uint32_t(item.kind));
  return false;
}

} // namespace

namespace {

// The kind and the path in upper case (ASCII): one key for every spelling
// Windows takes for the same item.
std::string FoldedKey(UninstallItemKind kind, const std::string& path) {
  std::string key(1, char('0' + uint32_t(kind)));
  key.reserve(path.size() + 1);
  for (char c : path) key += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  return key;
}

} // namespace

void UninstallList::Add(UninstallItemKind kind, const std::string& path) {
  // A list that changed size behind the index (read, copied, cleared) is
  // indexed afresh; items appended since are indexed as they stand.
  if (m_indexed > items.size()) {
    m_index.clear();
    m_indexed = 0;
  }
  for (; m_indexed < items.size(); ++m_indexed)
    m_index.insert(FoldedKey(items[m_indexed].kind, items[m_indexed].path));
  if (!m_index.insert(FoldedKey(kind, path)).second) return;
  items.push_back({kind, path});
  ++m_indexed;
}

void UninstallList::Merge(const UninstallList& earlier) {
  for (const UninstallItem& item : earlier.items) Add(item.kind, item.path);
}

bool UninstallList::Has(UninstallItemKind kind) const {
  for (const UninstallItem& item : items)
    if (item.kind == kind) return true;
  return false;
}

bool IsSafeAbsolutePath(const std::string& path) {
  if (path.size() < 4 || path.size() > kMaxNameLength) return false;
  const char drive = char(path[0] & ~0x20);
  return drive >= 'A' && drive <= 'Z' && path[1] == ':' && path[2] == '\\' &&
         IsSafeEntryName(path.substr(3));
}

bool ReadUninstallerBlock(const uint8_t* body, uint32_t length, UninstallerBlock& block,
                          std::string& error) {
  if (length < 8) {
    error = "uninstaller block is " + std::to_string(length) + " bytes long";
    return false;
  }
  const uint32_t flags = LoadLE32(body);
  if (flags & ~kUninstallerEnabled) {
    error = "unknown uninstaller flags " + std::to_string(flags);
    return false;
  }
  uint32_t pos = 4;
  if (!ReadCountedText(body, length, pos, kMaxTextLength, block.publisher, "publisher", error))
    return false;
  if (pos != length) {
    error = "uninstaller block holds more than its fields";
    return false;
  }
  block.enabled = (flags & kUninstallerEnabled) != 0;
  return true;
}

bool ReadUninstallList(const uint8_t* body, uint32_t length, UninstallList& list,
                       std::string& error) {
  if (length < 4) {
    error = "uninstall list without a count";
    return false;
  }
  const uint32_t count = LoadLE32(body);
  // Each item takes at least 8 bytes.
  if (count > (length - 4) / 8) {
    error = "uninstall list count " + std::to_string(count) + " does not fit its block";
    return false;
  }
  list = UninstallList{};
  list.present = true;
  uint32_t pos = 4;
  bool seen[8] = {};
  for (uint32_t i = 0; i < count; ++i) {
    UninstallItem item;
    // The count fits 8 bytes an item, but earlier paths may have taken more.
    if (length - pos < 4) {
      error = "uninstall list ends inside item " + std::to_string(i);
      return false;
    }
    item.kind = UninstallItemKind(LoadLE32(body + pos));
    pos += 4;
    if (!ReadCountedText(body, length, pos, kMaxNameLength, item.path, "uninstall path", error) ||
        !CheckItem(item, error))
      return false;
    const uint32_t kind = uint32_t(item.kind);
    if (item.path.empty()) {
      // The items without a path stand once each.
      if (seen[kind]) {
        error = "uninstall item " + std::to_string(kind) + " given twice";
        return false;
      }
      seen[kind] = true;
    }
    list.items.push_back(std::move(item));
  }
  if (pos != length) {
    error = "uninstall list holds more than its items";
    return false;
  }
  return true;
}

void AppendUninstallerBlock(std::vector<uint8_t>& out, const UninstallerBlock& block) {
  if (block.Empty()) return;
  AppendLE32(out, kUninstallerBlockTag);
  AppendLE32(out, uint32_t(8 + block.publisher.size()));
  AppendLE32(out, block.enabled ? kUninstallerEnabled : 0);
  AppendCountedText(out, block.publisher);
}

void AppendUninstallList(std::vector<uint8_t>& out, const UninstallList& list) {
  if (!list.present) return;
  std::vector<uint8_t> body;
  AppendLE32(body, uint32_t(list.items.size()));
  for (const UninstallItem& item : list.items) {
    AppendLE32(body, uint32_t(item.kind));
    AppendCountedText(body, item.path);
  }
  AppendLE32(out, kUninstallListTag);
  AppendLE32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

} // namespace archive
