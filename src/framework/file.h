// Files through Win32 handles, with 64-bit offsets. Every failure except that
// of Open (which reports into an optional exception object) throws
// CFileException.
#pragma once

#include <windows.h>

#include <string>

#include "exception.h"

class CFileException : public CException {
public:
  enum {
    none,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile
  };

  explicit CFileException(int cause = none, LONG osError = -1, const char* fileName = nullptr);

  using CException::GetErrorMessage;
  // The system's message for the operating-system error; a short English
  // description of the cause when there is none.
  std::string GetErrorMessage() const override;

  static int OsErrorToException(LONG osError);
  [[noreturn]] static void ThrowOsError(LONG osError, const char* fileName = nullptr);

  int m_cause;
  LONG m_lOsError;
  std::string m_strFileName;
};

class CFile {
public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
  };
  enum SeekPosition : UINT { begin = FILE_BEGIN, current = FILE_CURRENT, end = FILE_END };

  CFile() = default;
  // Opens or throws.
  CFile(const char* fileName, UINT openFlags);
  ~CFile(); // closes, never throws
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // False on failure; the reason goes into *error when given.
  BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
  // The same through the wide API, for paths the code page cannot write.
  BOOL Open(const std::wstring& fileName, UINT openFlags, CFileException* error = nullptr);
  // Returns the number of bytes read: fewer than count only at the end.
  UINT Read(void* buffer, UINT count);
  // Writes all bytes or throws (diskFull when the system wrote fewer).
  void Write(const void* buffer, UINT count);
  // Returns the new position. A position before the start throws.
  ULONGLONG Seek(LONGLONG offset, UINT from);
  void SeekToBegin() { Seek(0, begin); }
  ULONGLONG SeekToEnd() { return Seek(0, end); }
  ULONGLONG GetPosition() const;
  ULONGLONG GetLength() const;
  void Flush();
  void Close();
  // Closes without throwing.
  void Abort();

  bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
  const std::string& GetFilePath() const { return m_strFileName; }

  static void Rename(const char* oldName, const char* newName);
  static void Remove(const char* fileName);

  HANDLE m_hFile = INVALID_HANDLE_VALUE;

private:
  // The handle, or the reason in *error; name is the path for messages.
  BOOL Opened(HANDLE h, const std::string& name, CFileException* error);
  [[noreturn]] void ThrowLastError() const;
  std::string m_strFileName;
};
