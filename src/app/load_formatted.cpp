#include "app/load_formatted.h"

#include "framework/app.h"
#include "framework/format.h"

std::string LoadFormatted(UINT id, const char* text) {
  return FormatString(AfxLoadString(id).c_str(), text != nullptr ? text : "");
}
