// The shortcuts of an installed product: a link on the desktop and a folder
// in the start menu's program list with links to the program, the readme and
// the uninstaller. The user chooses which, in the options dialog or in a
// Yes/No question. Nothing is logged and failures are silent: a link that
// cannot be made is missing.
#pragma once

#include <string>

#include "archive/format/uninstall_blocks.h"

class CWnd;

struct ShortcutRequest {
  std::string installPath; // ends in '\'
  std::string productName; // description and name of the program links, start-menu folder
  std::string caption;     // caption of the questions
  // The program block: a desktop link may be offered. Both names are
  // relative to installPath.
  bool hasProgram = false;
  std::string iconFile;
  std::string exeName;
  // The start-menu block and its options.
  bool hasStartMenu = false;
  bool startMenuInProgramFolder = false;
  bool uninstallShortcut = false;
  bool readmeShortcut = false;
  bool programShortcut = false;
  std::string programFolder; // group above the product's folder; may be empty
  std::string readmeFile;    // relative to installPath; empty when there is none
  // With "Reg" files the program links start the first of them in "Reg\".
  bool hasRegFiles = false;
  std::string firstRegFile;
  CWnd* parent = nullptr; // owner of the options dialog and the questions
  // The built-in uninstaller's path: the "Uninstall" link starts it (without
  // arguments) instead of the program with "-uninstall".
  std::string uninstaller;
  // When set, receives the links saved and the start-menu folders made.
  archive::UninstallList* record = nullptr;
};

// The user's shell folder ("Desktop", "Programs") in a form the code page
// can write; empty when it is missing or has none.
std::string UserShellFolder(const wchar_t* name);

// Asks and creates the shortcuts; an unattended run takes every link offered. A shell folder
// missing from the user's settings skips the links that would go there.
void CreateShortcuts(const ShortcutRequest& request);
