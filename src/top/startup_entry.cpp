// The program's entry point, ahead of the C runtime's: the DLL search is made
// safe before the runtime's start-up and static constructors run, which may
// load DLLs of their own.
#include "app/system_library.h"

extern "C" int WinMainCRTStartup();

extern "C"
#if defined(__i386__)
    // Windows enters with a stack aligned to 4 bytes only.
    __attribute__((force_align_arg_pointer))
#endif
    int
    SetupEntry() {
  RestrictDllSearch();
  PreloadSystemLibraries();
  return WinMainCRTStartup();
}
