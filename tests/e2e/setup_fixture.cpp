#include "setup_fixture.h"

#include <algorithm>
#include <cstdio>

#include "res/resource.h"

namespace setup_e2e {

std::string Text(UINT id, const std::string& argument) {
  char format[2048] = "";
  LoadStringA(GetModuleHandleA(nullptr), id, format, sizeof(format));
  std::string text = format;
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

void PrintTo(const Page& page, std::ostream* os) {
  *os << "{text \"" << page.text << "\", next \"" << page.next << "\""
      << (page.nextEnabled ? "" : " disabled") << (page.cancel ? ", cancel" : "")
      << (page.edit ? ", edit" : "") << (page.browse ? ", browse" : "")
      << (page.progress ? ", progress" : "") << (page.readme ? ", readme" : "") << "}";
}

Page PageOf(const Window& dlg) {
  Page page;
  page.text = dlg.ItemText(IDC_STATIC_TEXT);
  page.next = dlg.ItemText(IDOK);
  page.nextEnabled = dlg.ItemEnabled(IDOK);
  page.cancel = dlg.ItemVisible(IDCANCEL);
  page.edit = dlg.ItemVisible(IDC_EDIT_DIR);
  page.browse = dlg.ItemVisible(IDC_BROWSE);
  page.progress = dlg.ItemVisible(IDC_PROGRESS);
  page.readme = dlg.ItemVisible(IDC_README_CHECK);
  return page;
}

SetupTest::SetupTest() {
  // Short, as real product names are, so that the pages look as they will.
  static int counter = 0;
  m_product =
      "Reiseplaner " + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++counter);
  m_setup = m_dir.File("setup.exe");
  CreateDirectoryA(m_dir.File("source").c_str(), nullptr);
  CreateDirectoryA(TempFolder().c_str(), nullptr);
}

SetupTest::~SetupTest() {
  m_program.reset();
  RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str());
  for (const std::string& key : m_classKeys) RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
}

archive::ArchiveTrailer SetupTest::Installer() const {
  archive::ArchiveTrailer t;
  t.installerFlag = 1;
  t.version = 3;
  t.caption = kCaption;
  t.productName = m_product;
  t.hasProgram = 1;
  t.iconFile = "prog.exe";
  t.programFile = "prog.exe";
  return t;
}

e2e::Payload SetupTest::Source(const std::string& name, const std::string& bytes) {
  std::string path = m_dir.File("source\\" + name);
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_TRUE(f) << path;
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return {path, name};
}

e2e::Payload SetupTest::Carried(const std::string& name, const std::string& bytes) {
  std::string flat = name;
  std::replace(flat.begin(), flat.end(), '\\', '~');
  e2e::Payload payload = Source(flat, bytes);
  payload.name = name;
  return payload;
}

e2e::Payload SetupTest::ProductProgram() const {
  return {e2e::WindowsPath(PRODUCT_PROGRAM_PATH), "prog.exe"};
}

void SetupTest::Build(const archive::ArchiveTrailer& trailer,
                      const std::vector<e2e::Payload>& files) {
  std::string error;
  ASSERT_TRUE(e2e::BuildProgram(m_setup, trailer, files, &error, m_stub)) << error;
}

DWORD SetupTest::RunUnseen(Program& program) {
  bool seen = false;
  EXPECT_TRUE(e2e::WaitUntil(
      [&] {
        seen = seen || !program.Dialogs().empty();
        return program.WaitForExit(0);
      },
      30000));
  EXPECT_FALSE(seen) << "a window showed";
  return program.ExitCode();
}

Program& SetupTest::Launch(const std::string& arguments) {
  return LaunchProgram(m_setup, arguments);
}

Program& SetupTest::LaunchProgram(const std::string& exePath, const std::string& arguments) {
  m_program.reset();
  std::vector<std::string> environment = {"TEMP=" + TempFolder(), "TMP=" + TempFolder()};
  environment.insert(environment.end(), m_environment.begin(), m_environment.end());
  m_program = std::make_unique<Program>(exePath, m_dir.Path(), environment, arguments);
  EXPECT_TRUE(m_program->Started());
  return *m_program;
}

Program& SetupTest::LaunchWide(const std::wstring& exePath, const std::wstring& workDir,
                               const std::vector<std::wstring>& environment) {
  m_program.reset();
  m_program = std::make_unique<Program>(exePath, workDir, environment);
  EXPECT_TRUE(m_program->Started());
  return *m_program;
}

Window SetupTest::Start() {
  Launch();
  Window dlg = m_program->WaitForDialog(kCaption);
  EXPECT_TRUE(dlg) << "no wizard";
  return dlg;
}

Page SetupTest::Welcome() const { return {Text(IDS_WELCOME, m_product), "Weiter"}; }

Page SetupTest::DirectoryPage() const {
  Page page{Text(IDS_CHOOSE_DIR, m_product), "Weiter"};
  page.edit = page.browse = true;
  return page;
}

