#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <toml++/toml.h>

#include "archive/archive_extract.h"
#include "commands.h"
#include "compression.h"
#include "cp1252.h"
#include "product_options.h"
#include "signature_text.h"

namespace mksetup {

namespace {

std::string Utf8(const std::string& text) { return Cp1252ToUtf8(text); }

const char* KindName(const archive::ArchiveTrailer& t) {
  return t.IsInstaller() ? "installer" : t.IsUninstaller() ? "uninstaller" : "patch";
}

void PrintText(const archive::ArchiveInfo& info) {
  const auto& t = info.trailer;
  auto row = [](const char* label, const std::string& value) {
    std::printf("%-18s %s\n", label, value.c_str());
  };
  auto yesNo = [](uint32_t flag) { return flag ? "yes" : "no"; };
  row("kind", KindName(t));
  row("version", std::to_string(t.version));
  row("caption", Utf8(t.caption));
  row("product", Utf8(t.productName));
  row("license", t.licenseText.empty() ? "-" : std::to_string(t.licenseText.size()) + " bytes");
  const archive::ProductBlock& product = t.extension.product;
  row("architecture", archive::ArchitectureName(product.architecture));
  row("scope", archive::ScopeName(product.scope));
  row("display version", Utf8(ShownVersion(product, t.version)) +
                             (product.displayVersion.empty() ? " (the version)" : ""));
  if (t.IsInstaller()) {
    row("start-menu group", t.startMenuGroup.empty() ? "-" : Utf8(t.startMenuGroup));
    row("program",
        t.hasProgram ? Utf8(t.programFile) + " (icon " + Utf8(t.iconFile) + ")" : std::string("-"));
    row("plug-in", t.hasPlugin ? Utf8(t.pluginControlFile) + ", " + Utf8(t.pluginInfFile) + ", " +
                                     Utf8(t.pluginRegistrar)
                               : std::string("-"));
  }
  row("readme", t.hasReadme ? Utf8(t.readmeFile) : std::string("-"));
  if (t.IsInstaller()) {
    row("shortcuts", t.hasShortcutOptions
                         ? std::string("start-menu group ") + yesNo(t.useStartMenuGroup) +
                               ", uninstall " + yesNo(t.uninstallShortcut) + ", readme " +
                               yesNo(t.readmeShortcut) + ", program " + yesNo(t.programShortcut)
                         : std::string("-"));
    std::string reg;
    for (const auto& name : t.regFiles) reg += (reg.empty() ? "" : ", ") + Utf8(name);
    row("Reg files", t.hasRegFiles ? reg : std::string("-"));
    if (t.hasReserved) row("reserved", std::to_string(t.reservedValue));
    row("uninstaller", yesNo(t.extension.uninstaller.enabled));
    row("publisher", t.extension.uninstaller.publisher.empty()
                         ? std::string("-")
                         : Utf8(t.extension.uninstaller.publisher));
  }
  const uint64_t payload = t.TotalSize();
  row("compression", DescribeCompression(t.extension.codec));
  row("data start", std::to_string(info.layout.dataStart));
  row("stream length", std::to_string(info.layout.StreamLength()));
  row("payload",
      std::to_string(payload) + " bytes in " + std::to_string(t.entries.size()) + " entries");
  row("ratio", FormatRatio(info.layout.StreamLength(), payload));
  row("signed", SignatureText(info.layout));
  std::printf("\n%12s  %s\n", "size", "name");
  for (size_t i = 0; i < t.entries.size(); ++i) {
    const auto& e = t.entries[i];
    std::printf("%12" PRIu32 "  %s", e.size, Utf8(e.name).c_str());
    if (const archive::DeltaRecord* d = archive::FindDelta(t.extension.deltas, i))
      std::printf("  (delta, reference %" PRIu64 " bytes sha256 %s, result %" PRIu64 " bytes)",
                  d->referenceSize, archive::Sha256Hex(d->referenceHash).c_str(), d->resultSize);
    std::printf("\n");
  }
}

void PrintJson(const archive::ArchiveInfo& info) {
  const auto& t = info.trailer;
  toml::table j;
  j.insert("kind", KindName(t));
  j.insert("version", int64_t(t.version));
  j.insert("caption", Utf8(t.caption));
  j.insert("product", Utf8(t.productName));
  j.insert("license", Utf8(t.licenseText));
  const archive::ProductBlock& product = t.extension.product;
  j.insert("architecture", archive::ArchitectureName(product.architecture));
  j.insert("scope", archive::ScopeName(product.scope));
  j.insert("display_version", Utf8(ShownVersion(product, t.version)));
  if (t.IsInstaller()) {
    j.insert("start_menu_group", Utf8(t.startMenuGroup));
    if (t.hasProgram)
      j.insert("program", toml::table{{"file", Utf8(t.programFile)}, {"icon", Utf8(t.iconFile)}});
    if (t.hasPlugin)
      j.insert("plugin", toml::table{{"control", Utf8(t.pluginControlFile)},
                                     {"inf", Utf8(t.pluginInfFile)},
                                     {"registrar", Utf8(t.pluginRegistrar)}});
    if (t.hasShortcutOptions)
      j.insert("shortcuts", toml::table{{"start_menu_group", t.useStartMenuGroup != 0},
                                        {"uninstall", t.uninstallShortcut != 0},
                                        {"readme", t.readmeShortcut != 0},
                                        {"program", t.programShortcut != 0}});
    if (t.hasRegFiles) {
      toml::array reg;
      for (const auto& name : t.regFiles) reg.push_back(Utf8(name));
      j.insert("reg_files", std::move(reg));
    }
    if (t.hasReserved) j.insert("reserved", int64_t(t.reservedValue));
    j.insert("uninstaller", t.extension.uninstaller.enabled);
    j.insert("publisher", Utf8(t.extension.uninstaller.publisher));
  }
  if (t.hasReadme) j.insert("readme", Utf8(t.readmeFile));
  toml::array entries;
  for (size_t i = 0; i < t.entries.size(); ++i) {
    const auto& e = t.entries[i];
    toml::table entry{{"name", Utf8(e.name)}, {"size", int64_t(e.size)}};
    if (const archive::DeltaRecord* d = archive::FindDelta(t.extension.deltas, i))
      entry.insert("delta", toml::table{{"reference_size", int64_t(d->referenceSize)},
                                        {"reference_sha256", archive::Sha256Hex(d->referenceHash)},
                                        {"result_size", int64_t(d->resultSize)},
                                        {"result_sha256", archive::Sha256Hex(d->resultHash)}});
    entries.push_back(std::move(entry));
  }
  j.insert("entries", std::move(entries));
  const uint64_t payload = t.TotalSize();
  const archive::CodecBlock& codec = t.extension.codec;
  j.insert("compression", archive::PayloadCodecName(codec.codec));
  if (codec.codec == archive::PayloadCodec::Zstd) {
    j.insert("compression_level", int64_t(codec.level));
    j.insert("window_log", int64_t(codec.windowLog));
    j.insert("window_size", int64_t(1) << codec.windowLog);
  }
  j.insert("data_start", int64_t(info.layout.dataStart));
  j.insert("stream_length", int64_t(info.layout.StreamLength()));
  j.insert("payload_size", int64_t(payload));
  j.insert("file_size", int64_t(info.layout.fileSize));
  j.insert("signed", info.layout.Signed());
  j.insert("certificate_table_size", int64_t(info.layout.certificateSize));
  if (info.layout.Signed()) {
    j.insert("certificate_table_offset", int64_t(info.layout.certificateOffset));
    j.insert("signature_padding", int64_t(info.layout.signaturePadding));
  }
  if (payload) j.insert("ratio", double(info.layout.StreamLength()) / double(payload));
  std::cout << toml::json_formatter{j} << "\n";
}

} // namespace

int RunList(const std::string& program, bool json) {
  archive::StdioFile file(program);
  if (!file.IsOpen()) {
    ReportError("cannot open " + program);
    return 1;
  }
  archive::ArchiveInfo info;
  archive::CheckResult r = archive::OpenArchive(file, info);
  if (info.trailerRead) json ? PrintJson(info) : PrintText(info);
  std::fflush(stdout);
  if (!r.ok) {
    ReportError(program + ": " + r.error);
    return 1;
  }
  return 0;
}

} // namespace mksetup
