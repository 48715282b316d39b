// Acquisition: a whole night written through the library (describe, then the
// set-point calls and a save for every 10 frames) against writing as many
// bytes with plain 1 MiB write calls - into the page cache, and once more
// with both files flushed to the disk at the end.  The input comes as
// interleaved amplifier rows, or (per_channel) as one array per channel.
#include <unistd.h>

#include "bench_support.h"

namespace rzb {
namespace {

void acquisition(benchmark::State& state, bool big, bool sync, Input input) {
  const std::string lib = work_path("acq.vzp");
  const std::string plain = work_path("plain.bin");
  const uint32_t seconds = settings().seconds;
  // One untimed run of each first: it gives the size the baseline must write
  // and brings the allocator and the page cache to their steady state (the
  // first writes of a run fault in memory the machine has not used yet).
  const Written first = write_recording(lib, seconds, big, 1, false, input);
  if (!check(state, first.ok, "writing the recording failed")) return;
  const uint64_t bytes = first.fileBytes;
  if (!check(state, plain_write(plain, bytes), "plain write failed")) return;
  if (big && !check(state, write_recording(lib, seconds, false, 1, false, input).ok, "writing the recording failed")) return;
  // The big-endian run times a little-endian write in every iteration too,
  // so that the two byte orders are compared under the same conditions.
  Times libTimes, plainTimes, placeTimes, saveTimes, littleTimes, libCpu, plainCpu, littleCpu;
  for (auto _ : state) {
    // Both files go first, so that neither contender pays for the other's
    // old pages being dropped.
    ::unlink(lib.c_str());
    ::unlink(plain.c_str());
    if (sync) ::sync();
    auto t0 = Clock::now();
    double c0 = thread_cpu_seconds();
    const bool plainOk = plain_write(plain, bytes, sync);
    plainTimes.add(seconds_since(t0));
    plainCpu.add(thread_cpu_seconds() - c0);
    t0 = Clock::now();
    c0 = thread_cpu_seconds();
    const Written w = write_recording(lib, seconds, big, 1, sync, input);
    const double t = seconds_since(t0);
    libTimes.add(t);
    libCpu.add(thread_cpu_seconds() - c0);
    placeTimes.add(w.placeSeconds);
    saveTimes.add(w.saveSeconds);
    state.SetIterationTime(t);
    bool littleOk = true;
    if (big) {
      ::unlink(lib.c_str());
      t0 = Clock::now();
      c0 = thread_cpu_seconds();
      littleOk = write_recording(lib, seconds, false, 1, sync, input).ok;
      littleTimes.add(seconds_since(t0));
      littleCpu.add(thread_cpu_seconds() - c0);
    }
    if (!check(state, plainOk && littleOk && w.ok && w.fileBytes == bytes, "a write failed")) return;
  }
  ::unlink(lib.c_str());
  ::unlink(plain.c_str());
  const double rate = bytes / libTimes.best();
  state.counters["file_MB"] = bytes / 1e6;
  state.counters["lib_MB/s"] = rate / 1e6;
  state.counters["plain_write_MB/s"] = bytes / plainTimes.best() / 1e6;
  state.counters["ratio"] = plainTimes.best() / libTimes.best();
  state.counters["cpu_ratio"] = plainCpu.best() / libCpu.best();
  state.counters["x_realtime"] = seconds / libTimes.best();
  // Where the library's time goes: picking samples out of the input, and
  // saving (staging the frames and writing them).
  state.counters["setpoint_s"] = placeTimes.best();
  state.counters["save_s"] = saveTimes.best();
  state.SetBytesProcessed(int64_t(bytes * state.iterations()));
  if (big) {
    state.counters["big/little"] = littleTimes.best() / libTimes.best();
    state.counters["cpu_big/little"] = littleCpu.best() / libCpu.best();
  }
}

}  // namespace

void register_acquisition() {
  const struct {
    const char* name;
    bool big, sync;
    Input input;
  } variants[] = {{"acquisition/little_endian", false, false, Input::kInterleaved},
                  {"acquisition/big_endian", true, false, Input::kInterleaved},
                  {"acquisition/little_endian_to_disk", false, true, Input::kInterleaved},
                  {"acquisition/per_channel_little_endian", false, false, Input::kPerChannel},
                  {"acquisition/per_channel_big_endian", true, false, Input::kPerChannel}};
  for (const auto& v : variants) {
    const bool big = v.big, sync = v.sync;
    const Input input = v.input;
    benchmark::RegisterBenchmark(v.name,
                                 [big, sync, input](benchmark::State& s) { acquisition(s, big, sync, input); })
        ->Iterations(settings().iterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace rzb
