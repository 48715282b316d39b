// Review: the night paged through in 30-second windows with every channel
// fetched, against reading the file with plain 1 MiB read calls; random
// access: windows at random starts against one positioned read of the same
// frames each.  The page cache is warm for every contender.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "bench_support.h"
#include "channels/frames.h"
#include "frame/biofile.h"

namespace rzb {
namespace {

std::string review_file(bool big) { return work_path(big ? "review-b.vzp" : "review-l.vzp"); }

// The review file of this byte order, written once per run.
bool ensure_review_file(bool big) {
  const std::string path = review_file(big);
  if (file_size(path) > 0) return true;
  return write_recording(path, settings().seconds, big).ok;
}

// Time spent reading windows and handing out their samples.
struct Split {
  double read = 0, get = 0;
};

// One window: read it, then fetch every channel as a review display does.
// The samples handed out, or -1.
int64_t show_window(HGLOBAL h, int32_t start, std::vector<int16_t>& out, Split* split = nullptr) {
  const Clock::time_point t0 = Clock::now();
  if (DARARARReadFrameWave(h, 0, uint32_t(start)) <= 0) return -1;
  const Clock::time_point t1 = Clock::now();
  int64_t samples = 0;
  for (uint16_t c = 0; c < channel_count(); ++c) samples += DARARARGetFrameWave(h, 0, c, out.data());
  if (split) {
    split->read += std::chrono::duration<double>(t1 - t0).count();
    split->get += seconds_since(t1);
  }
  return samples;
}

// Samples one review session should hand out per window.
int64_t samples_per_window() {
  int64_t n = 0;
  for (const Channel& c : channels()) n += int64_t(c.rate) * kWindowSeconds;
  return n;
}

// File offset of frame 0 of record 0, as the library reads it; 0 when the
// recording cannot be opened.
int64_t first_frame(const std::string& path) {
  HGLOBAL h = open_for_review(path);
  if (!h) return 0;
  const int64_t at = DARARARGetWaveInfo(h, 0, RZ_WAVE_FRAME_DATA_POS);
  RAZIVERACloseBioFile(h);
  return at;
}

// Frames a window read takes from the file: the read depth of a window of
// `seconds` (the window and two more frames, at least two frames' worth).
uint32_t read_depth(uint32_t seconds) { return std::max(seconds, 2 * kFrameSeconds) / kFrameSeconds + 2; }

// The baseline of the window benchmarks: one pread of `frames` frames from
// each window's first frame (windows starting at `starts` seconds), handing
// each window's bytes and their count to `after`; false when a read fails.
template <class After>
bool pread_windows(const std::string& path, int64_t frame0, const std::vector<int32_t>& starts, uint32_t frames,
                   const ReadBuffer& raw, After&& after) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const int64_t frameBytes = frame_chunk_size();
  const size_t bytes = size_t(frames) * size_t(frameBytes);
  bool ok = true;
  for (int32_t s : starts) {
    const int64_t at = frame0 + int64_t(s / kFrameSeconds) * frameBytes;
    char* window = raw.at(uint64_t(at));
    const ssize_t got = ::pread(fd, window, bytes, at);
    ok = got > 0;
    if (!ok) break;
    after(window, size_t(got));
  }
  ::close(fd);
  return ok;
}

bool pread_windows(const std::string& path, int64_t frame0, const std::vector<int32_t>& starts, uint32_t frames,
                   const ReadBuffer& raw) {
  return pread_windows(path, frame0, starts, frames, raw, [](const char*, size_t) {});
}

// The least any reader handing out per-channel arrays does for a window: one
// pread of the `readFrames` frames the call takes from the file, then each
// channel's blocks of the first `handFrames` of them copied into one array,
// with no calls, handles or checks around it.  The library is compared with
// it beside its baseline (floor_ratio, ratio_to_floor): what lies between the
// floor and the baseline is the copy itself, not the library.
class CopyFloor {
 public:
  CopyFloor(uint32_t readFrames, uint32_t handFrames)
      : readFrames_(readFrames),
        handFrames_(handFrames),
        frameBytes_(frame_chunk_size()),
        raw_(size_t(readFrames) * frameBytes_) {
    uint32_t at = rz::frames::wave::kHeadSize;
    size_t most = 0;
    for (const Channel& c : channels()) {
      const uint32_t bytes = c.rate * kFrameSeconds * uint32_t(sizeof(int16_t));
      blocks_.push_back({at, bytes});
      at += bytes;
      most = std::max<size_t>(most, size_t(bytes) * handFrames);
    }
    out_.resize(most / sizeof(int16_t));
  }
  // Every window starting at `starts` seconds (frame 0 at `frame0` in the file).
  bool run(const std::string& path, int64_t frame0, const std::vector<int32_t>& starts) {
    const size_t bytes = size_t(readFrames_) * frameBytes_;
    return pread_windows(path, frame0, starts, readFrames_, raw_, [&](char* frames, size_t got) {
      // Frames past the end of the file read as zeros, as the library's do.
      if (got < bytes) std::memset(frames + got, 0, bytes - got);
      for (const Block& b : blocks_) {
        char* dst = reinterpret_cast<char*>(out_.data());
        for (uint32_t i = 0; i < handFrames_; ++i, dst += b.bytes)
          std::memcpy(dst, frames + size_t(i) * frameBytes_ + b.offset, b.bytes);
        benchmark::DoNotOptimize(out_.data());
      }
    });
  }

