#include "driver.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/common/byte_io.h"

#include "archive/archive_builder.h"

namespace e2e {

namespace {

bool CopyStub(const std::string& path, std::string* error) {
  if (CopyFileA(StubPath().c_str(), path.c_str(), FALSE)) return true;
  if (error) *error = "cannot copy " + StubPath() + " to " + path;
  return false;
}

bool AppendBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

void Poll() { Sleep(25); }

// The test's own environment with `overrides` ("NAME=value") added or
// replacing variables of the same name, as a block for CreateProcessA.
std::string EnvironmentBlock(const std::vector<std::string>& overrides) {
  auto nameOf = [](const std::string& entry) {
    std::string name = entry.substr(0, entry.find('=', 1));
    for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
    return name;
  };
  std::string block;
  for (const std::string& entry : overrides) block.append(entry).push_back('\0');
  char* strings = GetEnvironmentStringsA();
  for (const char* p = strings; *p; p += strlen(p) + 1) {
    bool replaced = false;
    for (const std::string& entry : overrides) replaced = replaced || nameOf(entry) == nameOf(p);
    if (!replaced) block.append(p).push_back('\0');
  }
  FreeEnvironmentStringsA(strings);
  block.push_back('\0');
  return block;
}

} // namespace

// Wine maps the Unix root to drive Z:.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string StubPath() { return WindowsPath(SETUP_STUB_PATH); }

std::string StubPathFor(const std::string& architecture) {
#if defined(SETUP_STUB_X86_PATH) && defined(SETUP_STUB_X64_PATH)
  return WindowsPath(architecture == "x86" ? SETUP_STUB_X86_PATH : SETUP_STUB_X64_PATH);
#else
  (void)architecture;
  return {};
#endif
}

bool CanStart(const std::string& exePath) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = "\"" + exePath + "\"";
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process))
    return false;
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string ConsoleOutput(const std::string& commandLine) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return {};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION process{};
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  std::string output;
  if (started) {
    char block[4096];
    DWORD got = 0;
    while (ReadFile(read, block, sizeof block, &got, nullptr) && got > 0) output.append(block, got);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read);
  return output;
}

std::vector<std::string> ListedPrograms() {
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, MAX_PATH);
  // A 32-bit test on 64-bit Windows reaches the native folder as Sysnative.
  std::string program = std::string(windows) + "\\Sysnative\\uninstaller.exe";
  if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES)
    program = std::string(windows) + "\\system32\\uninstaller.exe";
  std::vector<std::string> lines;
  std::string output = ConsoleOutput("\"" + program + "\" --list");
  for (size_t from = 0; from < output.size();) {
    size_t end = output.find('\n', from);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(from, end - from);
    while (!line.empty() && (line.back() == '\r')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
    from = end + 1;
  }
  return lines;
}

Bitness StubBitness() { return sizeof(void*) == 8 ? Bitness::x64 : Bitness::x86; }

REGSAM RegistryView(Bitness program) {
  // 32-bit Windows ignores both flags.
  return program == Bitness::x64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

namespace {

// The value's bytes in the program's view; false when key or value is missing.
bool ReadRegistryValue(REGSAM view, HKEY root, const std::string& key, const std::string& name,
                       DWORD flags, void* data, DWORD size) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &handle) !=
      ERROR_SUCCESS)
    return false;
  LSTATUS status = RegGetValueA(handle, nullptr, name.c_str(), flags, nullptr, data, &size);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

} // namespace

std::string RegistryString(REGSAM view, HKEY root, const std::string& key,
                           const std::string& name) {
  char value[2048] = "";
  if (!ReadRegistryValue(view, root, key, name, RRF_RT_REG_SZ, value, sizeof(value))) return "";
  return value;
}

DWORD RegistryDword(Bitness program, HKEY root, const std::string& key, const std::string& name) {
  DWORD value = 0xFFFFFFFF;
  if (!ReadRegistryValue(RegistryView(program), root, key, name, RRF_RT_REG_DWORD, &value, sizeof(value)))
    return 0xFFFFFFFF;
  return value;
}

