#include "file_pattern.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/format/file_path.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

#ifdef _WIN32
constexpr bool kEscapes = false;
constexpr bool kFoldCase = true;
#else
constexpr bool kEscapes = true;
constexpr bool kFoldCase = false;
#endif

// UTF-8 as code points; a byte that starts no valid sequence stands for
// itself, above the range of real characters.
std::u32string Decode(const std::string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = uint8_t(text[i]);
    int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    char32_t cp = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = uint8_t(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = cp << 6 | (next & 0x3F);
    }
    if (!valid) {
      out.push_back(0x110000 + c);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += size_t(length);
  }
  return out;
}

char32_t Fold(char32_t c) { return kFoldCase && c >= 'a' && c <= 'z' ? c - 0x20 : c; }

// A bracket expression at p[at] ('['); sets `matched` for c and returns the
// position behind it, or npos when the bracket is not closed.
size_t MatchBracket(const std::u32string& p, size_t at, char32_t c, bool& matched) {
  size_t i = at + 1;
  const bool negate = i < p.size() && (p[i] == '!' || p[i] == '^');
  if (negate) ++i;
  bool found = false;
  for (bool first = true; i < p.size() && (first || p[i] != ']'); first = false) {
    if (kEscapes && p[i] == '\\' && i + 1 < p.size()) ++i;
    char32_t low = p[i++];
    char32_t high = low;
    if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
      i += 1;
      if (kEscapes && p[i] == '\\' && i + 1 < p.size()) ++i;
      high = p[i++];
    }
    if ((c >= low && c <= high) || (Fold(c) >= Fold(low) && Fold(c) <= Fold(high))) found = true;
  }
  if (i >= p.size()) return std::u32string::npos;
  matched = found != negate;
  return i + 1;
}

bool Match(const std::u32string& p, size_t pi, const std::u32string& n, size_t ni) {
  while (pi < p.size()) {
    const char32_t c = p[pi];
    if (c == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ni; k <= n.size(); ++k)
        if (Match(p, pi, n, k)) return true;
      return false;
    }
    if (ni == n.size()) return false;
    if (c == '?') {
      ++pi;
    } else if (c == '[') {
      bool matched = false;
      size_t behind = MatchBracket(p, pi, n[ni], matched);
      if (behind == std::u32string::npos) {
        if (Fold(n[ni]) != '[') return false; // an unclosed bracket is plain
        ++pi;
      } else {
        if (!matched) return false;
        pi = behind;
      }
    } else {
      if (kEscapes && c == '\\' && pi + 1 < p.size()) ++pi;
      if (Fold(p[pi]) != Fold(n[ni])) return false;
      ++pi;
    }
    ++ni;
  }
  return ni == n.size();
}

// The part with its escapes removed, for parts without wildcards.
std::string Plain(const std::string& part) {
  if (!kEscapes) return part;
  std::string out;
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] == '\\' && i + 1 < part.size()) ++i;
    out += part[i];
  }
  return out;
}

} // namespace

bool HasWildcards(const std::string& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (kEscapes && pattern[i] == '\\') {
      ++i;
      continue;
    }
    if (pattern[i] == '*' || pattern[i] == '?' || pattern[i] == '[') return true;
  }
  return false;
}

bool MatchesPart(const std::string& pattern, const std::string& name) {
  if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.')) return false;
  return Match(Decode(pattern), 0, Decode(name), 0);
}

std::vector<std::string> MatchFilePattern(const std::string& pattern) {
  const fs::path whole = archive::FilePath(pattern);
  std::vector<fs::path> current = {whole.root_path()};
  std::error_code ec;
  for (const fs::path& partPath : whole.relative_path()) {
    const std::string part = archive::PathString(partPath);
    if (part.empty()) continue; // a trailing separator
    std::vector<fs::path> next;
    for (const fs::path& dir : current) {
      if (!HasWildcards(part)) {
        next.push_back(dir / archive::FilePath(Plain(part)));
        continue;
      }
      const fs::path from = dir.empty() ? fs::path(".") : dir;
      for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec))
        if (MatchesPart(part, archive::PathString(it->path().filename())))
          next.push_back(dir / it->path().filename());
      ec.clear();
    }
    current = std::move(next);
  }
  std::vector<std::pair<std::string, std::string>> files; // generic form, as given
  for (const fs::path& path : current) {
    if (!fs::exists(path, ec) || fs::is_directory(path, ec)) continue;
    const std::u8string generic = path.generic_u8string();
    files.emplace_back(std::string(reinterpret_cast<const char*>(generic.data()), generic.size()),
                       archive::PathString(path));
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> out;
  for (auto& file : files) out.push_back(std::move(file.second));
  return out;
}

} // namespace mksetup
