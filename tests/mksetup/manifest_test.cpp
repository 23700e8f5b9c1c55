// Reading manifests: texts, options, the files carried, and every error
// naming the key or file at fault.
#include <gtest/gtest.h>

#include "cp1252.h"
#include "file_names.h"
#include "manifest.h"
#include "test_files.h"

using namespace mksetup;
using namespace mksetup_test;

namespace {

const char* const kBase = R"(kind = "installer"
version = 120
caption = "Größe – 10 €"
product = "Beispiel"
license = "lizenz.txt"
readme = "liesmich.txt"
reg_files = ["a.reg"]
files = ["prog.exe", "prog.ico", "daten/*.txt", "a.reg"]
[program]
file = "PROG.EXE"
icon = "prog.ico"
[shortcuts]
program = true
readme = true
)";

// A product folder with the files kBase names.
struct Folder {
  TempDir dir;
  Folder() {
    for (const char* f : {"prog.exe", "prog.ico", "a.reg", "daten/liesmich.txt", "daten/b.txt",
                          "daten/A.txt", "daten/sub.txt/x"})
      WriteFile(dir / f, f);
    WriteFile(dir / "lizenz.txt", "\xEF\xBB\xBFZeile 1\nZeile 2\r\nÄnde\n");
  }
  ManifestResult Load(const std::string& text) {
    WriteFile(dir / "m.toml", text);
    return LoadManifest(dir / "m.toml");
  }
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

} // namespace

TEST(Manifest, ReadsTextsOptionsAndFilesInOrder) {
  Folder f;
  ManifestResult r = f.Load(kBase);
  ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
  const auto& t = r.manifest.trailer;
  EXPECT_TRUE(t.IsInstaller());
  EXPECT_EQ(t.version, 120);
  EXPECT_EQ(t.caption, "Gr\xF6\xDF"
                       "e \x96 10 \x80");
  EXPECT_EQ(t.licenseText, "Zeile 1\r\nZeile 2\r\n\xC4nde\r\n");
  EXPECT_EQ(t.programFile, "PROG.EXE");
  EXPECT_TRUE(t.hasShortcutOptions && t.programShortcut && t.readmeShortcut);
  EXPECT_FALSE(t.uninstallShortcut || t.useStartMenuGroup || t.hasPlugin);
  EXPECT_TRUE(t.hasRegFiles);
  EXPECT_EQ(t.regFiles[0], "a.reg");
  EXPECT_EQ(t.regFiles[1], "");

  // Given order; a pattern's matches sorted, the folder among them skipped.
  std::vector<std::string> names;
  for (const auto& file : r.manifest.files) names.push_back(file.name);
  EXPECT_EQ(names, (std::vector<std::string>{"prog.exe", "prog.ico", "A.txt", "b.txt",
                                             "liesmich.txt", "a.reg"}));
  EXPECT_EQ(r.manifest.files[0].sourcePath, f.dir / "prog.exe");
  // No uninstaller unless asked for.
  EXPECT_TRUE(t.extension.uninstaller.Empty());
  EXPECT_FALSE(t.extension.uninstallList.present);
}

TEST(Manifest, UninstallerAndPublisherAreInstallerOptions) {
  Folder f;
  ManifestResult r = f.Load(
      Replace(kBase, "version = 120",
              "version = 120\nuninstaller = true\npublisher = \"M\u00fcller & S\u00f6hne\""));
  ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
  EXPECT_TRUE(r.manifest.trailer.extension.uninstaller.enabled);
  EXPECT_EQ(r.manifest.trailer.extension.uninstaller.publisher, "M\xFCller & S\xF6hne");

  r = f.Load(Replace(kBase, "version = 120", "version = 120\nuninstaller = \"ja\""));
  ASSERT_FALSE(r.ok);
  EXPECT_NE(r.errors[0].find("uninstaller: must be true or false"), std::string::npos)
      << r.errors[0];
  r = f.Load("kind = \"patch\"\nversion = 2\ncaption = \"c\"\nproduct = \"p\"\n"
             "uninstaller = true\nfiles = [\"prog.exe\"]\n");
  ASSERT_FALSE(r.ok);
  EXPECT_NE(r.errors[0].find("uninstaller: not used by a patch"), std::string::npos) << r.errors[0];
}

