#include "app/unattended.h"

#include "app/install_log.h"

namespace {

int g_nExitCode = kExitDone;

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// "/X=" at p, ignoring the case of X.
bool StartsWith(const char* p, const char* prefix) {
  for (; *prefix; ++p, ++prefix)
    if ((*p & ~0x20) != (*prefix & ~0x20) || !*p) return false;
  return true;
}

std::string TrimmedRest(const char* p) {
  std::string rest = p;
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  return rest;
}

} // namespace

CommandLine ParseCommandLine(const char* line) {
  CommandLine c;
  const char* p = SkipBlanks(line ? line : "");
  // The program's own name, quoted or not.
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  for (p = SkipBlanks(p); *p; p = SkipBlanks(p)) {
    if (StartsWith(p, "/D=")) {
      c.hasTarget = true;
      c.target = TrimmedRest(p + 3);
      break;
    }
    if (StartsWith(p, "/_?=")) {
      c.uninstallOrigin = TrimmedRest(p + 4);
      break;
    }
    const char* end = p;
    while (*end && *end != ' ' && *end != '\t') ++end;
    std::string word(p, end);
    if (word == "/S" || word == "/s")
      c.silent = true;
    else if (c.unknown.empty())
      c.unknown = word;
    p = end;
  }
  return c;
}

const CommandLine& TheCommandLine() {
  static const CommandLine line = ParseCommandLine(GetCommandLineA());
  return line;
}

bool IsSilent() { return TheCommandLine().silent; }

int GetExitCode() { return g_nExitCode; }

void SetExitCode(int code) {
  if (g_nExitCode == kExitDone || g_nExitCode == kExitRestart) g_nExitCode = code;
}

int AskUser(HWND owner, const std::string& text, const char* caption, UINT type, int silentAnswer) {
  if (!IsSilent()) return MessageBoxA(owner, text.c_str(), caption, type);
  InstallLog("Unattended [%s] [%d]", text.c_str(), silentAnswer);
  return silentAnswer;
}

void ReportFailure(HWND owner, const std::string& text, const char* caption, UINT type, int code) {
  SetExitCode(code);
  if (IsSilent())
    InstallLog("Error [%s]", text.c_str());
  else
    MessageBoxA(owner, text.c_str(), caption, type);
}