Page SetupTest::FinishPage(bool readme) const {
  Page page{Text(IDS_FINISHED, m_product), Text(IDS_CLOSE)};
  page.cancel = false;
  page.readme = readme;
  return page;
}

void SetupTest::DeclineDesktopShortcut() {
  if (!m_program) return;
  std::string question = Text(IDS_DESKTOP_QUESTION, m_product);
  for (const Window& box : m_program->Dialogs())
    if (box.IsMessageBox() && box.MessageText() == question) Program::Answer(box, IDNO);
}

bool SetupTest::Shows(const Window& dlg, const Page& page) {
  bool shown = e2e::WaitUntil(
      [&] {
        DeclineDesktopShortcut();
        return PageOf(dlg) == page;
      },
      20000);
  EXPECT_EQ(PageOf(dlg), page);
  return shown;
}

std::string SetupTest::GoToDirectoryPage(const Window& dlg) {
  EXPECT_TRUE(Shows(dlg, Welcome()));
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  return dlg.ItemText(IDC_EDIT_DIR);
}

void SetupTest::InstallInto(const Window& dlg, const std::string& target) {
  dlg.SetItemText(IDC_EDIT_DIR, target);
  EXPECT_TRUE(dlg.Click(IDOK));
  e2e::WaitUntil(
      [&] {
        DeclineDesktopShortcut();
        return !dlg.ItemVisible(IDCANCEL) || !dlg;
      },
      30000);
}

void SetupTest::Close(const Window& dlg) {
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(m_program->WaitForExit(30000));
}

void SetupTest::ExpectBox(const std::string& caption, const std::string& text, int answer) {
  Window box = m_program->WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box: " << text;
  EXPECT_EQ(box.Text(), caption);
  EXPECT_EQ(box.MessageText(), text);
  EXPECT_TRUE(Program::Answer(box, answer));
  e2e::WaitUntil([&] { return !box; }, 5000);
}

void PrintTo(const Placement& placement, std::ostream* os) { *os << placement.name; }

const std::vector<Placement>& Placements() {
  using archive::InstallScope;
  using archive::ProductArchitecture;
  static const std::vector<Placement> placements{
      {"Machine", {ProductArchitecture::X86, InstallScope::Machine, ""}},
      {"User", {ProductArchitecture::X86, InstallScope::User, ""}},
      {"MachineX64", {ProductArchitecture::X64, InstallScope::Machine, ""}},
  };
  return placements;
}

bool IsSixtyFourBitWindows() {
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

RegistryPlace EntryPlace(const archive::ProductBlock& product) {
  if (product.scope == archive::InstallScope::User) return {HKEY_CURRENT_USER, 0};
  if (product.architecture == archive::ProductArchitecture::X64 && IsSixtyFourBitWindows())
    return {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY};
  return {HKEY_LOCAL_MACHINE, 0};
}

std::string SetupTest::ProductsFolder(const archive::ProductBlock& product) const {
  if (product.scope == archive::InstallScope::User) {
    char local[MAX_PATH] = "";
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    return std::string(local) + "\\Programs";
  }
  return ReadString({HKEY_LOCAL_MACHINE, EntryPlace(product).view},
                    "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
}

std::string ShellFolder(const char* name) {
  return e2e::RegistryString(REGSAM(0), HKEY_CURRENT_USER,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             name);
}

std::string SetupTest::ProgramFilesDir() const { return e2e::ProgramFilesDir(e2e::StubBitness()); }

std::vector<std::string> SetupTest::FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> SetupTest::TreeIn(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const std::string& name : FilesIn(folder)) {
    std::string path = folder + "\\" + name;
    if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      tree[name] = "<dir>";
      for (const auto& [inner, bytes] : TreeIn(path)) tree[name + "\\" + inner] = bytes;
    } else {
      tree[name] = e2e::ReadFileBytes(path);
    }
  }
  return tree;
}

std::string SetupTest::RegisterDocumentType() {
  std::string extension = ".tv" + std::to_string(GetCurrentProcessId());
  std::string type = "TarnivexTest" + extension;
  std::string command =
      "\"" + e2e::WindowsPath(RECORDER_PROGRAM_PATH) + "\" \"" + OpenedRecord() + "\" 0 \"%1\"";
  std::string commandKey = type + "\\shell\\open\\command";
  m_classKeys.push_back(extension);
  m_classKeys.push_back(type);
  EXPECT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, REG_SZ, type.c_str(),
                            DWORD(type.size() + 1)),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, commandKey.c_str(), nullptr, REG_SZ, command.c_str(),
                            DWORD(command.size() + 1)),
            ERROR_SUCCESS);
  return extension;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Display(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string Logged(const std::vector<std::string>& log, const std::string& prefix) {
  for (const std::string& line : log)
    if (line.rfind(prefix + " [", 0) == 0 && line.back() == ']')
      return line.substr(prefix.size() + 2, line.size() - prefix.size() - 3);
  return {};
}

} // namespace setup_e2e
