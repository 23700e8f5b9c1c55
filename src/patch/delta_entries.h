// The patcher's side of delta entries: every installed file a delta was
// made against is checked (it exists with the recorded size and SHA-256)
// before anything is written, and each delta is decoded against the mapped
// installed file, once to check its result and once to write it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "archive/codec/zstd_delta_decoder.h"
#include "install/entry_splitter.h"
#include "install/payload_installer.h"
#include "patch/mapped_file.h"

// "Die Datei "%s" ..." : the refusal for an installed file that is not the
// one a delta was made for.
extern const char kReferenceDiffers[];

// Checks the installed file of every delta entry. Refused (with the text
// naming the file and an English log line) when one is missing or differs;
// Cancelled when the user cancels meanwhile.
InstallOutcome CheckDeltaReferences(const InstallRequest& request);

// One delta entry's decoder: the installed file mapped, its frame decoded
// into `out` (null: only checked, the result hashed).
class DeltaEntryDecoder final : public EntryDecoder {
public:
  DeltaEntryDecoder(const archive::DeltaRecord& record, const std::string& reference,
                    archive::ByteSink* out);
  bool Write(const void* data, size_t n) override;
  bool Finish() override;
  bool OutputFailed() const override { return m_decoder && m_decoder->OutputFailed(); }

private:
  bool Refuse();

  std::string m_strReference;
  MappedFile m_reference;
  std::optional<archive::DeltaDecoder> m_decoder;
};

// The check pass over a patch with deltas: whole entries are only counted,
// deltas decoded and their results' sizes and hashes compared. Writes nothing.
class DeltaCheckPolicy final : public EntryPolicy {
public:
  explicit DeltaCheckPolicy(const InstallRequest& request) : m_request(request) {}
  bool OpenEntry(size_t, OutputFile&) override { return true; }
  bool EntryWritten(size_t) override;
  void EntryAbandoned(size_t) override { m_decoder.reset(); }
  EntryDecoder* DecoderFor(size_t index, archive::ByteSink& file) override;

private:
  class Counter final : public EntryDecoder {
  public:
    bool Write(const void*, size_t) override { return true; }
    bool Finish() override { return true; }
    bool OutputFailed() const override { return false; }
  };

  const InstallRequest& m_request;
  Counter m_counter;
  std::optional<DeltaEntryDecoder> m_decoder;
};