bool RegistryKeyExists(REGSAM view, HKEY root, const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &handle) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

std::string ProgramFilesDir(Bitness program) {
  return RegistryString(program, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                        "ProgramFilesDir");
}

TempDir::TempDir() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    char name[MAX_PATH];
    std::snprintf(name, sizeof(name), "%se2e-%lu-%u", base, GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, nullptr)) {
      m_path = name;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

std::vector<uint8_t> TrailerBytes(const archive::ArchiveTrailer& trailer) {
  archive::VectorSink sink;
  archive::WriteTrailer(sink, trailer);
  return sink.bytes;
}

bool BuildProgram(const std::string& path, const archive::ArchiveTrailer& trailer,
                  const std::vector<Payload>& files, std::string* error, const std::string& stub) {
  std::vector<archive::PayloadFile> payload;
  for (const auto& f : files) payload.push_back({f.sourcePath, f.name});
  archive::BuildResult r = archive::BuildProgramFile(stub, payload, trailer, path);
  if (!r.ok && error) *error = r.error;
  return r.ok;
}

bool BuildRawProgram(const std::string& path, const std::vector<uint8_t>& tail) {
  return CopyStub(path, nullptr) && AppendBytes(path, tail);
}

std::string Window::Text() const {
  if (!m_hwnd) return std::string();
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutA(m_hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len))
    return std::string();
  std::string text(size_t(len) + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(m_hwnd, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, 5000, &got);
  text.resize(size_t(got));
  return text;
}

std::string Window::ClassName() const {
  char name[256] = "";
  if (m_hwnd) GetClassNameA(m_hwnd, name, sizeof(name));
  return name;
}

bool Window::Visible() const { return m_hwnd && IsWindowVisible(m_hwnd); }
bool Window::Enabled() const { return m_hwnd && IsWindowEnabled(m_hwnd); }

Window Window::Item(int id) const { return Window(m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr); }

bool Window::ItemChecked(int id) const {
  return SendMessageA(Item(id).Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Window::SetItemText(int id, const std::string& text) const {
  DWORD_PTR ignored;
  SendMessageTimeoutA(Item(id).Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, &ignored);
}

bool Window::Click(int id) const {
  Window button = Item(id);
  if (!button.Visible() || !button.Enabled()) return false;
  return PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button.Handle())) != FALSE;
}

bool Window::SetCheck(int id, bool checked) const {
  Window box = Item(id);
  if (!box.Visible() || !box.Enabled()) return false;
  DWORD_PTR ignored;
  SendMessageTimeoutA(box.Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0,
                      SMTO_ABORTIFHUNG, 5000, &ignored);
  return PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(box.Handle())) != FALSE;
}

bool Window::PressKey(UINT vk) const {
  if (!*this) return false;
  return PostMessageA(m_hwnd, WM_KEYDOWN, vk, 1) && PostMessageA(m_hwnd, WM_KEYUP, vk, 0xC0000001);
}

Program::Program(const std::string& exePath, const std::string& workDir,
                 const std::vector<std::string>& environment, const std::string& arguments)
    : m_workDir(workDir) {
  std::string commandLine = "\"" + exePath + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::string block = environment.empty() ? std::string() : EnvironmentBlock(environment);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                     block.empty() ? nullptr : &block[0], workDir.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
  }
}

Program::Program(const std::wstring& exePath, const std::wstring& workDir,
                 const std::vector<std::wstring>& environment)
    : m_workDirW(workDir) {
  std::wstring commandLine = L"\"" + exePath + L"\"";
  std::wstring block;
  if (!environment.empty()) {
    auto nameOf = [](const std::wstring& entry) {
      std::wstring name = entry.substr(0, entry.find(L'=', 1));
      for (wchar_t& c : name) c = wchar_t(towupper(c));
      return name;
    };
    for (const std::wstring& entry : environment) block.append(entry).push_back(L'\0');
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
      bool replaced = false;
      for (const std::wstring& entry : environment)
        replaced = replaced || nameOf(entry) == nameOf(p);
      if (!replaced) block.append(p).push_back(L'\0');
    }
    FreeEnvironmentStringsW(strings);
    block.push_back(L'\0');
  }
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                     CREATE_UNICODE_ENVIRONMENT, block.empty() ? nullptr : &block[0],
                     workDir.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
  }
}

