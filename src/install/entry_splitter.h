// Cuts the decoded payload into its entries, in directory order, and hands
// each to a policy that says where its bytes go and what happens once they
// are written: the installer writes them into the target folder, a patch
// keeps the file it replaces until the patch has finished.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"
#include "install/file_streams.h"

// What an entry's stored bytes pass through on their way into its file
// when they are not its contents (a delta against the installed file).
class EntryDecoder : public archive::ByteSink {
public:
  // After the entry's last stored byte: false when the result is not
  // complete or not the one recorded.
  virtual bool Finish() = 0;
  // The failure was the file's (a full disk), not the stored bytes'.
  virtual bool OutputFailed() const = 0;
};

class EntryPolicy {
public:
  virtual ~EntryPolicy() = default;
  // Before the entry's first byte: create the file its bytes go to. False
  // stops the extraction.
  virtual bool OpenEntry(size_t index, OutputFile& file) = 0;
  // All its bytes are written and the file is closed. False stops.
  virtual bool EntryWritten(size_t index) = 0;
  // The extraction stopped inside the entry (a failure or a cancel); its
  // file is closed. Remove what is incomplete.
  virtual void EntryAbandoned(size_t index) = 0;
  // Writing or closing the entry's file failed (a full disk); it is
  // abandoned next.
  virtual void WriteFailed(size_t) {}
  // Asked after OpenEntry: the decoder the entry's stored bytes go through
  // into `file`, owned by the policy until the entry is written or
  // abandoned; null when they are written as they are.
  virtual EntryDecoder* DecoderFor(size_t, archive::ByteSink& file) { return nullptr; }
};

class EntrySplitter final : public archive::ByteSink {
public:
  // Failed: a policy step or a write failed at FailedEntry(). LengthMismatch:
  // the decoded bytes do not fill the entries exactly. Damaged: an entry's
  // decoder refused its bytes.
  enum class Stop { None, Failed, Cancelled, LengthMismatch, Damaged };

  EntrySplitter(const std::vector<archive::ArchiveEntry>& entries, EntryPolicy& policy)
      : m_entries(entries), m_policy(policy) {}

  bool Write(const void* data, size_t n) override;
  // After the last decoded byte: completes the empty entries at the end.
  // False when an entry is still short of bytes or a policy step fails.
  bool Finish();
  // Stops inside the current entry, if any (the decoder gave up or the user
  // cancelled).
  void Abandon();

  // Why the splitter stopped, and at which entry.
  Stop StopReason() const { return m_stop; }
  size_t FailedEntry() const { return m_current; }
  size_t EntriesDone() const { return m_done; }

private:
  // Opens the entries in turn up to the next one with data; empty entries
  // are completed on the way.
  bool OpenNext();
  bool CompleteCurrent();
  bool Fail(Stop why);
  bool WriteStored(const void* data, size_t n);

  // The open entry's file as a sink, for its decoder.
  class FileSink final : public archive::ByteSink {
  public:
    explicit FileSink(OutputFile& file) : m_file(file) {}
    bool Write(const void* data, size_t n) override { return m_file.Write(data, n); }

  private:
    OutputFile& m_file;
  };

  const std::vector<archive::ArchiveEntry>& m_entries;
  EntryPolicy& m_policy;
  OutputFile m_file;
  FileSink m_fileSink{m_file};
  EntryDecoder* m_decoder = nullptr;
  size_t m_current = 0; // the entry being written, or the next one
  size_t m_done = 0;
  bool m_bOpen = false;
  uint64_t m_left = 0;
  Stop m_stop = Stop::None;
};
