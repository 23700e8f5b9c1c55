#include "written_route.h"

#include <vector>

#include "app/install_log.h"
#include "framework/file.h"
#include "install/directory_chain.h"
#include "install/entry_splitter.h"
#include "install/huf_decode_file.h"

namespace {

class CopyPolicy final : public EntryPolicy {
public:
  explicit CopyPolicy(const InstallRequest& request) : m_request(request) {}
  bool OpenEntry(size_t index, OutputFile& file) override {
    const auto& entry = m_request.trailer->entries[index];
    m_temp = m_request.tempPath + entry.name;
    InstallLog("Copying File [%s] [%u]", m_temp.c_str(), unsigned(entry.size));
    return file.Create(m_temp, CREATE_ALWAYS);
  }
  bool EntryWritten(size_t index) override {
    std::string target = m_request.installPath + m_request.trailer->entries[index].name;
    InstallLog("Copying File [%s] to [%s]", m_temp.c_str(), target.c_str());
    if (!CopyFileA(m_temp.c_str(), target.c_str(), FALSE)) return false;
    DeleteFileA(m_temp.c_str());
    return true;
  }
  void EntryAbandoned(size_t) override { DeleteFileA(m_temp.c_str()); }

private:
  const InstallRequest& m_request;
  std::string m_temp;
};

} // namespace

bool InstallByWrittenRoute(const InstallRequest& request) {
  if (!CreateDirectoryChain(request.installPath)) return false;
  InstallLog("Creating Directory [%s]", request.installPath.c_str());
  char copy[MAX_PATH];
  if (!GetTempFileNameA(request.tempPath.c_str(), "TVO", 0, copy)) return false;
  try {
    CFile program(request.programPath.c_str(), CFile::modeRead | CFile::shareDenyNone);
    program.Seek(LONGLONG(request.trailer->dataStart), CFile::begin);
    CFile out(copy, CFile::modeCreate | CFile::modeWrite);
    std::vector<char> block(1 << 20);
    for (uint64_t left = request.streamLength; left > 0;) {
      UINT n = program.Read(block.data(), UINT(std::min<uint64_t>(left, block.size())));
      if (n == 0) return false;
      out.Write(block.data(), n);
      left -= n;
    }
    out.Close();
    program.Close();
    if (!HufDecodeFile(copy, request.progress)) return false;

    CFile decoded(copy, CFile::modeRead | CFile::shareDenyNone);
    CopyPolicy policy(request);
    EntrySplitter splitter(request.trailer->entries, policy);
    for (;;) {
      UINT n = decoded.Read(block.data(), UINT(block.size()));
      if (n == 0) break;
      if (!splitter.Write(block.data(), n)) return false;
    }
    if (!splitter.Finish()) return false;
    decoded.Close();
  } catch (const CFileException&) {
    return false;
  }
  DeleteFileA(copy);
  return true;
}
