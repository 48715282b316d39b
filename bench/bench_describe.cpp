// Open and describe: a file of 32 records opened, each record's wave
// information, channel definitions and frame information read, and closed -
// what a review application does before it shows anything.  Baseline: open
// the file and read each record's description bytes with one positioned read.
#include <fcntl.h>
#include <unistd.h>

#include "bench_support.h"
#include "frame/biofile.h"

namespace rzb {
namespace {

constexpr uint32_t kRecords = 32;
constexpr int kOpensPerIteration = 100;

bool describe(const std::string& path) {
  HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), 1, 1);
  if (!h) return false;
  bool ok = RAZIVERAGetInfo(h, 6) == kRecords;
  for (uint16_t r = 0; ok && r < kRecords; ++r)
    ok = DARARARReadRecordInfo(h, r) == 1 && DARARARReadChannelInfo(h, r) == 1 &&
         DARARARReadFrameInfo(h, r) == 1 && DARARARGetFrameChInfo(h, r, 4, 0) == channels()[0].rate;
  return RAZIVERACloseBioFile(h) == nullptr && ok;
}

struct Span {
  uint32_t offset, length;
};

void open_and_describe(benchmark::State& state) {
  const std::string path = work_path("records.vzp");
  // Each record holds an equal share of the night (at least one frame).
  if (!check(state, write_recording(path, settings().seconds, false, kRecords).ok, "writing failed")) return;
  // Each record's description: from its header through its FrameInfo head.
  std::vector<Span> spans;
  {
    HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), 1, 1);
    if (!check(state, h != nullptr, "open failed")) return;
    rz::Pinned<rz::BioFile> bf(h);
    for (uint16_t r = 0; r < kRecords; ++r) {
      const uint32_t info = uint32_t(RAZIVERAFindIndexPtr(h, r, 140, 0, nullptr));
      spans.push_back({bf->recordOffset[r], info + 32 - bf->recordOffset[r]});
    }
    RAZIVERACloseBioFile(h);
  }
  uint32_t longest = 0;
  for (const Span& s : spans) longest = std::max(longest, s.length);
  std::vector<char> raw(longest);
  plain_read(path);

  Times libTimes, plainTimes;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool plainOk = true;
    for (int i = 0; i < kOpensPerIteration; ++i) {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      plainOk = plainOk && fd >= 0;
      for (const Span& s : spans) plainOk = plainOk && ::pread(fd, raw.data(), s.length, s.offset) == s.length;
      if (fd >= 0) ::close(fd);
    }
    plainTimes.add(seconds_since(t0));
    t0 = Clock::now();
    bool ok = true;
    for (int i = 0; i < kOpensPerIteration; ++i) ok = describe(path) && ok;
    const double t = seconds_since(t0);
    libTimes.add(t);
    state.SetIterationTime(t);
    if (!check(state, plainOk && ok, "describe failed")) return;
  }
  ::unlink(path.c_str());
  state.counters["us_per_open"] = libTimes.best() / kOpensPerIteration * 1e6;
  state.counters["plain_us_per_open"] = plainTimes.best() / kOpensPerIteration * 1e6;
  state.counters["ratio"] = plainTimes.best() / libTimes.best();
  state.SetItemsProcessed(int64_t(state.iterations()) * kOpensPerIteration);
}

}  // namespace

void register_describe() {
  benchmark::RegisterBenchmark("open_and_describe/32_records", open_and_describe)
      ->Iterations(settings().iterations)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace rzb
