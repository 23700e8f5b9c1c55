#include "trailer_text.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/format/file_path.h"
#include "archive/format/trailer.h"
#include "cp1252.h"

namespace mksetup {

std::string ToTrailerText(std::string_view utf8, bool multiLine, std::string& out) {
  std::string text, bad;
  if (!Utf8ToCp1252(utf8, text, bad)) return bad + " cannot be written in code page 1252";
  for (char c : text)
    if (uint8_t(c) < 0x20 && !(multiLine && (c == '\t' || c == '\r' || c == '\n')))
      return "holds a control character";
  if (text.size() > archive::kMaxTextLength)
    return "is " + std::to_string(text.size()) + " bytes long in code page 1252 (at most " +
           std::to_string(archive::kMaxTextLength) + ")";
  out = std::move(text);
  return {};
}

bool ReadLicenseFile(const std::string& path, std::string& utf8) {
  std::error_code ec;
  if (std::filesystem::is_directory(archive::FilePath(path), ec)) return false;
  std::ifstream in(archive::FilePath(path), std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  utf8.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) utf8 += '\r';
    utf8 += text[i];
  }
  return true;
}

} // namespace mksetup
