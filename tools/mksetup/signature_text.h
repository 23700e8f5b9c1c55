// How list and verify describe a program's signature.
#pragma once

#include <string>

#include "archive/format/trailer.h"

namespace mksetup {

// "no", or "yes, certificate table of N bytes at offset O" (and the zero
// bytes the signer put before it, when there are any).
inline std::string SignatureText(const archive::ArchiveLayout& layout) {
  if (!layout.Signed()) return "no";
  std::string text = "yes, certificate table of " + std::to_string(layout.certificateSize) +
                     " bytes at offset " + std::to_string(layout.certificateOffset);
  if (layout.signaturePadding)
    text += ", after " + std::to_string(layout.signaturePadding) + " zero bytes of padding";
  return text;
}

} // namespace mksetup
