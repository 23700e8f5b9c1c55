#include "manifest.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <toml++/toml.h>

#include "archive/format/file_path.h"
#include "compression.h"
#include "cp1252.h"
#include "entry_tree.h"
#include "file_names.h"
#include "file_pattern.h"
#include "folder_walk.h"
#include "product_options.h"
#include "trailer_text.h"

namespace fs = std::filesystem;

namespace mksetup {

const char* const kManifestHelp =
    R"(Manifest (TOML, UTF-8; paths relative to the manifest's folder):
  kind = "installer" | "patch"       required
  version = 0..65535                 required; the product version installed or patched to
  caption = "..."                    required; window title
  product = "..."                    required, not empty; registry key, folder and link name
  license = "lizenz.txt"             text file (UTF-8) shown for acceptance; absent or "": none
  readme = "liesmich.txt"            a carried file opened at the end
                                     (names of carried files may be paths: "doc/liesmich.txt")
  files = ["a.exe", "daten/*.txt"]   files or glob patterns, carried in this order under
                                     their base names (matches of a pattern sorted)
  folders = ["release"]              folders carried whole, after the files: every file below
                                     one, under its path relative to it ("release/bin/a.exe"
                                     is "bin\a.exe"), sorted by that path; empty folders are
                                     left out, links to files count as the file
                                     files, folders or both are required; names are unique
                                     ignoring case across all of them
  architecture = "x86" | "x64"       the product's programs; default "x86"; "x64": the
                                     64-bit Program Files and registry view
  scope = "machine" | "user"         default "machine" (asks for administrator rights);
                                     "user": no elevation, the user's own program folder
  display_version = "1.0.0"          what the list of installed programs shows;
                                     default: version in decimal
  installer only:
  start_menu_group = "Firma"         folder above the product folder
  uninstaller = true|false           default false; writes an uninstaller into the installation
                                     folder and registers it in the list of installed programs
  publisher = "Firma GmbH"           the publisher that list shows
  reg_files = ["a.reg", ...]         1 to 4 carried files installed into the folder "Reg";
                                     plain names, no folder
  [program]   file = "a.exe"  icon = "a.ico"          the product's program and its icon
  [plugin]    control = "..."  inf = "..."  registrar = "..."   plug-in files (carried)
  [shortcuts] start_menu_group, uninstall, readme, program = true|false
              present: a start-menu entry is offered, with these links
  compression = "zstd" | "huf"       the payload's codec; default "zstd"
  compression_level = 1..19 | "max"  zstd only; default 19 (window up to 32 MiB);
                                     "max": level 22, window up to 128 MiB
Texts are written in code page 1252; characters it lacks are errors.)";

