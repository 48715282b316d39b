// Open and describe: a file of 32 records (or of one) opened, each record's wave
// information, channel definitions and frame information read, and closed -
// what a review application does before it shows anything.  Baseline: open
// the file and read each record's description bytes with one positioned read.
#include <fcntl.h>
#include <unistd.h>

#include "bench_support.h"
#include "frame/biofile.h"

namespace rzb {
namespace {

constexpr uint32_t kManyRecords = 32;
constexpr int kOpensPerIteration = 100;
// The goal for a file of one record: within 1.5 x the plain reads plus 30 us.
constexpr double kGoalFactor = 1.5;
constexpr double kGoalAllowanceUs = 30;

bool describe(const std::string& path, uint32_t records) {
  HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1);
  if (!h) return false;
  bool ok = RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT) == records;
  for (uint16_t r = 0; ok && r < records; ++r)
    ok = DARARARReadRecordInfo(h, r) == 1 && DARARARReadChannelInfo(h, r) == 1 &&
         DARARARReadFrameInfo(h, r) == 1 && DARARARGetFrameChInfo(h, r, RZ_CHANNEL_SAMPLE_RATE, 0) == channels()[0].rate;
  return RAZIVERACloseBioFile(h) == nullptr && ok;
}

struct Span {
  uint32_t offset, length;
};

void open_and_describe(benchmark::State& state) {
  const auto records = uint32_t(state.range(0));
  const std::string path = work_path("records.vzp");
  // Each record holds an equal share of the night (at least one frame).
  if (!check(state, write_recording(path, settings().seconds, false, records).ok, "writing failed")) return;
  // Each record's description: from its header through its FrameInfo head.
  std::vector<Span> spans;
  {
    HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1);
    if (!check(state, h != nullptr, "open failed")) return;
    rz::Pinned<rz::BioFile> bf(h);
    for (uint16_t r = 0; r < records; ++r) {
      const uint32_t info = uint32_t(RAZIVERAFindIndexPtr(h, r, RZ_CHUNK_FRAME_INFO, 0, nullptr));
      spans.push_back({bf->recordOffset[r], info + 32 - bf->recordOffset[r]});
    }
    RAZIVERACloseBioFile(h);
  }
  uint32_t longest = 0;
  for (const Span& s : spans) longest = std::max(longest, s.length);
  const ReadBuffer raw(longest);
  plain_read(path);

  Contender library, baseline;
  for (auto _ : state) {
    const bool plainOk = baseline.run([&] {
      bool fine = true;
      for (int i = 0; i < kOpensPerIteration; ++i) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        fine = fine && fd >= 0;
        for (const Span& s : spans) fine = fine && ::pread(fd, raw.at(s.offset), s.length, s.offset) == s.length;
        if (fd >= 0) ::close(fd);
      }
      return fine;
    });
    const bool ok = library.run([&] {
      bool fine = true;
      for (int i = 0; i < kOpensPerIteration; ++i) fine = describe(path, records) && fine;
      return fine;
    });
    state.SetIterationTime(library.wall().last());
    if (!check(state, plainOk && ok, "describe failed")) return;
  }
  ::unlink(path.c_str());
  const double libUs = library.wall().best() / kOpensPerIteration * 1e6;
  const double plainUs = baseline.wall().best() / kOpensPerIteration * 1e6;
  state.counters["us_per_open"] = libUs;
  state.counters["plain_us_per_open"] = plainUs;
  put_ratio(state, "ratio", "cpu_ratio", library, baseline);
  // 1 when the library stays within 1.5 x the plain reads plus 30 us.
  state.counters["goal_met"] = libUs <= plainUs * kGoalFactor + kGoalAllowanceUs ? 1 : 0;
  state.SetItemsProcessed(int64_t(state.iterations()) * kOpensPerIteration);
}

}  // namespace

void register_describe() {
  for (const uint32_t records : {kManyRecords, 1u}) {
    const std::string name = records == 1 ? "open_and_describe/1_record" : "open_and_describe/32_records";
    benchmark::RegisterBenchmark(name.c_str(), open_and_describe)
        ->Arg(records)
        ->Iterations(settings().iterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace rzb
