#include "patch/delta_entries.h"

#include "app/install_log.h"
#include "framework/format.h"
#include "install/steady_pump.h"

const char kReferenceDiffers[] =
    "Die Datei \"%s\" entspricht nicht der Version, f\xFCr die dieser Patch erstellt wurde. Die "
    "Installation kann nicht fortfahren.";

namespace {

// Bytes hashed between two looks at the window.
constexpr size_t kHashSlice = size_t(4) << 20;

enum class Reference { Matches, Differs, Cancelled };

Reference CheckReference(const archive::DeltaRecord& record, const std::string& path,
                         const char*& why) {
  MappedFile file;
  const bool opened = file.Open(path, record.referenceSize);
  if (!file.SizeKnown()) {
    why = "missing or unreadable";
    return Reference::Differs;
  }
  if (file.Size() != record.referenceSize) {
    why = "its size differs";
    return Reference::Differs;
  }
  if (!opened) {
    why = "cannot be mapped";
    return Reference::Differs;
  }
  archive::Sha256 hash;
  for (uint64_t at = 0; at < file.Size(); at += kHashSlice) {
    hash.Update(file.Data() + at, size_t(std::min<uint64_t>(kHashSlice, file.Size() - at)));
    if (PumpWhenDue()) return Reference::Cancelled;
  }
  if (hash.Finish() != record.referenceHash) {
    why = "its SHA-256 differs";
    return Reference::Differs;
  }
  return Reference::Matches;
}

} // namespace

InstallOutcome CheckDeltaReferences(const InstallRequest& request) {
  InstallOutcome outcome;
  const archive::ArchiveTrailer& trailer = *request.trailer;
  for (const archive::DeltaRecord& record : trailer.extension.deltas) {
    const std::string& name = trailer.entries[record.entry].name;
    const char* why = "";
    switch (CheckReference(record, request.installPath + name, why)) {
    case Reference::Matches:
      continue;
    case Reference::Cancelled:
      outcome.result = InstallResult::Cancelled;
      return outcome;
    case Reference::Differs:
      InstallLog("Patch refused [%s is not the file the patch was made for: %s]",
                 (request.installPath + name).c_str(), why);
      outcome.result = InstallResult::Refused;
      outcome.message = FormatString(kReferenceDiffers, name.c_str());
      return outcome;
    }
  }
  return outcome;
}

DeltaEntryDecoder::DeltaEntryDecoder(const archive::DeltaRecord& record,
                                     const std::string& reference, archive::ByteSink* out)
    : m_strReference(reference) {
  if (m_reference.Open(reference, record.referenceSize) &&
      m_reference.Size() == record.referenceSize)
    m_decoder.emplace(record, m_reference.Data(), size_t(m_reference.Size()), out, out == nullptr);
}

bool DeltaEntryDecoder::Refuse() {
  InstallLog("Damaged Archive [%s: %s]", m_strReference.c_str(),
             m_decoder ? m_decoder->Error() : "the installed file cannot be mapped");
  return false;
}

bool DeltaEntryDecoder::Write(const void* data, size_t n) {
  return (m_decoder && m_decoder->Write(data, n)) || Refuse();
}

bool DeltaEntryDecoder::Finish() { return (m_decoder && m_decoder->Finish()) || Refuse(); }

EntryDecoder* DeltaCheckPolicy::DecoderFor(size_t index, archive::ByteSink&) {
  const archive::ArchiveTrailer& trailer = *m_request.trailer;
  const archive::DeltaRecord* record = archive::FindDelta(trailer.extension.deltas, index);
  if (!record) return &m_counter;
  m_decoder.emplace(*record, m_request.installPath + trailer.entries[index].name, nullptr);
  return &*m_decoder;
}

bool DeltaCheckPolicy::EntryWritten(size_t) {
  m_decoder.reset();
  return true;
}
