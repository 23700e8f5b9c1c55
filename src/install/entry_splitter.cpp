#include "install/entry_splitter.h"

#include <algorithm>

#include "install/steady_pump.h"

bool EntrySplitter::Fail(Stop why) {
  if (m_stop == Stop::None) m_stop = why;
  Abandon();
  return false;
}

bool EntrySplitter::CompleteCurrent() {
  if (m_decoder && !m_decoder->Finish()) {
    const bool fileFailed = m_decoder->OutputFailed();
    if (fileFailed) m_policy.WriteFailed(m_current);
    return Fail(fileFailed ? Stop::Failed : Stop::Damaged);
  }
  m_decoder = nullptr;
  m_bOpen = false;
  if (!m_file.Close()) {
    m_policy.WriteFailed(m_current);
    m_policy.EntryAbandoned(m_current);
    m_stop = Stop::Failed;
    return false;
  }
  if (!m_policy.EntryWritten(m_current)) {
    m_stop = Stop::Failed;
    return false;
  }
  ++m_current;
  ++m_done;
  // The window stays alive between entries; a cancel is seen here.
  if (PumpWhenDue()) {
    m_stop = Stop::Cancelled;
    return false;
  }
  return true;
}

bool EntrySplitter::OpenNext() {
  while (m_current < m_entries.size()) {
    if (!m_policy.OpenEntry(m_current, m_file)) {
      m_stop = Stop::Failed;
      return false;
    }
    m_bOpen = true;
    m_decoder = m_policy.DecoderFor(m_current, m_fileSink);
    m_left = m_entries[m_current].size;
    if (m_left > 0) return true;
    if (!CompleteCurrent()) return false;
  }
  return true;
}

bool EntrySplitter::Write(const void* data, size_t n) {
  if (m_stop != Stop::None) return false;
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    if (!m_bOpen) {
      if (!OpenNext()) return false;
      if (!m_bOpen) return Fail(Stop::LengthMismatch);
    }
    size_t take = size_t(std::min<uint64_t>(n, m_left));
    if (!WriteStored(p, take)) return false;
    p += take;
    n -= take;
    m_left -= take;
    if (m_left == 0 && !CompleteCurrent()) return false;
  }
  return true;
}

bool EntrySplitter::WriteStored(const void* data, size_t n) {
  if (m_decoder ? m_decoder->Write(data, n) : m_file.Write(data, n)) return true;
  const bool fileFailed = !m_decoder || m_decoder->OutputFailed();
  if (fileFailed) m_policy.WriteFailed(m_current);
  return Fail(fileFailed ? Stop::Failed : Stop::Damaged);
}

bool EntrySplitter::Finish() {
  if (m_stop != Stop::None) return false;
  if (m_bOpen) return Fail(Stop::LengthMismatch);
  return OpenNext();
}

void EntrySplitter::Abandon() {
  if (!m_bOpen) return;
  m_bOpen = false;
  m_decoder = nullptr;
  m_file.Abort();
  m_policy.EntryAbandoned(m_current);
}
