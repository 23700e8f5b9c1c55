// The framework's exceptions. Thrown by value, caught by const reference.
#pragma once

#include <windows.h>

#include <string>

class CException {
public:
  virtual ~CException() = default;
  // The reason, as a user may read it.
  virtual std::string GetErrorMessage() const = 0;
  // MFC-style: copies the reason into buf (cut to size) and returns TRUE.
  BOOL GetErrorMessage(LPSTR buf, UINT size, PUINT helpContext = nullptr) const;
};

// The system's message text for a Win32 error code, without the trailing line
// break; an empty string when the system has none.
std::string SystemErrorMessage(DWORD error);
