#include "archive/format/delta_block.h"

#include <algorithm>
#include <cstring>

#include "archive/common/byte_io.h"

namespace archive {

namespace {

uint64_t LoadLE64(const uint8_t* p) { return LoadLE32(p) | uint64_t(LoadLE32(p + 4)) << 32; }

void AppendLE64(std::vector<uint8_t>& out, uint64_t v) {
  AppendLE32(out, uint32_t(v));
  AppendLE32(out, uint32_t(v >> 32));
}

} // namespace

bool ReadDeltaBlock(const uint8_t* body, uint32_t length, std::vector<DeltaRecord>& records,
                    std::string& error) {
  records.clear();
  if (length < 4 || (length - 4) % kDeltaRecordSize != 0 ||
      LoadLE32(body) != (length - 4) / kDeltaRecordSize) {
    error = "delta block does not hold its records";
    return false;
  }
  const uint32_t count = LoadLE32(body);
  if (count == 0) {
    error = "delta block without records";
    return false;
  }
  records.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = body + 4 + i * kDeltaRecordSize;
    DeltaRecord& r = records[i];
    r.entry = LoadLE32(p);
    r.referenceSize = LoadLE64(p + 4);
    std::memcpy(r.referenceHash.data(), p + 12, 32);
    r.resultSize = LoadLE64(p + 44);
    std::memcpy(r.resultHash.data(), p + 52, 32);
    if (i > 0 && r.entry <= records[i - 1].entry) {
      error = "delta records out of order";
      return false;
    }
    if (r.referenceSize > kMaxDeltaSpan || r.resultSize > kMaxDeltaSpan - r.referenceSize) {
      error = "a delta spans more than 256 MiB";
      return false;
    }
  }
  return true;
}

void AppendDeltaBlock(std::vector<uint8_t>& out, const std::vector<DeltaRecord>& records) {
  if (records.empty()) return;
  AppendLE32(out, kDeltaBlockTag);
  AppendLE32(out, uint32_t(4 + records.size() * kDeltaRecordSize));
  AppendLE32(out, uint32_t(records.size()));
  for (const DeltaRecord& r : records) {
    AppendLE32(out, r.entry);
    AppendLE64(out, r.referenceSize);
    out.insert(out.end(), r.referenceHash.begin(), r.referenceHash.end());
    AppendLE64(out, r.resultSize);
    out.insert(out.end(), r.resultHash.begin(), r.resultHash.end());
  }
}

const DeltaRecord* FindDelta(const std::vector<DeltaRecord>& records, size_t entry) {
  auto it = std::lower_bound(records.begin(), records.end(), entry,
                             [](const DeltaRecord& r, size_t e) { return r.entry < e; });
  return it != records.end() && it->entry == entry ? &*it : nullptr;
}

} // namespace archive