TEST(Manifest, EachErrorNamesItsKeyOrFile) {
  struct Case {
    std::string from, to, named;
  };
  const std::vector<Case> cases = {
      {"version = 120", "version = 120\nfarbe = 1", "farbe: unknown key"},
      {"icon = ", "symbol = 1\nicon = ", "program.symbol: unknown key"},
      {"\"a.reg\"]\n[", "\"a.reg\", \"fehlt.txt\"]\n[", "fehlt.txt not found"},
      {"\"a.reg\"]\n[", "\"a.reg\", \"*.gibtsnicht\"]\n[", "matches no file"},
      {"\"a.reg\"]\n[", "\"a.reg\", \"daten\"]\n[", "daten is a folder"},
      {"\"a.reg\"]\n[", "\"a.reg\", \"daten/A.txt\"]\n[", "the name A.txt is carried already"},
      {"readme = \"liesmich.txt\"", "readme = \"fehlt.txt\"", "readme: fehlt.txt is not among"},
      {"icon = \"prog.ico\"", "icon = \"x.ico\"", "program.icon: x.ico is not among"},
      {"[\"a.reg\"]", "[\"a.reg\", \"b.reg\"]", "reg_files[1]: b.reg is not among"},
      {"[\"a.reg\"]", "[\"a\", \"b\", \"c\", \"d\", \"e\"]", "reg_files: must be a list of 1 to 4"},
      {"version = 120", "version = 65536", "version: must be an integer from 0 to 65535"},
      {"version = 120", "version = -1", "version: must be an integer"},
      {"version = 120", "version = \"1.2\"", "version: must be an integer"},
      {"version = 120\n", "", "version: missing"},
      {"kind = \"installer\"", "kind = \"setup\"", "kind: must be"},
      {"kind = \"installer\"", "kind = \"patch\"", "program: not used by a patch"},
      {"Beispiel", "Beispiel \xE4\xB8\xAD", "product: '\xE4\xB8\xAD' (U+4E2D) cannot be written"},
      {"Beispiel", "Bei\\tspiel", "product: holds a control character"},
      {"product = \"Beispiel\"", "product = \"\"", "product: must not be empty"},
      {"lizenz.txt", "fehlt.txt", "license: cannot read"},
      {"readme = true", "readme = 1", "shortcuts.readme: must be true or false"},
      {"readme = \"liesmich.txt\"\n", "", "shortcuts.readme: a readme link needs readme"},
      {"kind", "kind = = ", "m.toml:1:"},
      {"version = 120", "version = 120\ncompression = \"lzma\"", "compression: must be"},
      {"version = 120", "version = 120\ncompression = 1", "compression: must be"},
      {"version = 120", "version = 120\ncompression_level = 0", "compression_level: must be 1"},
      {"version = 120", "version = 120\ncompression_level = 20", "compression_level: must be 1"},
      {"version = 120", "version = 120\ncompression_level = -3", "compression_level: must be 1"},
      {"version = 120", "version = 120\ncompression_level = \"ultra\"", "compression_level"},
      {"version = 120", "version = 120\ncompression = \"huf\"\ncompression_level = 3",
       "compression_level: a level needs compression \"zstd\""},
      {"version = 120", "version = 120\narchitecture = \"arm64\"",
       "architecture: must be \"x86\" or \"x64\""},
      {"version = 120", "version = 120\nscope = \"admin\"",
       "scope: must be \"machine\" or \"user\""},
      {"version = 120", "version = 120\nscope = true", "scope: must be a string"},
      {"version = 120", "version = 120\ndisplay_version = 1", "display_version: must be a string"},
      {"version = 120", "version = 120\ndisplay_version = \"1.0\\t\"",
       "display_version: holds a control character"},
      {"version = 120", "version = 120\ndisplay_version = \"1.0\\u007F\"",
       "display_version: holds a control character"},
      {"version = 120", "version = 120\ndisplay_version = \"1.0 \xE4\xB8\xAD\"",
       "display_version: '\xE4\xB8\xAD' (U+4E2D) cannot be written"},
      {"version = 120", "version = 120\ndisplay_version = \"" + std::string(65, '1') + "\"",
       "display_version: is 65 bytes long in code page 1252 (at most 64)"},
  };
  for (const auto& c : cases) {
    Folder f;
    ManifestResult r = f.Load(Replace(kBase, c.from, c.to));
    EXPECT_FALSE(r.ok) << c.named;
    std::string all;
    for (const auto& e : r.errors) all += e + "\n";
    EXPECT_NE(all.find(c.named), std::string::npos) << "expected: " << c.named << "\ngot: " << all;
  }
}

