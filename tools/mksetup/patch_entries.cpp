#include "patch_entries.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <random>

#include "archive/format/file_path.h"
#include "commands.h"
#include "cp1252.h"
#include "delta_encoder.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::FILE* f = archive::OpenFile(path, "rb");
  if (!f) return false;
  uint8_t block[1 << 16];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0)
    bytes.insert(bytes.end(), block, block + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteWhole(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = archive::OpenFile(archive::PathString(path), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

const archive::PayloadFile* Earlier(const ReleaseDiff& diff, const std::string& name) {
  for (const auto& file : diff.earlier)
    if (file.name == name) return &file;
  return nullptr;
}

// A fresh folder for the staged deltas.
fs::path MakeStagingFolder(std::string& error) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = fs::current_path(ec);
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path dir = base / ("mksetup-delta-" + std::to_string(seed()));
    if (fs::create_directory(dir, ec)) return dir;
  }
  error = "cannot make a folder for the deltas in " + archive::PathString(base);
  return {};
}

} // namespace

PatchEntries::~PatchEntries() {
  std::error_code ec;
  if (!m_staging.empty()) fs::remove_all(m_staging, ec);
}

bool PlanEntries(const ReleaseDiff& diff, bool useDeltas, PatchEntries& out) {
  std::string error;
  for (const archive::PayloadFile& file : diff.carried) {
    PlannedEntry entry;
    entry.name = file.name;
    entry.label = Listed(diff.added, file.name)     ? "new"
                  : Listed(diff.changed, file.name) ? "changed"
                                                    : "readme";
    std::error_code ec;
    entry.fileSize = fs::file_size(archive::FilePath(file.sourcePath), ec);
    entry.carriedSize = entry.fileSize;
    archive::PayloadFile carried = file;

    const archive::PayloadFile* earlier = useDeltas ? Earlier(diff, file.name) : nullptr;
    if (earlier) {
      std::vector<uint8_t> reference, result;
      if (!ReadWhole(earlier->sourcePath, reference) || !ReadWhole(file.sourcePath, result)) {
        ReportError("cannot read " + earlier->sourcePath + " or " + file.sourcePath);
        return false;
      }
      DeltaChoice choice;
      if (!ChooseDelta(reference, result, choice, error)) {
        ReportError(Cp1252ToUtf8(file.name) + ": " + error);
        return false;
      }
      if (choice.delta) {
        if (out.m_staging.empty() && (out.m_staging = MakeStagingFolder(error)).empty()) {
          ReportError(error);
          return false;
        }
        fs::path staged = out.m_staging / (std::to_string(out.files.size()) + ".zst");
        if (!WriteWhole(staged, choice.frame)) {
          ReportError("cannot write " + archive::PathString(staged));
          return false;
        }
        carried.sourcePath = archive::PathString(staged);
        entry.delta = true;
        entry.carriedSize = choice.frame.size();
        entry.record = choice.record;
        entry.record.entry = uint32_t(out.files.size());
        out.deltas.push_back(entry.record);
      }
    }
    out.files.push_back(std::move(carried));
    out.plan.push_back(std::move(entry));
  }
  return true;
}

void PrintEntries(const PatchEntries& entries) {
  for (const PlannedEntry& e : entries.plan) {
    std::string how = e.delta ? "delta " + std::to_string(e.carriedSize) + " of " +
                                    std::to_string(e.fileSize) + " bytes, reference " +
                                    std::to_string(e.record.referenceSize) + " bytes sha256 " +
                                    archive::Sha256Hex(e.record.referenceHash)
                              : "whole " + std::to_string(e.fileSize) + " bytes";
    std::printf("%-8s %s  %s\n", e.label, Cp1252ToUtf8(e.name).c_str(), how.c_str());
  }
}

} // namespace mksetup
