// Drives the setup program as a user would: builds a program file (stub,
// payload, trailer), starts it in a folder of its own, finds its windows,
// reads and clicks their controls, answers message boxes and reads the
// install log. Every wait has a timeout, so a stuck program fails a test
// instead of hanging it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/format/trailer.h"

namespace e2e {

// setupstub.exe of this build.
std::string StubPath();
// The build's stub for "x86" or "x64"; empty when the build provides none.
std::string StubPathFor(const std::string& architecture);
// Whether this Windows starts the program (a 32-bit one needs WoW64): it is
// started suspended and ended at once.
bool CanStart(const std::string& exePath);
// What a console program writes to its standard output, run to its end.
std::string ConsoleOutput(const std::string& commandLine);
// The products Windows' list of installed programs shows, as the system's
// own uninstaller program lists them (its native build: both views).
std::vector<std::string> ListedPrograms();

// What a program sees of Windows depends on its own bitness: on 64-bit
// Windows a 32-bit one gets HKLM\Software from Wow6432Node and "C:\Program
// Files (x86)" as its "ProgramFilesDir". On 32-bit Windows there is one view.
enum class Bitness { x86, x64 };
// The stub of this build; the test programs are built for the same processor.
Bitness StubBitness();
// The registry view a program of that bitness reads and writes: a flag for
// RegOpenKeyEx and RegCreateKeyEx.
REGSAM RegistryView(Bitness program);
// "ProgramFilesDir" as such a program reads it.
std::string ProgramFilesDir(Bitness program);
// A value of a key in that program's view (or in `view`, a RegistryView
// flag), as text ("" when missing) or as a DWORD (0xFFFFFFFF when missing);
// whether the key is there.
std::string RegistryString(REGSAM view, HKEY root, const std::string& key, const std::string& name);
bool RegistryKeyExists(REGSAM view, HKEY root, const std::string& key);
inline std::string RegistryString(Bitness program, HKEY root, const std::string& key,
                                  const std::string& name) {
  return RegistryString(RegistryView(program), root, key, name);
}
DWORD RegistryDword(Bitness program, HKEY root, const std::string& key, const std::string& name);
inline bool RegistryKeyExists(Bitness program, HKEY root, const std::string& key) {
  return RegistryKeyExists(RegistryView(program), root, key);
}
// A path of the build tree as Wine sees it: "/a/b" becomes "Z:\\a\\b".
std::string WindowsPath(std::string path);

// A fresh folder in the temporary directory, removed with its contents.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Without a trailing backslash.
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
  std::string m_path;
};

// One file the built program carries: where it is read and its entry name.
struct Payload {
  std::string sourcePath;
  std::string name;
};

// Writes the stub followed by a payload stream and the trailer. The trailer's
// entries and dataStart are filled from the files. False (and error) when
// the program could not be built.
bool BuildProgram(const std::string& path, const archive::ArchiveTrailer& trailer,
                  const std::vector<Payload>& files = {}, std::string* error = nullptr,
                  const std::string& stub = StubPath());
// Writes the stub followed by the given bytes: for programs with damaged or
// missing archives.
bool BuildRawProgram(const std::string& path, const std::vector<uint8_t>& tail);
// A trailer region and its length word, as BuildProgram would append them.
std::vector<uint8_t> TrailerBytes(const archive::ArchiveTrailer& trailer);

// A window of the program under test (top-level or control).
class Window {
public:
  Window() = default;
  explicit Window(HWND hwnd) : m_hwnd(hwnd) {}
  HWND Handle() const { return m_hwnd; }
  explicit operator bool() const { return m_hwnd && IsWindow(m_hwnd); }

  std::string Text() const; // WM_GETTEXT
  std::string ClassName() const;
  bool Visible() const;
  bool Enabled() const;

  // Controls by id.
  Window Item(int id) const;
  std::string ItemText(int id) const { return Item(id).Text(); }
  bool ItemVisible(int id) const { return Item(id).Visible(); }
  bool ItemEnabled(int id) const { return Item(id).Enabled(); }
  bool ItemChecked(int id) const;
  // Types into an edit control (WM_SETTEXT).
  void SetItemText(int id, const std::string& text) const;
  // Clicks a visible, enabled button as the user would; false otherwise.
  // The click is posted, so a handler that opens a modal window does not
  // block the test.
  bool Click(int id) const;
  // Ticks or clears a check box and tells its dialog, as a click would.
  bool SetCheck(int id, bool checked) const;
  // Presses and releases a key in the window (VK_ESCAPE, VK_RETURN), as the
  // dialog's keyboard handling sees it.
  bool PressKey(UINT vk) const;
  // What a message box says (its static control 0xFFFF); empty otherwise.
  std::string MessageText() const { return ItemText(0xFFFF); }
  bool IsMessageBox() const { return bool(Item(0xFFFF)); }

private:
  HWND m_hwnd = nullptr;
};

// The setup program running in its own working folder.
class Program {
public:
  // Starts exePath with workDir as its current directory. `environment`
  // adds or replaces variables of the test's own ("TEMP=C:\\somewhere").
  // `arguments` follow the quoted program path on the command line.
  Program(const std::string& exePath, const std::string& workDir,
          const std::vector<std::string>& environment = {}, const std::string& arguments = "");
  // The same through CreateProcessW, for folders the code page cannot write.
  Program(const std::wstring& exePath, const std::wstring& workDir,
          const std::vector<std::wstring>& environment = {});
  // Ends the program if it still runs.
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return m_process != nullptr; }
  DWORD Id() const { return m_pid; }

  // The visible top-level dialogs (class "#32770") of the program now.
  std::vector<Window> Dialogs() const;
  // Waits for a visible dialog whose caption is `caption` (any caption when
  // empty) and that is not a message box; an empty Window on timeout.
  Window WaitForDialog(const std::string& caption = "", DWORD timeoutMs = 15000);
  // Waits for a message box; an empty Window on timeout.
  Window WaitForMessageBox(DWORD timeoutMs = 15000);
  // Answers a message box with IDOK, IDYES, IDNO, ...
  static bool Answer(const Window& box, int button);

  // Waits for the process to end; false on timeout.
  bool WaitForExit(DWORD timeoutMs = 15000);
  DWORD ExitCode() const;
  // Captions of the dialogs other than message boxes that the waits above
  // have seen, in order of appearance: the wizards the program opened.
  std::vector<std::string> SeenDialogs() const;
  // Captions of the message boxes the waits have seen.
  std::vector<std::string> SeenMessageBoxes() const;

  // install.log of the working folder, whole, and as messages without the
  // time stamps (split at CR LF; a lone LF stays inside its line).
  std::string LogText() const;
  std::vector<std::string> LogMessages() const;

private:
  void Remember(const std::vector<Window>& dialogs);

  HANDLE m_process = nullptr;
  DWORD m_pid = 0;
  std::string m_workDir;
  std::wstring m_workDirW; // set when started through the wide API
  // Every dialog seen, classified when it was first seen (a message box
  // that is being destroyed may no longer look like one).
  struct Seen {
    HWND hwnd;
    bool messageBox;
    std::string caption;
  };
  std::vector<Seen> m_seen;
};

// Polls the condition until it holds; false on timeout. For page changes:
//   WaitUntil([&] { return dlg.ItemText(1000) == expected; });
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

// The messages of an install log's text, without the time stamps.
std::vector<std::string> LogMessagesOf(const std::string& logText);

// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Index of the first message equal to `message` at or after `from`; -1 when
// there is none.
int FindMessage(const std::vector<std::string>& messages, const std::string& message, int from = 0);

} // namespace e2e
