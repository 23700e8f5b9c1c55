// bench_codec: the HUF codec against zlib on a corpus folder, one core.
//
//   bench_codec CORPUS [--runs N]
//
// The files of CORPUS (sorted by name) are joined into one payload, as an
// archive's stream holds them. Decoding: our decoder, zlib's inflate of the
// same payload deflated at level 6 (gzip -6) and the bit-by-bit tree walk.
// Also the stream as `mksetup verify` decodes it: a program file built from
// the files, its payload decoded through the payload decoder with the byte
// counts checked. Encoding: counting plus our encoder, against deflate level
// 6. Throughput
// is MB/s (10^6 bytes) of uncompressed data, timed as the thread's CPU time;
// each figure is the best of N runs (deflate: of 2, the bit walk: of 3).
#include <sched.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_builder.h"
#include "archive/archive_extract.h"
#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_encoder.h"

using namespace archive;
namespace fs = std::filesystem;

namespace {

// Discards what it is given, keeping a count and a cheap checksum.
class CountingSink final : public ByteSink {
public:
  bool Write(const void* data, size_t n) override {
    const auto* p = static_cast<const uint8_t*>(data);
    if (n) sum = sum * 31 + p[0] + p[n - 1] * 7 + n;
    bytes += n;
    return true;
  }
  uint64_t bytes = 0, sum = 0;
};

// Compares what it is given with the expected bytes.
class CheckingSink final : public ByteSink {
public:
  explicit CheckingSink(const std::vector<uint8_t>& expect) : m_expect(expect) {}
  bool Write(const void* data, size_t n) override {
    if (pos + n > m_expect.size() || std::memcmp(m_expect.data() + pos, data, n) != 0) ok = false;
    pos += n;
    return true;
  }
  bool ok = true;
  size_t pos = 0;

private:
  const std::vector<uint8_t>& m_expect;
};

// The thread's CPU time: what the work cost on its one core, whatever else
// the machine is doing meanwhile.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Seconds(const std::function<void()>& fn, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = ThreadSeconds();
    fn();
    best = std::min(best, ThreadSeconds() - t0);
  }
  return best;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, int level) {
  z_stream z{};
  deflateInit(&z, level);
  std::vector<uint8_t> out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Inflates into a 256 KiB block handed to the sink, as an installer would.
uint64_t Inflate(const std::vector<uint8_t>& in, ByteSink& sink) {
  z_stream z{};
  inflateInit(&z);
  std::vector<uint8_t> block(256 * 1024);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  int rc;
  do {
    z.next_out = block.data();
    z.avail_out = uInt(block.size());
    rc = inflate(&z, Z_NO_FLUSH);
    sink.Write(block.data(), block.size() - z.avail_out);
  } while (rc == Z_OK);
  uint64_t n = z.total_out;
  inflateEnd(&z);
  return rc == Z_STREAM_END ? n : 0;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data) {
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  VectorSink sink;
  sink.bytes.reserve(data.size() + 2048);
  HufEncoder enc(counts, sink, "HUF1234.tmp");
  // In blocks, as mksetup feeds it file by file.
  for (size_t pos = 0; pos < data.size(); pos += 1 << 20)
    enc.Write(data.data() + pos, std::min<size_t>(1 << 20, data.size() - pos));
  enc.Finish();
  return std::move(sink.bytes);
}

// A HUF program of the files in memory, behind a stub of zeros.
std::vector<uint8_t> BuildProgramOf(const std::vector<fs::path>& files) {
  fs::path stub = fs::temp_directory_path() / "bench_codec_stub.bin";
  std::ofstream(stub, std::ios::binary) << std::string(4096, '\0');
  std::vector<PayloadFile> payload;
  for (auto& f : files) payload.push_back({f.string(), f.filename().string()});
  ArchiveTrailer trailer;
  trailer.installerFlag = 1;
  trailer.version = 1;
  trailer.caption = "Benchmark Setup";
  trailer.productName = "Benchmark";
  VectorSink sink;
  BuildResult r = BuildProgram(stub.string(), payload, trailer, sink);
  fs::remove(stub);
  if (!r.ok) std::fprintf(stderr, "program build failed: %s\n", r.error.c_str());
  return r.ok ? std::move(sink.bytes) : std::vector<uint8_t>{};
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_codec CORPUS [--runs N]\n");
    return 2;
  }
  int runs = 3;
  for (int i = 2; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));

  // One core: pin to the first CPU we may use.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (CPU_ISSET(c, &set)) {
        CPU_ZERO(&set);
        CPU_SET(c, &set);
        sched_setaffinity(0, sizeof set, &set);
        break;
      }
  }

  std::vector<fs::path> files;
  for (auto& e : fs::directory_iterator(argv[1]))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<uint8_t> payload;
  for (auto& f : files) {
    std::ifstream s(f, std::ios::binary);
    payload.insert(payload.end(), std::istreambuf_iterator<char>(s), {});
  }
  const double mb = double(payload.size()) / 1e6;
  std::printf("corpus: %zu files, %.1f MB\n", files.size(), mb);

  // Encoding.
  std::vector<uint8_t> huf, zlib;
  double tEnc = Seconds([&] { huf = Encode(payload); }, runs);
  double tDef = Seconds([&] { zlib = Deflate(payload, 6); }, std::min(runs, 2));
  std::printf("\nencode                      MB/s   ratio\n");
  std::printf("  HUF (count + encode)  %8.1f   %.3f\n", mb / tEnc,
              double(huf.size()) / payload.size());
  std::printf("  deflate -6            %8.1f   %.3f\n", mb / tDef,
              double(zlib.size()) / payload.size());
  std::printf("  HUF / deflate -6      %8.2fx\n", tDef / tEnc);

  // Check the decoders once.
  for (auto dec : {&HufDecodeStream, &HufDecodeBitwise}) {
    MemorySource src(huf.data(), huf.size());
    CheckingSink check(payload);
    HufDecodeResult r = dec(src, huf.size(), check, {});
    if (r.status != HufDecodeResult::Ok || !check.ok || check.pos != payload.size()) {
      std::fprintf(stderr, "decoder check failed: %s\n", r.error.c_str());
      return 1;
    }
  }
  {
    CheckingSink check(payload);
    if (Inflate(zlib, check) != payload.size() || !check.ok) {
      std::fprintf(stderr, "inflate check failed\n");
      return 1;
    }
  }

  MemoryFile program(BuildProgramOf(files));
  ArchiveInfo info;
  if (!OpenArchive(program, info).ok || !VerifyPayload(program, info).ok) {
    std::fprintf(stderr, "verify of the program failed\n");
    return 1;
  }

  // Decoding, into a sink that only counts.
  uint64_t calls = 0;
  auto progress = [&](uint64_t) {
    ++calls;
    return true;
  };
  double tHuf = Seconds(
      [&] {
        MemorySource src(huf.data(), huf.size());
        CountingSink sink;
        HufDecodeStream(src, huf.size(), sink, progress);
      },
      runs);
  double tVerify = Seconds([&] { VerifyPayload(program, info); }, runs);
  double tInf = Seconds(
      [&] {
        CountingSink sink;
        Inflate(zlib, sink);
      },
      runs);
  double tBit = Seconds(
      [&] {
        MemorySource src(huf.data(), huf.size());
        CountingSink sink;
        HufDecodeBitwise(src, huf.size(), sink, progress);
      },
      1);
  std::printf("\ndecode (output)             MB/s\n");
  std::printf("  HUF tables            %8.1f\n", mb / tHuf);
  std::printf("  HUF, mksetup verify   %8.1f   (program file, byte counts checked)\n", mb / tVerify);
  std::printf("  zlib inflate          %8.1f\n", mb / tInf);
  std::printf("  HUF bit walk          %8.1f\n", mb / tBit);
  std::printf("  HUF / inflate         %8.2fx   (target >= 2)\n", tInf / tHuf);
  std::printf("  verify / inflate      %8.2fx   (target >= 2)\n", tInf / tVerify);
  std::printf("  HUF / bit walk        %8.2fx   (target >= 20)\n", tBit / tHuf);
  return 0;
}
