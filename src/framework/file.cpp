#include "file.h"

#include "code_page.h"

CFileException::CFileException(int cause, LONG osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName ? fileName : "") {}

std::string CFileException::GetErrorMessage() const {
  if (m_lOsError != -1) {
    std::string text = SystemErrorMessage(DWORD(m_lOsError));
    if (!text.empty()) return text;
  }
  static const char* const kCauses[] = {
      "No error occurred.",
      "An unspecified error occurred.",
      "The file could not be located.",
      "All or part of the path is invalid.",
      "The permitted number of open files was exceeded.",
      "The file could not be accessed.",
      "There was an attempt to use an invalid file handle.",
      "The current working directory cannot be removed.",
      "There are no more directory entries.",
      "There was an error trying to set the file pointer.",
      "There was a hardware error.",
      "SHARE.EXE was not loaded, or a shared region was locked.",
      "There was an attempt to lock a region that was already locked.",
      "The disk is full.",
      "The end of file was reached.",
  };
  if (m_cause >= 0 && m_cause < int(sizeof(kCauses) / sizeof(kCauses[0]))) return kCauses[m_cause];
  return kCauses[genericException];
}

int CFileException::OsErrorToException(LONG osError) {
  switch (osError) {
  case NO_ERROR:
    return none;
  case ERROR_FILE_NOT_FOUND:
    return fileNotFound;
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_INVALID_DRIVE:
    return badPath;
  case ERROR_TOO_MANY_OPEN_FILES:
    return tooManyOpenFiles;
  case ERROR_ACCESS_DENIED:
  case ERROR_WRITE_PROTECT:
    return accessDenied;
  case ERROR_INVALID_HANDLE:
    return invalidFile;
  case ERROR_CURRENT_DIRECTORY:
    return removeCurrentDir;
  case ERROR_NO_MORE_FILES:
  case ERROR_CANNOT_MAKE:
    return directoryFull;
  case ERROR_NEGATIVE_SEEK:
  case ERROR_SEEK:
  case ERROR_SEEK_ON_DEVICE:
    return badSeek;
  case ERROR_CRC:
  case ERROR_READ_FAULT:
  case ERROR_WRITE_FAULT:
  case ERROR_GEN_FAILURE:
    return hardIO;
  case ERROR_SHARING_VIOLATION:
    return sharingViolation;
  case ERROR_LOCK_VIOLATION:
    return lockViolation;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return diskFull;
  case ERROR_HANDLE_EOF:
    return endOfFile;
  default:
    return genericException;
  }
}

void CFileException::ThrowOsError(LONG osError, const char* fileName) {
  throw CFileException(OsErrorToException(osError), osError, fileName);
}

CFile::CFile(const char* fileName, UINT openFlags) {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) throw error;
}

CFile::~CFile() { Abort(); }

namespace {

struct OpenMode {
  DWORD access, share, disposition;
  SECURITY_ATTRIBUTES security;
};

OpenMode ModeOf(UINT openFlags) {
  OpenMode mode{};
  switch (openFlags & 3) {
  case CFile::modeRead:
    mode.access = GENERIC_READ;
    break;
  case CFile::modeWrite:
    mode.access = GENERIC_WRITE;
    break;
  default:
    mode.access = GENERIC_READ | GENERIC_WRITE;
    break;
  }
  switch (openFlags & 0x70) {
  case CFile::shareDenyWrite:
    mode.share = FILE_SHARE_READ;
    break;
  case CFile::shareDenyRead:
    mode.share = FILE_SHARE_WRITE;
    break;
  case CFile::shareDenyNone:
    mode.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    break;
  default:
    mode.share = 0;
    break;
  }
  mode.security = {sizeof(mode.security), nullptr,
                   (openFlags & CFile::modeNoInherit) ? FALSE : TRUE};
  mode.disposition = OPEN_EXISTING;
  if (openFlags & CFile::modeCreate)
    mode.disposition = (openFlags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
  return mode;
}

} // namespace

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
  Abort();
  OpenMode m = ModeOf(openFlags);
  return Opened(CreateFileA(fileName, m.access, m.share, &m.security, m.disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr),
                fileName, error);
}

BOOL CFile::Open(const std::wstring& fileName, UINT openFlags, CFileException* error) {
  Abort();
  OpenMode m = ModeOf(openFlags);
  return Opened(CreateFileW(fileName.c_str(), m.access, m.share, &m.security, m.disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr),
                ToDisplayText(fileName), error);
}

BOOL CFile::Opened(HANDLE h, const std::string& name, CFileException* error) {
  if (h == INVALID_HANDLE_VALUE) {
    if (error) {
      LONG os = LONG(GetLastError());
      *error = CFileException(CFileException::OsErrorToException(os), os, name.c_str());
    }
    return FALSE;
  }
  m_hFile = h;
  m_strFileName = name;
  return TRUE;
}

void CFile::ThrowLastError() const {
  CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName.c_str());
}

UINT CFile::Read(void* buffer, UINT count) {
  if (count == 0) return 0;
  DWORD read = 0;
  if (!ReadFile(m_hFile, buffer, count, &read, nullptr)) ThrowLastError();
  return UINT(read);
}

void CFile::Write(const void* buffer, UINT count) {
  if (count == 0) return;
  DWORD written = 0;
  if (!WriteFile(m_hFile, buffer, count, &written, nullptr)) ThrowLastError();
  if (written != count)
    throw CFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName.c_str());
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(m_hFile, distance, &position, from)) ThrowLastError();
  return ULONGLONG(position.QuadPart);
}

ULONGLONG CFile::GetPosition() const {
  LARGE_INTEGER zero{}, position;
  if (!SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT)) ThrowLastError();
  return ULONGLONG(position.QuadPart);
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_hFile, &size)) ThrowLastError();
  return ULONGLONG(size.QuadPart);
}

void CFile::Flush() {
  if (IsOpen() && !FlushFileBuffers(m_hFile)) ThrowLastError();
}

void CFile::Close() {
  if (!IsOpen()) return;
  HANDLE h = m_hFile;
  m_hFile = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h)) ThrowLastError();
}

void CFile::Abort() {
  if (IsOpen()) CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}

void CFile::Rename(const char* oldName, const char* newName) {
  if (!MoveFileA(oldName, newName)) CFileException::ThrowOsError(LONG(GetLastError()), oldName);
}

void CFile::Remove(const char* fileName) {
  if (!DeleteFileA(fileName)) CFileException::ThrowOsError(LONG(GetLastError()), fileName);
}
