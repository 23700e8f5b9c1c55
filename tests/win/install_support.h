// Helpers of the installation tests: program files built from test data,
// a progress bar that records what it is told, and folder listings.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/format/trailer.h"
#include "framework/app.h"
#include "framework/controls.h"

namespace install_testing {

// Bytes that look like anything but compress: a deterministic generator.
std::string RandomBytes(size_t n, unsigned seed);
// Text-like bytes that compress well.
std::string TextBytes(size_t n, unsigned seed);

struct TestEntry {
  std::string name;
  std::string bytes;
};

// A program file ("stub" bytes, payload stream, trailer) in folder, built
// with the archive builder from the entries. trailer's entries and dataStart
// are filled in; layout gives the stream's place.
struct BuiltProgram {
  std::string path;
  archive::ArchiveTrailer trailer;
  archive::ArchiveLayout layout;
};
BuiltProgram BuildTestProgram(const std::string& folder, const archive::ArchiveTrailer& texts,
                              const std::vector<TestEntry>& entries);

// A HUF stream of bytes, as the encoder writes it.
std::string EncodeHuf(const std::string& bytes);

// A window that stands in for the progress bar: records the range and the
// positions it is given, and can confirm a cancel (set g_bCancel) once a
// position reaches cancelAt, as the dialog's cancel handler would in the
// middle of a long step.
class RecordingProgress {
public:
  RecordingProgress();
  ~RecordingProgress();
  RecordingProgress(const RecordingProgress&) = delete;
  RecordingProgress& operator=(const RecordingProgress&) = delete;

  CProgressCtrl* Control() { return &m_control; }
  int lower = -1;
  int upper = -1;
  int step = -1;
  std::vector<int> positions;
  int cancelAt = -1; // -1: never
  std::function<void(int)> onPosition; // called with every position set

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CProgressCtrl m_control;
};

// A static control for the status text.
class TextWindow {
public:
  TextWindow();
  ~TextWindow();
  TextWindow(const TextWindow&) = delete;
  TextWindow& operator=(const TextWindow&) = delete;
  CStatic* Control() { return &m_control; }
  std::string Text() const { return m_control.GetWindowText(); }

private:
  CStatic m_control;
};

// File names in folder (which ends in '\'), sorted; folders end in '\'.
std::vector<std::string> ListFolder(const std::string& folder);
// Everything below folder (ending in '\') by relative path, with its bytes;
// folders as "<dir>".
std::map<std::string, std::string> ListTree(const std::string& folder);

} // namespace install_testing
