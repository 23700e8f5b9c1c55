// The shortcuts of an installed product: a link on the desktop and a folder
// in the start menu's program list with links to the program, the readme and
// the uninstaller. The user chooses which, in the options dialog or in a
// Yes/No question. Nothing is logged and failures are silent: a link that
// cannot be made is missing.
#pragma once

#include <string>

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
};

// Asks and creates the shortcuts. A shell folder missing from the user's
// settings skips the links that would go there.
void CreateShortcuts(const ShortcutRequest& request);
