#include "archive/format/trailer.h"

#include "archive/format/archive_end.h"

#include <cstring>
#include <string_view>

namespace archive {

uint64_t ArchiveTrailer::TotalSize() const {
  uint64_t total = 0;
  for (const auto& e : entries) total += e.size;
  return total;
}

namespace {

// A component Windows would not keep as written: empty, or only dots and
// spaces (trailing ones are dropped, so "..." or ".. " can become ".." or
// the folder itself).
bool IsDotsOrEmpty(std::string_view part) {
  return part.find_first_not_of(". ") == std::string_view::npos;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 and COM/LPT with the superscript
// digits 1-3 (also with an extension or trailing spaces): opening such a
// name opens a device, not a file in the folder.
bool IsDeviceName(std::string_view part) {
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper;
  for (char c : base) upper += char(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
      upper == "CONOUT$")
    return true;
  if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
    return false;
  const char digit = upper[3];
  return (digit >= '1' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

// Characters no Windows file name holds: the controls (NUL included), the
// wildcards, the stream and drive colon, quotes and pipes, and '/', which
// Windows reads as a separator (entry names separate with '\' only).
bool IsForbiddenChar(char c) {
  return uint8_t(c) < 0x20 || std::string_view("<>:\"/|?*").find(c) != std::string_view::npos;
}

} // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  for (char c : name)
    if (IsForbiddenChar(c)) return false;
  // Parts between '\': none may be empty (this rules out a root, a leading
  // or trailing separator and "a\\b"), only dots and spaces ("..", "."),
  // or a device. A folder part must not end in a dot or a space either:
  // Windows drops those, so the folder made would not be the one named.
  size_t start = 0;
  for (;;) {
    size_t end = name.find('\\', start);
    const bool last = end == std::string::npos;
    std::string_view part(name.data() + start, (last ? name.size() : end) - start);
    if (IsDotsOrEmpty(part) || IsDeviceName(part)) return false;
    if (last) return true;
    if (part.back() == '.' || part.back() == ' ') return false;
    start = end + 1;
  }
}

bool IsPlainEntryName(const std::string& name) {
  return IsSafeEntryName(name) && name.find('\\') == std::string::npos;
}

namespace {

// Deltas belong to patches, each to an entry of the directory that holds at
// least a frame's bytes.
bool DeltasFitDirectory(const ArchiveTrailer& t, std::string& why) {
  const auto& deltas = t.extension.deltas;
  if (deltas.empty()) return true;
  if (t.IsInstaller()) {
    why = "an installer with delta entries";
    return false;
  }
  for (const DeltaRecord& d : deltas) {
    if (d.entry >= t.entries.size()) {
      why = "delta record for entry " + std::to_string(d.entry) + " of " +
            std::to_string(t.entries.size());
      return false;
    }
    if (t.entries[d.entry].size == 0) {
      why = "delta entry [" + t.entries[d.entry].name + "] without bytes";
      return false;
    }
  }
  return true;
}

// Bounds-checked reader over the trailer region held in memory.
class RegionReader {
public:
  RegionReader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}

  bool U32(uint32_t& v, const char* field) {
    if (!Need(4, field)) return false;
    v = LoadLE32(&m_bytes[m_pos]);
    m_pos += 4;
    return true;
  }
  bool U16(uint16_t& v, const char* field) {
    if (!Need(2, field)) return false;
    v = LoadLE16(&m_bytes[m_pos]);
    m_pos += 2;
    return true;
  }
  bool Text(std::string& s, const char* field, uint32_t limit) {
    uint32_t len;
    if (!U32(len, field)) return false;
    if (len > limit) {
      error = std::string(field) + " is " + std::to_string(len) + " bytes long (limit " +
              std::to_string(limit) + ")";
      return false;
    }
    if (!Need(len, field)) return false;
    s.assign(reinterpret_cast<const char*>(&m_bytes[m_pos]), len);
    m_pos += len;
    if (s.find('\0') != std::string::npos) {
      error = std::string(field) + " holds a NUL byte";
      return false;
    }
    return true;
  }
  // The name of a payload file the trailer refers to: empty, or a safe
  // entry name (the program opens and starts these files in its folder).
  bool Name(std::string& s, const char* field) {
    if (!Text(s, field, kMaxNameLength)) return false;
    if (!s.empty() && !IsSafeEntryName(s)) {
      error = std::string("unsafe ") + field + " [" + s + "]";
      return false;
    }
    return true;
  }
  size_t Remaining() const { return m_bytes.size() - m_pos; }
  const uint8_t* Here() const { return m_bytes.data() + m_pos; }
  std::string error;

private:
  bool Need(size_t n, const char* field) {
    if (n <= Remaining()) return true;
    error = std::string("trailer region ends inside ") + field;
    return false;
  }
  const std::vector<uint8_t>& m_bytes;
  size_t m_pos = 0;
};

TrailerReadResult Fail(std::string why) {
  TrailerReadResult r;
  r.error = std::move(why);
  return r;
}

// Reads N of the archive that ends at `end` and checks it against the
// archive; fills the layout.
TrailerReadResult ReadLayoutAt(RandomAccessFile& file, uint64_t end) {
  TrailerReadResult r;
  if (end < 8 || end > file.Size())
    return Fail("file too short for an archive (" + std::to_string(end) + " bytes)");
  uint8_t word[4];
  if (!file.ReadAt(end - 4, word, 4)) return Fail("cannot read the trailer length");
  uint32_t n = LoadLE32(word);
  if (uint64_t(n) > end - 4)
    return Fail("trailer length " + std::to_string(n) + " exceeds the file (" +
                std::to_string(end) + " bytes)");
  if (n < 4) return Fail("trailer length " + std::to_string(n) + " is too small");
  if (n > kMaxTrailerRegion) return Fail("trailer length " + std::to_string(n) + " is absurd");
  r.ok = true;
  r.layout.fileSize = file.Size();
  r.layout.archiveEnd = end;
  r.layout.regionSize = n;
  r.layout.regionStart = end - 4 - n;
  return r;
}

// The same where FindArchiveEnd puts the end, with the signature's place.
TrailerReadResult ReadLayout(RandomAccessFile& file) {
  ArchiveEnd end = FindArchiveEnd(file);
  if (!end.error.empty()) return Fail(end.error);
  TrailerReadResult r = ReadLayoutAt(file, end.offset);
  r.layout.certificateOffset = end.certificate.offset;
  r.layout.certificateSize = end.certificate.size;
  r.layout.signaturePadding = end.padding;
  return r;
}

// The region of a layout that passed its checks.
TrailerReadResult ReadRegion(RandomAccessFile& file, TrailerReadResult r, ArchiveTrailer& t) {
  std::vector<uint8_t> region(r.layout.regionSize);
  if (!file.ReadAt(r.layout.regionStart, region.data(), region.size()))
    return Fail("cannot read the trailer region");

  t = ArchiveTrailer{};
  RegionReader in(region);
  auto failed = [&]() { return Fail(in.error); };

  if (!in.U32(t.installerFlag, "installer flag") || !in.U16(t.version, "version") ||
      !in.Text(t.licenseText, "license text", kMaxTextLength) ||
      !in.Text(t.caption, "caption", kMaxTextLength) ||
      !in.Text(t.productName, "product name", kMaxTextLength))
    return failed();

  if (t.IsInstaller()) {
    if (!in.Text(t.startMenuGroup, "start-menu group", kMaxTextLength)) return failed();
    if (!in.U32(t.hasProgram, "program flag")) return failed();
    if (t.hasProgram &&
        (!in.Name(t.iconFile, "icon file") || !in.Name(t.programFile, "program file")))
      return failed();
    if (!in.U32(t.hasPlugin, "plug-in flag")) return failed();
    if (t.hasPlugin && (!in.Name(t.pluginControlFile, "plug-in control") ||
                        !in.Name(t.pluginInfFile, "plug-in setup file") ||
                        !in.Name(t.pluginRegistrar, "plug-in registrar")))
      return failed();
  }
  if (!in.U32(t.hasReadme, "readme flag")) return failed();
  if (t.hasReadme && !in.Name(t.readmeFile, "readme file")) return failed();
  if (t.IsInstaller()) {
    if (!in.U32(t.hasShortcutOptions, "shortcut flag")) return failed();
    if (t.hasShortcutOptions && (!in.U32(t.useStartMenuGroup, "shortcut options") ||
                                 !in.U32(t.uninstallShortcut, "shortcut options") ||
                                 !in.U32(t.readmeShortcut, "shortcut options") ||
                                 !in.U32(t.programShortcut, "shortcut options")))
      return failed();
    if (!in.U32(t.hasRegFiles, "Reg flag")) return failed();
    if (t.hasRegFiles)
      for (auto& name : t.regFiles) {
        if (!in.Name(name, "Reg file")) return failed();
        // Installed into the folder "Reg" by their plain names.
        if (!name.empty() && !IsPlainEntryName(name))
          return Fail("unsafe Reg file [" + name + "]: a folder part");
      }
    if (!in.U32(t.hasReserved, "reserved flag")) return failed();
    if (t.hasReserved && !in.U32(t.reservedValue, "reserved value")) return failed();
  }

  uint32_t count;
  if (!in.U32(count, "entry count")) return failed();
  // Each entry takes at least 8 bytes, and dataStart follows.
  if (in.Remaining() < 4 || count > (in.Remaining() - 4) / 8)
    return Fail("entry count " + std::to_string(count) + " does not fit the trailer region");
  t.entries.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    auto& e = t.entries[i];
    if (!in.U32(e.size, "entry size") || !in.Text(e.name, "entry name", kMaxNameLength))
      return failed();
    if (!IsSafeEntryName(e.name)) return Fail("unsafe entry name [" + e.name + "]");
  }
  if (!in.U32(t.dataStart, "data start")) return failed();
  if (t.dataStart > r.layout.regionStart)
    return Fail("data start " + std::to_string(t.dataStart) + " lies inside the trailer");
  std::string why;
  if (!ReadTrailerExtension(in.Here(), in.Remaining(), t.extension, why)) return Fail(why);
  // An uninstall archive removes; it has the patch form and nothing to write.
  if (t.extension.uninstallList.present && (t.IsInstaller() || !t.entries.empty()))
    return Fail("uninstall list in an archive that carries files");
  if (!DeltasFitDirectory(t, why)) return Fail(why);
  r.layout.dataStart = t.dataStart;
  return r;
}

} // namespace

TrailerReadResult ReadArchiveKind(RandomAccessFile& file, uint32_t& installerFlag) {
  TrailerReadResult r = ReadLayout(file);
  if (!r.ok) return r;
  uint8_t word[4];
  if (!file.ReadAt(r.layout.regionStart, word, 4)) return Fail("cannot read the installer flag");
  installerFlag = LoadLE32(word);
  return r;
}

TrailerReadResult ReadTrailer(RandomAccessFile& file, ArchiveTrailer& t) {
  TrailerReadResult r = ReadLayout(file);
  return r.ok ? ReadRegion(file, std::move(r), t) : r;
}

TrailerReadResult ReadTrailerEndingAt(RandomAccessFile& file, uint64_t end, ArchiveTrailer& t) {
  TrailerReadResult r = ReadLayoutAt(file, end);
  return r.ok ? ReadRegion(file, std::move(r), t) : r;
}

namespace {

void AppendText(std::vector<uint8_t>& out, const std::string& s) {
  AppendLE32(out, uint32_t(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}

} // namespace

std::vector<uint8_t> SerializeTrailerRegion(const ArchiveTrailer& t) {
  std::vector<uint8_t> out;
  AppendLE32(out, t.installerFlag);
  AppendLE16(out, t.version);
  AppendText(out, t.licenseText);
  AppendText(out, t.caption);
  AppendText(out, t.productName);
  if (t.IsInstaller()) {
    AppendText(out, t.startMenuGroup);
    AppendLE32(out, t.hasProgram);
    if (t.hasProgram) {
      AppendText(out, t.iconFile);
      AppendText(out, t.programFile);
    }
    AppendLE32(out, t.hasPlugin);
    if (t.hasPlugin) {
      AppendText(out, t.pluginControlFile);
      AppendText(out, t.pluginInfFile);
      AppendText(out, t.pluginRegistrar);
    }
  }
  AppendLE32(out, t.hasReadme);
  if (t.hasReadme) AppendText(out, t.readmeFile);
  if (t.IsInstaller()) {
    AppendLE32(out, t.hasShortcutOptions);
    if (t.hasShortcutOptions) {
      AppendLE32(out, t.useStartMenuGroup);
      AppendLE32(out, t.uninstallShortcut);
      AppendLE32(out, t.readmeShortcut);
      AppendLE32(out, t.programShortcut);
    }
    AppendLE32(out, t.hasRegFiles);
    if (t.hasRegFiles)
      for (const auto& name : t.regFiles) AppendText(out, name);
    AppendLE32(out, t.hasReserved);
    if (t.hasReserved) AppendLE32(out, t.reservedValue);
  }
  AppendLE32(out, uint32_t(t.entries.size()));
  for (const auto& e : t.entries) {
    AppendLE32(out, e.size);
    AppendText(out, e.name);
  }
  AppendLE32(out, t.dataStart);
  AppendTrailerExtension(out, t.extension);
  return out;
}

bool WriteTrailer(ByteSink& sink, const ArchiveTrailer& t) {
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  AppendLE32(region, uint32_t(region.size()));
  return sink.Write(region.data(), region.size());
}

} // namespace archive
