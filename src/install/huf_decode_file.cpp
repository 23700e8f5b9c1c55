#include "install/huf_decode_file.h"

#include <windows.h>

#include "archive/huf/huf_decoder.h"
#include "framework/controls.h"
#include "framework/file.h"
#include "install/decode_progress.h"
#include "install/file_streams.h"

namespace {

// The folder part of path, with its trailing backslash ("." when none).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

} // namespace

bool HufDecodeFile(const std::string& path, CProgressCtrl* progress) {
  // The output goes beside the input: the same private folder and volume,
  // so that the rename at the end is cheap.
  char output[MAX_PATH];
  if (!GetTempFileNameA(FolderOf(path).c_str(), "HUF", 0, output)) return false;

  CFile in, out;
  if (!in.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::modeNoInherit) ||
      !out.Open(output, CFile::modeCreate | CFile::modeWrite | CFile::modeNoInherit)) {
    in.Abort();
    DeleteFileA(output);
    return false;
  }

  archive::HufDecodeResult result;
  try {
    const uint64_t length = in.GetLength();
    if (progress) {
      progress->SetRange(0, DecodeProgress::kRange);
      progress->SetPos(0);
    }
    CFileSource source(in, length);
    CFileSink sink(out);
    DecodeProgress report(progress, length);
    result =
        archive::HufDecodeStream(source, length, sink, [&](uint64_t done) { return report(done); });
    in.Close();
    out.Close();
  } catch (const CFileException&) {
    result.status = archive::HufDecodeResult::WriteError;
  }
  if (result.status == archive::HufDecodeResult::Damaged ||
      result.status == archive::HufDecodeResult::WriteError) {
    in.Abort();
    out.Abort();
    DeleteFileA(output);
    return false;
  }
  if (result.status == archive::HufDecodeResult::Ok && progress)
    progress->SetPos(DecodeProgress::kRange);

  // A cancelled decoding leaves its partial output in place as well.
  DeleteFileA(path.c_str());
  if (!MoveFileA(output, path.c_str())) {
    DeleteFileA(output);
    return false;
  }
  return true;
}
