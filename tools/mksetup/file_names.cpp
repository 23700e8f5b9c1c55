#include "file_names.h"

#include <array>
#include <string_view>

#include "archive/archive_builder.h"
#include "archive/format/trailer.h"
#include "cp1252.h"

namespace mksetup {

namespace {

// Names Windows gives to devices, with or without an extension.
bool IsDeviceName(const std::string& name) {
  std::string stem = archive::EntryNameKey(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  for (auto device : kPlain)
    if (stem == device) return true;
  // COM0..COM9 and LPT0..LPT9, also with the superscript digits ¹ ² ³.
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         ((stem[3] >= '0' && stem[3] <= '9') ||
          std::string_view("\xB9\xB2\xB3").find(stem[3]) != std::string_view::npos);
}

} // namespace

std::string CheckWindowsFileName(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > archive::kMaxNameLength)
    return "the name is " + std::to_string(name.size()) + " characters long (at most " +
           std::to_string(archive::kMaxNameLength) + ")";
  if (name.find_first_of("/\\") != std::string::npos) return "the name has directory parts";
  if (name == "." || name == "..") return "the name is not a file name";
  for (char c : name) {
    if (uint8_t(c) < 0x20) return "the name holds a control character";
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      return std::string("the name holds the character '") + c + "', which Windows forbids";
  }
  if (name.back() == '.' || name.back() == ' ')
    return "the name ends in a dot or a blank, which Windows drops";
  if (IsDeviceName(name)) return "the name is a Windows device name";
  if (!archive::IsSafeEntryName(name)) return "the name is unsafe";
  return {};
}

std::string CheckWindowsPath(const std::string& name) {
  if (name.size() > archive::kMaxNameLength)
    return "the path is " + std::to_string(name.size()) + " characters long (at most " +
           std::to_string(archive::kMaxNameLength) + ")";
  for (size_t start = 0;;) {
    const size_t end = name.find('\\', start);
    const std::string part = name.substr(start, end - start);
    if (std::string why = CheckWindowsFileName(part); !why.empty())
      return end == std::string::npos && start == 0 ? why : "[" + Cp1252ToUtf8(part) + "]: " + why;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!archive::IsSafeEntryName(name)) return "the path is unsafe";
  return {};
}

} // namespace mksetup