 private:
  struct Block {
    uint32_t offset, bytes;
  };
  uint32_t readFrames_, handFrames_, frameBytes_;
  ReadBuffer raw_;
  std::vector<Block> blocks_;
  std::vector<int16_t> out_;
};

void put_floor(benchmark::State& state, const Contender& library, const Contender& floor,
               const Contender& baseline) {
  put_ratio(state, "floor_ratio", "cpu_floor_ratio", floor, baseline);
  put_ratio(state, "ratio_to_floor", "cpu_ratio_to_floor", library, floor);
}

// A whole night, start to end; false when anything went wrong.
bool review_night(const std::string& path, std::vector<int16_t>& out, Split* split, MemUsage* first,
                  MemUsage* peak, MemUsage* last, size_t* ownBytes) {
  HGLOBAL h = open_for_review(path);
  if (!h) return false;
  bool ok = true;
  for (uint32_t start = 0; ok && start < settings().seconds; start += kWindowSeconds) {
    ok = show_window(h, int32_t(start), out, split) == samples_per_window();
    if (peak) {
      const MemUsage m = mem_usage();
      if (start == 0) *first = m;
      if (m.bytes > peak->bytes) peak->bytes = m.bytes;
      if (m.blocks > peak->blocks) peak->blocks = m.blocks;
      if (m.rssKiB > peak->rssKiB) peak->rssKiB = m.rssKiB;
      *last = m;
    }
  }
  if (ownBytes) {
    // What the handle owns: its own block, the work and text buffers, the
    // read buffers and the window the last read kept.
    rz::Pinned<rz::BioFile> bf(h);
    size_t n = rz::plat::mem_size(h) + rz::plat::mem_size(bf->workBuffer) + rz::plat::mem_size(bf->textBuffer);
    for (const rz::ChannelSlot& cs : bf->records[0].channels) n += rz::plat::mem_size(cs.frameBuf);
    const rz::frames::KeptWindows kept(*bf);
    if (const rz::frames::KeptWindow* kw = kept.of(*bf, bf->records[0])) n += rz::plat::mem_size(kw->block);
    *ownBytes = n;
  }
  return RAZIVERACloseBioFile(h) == nullptr && ok;
}

void review(benchmark::State& state, bool big) {
  if (!check(state, ensure_review_file(big) && ensure_review_file(false), "writing the review file failed"))
    return;
  const std::string path = review_file(big);
  const uint64_t bytes = file_size(path);
  std::vector<int16_t> out(kWindowSeconds * 500);
  // Warm the page cache and the allocator; count what one session holds.
  plain_read(path);
  const MemUsage before = mem_usage();
  MemUsage first, peak, last;
  size_t own = 0;
  if (!check(state, review_night(path, out, nullptr, &first, &peak, &last, &own), "review failed")) return;
  if (big && !check(state, review_night(review_file(false), out, nullptr, nullptr, nullptr, nullptr, nullptr),
                    "review failed"))
    return;

  // The big-endian run reviews the little-endian file in every iteration
  // too, so that the two byte orders are compared under the same conditions.
  // The copy floor reads each window as the standard call does: the window
  // and the two frames after it.
  std::vector<int32_t> starts;
  for (uint32_t s = 0; s < settings().seconds; s += kWindowSeconds) starts.push_back(int32_t(s));
  const int64_t frame0 = big ? 0 : first_frame(path);
  if (!check(state, big || frame0 > 0, "open failed")) return;
  CopyFloor copyFloor(read_depth(kWindowSeconds), kWindowSeconds / kFrameSeconds);

  Contender library, baseline, little, floor;
  Times readTimes, getTimes;
  for (auto _ : state) {
    const bool plainOk = baseline.run([&] { return plain_read(path) == bytes; });
    Split split;
    const bool ok = library.run([&] { return review_night(path, out, &split, nullptr, nullptr, nullptr, nullptr); });
    readTimes.add(split.read);
    getTimes.add(split.get);
    state.SetIterationTime(library.wall().last());
    bool littleOk = true;
    if (big)
      littleOk = little.run(
          [&] { return review_night(review_file(false), out, nullptr, nullptr, nullptr, nullptr, nullptr); });
    else
      littleOk = floor.run([&] { return copyFloor.run(path, frame0, starts); });
    if (!check(state, plainOk && ok && littleOk, "a read failed")) return;
  }
  state.counters["file_MB"] = bytes / 1e6;
  state.counters["lib_MB/s"] = bytes / library.wall().best() / 1e6;
  state.counters["plain_read_MB/s"] = bytes / baseline.wall().best() / 1e6;
  put_ratio(state, "ratio", "cpu_ratio", library, baseline);
  state.counters["x_realtime"] = settings().seconds / library.wall().best();
  // Where the library's time goes: reading windows into the read buffers,
  // and handing every channel's samples out.
  state.counters["read_s"] = readTimes.best();
  state.counters["get_s"] = getTimes.best();
  // Memory of one session: blocks and bytes the open handle holds after the
  // first window, the most seen at any window boundary, and the growth from
  // the first window to the last (0 means nothing accumulates overnight).
  state.counters["session_blocks"] = double(peak.blocks - before.blocks);
  state.counters["session_KiB"] = double(peak.bytes - before.bytes) / 1024;
  state.counters["handle_and_buffers_KiB"] = double(own) / 1024;
  state.counters["growth_bytes"] = double(peak.bytes - first.bytes);
  state.counters["rss_growth_KiB"] = double(last.rssKiB) - double(first.rssKiB);
  state.SetBytesProcessed(int64_t(bytes * state.iterations()));
  if (big) put_ratio(state, "big/little", "cpu_big/little", library, little);
  if (!big) put_floor(state, library, floor, baseline);
}

void random_access(benchmark::State& state) {
  if (!check(state, ensure_review_file(false), "writing the review file failed")) return;
  const std::string path = review_file(false);
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int32_t> pick(0, int32_t(settings().seconds - kWindowSeconds));
  std::vector<int32_t> starts(settings().windows);
  for (int32_t& s : starts) s = pick(rng);
  std::vector<int16_t> out(kWindowSeconds * 500);
  const uint32_t depth = read_depth(kWindowSeconds);
  const ReadBuffer raw(size_t(depth) * frame_chunk_size());
  plain_read(path);

  const int64_t frame0 = first_frame(path);
  if (!check(state, frame0 > 0, "open failed")) return;

  Contender library, baseline;
  for (auto _ : state) {
    const bool plainOk = baseline.run([&] { return pread_windows(path, frame0, starts, depth, raw); });
    const bool ok = library.run([&] {
      HGLOBAL h = open_for_review(path);
      bool fine = h != nullptr;
      for (int32_t s : starts) fine = fine && show_window(h, s, out) == samples_per_window();
      if (h) RAZIVERACloseBioFile(h);
      return fine;
    });
    state.SetIterationTime(library.wall().last());
    if (!check(state, plainOk && ok, "a read failed")) return;
  }
  const double n = double(starts.size());
  put_ratio(state, "ratio", "cpu_ratio", library, baseline);
  state.counters["windows/s"] = n / library.wall().best();
  state.counters["plain_pread_windows/s"] = n / baseline.wall().best();
  state.counters["lib_MB/s"] = n * raw.size() / library.wall().best() / 1e6;
  state.SetItemsProcessed(int64_t(n * state.iterations()));
}

// Random 2-second windows, every channel fetched: the exact-window call
// (which reads the frames of the window) against one pread of those frames,
// and the standard call against one pread of the frames it must deliver: its
// read depth, the window and two frames more, which the call reads, counts in
// its result and leaves in the read buffers for the get calls.  The standard
// call is also compared with a pread of the window's own frames
// (window_ratio).
constexpr uint32_t kShortWindow = 2;

void short_windows(benchmark::State& state, bool exact) {
  if (!check(state, ensure_review_file(false), "writing the review file failed")) return;
  const std::string path = review_file(false);
  std::mt19937 rng(20240612);
  std::uniform_int_distribution<int32_t> pick(0, int32_t(settings().seconds - 4 * kShortWindow));
  std::vector<int32_t> starts(settings().windows);
  for (int32_t& s : starts) s = pick(rng);
  std::vector<int16_t> out(kShortWindow * 500);
  const uint32_t windowFrames = kShortWindow / kFrameSeconds;
  const uint32_t deliver = exact ? windowFrames : read_depth(kShortWindow);
  const ReadBuffer raw(size_t(deliver) * frame_chunk_size());
  plain_read(path);

  const int64_t frame0 = first_frame(path);
  if (!check(state, frame0 > 0, "open failed")) return;
  int64_t perWindow = 0;
  for (const Channel& c : channels()) perWindow += int64_t(c.rate) * kShortWindow;

  CopyFloor copyFloor(deliver, windowFrames);

  Contender library, baseline, windowOnly, floor;
  for (auto _ : state) {
    const bool plainOk = baseline.run([&] { return pread_windows(path, frame0, starts, deliver, raw); });
    const bool ok = library.run([&] {
      HGLOBAL h = open_for_review(path);
      bool fine = h != nullptr;
      if (fine) DARARARCreateReadFrameBuf(h, 0, kShortWindow);
      for (int32_t s : starts) {
        if (!fine) break;
        fine = exact ? DARARARReadFrameWaveEx(h, 0, s, kShortWindow) > 0 : DARARARReadFrameWave(h, 0, uint32_t(s)) > 0;
        int64_t got = 0;
        for (uint16_t c = 0; c < channel_count(); ++c)
          got += exact ? DARARARGetFrameWaveEx(h, 0, c, out.data(), 0, kShortWindow)
                       : DARARARGetFrameWave(h, 0, c, out.data());
        fine = fine && got == perWindow;
      }
      if (h) RAZIVERACloseBioFile(h);
      return fine;
    });
    state.SetIterationTime(library.wall().last());
    bool windowOk = true;
    if (!exact) windowOk = windowOnly.run([&] { return pread_windows(path, frame0, starts, windowFrames, raw); });
    const bool floorOk = floor.run([&] { return copyFloor.run(path, frame0, starts); });
    if (!check(state, plainOk && ok && windowOk && floorOk, "a read failed")) return;
  }
  const double n = double(starts.size());
  put_ratio(state, "ratio", "cpu_ratio", library, baseline);
  if (!exact) put_ratio(state, "window_ratio", "cpu_window_ratio", library, windowOnly);
  put_floor(state, library, floor, baseline);
  state.counters["windows/s"] = n / library.wall().best();
  state.counters["plain_pread_windows/s"] = n / baseline.wall().best();
  state.SetItemsProcessed(int64_t(n * state.iterations()));
}
}  // namespace

void register_review() {
  for (bool big : {false, true}) {
    benchmark::RegisterBenchmark(big ? "review/big_endian" : "review/little_endian",
                                 [big](benchmark::State& s) { review(s, big); })
        ->Iterations(settings().iterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("random_access/windows", random_access)
      ->Iterations(settings().iterations)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  for (bool exact : {true, false}) {
    benchmark::RegisterBenchmark(exact ? "random_access/2s_exact" : "random_access/2s_standard",
                                 [exact](benchmark::State& s) { short_windows(s, exact); })
        ->Iterations(settings().iterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace rzb
