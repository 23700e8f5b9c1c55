// The framework's files, file search, strings and controls against Wine's
// real file system and windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framework/afxwin.h"

namespace {

class ScratchFolder {
public:
  ScratchFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    m_path = std::string(base) + "fwtest-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(s_counter++);
    std::filesystem::create_directories(m_path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string File(const char* name) const { return m_path + "\\" + name; }
  const std::string& Path() const { return m_path; }

private:
  static inline int s_counter = 0;
  std::string m_path;
};

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(FormatString, FormatsLongTextsWhole) {
  std::string big(20000, 'x');
  std::string out = FormatString("[%s] %i %u %.2f %%", big.c_str(), -3, 7u, 1.5);
  EXPECT_EQ(out, "[" + big + "] -3 7 1.50 %");
  EXPECT_EQ(FormatString("%s", ""), "");
}

TEST(CFile, OpenFailureFillsTheExceptionWithTheSystemsReason) {
  ScratchFolder dir;
  CFile file;
  CFileException error;
  EXPECT_EQ(error.m_cause, CFileException::none);
  EXPECT_EQ(error.m_lOsError, -1);
  std::string missing = dir.File("missing.bin");
  EXPECT_FALSE(file.Open(missing.c_str(), CFile::modeRead | CFile::shareDenyNone, &error));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
  EXPECT_EQ(error.m_lOsError, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(error.m_strFileName, missing);
  EXPECT_EQ(error.GetErrorMessage(), SystemErrorMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(error.GetErrorMessage().empty());
  EXPECT_NE(error.GetErrorMessage().back(), '\n');

  // The buffer form cuts the text to the buffer.
  char small[6];
  EXPECT_TRUE(error.GetErrorMessage(small, sizeof(small)));
  EXPECT_EQ(std::string(small), error.GetErrorMessage().substr(0, 5));
}

TEST(CFile, ReadsWritesAndSeeksWith64BitOffsets) {
  ScratchFolder dir;
  std::string path = dir.File("data.bin");
  {
    CFile out(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    out.Write("0123456789", 10);
    // Positions beyond 4 GiB are reachable without writing there.
    EXPECT_EQ(out.Seek(5ll << 30, CFile::begin), 5ull << 30);
    EXPECT_EQ(out.Seek(-(5ll << 30) + 4, CFile::current), 4u);
    out.Write("AB", 2);
    out.Close();
  }
  CFile in(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
  EXPECT_EQ(in.GetLength(), 10u);
  char buf[16] = {};
  EXPECT_EQ(in.Seek(-4, CFile::end), 6u);
  EXPECT_EQ(in.Read(buf, sizeof(buf)), 4u) << "a short read at the end is no error";
  EXPECT_EQ(std::string(buf, 4), "6789");
  in.SeekToBegin();
  EXPECT_EQ(in.Read(buf, 6), 6u);
  EXPECT_EQ(std::string(buf, 6), "0123AB");
}

TEST(CFile, SeekBeforeTheStartThrows) {
  ScratchFolder dir;
  std::string path = dir.File("short.bin");
  WriteText(path, "abcd");
  CFile in(path.c_str(), CFile::modeRead);
  try {
    in.Seek(-100, CFile::end);
    FAIL() << "no exception";
  } catch (const CException& e) {
    const auto* fe = dynamic_cast<const CFileException*>(&e);
    ASSERT_NE(fe, nullptr);
    EXPECT_EQ(fe->m_cause, CFileException::badSeek);
    EXPECT_FALSE(e.GetErrorMessage().empty());
  }
  EXPECT_EQ(in.GetPosition(), 0u) << "the position stays";
}

TEST(CFile, ShareDenyNoneLetsOthersWriteWhileOpen) {
  ScratchFolder dir;
  std::string path = dir.File("shared.bin");
  WriteText(path, "abcd");
  CFile reader(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
  CFile writer;
  EXPECT_TRUE(writer.Open(path.c_str(), CFile::modeWrite | CFile::shareDenyNone));
  // An exclusive open while shared handles exist is refused.
  CFile exclusive;
  CFileException error;
  EXPECT_FALSE(exclusive.Open(path.c_str(), CFile::modeRead | CFile::shareExclusive, &error));
  EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
}

TEST(CFile, RenameAndRemoveThrowOnFailure) {
  ScratchFolder dir;
  std::string a = dir.File("a.txt"), b = dir.File("b.txt");
  WriteText(a, "a");
  CFile::Rename(a.c_str(), b.c_str());
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_TRUE(std::filesystem::exists(b));
  EXPECT_THROW(CFile::Rename(a.c_str(), b.c_str()), CFileException);
  WriteText(a, "a");
  EXPECT_THROW(CFile::Rename(a.c_str(), b.c_str()), CFileException) << "target exists";
  CFile::Remove(b.c_str());
  EXPECT_THROW(CFile::Remove(b.c_str()), CFileException);
}

TEST(CFileFind, FindsFilesAndFoldersAndStepsToTheLastMatch) {
  ScratchFolder dir;
  WriteText(dir.File("one.txt"), "1");
  WriteText(dir.File("two.txt"), "22");
  std::filesystem::create_directory(dir.File("sub"));

  CFileFind find;
  EXPECT_FALSE(find.FindFile(dir.File("none.txt").c_str()));
  ASSERT_TRUE(find.FindFile(dir.File("sub").c_str()));
  EXPECT_FALSE(find.FindNextFile()) << "the only match is the last";
  EXPECT_TRUE(find.IsDirectory());
  EXPECT_EQ(find.GetFileName(), "sub");

  ASSERT_TRUE(find.FindFile(dir.File("*.txt").c_str()));
  std::vector<std::string> names;
  BOOL more = TRUE;
  while (more) {
    more = find.FindNextFile();
    EXPECT_FALSE(find.IsDirectory());
    names.push_back(find.GetFileName());
    EXPECT_EQ(find.GetFilePath(), dir.File(names.back().c_str()));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "two.txt"}));
  find.Close();
}

TEST(CProgressCtrl, RangeTravelsAsTwo16BitValues) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  CProgressCtrl progress;
  progress.m_hWnd = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, nullptr,
                                    nullptr, nullptr, nullptr);
  ASSERT_NE(progress.m_hWnd, nullptr);
  progress.SetRange(0, 10000);
  EXPECT_EQ(progress.SendMessage(PBM_GETRANGE, FALSE), 10000);
  progress.SetRange(0, 70000); // keeps the low 16 bits: 4464
  EXPECT_EQ(progress.SendMessage(PBM_GETRANGE, FALSE), 70000 & 0xFFFF);
  progress.SetStep(10);
  progress.SetPos(100);
  progress.StepIt();
  EXPECT_EQ(progress.GetPos(), 110);
  progress.DestroyWindow();
}

} // namespace
