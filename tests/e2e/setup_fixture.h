// What the setup wizard's end-to-end tests share: a product of their own (a
// unique name, so tests may run side by side in one Wine prefix), a work
// folder with its own temporary folder, the built setup.exe, and the pages
// of the wizard as the user sees them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "driver.h"

namespace setup_e2e {

using e2e::Program;
using e2e::Window;

// The caption every test archive carries.
inline const std::string kCaption = "Testsetup";
// The application's name: the caption of boxes without one of their own.
inline const std::string kAppName = "setup";

// A string-table text of the program (code page 1252), formatted as the
// wizard formats it.
std::string Text(UINT id, const std::string& argument = "");

// What one page of the wizard shows.
struct Page {
  std::string text;
  std::string next; // caption of the next button
  bool nextEnabled = true;
  bool cancel = true;
  bool edit = false;
  bool browse = false;
  bool progress = false;
  bool readme = false;
  bool operator==(const Page&) const = default;
};
void PrintTo(const Page& page, std::ostream* os);
Page PageOf(const Window& dlg);

// Names the code page may not be able to write. An ASCII text widened.
std::wstring Wide(const std::string& text);
// The closest form the code page has, as messages and the log show it.
std::string Display(const std::wstring& text);
// The text behind "prefix [" up to the closing bracket in the log; empty when
// no message starts so.
std::string Logged(const std::vector<std::string>& log, const std::string& prefix);

// Where a product goes: the scenarios run once more for each placement.
struct Placement {
  const char* name;
  archive::ProductBlock product;
};
void PrintTo(const Placement& placement, std::ostream* os);
// Per machine as a 32-bit product (as ever), per user, per machine as a
// 64-bit product.
const std::vector<Placement>& Placements();
// A key's place: root and view (0: the test's own, or KEY_WOW64_64KEY).
struct RegistryPlace {
  HKEY root;
  REGSAM view;
};
// The uninstall entry's place for a product built from the test's own stub.
RegistryPlace EntryPlace(const archive::ProductBlock& product);
bool IsSixtyFourBitWindows();
// A string value in that place; empty when missing.
inline std::string ReadString(const RegistryPlace& place, const std::string& key,
                              const char* name) {
  return e2e::RegistryString(place.view, place.root, key, name);
}
inline bool KeyExists(const RegistryPlace& place, const std::string& key) {
  return e2e::RegistryKeyExists(place.view, place.root, key);
}
// The user's shell folder ("Desktop", "Programs") as the prefix records it.
std::string ShellFolder(const char* name);

class SetupTest : public ::testing::Test {
protected:
  SetupTest();
  ~SetupTest() override;

  // An installer of this test's product: version 3, program "prog.exe".
  archive::ArchiveTrailer Installer() const;
  // A file with these bytes in the source folder, carried under its name.
  e2e::Payload Source(const std::string& name, const std::string& bytes);
  // A file with these bytes carried under a name that may lie in folders
  // ("daten\de\text.txt"); the source file itself is flat.
  e2e::Payload Carried(const std::string& name, const std::string& bytes);
  // The stand-in product program, carried as "prog.exe".
  e2e::Payload ProductProgram() const;
  // Builds setup.exe in the work folder.
  void Build(const archive::ArchiveTrailer& trailer, const std::vector<e2e::Payload>& files = {});

  // Starts setup.exe with TempFolder() as its temporary folder and
  // m_environment's variables.
  Program& Launch(const std::string& arguments = "");
  // Starts another program of the test (an uninstaller) the same way.
  Program& LaunchProgram(const std::string& exePath, const std::string& arguments);
  // Waits for a started program that must show no window; its exit code.
  DWORD RunUnseen(Program& program);
  // Starts a program file through the wide API, in place of Launch.
  Program& LaunchWide(const std::wstring& exePath, const std::wstring& workDir,
                      const std::vector<std::wstring>& environment);
  // The same, then waits for the wizard.
  Window Start();
  Program& Running() { return *m_program; }

  // The pages as they must look.
  Page Welcome() const;
  Page DirectoryPage() const;
  Page FinishPage(bool readme) const;
  // Waits until the wizard shows this page; false (and a failure) otherwise.
  // The question for a desktop shortcut that Installer() brings up is
  // answered with No on the way: tests of the shortcuts answer it first.
  bool Shows(const Window& dlg, const Page& page);
  void DeclineDesktopShortcut();

  // Page 1 -> page 2 (no license): the proposal in the edit box.
  std::string GoToDirectoryPage(const Window& dlg);
  // Page 2 -> the finish page, installing into `target`.
  void InstallInto(const Window& dlg, const std::string& target);
  // "Schliessen" on the finish page; waits for the end of the program.
  void Close(const Window& dlg);
  // The message box that must come now, checked and answered.
  void ExpectBox(const std::string& caption, const std::string& text, int answer);

  // Where the product goes by default (as the stub under test sees it) and
  // where the tests install it.
  std::string ProgramFilesDir() const;
  // The folder that holds products of this placement: the program files
  // folder of the product's view, or the user's own program folder.
  std::string ProductsFolder(const archive::ProductBlock& product) const;
  std::string Target() const { return m_dir.File("Ziel Ordner"); }
  // Files in the folder (not recursing), sorted.
  static std::vector<std::string> FilesIn(const std::string& folder);
  // Everything below the folder with its bytes, by relative path; folders as
  // "<dir>".
  static std::map<std::string, std::string> TreeIn(const std::string& folder);
  // The setup program's temporary folder: empty after every run.
  std::string TempFolder() const { return m_dir.File("temp"); }

  // Registers a document type of its own in HKEY_CLASSES_ROOT whose open
  // command records its command line in OpenedRecord(); removed afterwards.
  // Returns the extension, with its dot.
  std::string RegisterDocumentType();
  std::string OpenedRecord() const { return m_dir.File("opened.txt"); }

  e2e::TempDir m_dir;
  std::string m_stub = e2e::StubPath();   // what Build builds from
  std::vector<std::string> m_environment; // added to Launch's
  std::string m_product;
  std::string m_setup;

private:
  std::unique_ptr<Program> m_program;
  std::vector<std::string> m_classKeys;
};

} // namespace setup_e2e
