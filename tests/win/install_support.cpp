#include "install_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/cancel.h"
#include "archive/archive_builder.h"
#include "archive/huf/huf_encoder.h"
#include "archive/huf/huf_tree.h"
#include "test_support.h"

namespace install_testing {

namespace {

const char kProgressClass[] = "TarnivexRecordingProgress";

uint32_t Next(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

} // namespace

std::string RandomBytes(size_t n, unsigned seed) {
  uint32_t state = seed * 2654435761u + 1;
  std::string bytes(n, '\0');
  for (auto& c : bytes) c = char(Next(state));
  return bytes;
}

std::string TextBytes(size_t n, unsigned seed) {
  static const char* const kWords[] = {"Datei ", "Setup ", "install ", "Verzeichnis ",
                                       "the ",   "of ",    "\r\n",     "Tarnivex "};
  uint32_t state = seed + 7;
  std::string text;
  while (text.size() < n) text += kWords[Next(state) % 8];
  text.resize(n);
  return text;
}

BuiltProgram BuildTestProgram(const std::string& folder, const archive::ArchiveTrailer& texts,
                              const std::vector<TestEntry>& entries) {
  BuiltProgram program;
  std::string stub = folder + "stub.bin";
  testing_support::WriteWholeFile(stub, "MZ" + RandomBytes(3000, 1));
  std::string sources = folder + "src\\";
  CreateDirectoryA(sources.c_str(), nullptr);
  std::vector<archive::PayloadFile> files;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string source = sources + std::to_string(i);
    testing_support::WriteWholeFile(source, entries[i].bytes);
    files.push_back({source, entries[i].name});
  }
  program.path = folder + "setup.exe";
  archive::BuildResult built = archive::BuildProgramFile(stub, files, texts, program.path);
  EXPECT_TRUE(built.ok) << built.error;

  archive::StdioFile file(program.path);
  archive::TrailerReadResult read = archive::ReadTrailer(file, program.trailer);
  EXPECT_TRUE(read.ok) << read.error;
  program.layout = read.layout;
  return program;
}

std::string EncodeHuf(const std::string& bytes) {
  archive::HufCounts counts{};
  archive::CountBytes(counts, bytes.data(), bytes.size());
  archive::VectorSink sink;
  archive::HufEncoder encoder(counts, sink, "TVO1.tmp");
  EXPECT_TRUE(encoder.Write(bytes.data(), bytes.size()));
  EXPECT_TRUE(encoder.Finish());
  return std::string(sink.bytes.begin(), sink.bytes.end());
}

RecordingProgress::RecordingProgress() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &RecordingProgress::WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kProgressClass;
  RegisterClassA(&windowClass);
  m_control.m_hWnd = CreateWindowA(kProgressClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
  SetWindowLongPtrA(m_control.m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RecordingProgress::~RecordingProgress() { DestroyWindow(m_control.m_hWnd); }

LRESULT CALLBACK RecordingProgress::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = reinterpret_cast<RecordingProgress*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
    case PBM_SETRANGE:
      self->lower = LOWORD(lParam);
      self->upper = HIWORD(lParam);
      return 0;
    case PBM_SETSTEP:
      self->step = int(wParam);
      return 0;
    case PBM_SETPOS:
      self->positions.push_back(int(wParam));
      if (self->cancelAt >= 0 && int(wParam) >= self->cancelAt) g_bCancel = 1;
      if (self->onPosition) self->onPosition(int(wParam));
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TextWindow::TextWindow() {
  m_control.m_hWnd = CreateWindowA("STATIC", "", 0, 0, 0, 100, 20, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
}

TextWindow::~TextWindow() { DestroyWindow(m_control.m_hWnd); }

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += '\\';
    names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> ListTree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const std::string& name : ListFolder(folder)) {
    if (name.back() != '\\') {
      tree[name] = testing_support::ReadWholeFile(folder + name);
      continue;
    }
    tree[name.substr(0, name.size() - 1)] = "<dir>";
    for (const auto& [inner, bytes] : ListTree(folder + name)) tree[name + inner] = bytes;
  }
  return tree;
}

} // namespace install_testing
