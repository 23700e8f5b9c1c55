#include "install/journal_file.h"

#include <mbstring.h>

#include "framework/format.h"
#include "install/flush_queue.h"

namespace {

bool StartsWithFolder(const std::string& name, const std::string& folder) {
  return name.size() > folder.size() &&
         (name[folder.size()] == '\\' || name[folder.size()] == '/') &&
         _mbsnbicmp(reinterpret_cast<const unsigned char*>(name.c_str()),
                    reinterpret_cast<const unsigned char*>(folder.c_str()), folder.size()) == 0;
}

} // namespace

std::string JournalWorkFolder(const std::string& installPath) {
  return installPath + archive::kJournalFolder + "\\";
}

std::string JournalPath(const std::string& installPath) {
  return JournalWorkFolder(installPath) + archive::kJournalFile;
}

std::string JournalBackupName(const std::string& installPath, unsigned n) {
  constexpr unsigned kPerFolder = 64;
  const std::string folder = JournalWorkFolder(installPath) + "old";
  if (n == 0) CreateDirectoryA(folder.c_str(), nullptr);
  if (n % kPerFolder == 0 &&
      !CreateDirectoryA(FormatString("%s\\%u", folder.c_str(), n / kPerFolder).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS)
    return {};
  return FormatString("%s\\old\\%u\\%u.old", archive::kJournalFolder, n / kPerFolder, n);
}

// SETUP_NO_JOURNAL_FLUSH: the benchmark's build that measures what the
// flushes cost. The journal is written but nothing is forced onto the disk.
#ifdef SETUP_NO_JOURNAL_FLUSH
bool FlushHandle(HANDLE) { return true; }
DWORD MoveWriteThrough() { return 0; }
#else
bool FlushHandle(HANDLE file) { return FlushFileBuffers(file) != FALSE; }
DWORD MoveWriteThrough() { return MOVEFILE_WRITE_THROUGH; }
#endif

bool FlushFile(const std::string& path) {
  if (!MoveWriteThrough()) return true;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  QueueFlush(file);
  return true;
}

bool JournalFile::Begin(const std::string& installPath, archive::JournalOperation operation,
                        uint32_t fromRelease, uint32_t toRelease) {
  Close();
  m_strInstallPath = installPath;
  m_strLastFolder.clear();
  const std::string folder = JournalWorkFolder(installPath);
  if (!CreateDirectoryA(folder.substr(0, folder.size() - 1).c_str(), nullptr)) return false;
  m_hFile = CreateFileA(JournalPath(installPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<uint8_t> bytes;
  archive::AppendJournalHeader(bytes);
  archive::AppendJournalBegin(bytes, operation, fromRelease, toRelease);
  m_pending.clear();
  if (m_hFile != INVALID_HANDLE_VALUE && Append(bytes, true)) return true;
  Close();
  DeleteFileA(JournalPath(installPath).c_str());
  RemoveDirectoryA(folder.substr(0, folder.size() - 1).c_str());
  return false;
}

bool JournalFile::Step(archive::JournalKind kind, const std::string& path,
                       const std::string& backup, bool flush) {
  std::vector<uint8_t> bytes;
  archive::AppendJournalStep(bytes, {kind, path, backup});
  return Append(bytes, flush);
}

bool JournalFile::FoldersOf(const std::string& name, bool flush) {
  const size_t slash = name.rfind('\\');
  if (slash == std::string::npos) return true;
  const std::string folder = name.substr(0, slash);
  // Entries come sorted by path: most share their folder with the last one.
  if (folder == m_strLastFolder) return true;
  for (size_t end = folder.find('\\');; end = folder.find('\\', end + 1)) {
    const std::string level = folder.substr(0, end);
    if (GetFileAttributesA((m_strInstallPath + level).c_str()) == INVALID_FILE_ATTRIBUTES &&
        !Step(archive::JournalKind::NewFolder, level, {}, flush))
      return false;
    if (end == std::string::npos) break;
  }
  m_strLastFolder = folder;
  return true;
}

bool JournalFile::Commit() {
  if (!DrainQueue()) return false;
  std::vector<uint8_t> bytes;
  archive::AppendJournalCommit(bytes);
  return Append(bytes, true);
}

void JournalFile::Close() {
  DrainQueue();
  if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}

bool JournalFile::Append(const std::vector<uint8_t>& bytes, bool flush) {
  m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
  return !flush || Flush();
}

bool JournalFile::Flush() {
  if (m_hFile == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool done = WriteFile(m_hFile, m_pending.data(), DWORD(m_pending.size()), &written,
                              nullptr) &&
                    written == m_pending.size() && FlushHandle(m_hFile);
  m_pending.clear();
  return done;
}

bool BeginWork(JournalFile& journal, const std::string& installPath,
               const std::vector<std::string>& names, archive::JournalOperation operation,
               uint32_t fromRelease, uint32_t toRelease) {
  for (const std::string& name : names)
    if (StartsWithFolder(name, archive::kJournalFolder)) return false;
  const std::string work = JournalWorkFolder(installPath);
  return work.size() + 16 < MAX_PATH &&
         journal.Begin(installPath, operation, fromRelease, toRelease) &&
         CreateDirectoryA((work + "new").c_str(), nullptr) &&
         CreateDirectoryA((work + "old").c_str(), nullptr);
}
