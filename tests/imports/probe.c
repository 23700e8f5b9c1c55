/* A program with the imports the stub must never have: VERSION.dll at load
   time and a function Windows XP lacks. The import check must refuse it. */
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) {
  DWORD handle = 0;
  return (int)(GetTickCount64() & 1) + (int)GetFileVersionInfoSizeA("probe.exe", &handle);
}
