#include "cp1252.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace mksetup {

namespace {

// Code points of the bytes 0x80..0x9F; 0 where the code page assigns none.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Decodes one UTF-8 sequence at text[pos]; false when it is malformed,
// overlong, a surrogate or beyond U+10FFFF.
bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& cp) {
  const auto byte = [&](size_t i) { return uint8_t(text[i]); };
  uint8_t lead = byte(pos);
  size_t extra;
  if (lead < 0x80) {
    cp = lead;
    ++pos;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07;
  } else {
    return false;
  }
  if (text.size() - pos <= extra) return false;
  for (size_t i = 1; i <= extra; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return false;
    cp = cp << 6 | (byte(pos + i) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += extra + 1;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18);
    out += char(0x80 | (cp >> 12 & 0x3F));
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

int ToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == cp && cp != 0) return int(0x80 + i);
  return -1;
}

} // namespace

bool Utf8ToCp1252(std::string_view utf8, std::string& out, std::string& bad) {
  out.clear();
  for (size_t pos = 0; pos < utf8.size();) {
    size_t start = pos;
    char32_t cp;
    if (!DecodeUtf8(utf8, pos, cp)) {
      bad = "invalid UTF-8 at byte " + std::to_string(start);
      return false;
    }
    int byte = ToCp1252(cp);
    if (byte < 0) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", unsigned(cp));
      bad = "'" + std::string(utf8.substr(start, pos - start)) + "' (" + code + ")";
      return false;
    }
    out += char(byte);
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    uint8_t b = uint8_t(c);
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] != 0) cp = kHighControls[b - 0x80];
    AppendUtf8(out, cp);
  }
  return out;
}

} // namespace mksetup
