// Where a product goes and where it is registered, from its product block and
// the Windows it runs on. Every reader and writer of the uninstall entry and
// every proposal of a folder asks here.
//
//   scope user                    HKCU, the user's own program folder
//   x64, 64-bit Windows           HKLM 64-bit view, the 64-bit Program Files
//   x86                           HKLM in the program's own view, its own
//                                 Program Files (a 32-bit stub: the 32-bit
//                                 view and "Program Files (x86)")
//   x64, 32-bit Windows           cannot run here
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "archive/format/product_block.h"

// A key's place: root and view (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY).
struct RegistryPlace {
  HKEY root = HKEY_LOCAL_MACHINE;
  REGSAM view = 0;
  bool operator==(const RegistryPlace&) const = default;
};

struct ProductPlacement {
  bool perUser = false;
  // False: a 64-bit product on a 32-bit Windows.
  bool runsHere = true;
  // A 64-bit product started by a 32-bit program on 64-bit Windows: its
  // program and the system's programs start with the file-system redirection
  // off, so that they come from the 64-bit system folder.
  bool nativePrograms = false;
  // Where a new uninstall entry goes.
  RegistryPlace entry;
};

bool IsSixtyFourBitWindows();

ProductPlacement PlaceProduct(const archive::ProductBlock& product);

// The placement of the product this process installs, patches or removes;
// set once the archive is read (x86, per machine until then).
void SetProductPlacement(const ProductPlacement& placement);
const ProductPlacement& TheProductPlacement();

// Every place an uninstall entry of any product may lie on this Windows, the
// placement's own first: an installation by the other stub, by the product
// itself or in the other scope is found wherever it wrote its entry.
std::vector<RegistryPlace> UninstallEntryPlaces(const ProductPlacement& placement);
// A key as the log names it: "HKLM\<subKey> (64-bit view)".
std::string PlaceText(const RegistryPlace& place, const std::string& subKey);

// The folder that holds products in this placement, in full: "ProgramFilesDir"
// of the placement's view, or the user's own program folder
// (%LOCALAPPDATA%\Programs), created when missing. Empty when it cannot be
// read; the machine's folder then falls back to "C:\Program Files".
std::wstring ProductsFolder(const ProductPlacement& placement);

// Whether a per-user product may go to this folder (code page, full path):
// not into or below the machine's program folders or the Windows folder,
// which need administrator rights, and only where the user can create a
// folder in what exists of the path. Nothing is left behind by the test.
bool UserMayInstallInto(const std::string& directory);

// Turns the file-system redirection of a 32-bit program on 64-bit Windows off
// for its lifetime when the placement asks for native programs; else nothing.
class NativeFileSystem {
public:
  explicit NativeFileSystem(const ProductPlacement& placement);
  ~NativeFileSystem();
  NativeFileSystem(const NativeFileSystem&) = delete;
  NativeFileSystem& operator=(const NativeFileSystem&) = delete;

private:
  void* m_old = nullptr;
  bool m_off = false;
};