Program::~Program() {
  if (!m_process) return;
  if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_process, 255);
    WaitForSingleObject(m_process, 5000);
  }
  CloseHandle(m_process);
}

namespace {

// The program and the programs it started (the uninstaller runs from its
// copy, which the first process waits for).
std::vector<DWORD> ProcessFamily(DWORD pid) {
  std::vector<DWORD> family = {pid};
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return family;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (entry.th32ParentProcessID == pid && entry.th32ProcessID != pid)
      family.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return family;
}

} // namespace

std::vector<Window> Program::Dialogs() const {
  struct Search {
    std::vector<DWORD> pids;
    std::vector<Window> found;
  } search{ProcessFamily(m_pid), {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        Window w(hwnd);
        bool ours = std::find(s->pids.begin(), s->pids.end(), pid) != s->pids.end();
        if (ours && w.Visible() && w.ClassName() == "#32770") s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Program::Remember(const std::vector<Window>& dialogs) {
  for (const Window& w : dialogs) {
    bool known = false;
    for (const auto& seen : m_seen) known = known || seen.hwnd == w.Handle();
    if (!known) m_seen.push_back({w.Handle(), w.IsMessageBox(), w.Text()});
  }
}

std::vector<std::string> Program::SeenDialogs() const {
  std::vector<std::string> captions;
  for (const auto& seen : m_seen)
    if (!seen.messageBox) captions.push_back(seen.caption);
  return captions;
}

std::vector<std::string> Program::SeenMessageBoxes() const {
  std::vector<std::string> captions;
  for (const auto& seen : m_seen)
    if (seen.messageBox) captions.push_back(seen.caption);
  return captions;
}

Window Program::WaitForDialog(const std::string& caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    std::vector<Window> dialogs = Dialogs();
    Remember(dialogs);
    for (const Window& w : dialogs)
      if (!w.IsMessageBox() && (caption.empty() || w.Text() == caption)) return w;
    Poll();
  } while (GetTickCount() - start < timeoutMs);
  return Window();
}

Window Program::WaitForMessageBox(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    std::vector<Window> dialogs = Dialogs();
    Remember(dialogs);
    for (const Window& w : dialogs)
      if (w.IsMessageBox()) return w;
    Poll();
  } while (GetTickCount() - start < timeoutMs);
  return Window();
}

bool Program::Answer(const Window& box, int button) {
  if (!box) return false;
  return PostMessageA(box.Handle(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                      reinterpret_cast<LPARAM>(box.Item(button).Handle())) != FALSE;
}

bool Program::WaitForExit(DWORD timeoutMs) {
  if (!m_process) return false;
  DWORD start = GetTickCount();
  do {
    Remember(Dialogs());
    if (WaitForSingleObject(m_process, 25) == WAIT_OBJECT_0) return true;
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (m_process) GetExitCodeProcess(m_process, &code);
  return code;
}

std::string Program::LogText() const {
  if (m_workDirW.empty()) return ReadFileBytes(m_workDir + "\\install.log");
  std::ifstream in(std::filesystem::path(m_workDirW + L"\\install.log"), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Program::LogMessages() const { return LogMessagesOf(LogText()); }

std::vector<std::string> LogMessagesOf(const std::string& text) {
  std::vector<std::string> messages;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    size_t tab = line.find('\t');
    messages.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    pos = end + 2;
  }
  return messages;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (condition()) return true;
    Poll();
  } while (GetTickCount() - start < timeoutMs);
  return condition();
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int FindMessage(const std::vector<std::string>& messages, const std::string& message, int from) {
  for (size_t i = size_t(from < 0 ? 0 : from); i < messages.size(); ++i)
    if (messages[i] == message) return int(i);
  return -1;
}

} // namespace e2e