TEST(Manifest, LicenseLongerThanTheInstallerTakesIsAnError) {
  Folder f;
  WriteFile(f.dir / "lizenz.txt", std::string(8191, 'x'));
  EXPECT_TRUE(f.Load(kBase).ok);
  WriteFile(f.dir / "lizenz.txt", std::string(4096, '\n')); // doubles with CR LF
  ManifestResult r = f.Load(kBase);
  ASSERT_FALSE(r.ok);
  EXPECT_NE(r.errors[0].find("8192 bytes long"), std::string::npos) << r.errors[0];
}

TEST(FileNames, WindowsRules) {
  EXPECT_EQ(CheckWindowsFileName(std::string(259, 'a')), "");
  EXPECT_NE(CheckWindowsFileName(std::string(260, 'a')).find("260 characters"), std::string::npos);
  for (const char* ok : {"a.txt", "\xC4nderung.txt", "CONSOLE", "LPT10", "COM\xB4"})
    EXPECT_EQ(CheckWindowsFileName(ok), "") << ok;
  for (const char* bad : {"", ".", "..", "a\\b", "a:b", "a?", "a\x01", "ende.", "ende ", "CON",
                          "nul.txt", "con.txt.bak", "Com1.log", "lpt0", "COM\xB9"})
    EXPECT_NE(CheckWindowsFileName(bad), "") << bad;
}

TEST(Cp1252, ConvertsBothWays) {
  std::string out, bad;
  ASSERT_TRUE(Utf8ToCp1252("äöüÄÖÜß €„“–™ ÿŸ", out, bad));
  EXPECT_EQ(out, "\xE4\xF6\xFC\xC4\xD6\xDC\xDF \x80\x84\x93\x96\x99 \xFF\x9F");
  EXPECT_EQ(Cp1252ToUtf8(out), "äöüÄÖÜß €„“–™ ÿŸ");
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81"); // unassigned: the control of that value

  for (const char* invalid : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xC2\x81", "ł"})
    EXPECT_FALSE(Utf8ToCp1252(invalid, out, bad)) << invalid;
  Utf8ToCp1252("ab€ł", out, bad);
  EXPECT_EQ(bad, "'ł' (U+0142)");
}

// zstd at 19 unless the manifest says otherwise; "max" is level 22 with a
// window of up to 128 MiB.
TEST(Manifest, CompressionChoosesTheCodec) {
  struct Case {
    std::string keys;
    archive::CodecBlock codec;
  };
  using archive::PayloadCodec;
  const std::vector<Case> cases = {
      {"", {PayloadCodec::Zstd, 19, 25}},
      {"compression = \"zstd\"\n", {PayloadCodec::Zstd, 19, 25}},
      {"compression_level = 3\n", {PayloadCodec::Zstd, 3, 25}},
      {"compression = \"zstd\"\ncompression_level = \"max\"\n", {PayloadCodec::Zstd, 22, 27}},
      {"compression = \"huf\"\n", {}},
  };
  for (const auto& c : cases) {
    Folder f;
    ManifestResult r = f.Load(c.keys + kBase);
    ASSERT_TRUE(r.ok) << c.keys << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_EQ(r.manifest.trailer.extension.codec, c.codec) << c.keys;
  }
}

// architecture, scope and display_version fill the product block, for
// installers and patches alike; their defaults leave it empty.
TEST(Manifest, ProductKeysForInstallersAndPatches) {
  using archive::InstallScope;
  using archive::ProductArchitecture;
  struct Case {
    std::string keys;
    archive::ProductBlock product;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"architecture = \"x86\"\nscope = \"machine\"\ndisplay_version = \"\"\n", {}},
      {"architecture = \"x64\"\n", {ProductArchitecture::X64, InstallScope::Machine, ""}},
      {"scope = \"user\"\n", {ProductArchitecture::X86, InstallScope::User, ""}},
      {"display_version = \"1.2.0 \u2013 Beta\"\n",
       {ProductArchitecture::X86, InstallScope::Machine, "1.2.0 \x96 Beta"}},
      {"architecture = \"x64\"\nscope = \"user\"\ndisplay_version = \"" + std::string(64, '9') +
           "\"\n",
       {ProductArchitecture::X64, InstallScope::User, std::string(64, '9')}},
  };
  const std::string patch =
      "kind = \"patch\"\nversion = 2\ncaption = \"c\"\nproduct = \"p\"\nfiles = [\"prog.exe\"]\n";
  for (const auto& c : cases)
    for (const std::string& manifest : {std::string(kBase), patch}) {
      Folder f;
      ManifestResult r = f.Load(c.keys + manifest);
      ASSERT_TRUE(r.ok) << c.keys << (r.errors.empty() ? "" : r.errors[0]);
      EXPECT_EQ(r.manifest.trailer.extension.product, c.product) << c.keys;
    }
}
