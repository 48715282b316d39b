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
  Contender library, baseline, little;
  Times placeTimes, saveTimes;
  for (auto _ : state) {
    // Both files go first, so that neither contender pays for the other's
    // old pages being dropped.
    ::unlink(lib.c_str());
    ::unlink(plain.c_str());
    if (sync) ::sync();
    const bool plainOk = baseline.run([&] { return plain_write(plain, bytes, sync); });
    const Written w = library.run([&] { return write_recording(lib, seconds, big, 1, sync, input); });
    placeTimes.add(w.placeSeconds);
    saveTimes.add(w.saveSeconds);
    state.SetIterationTime(library.wall().last());
    bool littleOk = true;
    if (big) {
      ::unlink(lib.c_str());
      littleOk = little.run([&] { return write_recording(lib, seconds, false, 1, sync, input).ok; });
    }
    if (!check(state, plainOk && littleOk && w.ok && w.fileBytes == bytes, "a write failed")) return;
  }
  ::unlink(lib.c_str());
  ::unlink(plain.c_str());
  state.counters["file_MB"] = bytes / 1e6;
  state.counters["lib_MB/s"] = bytes / library.wall().best() / 1e6;
  state.counters["plain_write_MB/s"] = bytes / baseline.wall().best() / 1e6;
  put_ratio(state, "ratio", "cpu_ratio", library, baseline);
  state.counters["x_realtime"] = seconds / library.wall().best();
  // Where the library's time goes: picking samples out of the input, and
  // saving (staging the frames and writing them).
  state.counters["setpoint_s"] = placeTimes.best();
  state.counters["save_s"] = saveTimes.best();
  state.SetBytesProcessed(int64_t(bytes * state.iterations()));
  if (big) put_ratio(state, "big/little", "cpu_big/little", library, little);
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