namespace {

using Keys = std::vector<std::string_view>;

const Keys kTopKeys = {"kind",
                       "version",
                       "caption",
                       "product",
                       "license",
                       "readme",
                       "files",
                       "reg_files",
                       "start_menu_group",
                       "program",
                       "plugin",
                       "shortcuts",
                       "folders",
                       "uninstaller",
                       "publisher",
                       "compression",
                       "compression_level",
                       "architecture",
                       "scope",
                       "display_version"};
const Keys kProgramKeys = {"file", "icon"};
const Keys kPluginKeys = {"control", "inf", "registrar"};
const Keys kShortcutKeys = {"start_menu_group", "uninstall", "readme", "program"};
const Keys kInstallerOnly = {"start_menu_group", "reg_files",   "program",  "plugin",
                             "shortcuts",        "uninstaller", "publisher"};

bool Contains(const Keys& keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// A name the trailer refers to and the key it came from.
struct Reference {
  std::string key;
  std::string* name;
};

class ManifestReader {
public:
  explicit ManifestReader(std::string path)
      : m_path(std::move(path)), m_base(archive::FilePath(m_path).parent_path()) {}

  ManifestResult Read() {
    toml::table root;
    try {
      root = toml::parse_file(m_path);
    } catch (const toml::parse_error& e) {
      std::ostringstream where;
      where << m_path << ":" << e.source().begin.line << ": " << e.description();
      m_result.errors.push_back(where.str());
      return std::move(m_result);
    }
    ReadRoot(root);
    m_result.ok = m_result.errors.empty();
    return std::move(m_result);
  }

private:
  void Error(const toml::node* at, std::string_view key, const std::string& what) {
    std::string line;
    if (at && at->source().begin.line) line = ":" + std::to_string(at->source().begin.line);
    m_result.errors.push_back(m_path + line + ": " + std::string(key) + ": " + what);
  }

  void CheckKeys(const toml::table& table, const Keys& allowed, const std::string& prefix) {
    for (auto&& [key, value] : table)
      if (!Contains(allowed, key.str()))
        Error(&value, prefix + std::string(key.str()), "unknown key");
  }

  const toml::table* Table(const toml::table& root, std::string_view key) {
    const toml::node* node = root.get(key);
    if (!node) return nullptr;
    if (!node->is_table()) Error(node, key, "must be a table");
    return node->as_table();
  }

  // A text converted to code page 1252; nullopt when absent or wrong.
  std::optional<std::string> Text(const toml::table& table, std::string_view name,
                                  const std::string& key, bool required = false) {
    const toml::node* node = table.get(name);
    if (!node) {
      if (required) Error(nullptr, key, "missing");
      return std::nullopt;
    }
    const auto* value = node->as_string();
    if (!value) {
      Error(node, key, "must be a string");
      return std::nullopt;
    }
    return Convert(node, key, value->get(), false);
  }

  // UTF-8 to code page 1252, within the installer's text limits. Multi-line
  // texts may hold tabs and line breaks.
  std::optional<std::string> Convert(const toml::node* at, const std::string& key,
                                     std::string_view utf8, bool multiLine) {
    std::string text;
    if (std::string why = ToTrailerText(utf8, multiLine, text); !why.empty()) {
      Error(at, key, why);
      return std::nullopt;
    }
    return text;
  }

  bool Flag(const toml::table& table, std::string_view name, const std::string& key) {
    const toml::node* node = table.get(name);
    if (!node) return false;
    if (!node->is_boolean()) {
      Error(node, key, "must be true or false");
      return false;
    }
    return node->as_boolean()->get();
  }

  void ReadRoot(const toml::table& root) {
    CheckKeys(root, kTopKeys, "");
    auto& t = m_result.manifest.trailer;

    if (auto kind = Text(root, "kind", "kind", true)) {
      if (*kind == "installer")
        t.installerFlag = 1;
      else if (*kind == "patch")
        t.installerFlag = 0;
      else
        Error(root.get("kind"), "kind", "must be \"installer\" or \"patch\"");
    }
    if (!t.IsInstaller())
      for (auto key : kInstallerOnly)
        if (const toml::node* node = root.get(key)) Error(node, key, "not used by a patch");

    ReadVersion(root);
    if (auto caption = Text(root, "caption", "caption", true)) t.caption = *caption;
    if (auto product = Text(root, "product", "product", true)) {
      if (product->empty()) Error(root.get("product"), "product", "must not be empty");
      t.productName = *product;
    }
    ReadLicense(root);
    if (auto readme = Text(root, "readme", "readme")) {
      t.hasReadme = 1;
      t.readmeFile = WithBackslashes(*readme);
      m_refs.push_back({"readme", &t.readmeFile});
    }
    if (t.IsInstaller()) ReadInstallerKeys(root);
    ReadCompression(root);
    ReadProduct(root);
    ReadFiles(root);
    ReadFolders(root);
    CheckTree();
    CheckReferences();
  }

  void ReadCompression(const toml::table& root) {
    archive::CodecBlock& codec = m_result.manifest.trailer.extension.codec;
    codec = DefaultCompression();
    if (const toml::node* node = root.get("compression")) {
      const auto* name = node->as_string();
      if (!name || !ParseCodecName(name->get(), codec))
        return Error(node, "compression", "must be \"zstd\" or \"huf\"");
    }
    const toml::node* node = root.get("compression_level");
    if (!node) return;
    std::string level, error;
    if (const auto* number = node->as_integer())
      level = number->get() >= 0 ? std::to_string(number->get()) : "-";
    else if (const auto* text = node->as_string())
      level = text->get();
    if (level.empty() || !ParseCompressionLevel(level, codec, error))
      Error(node, "compression_level", error.empty() ? "must be 1 to 19 or \"max\"" : error);
  }

  // architecture, scope and display_version: the product block.
  void ReadProduct(const toml::table& root) {
    using Setter = std::string (*)(std::string_view, archive::ProductBlock&);
    const std::pair<const char*, Setter> keys[] = {{"architecture", SetArchitecture},
                                                   {"scope", SetScope},
                                                   {"display_version", SetDisplayVersion}};
    for (const auto& [key, set] : keys) {
      const toml::node* node = root.get(key);
      if (!node) continue;
      const auto* text = node->as_string();
      if (!text) {
        Error(node, key, "must be a string");
        continue;
      }
      if (std::string why = set(text->get(), m_result.manifest.trailer.extension.product);
          !why.empty())
        Error(node, key, why);
    }
  }

  void ReadVersion(const toml::table& root) {
    const toml::node* node = root.get("version");
    if (!node) return Error(nullptr, "version", "missing");
    const auto* value = node->as_integer();
    if (!value || value->get() < 0 || value->get() > 65535)
      return Error(node, "version", "must be an integer from 0 to 65535");
    m_result.manifest.trailer.version = uint16_t(value->get());
  }

  void ReadLicense(const toml::table& root) {
    const toml::node* at = root.get("license");
    if (!at) return;
    const auto* file = at->as_string();
    if (!file) return Error(at, "license", "must be a string");
    if (file->get().empty()) return;
    const std::string path = Resolve(file->get());
    std::string crlf;
    if (!ReadLicenseFile(path, crlf)) return Error(at, "license", "cannot read " + path);
    if (auto text = Convert(at, "license (" + path + ")", crlf, true))
      m_result.manifest.trailer.licenseText = *text;
  }

  void ReadInstallerKeys(const toml::table& root) {
    auto& t = m_result.manifest.trailer;
    if (auto group = Text(root, "start_menu_group", "start_menu_group")) t.startMenuGroup = *group;
    t.extension.uninstaller.enabled = Flag(root, "uninstaller", "uninstaller");
    if (auto publisher = Text(root, "publisher", "publisher"))
      t.extension.uninstaller.publisher = *publisher;

    if (const toml::table* program = Table(root, "program")) {
      CheckKeys(*program, kProgramKeys, "program.");
      t.hasProgram = 1;
      ReadName(*program, "file", "program.file", t.programFile);
      ReadName(*program, "icon", "program.icon", t.iconFile);
    }
    if (const toml::table* plugin = Table(root, "plugin")) {
      CheckKeys(*plugin, kPluginKeys, "plugin.");
      t.hasPlugin = 1;
      ReadName(*plugin, "control", "plugin.control", t.pluginControlFile);
      ReadName(*plugin, "inf", "plugin.inf", t.pluginInfFile);
      ReadName(*plugin, "registrar", "plugin.registrar", t.pluginRegistrar);
    }
    if (const toml::table* shortcuts = Table(root, "shortcuts")) {
      CheckKeys(*shortcuts, kShortcutKeys, "shortcuts.");
      t.hasShortcutOptions = 1;
      t.useStartMenuGroup = Flag(*shortcuts, "start_menu_group", "shortcuts.start_menu_group");
      t.uninstallShortcut = Flag(*shortcuts, "uninstall", "shortcuts.uninstall");
      t.readmeShortcut = Flag(*shortcuts, "readme", "shortcuts.readme");
      t.programShortcut = Flag(*shortcuts, "program", "shortcuts.program");
      if ((t.uninstallShortcut || t.programShortcut) && !t.hasProgram)
        Error(shortcuts, "shortcuts", "program and uninstall links need [program]");
      if (t.readmeShortcut && !t.hasReadme)
        Error(shortcuts, "shortcuts.readme", "a readme link needs readme");
    }
    if (const toml::node* node = root.get("reg_files")) {
      const toml::array* names = node->as_array();
      if (!names || names->empty() || names->size() > t.regFiles.size())
        return Error(node, "reg_files", "must be a list of 1 to 4 file names");
      t.hasRegFiles = 1;
      for (size_t i = 0; i < names->size(); ++i) {
        std::string key = "reg_files[" + std::to_string(i) + "]";
        const auto* name = (*names)[i].as_string();
        if (!name) {
          Error(&(*names)[i], key, "must be a string");
          continue;
        }
        if (auto text = Convert(&(*names)[i], key, name->get(), false)) {
          if (text->find_first_of("/\\") != std::string::npos)
            Error(&(*names)[i], key,
                  name->get() + " has a folder part; Reg files are installed by their plain "
                                "names into the folder \"Reg\"");
          t.regFiles[i] = *text;
          m_refs.push_back({key, &t.regFiles[i]});
        }
      }
    }
  }

  // A required name of a carried file.
  void ReadName(const toml::table& table, std::string_view name, const std::string& key,
                std::string& out) {
    if (auto text = Text(table, name, key, true)) {
      out = WithBackslashes(*text);
      m_refs.push_back({key, &out});
    }
  }

  std::string Resolve(std::string_view item) const {
    fs::path p = archive::FilePath(std::string(item));
    return archive::PathString(p.is_absolute() ? p : m_base / p);
  }

  void ReadFiles(const toml::table& root) {
    const toml::node* node = root.get("files");
    if (!node) {
      if (!root.get("folders")) Error(nullptr, "files", "missing (give files, folders or both)");
      return;
    }
    const toml::array* items = node->as_array();
    if (!items) return Error(node, "files", "must be a list of files and patterns");
    for (size_t i = 0; i < items->size(); ++i) {
      const toml::node& item = (*items)[i];
      std::string key = "files[" + std::to_string(i) + "]";
      if (const auto* text = item.as_string())
        AddItem(&item, key, text->get());
      else
        Error(&item, key, "must be a string");
    }
  }

  // One item of `files`: a path, or a glob pattern whose matches are taken
  // in byte order of their paths (folders among them are skipped).
  void AddItem(const toml::node* at, const std::string& key, const std::string& item) {
    const std::string path = Resolve(item);
    std::error_code ec;
    if (fs::exists(archive::FilePath(path), ec)) {
      if (fs::is_directory(archive::FilePath(path), ec))
        return Error(at, key, path + " is a folder");
      return AddFile(at, key, path);
    }
    if (item.find_first_of("*?[") == std::string::npos) return Error(at, key, path + " not found");
    const std::vector<std::string> files = MatchFilePattern(path);
    if (files.empty()) return Error(at, key, "the pattern " + path + " matches no file");
    for (const auto& file : files) AddFile(at, key, file);
  }

  void AddFile(const toml::node* at, const std::string& key, const std::string& path) {
    const std::string base = archive::PathString(archive::FilePath(path).filename());
    std::string name, bad;
    if (!Utf8ToCp1252(base, name, bad))
      return Error(at, key, path + ": " + bad + " cannot be written in code page 1252");
    if (std::string why = CheckWindowsFileName(name); !why.empty())
      return Error(at, key, path + ": " + why);
    Carry(at, key, path, name);
  }

  // One more entry; its name (code page 1252) must be new ignoring case.
  void Carry(const toml::node* at, const std::string& key, const std::string& path,
             const std::string& name) {
    auto [first, added] = m_names.emplace(archive::EntryNameKey(name), path);
    if (!added)
      return Error(at, key,
                   path + ": the name " + Cp1252ToUtf8(name) + " is carried already (" +
                       first->second + ")");
    m_result.manifest.files.push_back({path, name});
  }

  // `folders`: each folder's files under their paths relative to it, in
  // the walk's order.
  void ReadFolders(const toml::table& root) {
    const toml::node* node = root.get("folders");
    if (!node) return;
    const toml::array* items = node->as_array();
    if (!items) return Error(node, "folders", "must be a list of folders");
    for (size_t i = 0; i < items->size(); ++i) {
      const toml::node& item = (*items)[i];
      const std::string key = "folders[" + std::to_string(i) + "]";
      const auto* text = item.as_string();
      if (!text) {
        Error(&item, key, "must be a string");
        continue;
      }
      const std::string path = Resolve(text->get());
      std::error_code ec;
      const fs::path folder = archive::FilePath(path);
      if (!fs::is_directory(folder, ec)) {
        Error(&item, key, path + (fs::exists(folder, ec) ? " is not a folder" : " not found"));
        continue;
      }
      FolderWalk walk = WalkFolder(folder);
      for (const std::string& error : walk.errors) Error(&item, key, error);
      if (walk.files.empty() && walk.errors.empty())
        Error(&item, key, "the folder " + path + " holds no file");
      for (const WalkedFile& file : walk.files) {
        if (!file.problem.empty())
          Error(&item, key, DisplayPath(file.source) + ": " + file.problem);
        else
          Carry(&item, key, archive::PathString(file.source), file.name);
      }
    }
  }

  // The entries must fit one folder tree: no file may share its name with
  // a folder of another entry, nor with the folder "Reg" of the Reg files.
  void CheckTree() {
    const auto& t = m_result.manifest.trailer;
    std::vector<std::string> names;
    for (const auto& file : m_result.manifest.files) names.push_back(file.name);
    const size_t carried = names.size();
    if (t.IsInstaller() && t.hasRegFiles)
      for (const std::string& reg : t.regFiles)
        if (!reg.empty()) names.push_back("Reg\\" + reg);
    for (auto [file, inside] : FindFileFolderClashes(names)) {
      if (file >= carried) continue;
      const std::string what = inside < carried
                                   ? "the folder of " + Cp1252ToUtf8(names[inside])
                                   : std::string("the folder \"Reg\" of the Reg files");
      Error(nullptr, "files/folders",
            m_result.manifest.files[file].sourcePath + ": the name " + Cp1252ToUtf8(names[file]) +
                " is carried as a file and is also " + what);
    }
    // A Reg file lands in Reg\ by its plain name: no entry may already be there.
    for (size_t i = carried; i < names.size(); ++i)
      if (auto it = m_names.find(archive::EntryNameKey(names[i])); it != m_names.end())
        Error(nullptr, "reg_files",
              it->second + ": carried as " + Cp1252ToUtf8(names[i]) +
                  ", where a Reg file is installed");
  }

  // Every name the trailer refers to must be carried.
  void CheckReferences() {
    for (const auto& ref : m_refs)
      if (!m_names.count(archive::EntryNameKey(*ref.name)))
        Error(nullptr, ref.key, Cp1252ToUtf8(*ref.name) + " is not among the carried files");
  }

  std::string m_path;
  fs::path m_base;
  ManifestResult m_result;
  std::vector<Reference> m_refs;
  std::map<std::string, std::string> m_names; // folded entry name -> source path
};

} // namespace

ManifestResult LoadManifest(const std::string& path) {
  if (!fs::is_regular_file(archive::FilePath(path))) {
    ManifestResult r;
    r.errors.push_back(path + ": cannot open the manifest");
    return r;
  }
  return ManifestReader(path).Read();
}

} // namespace mksetup
