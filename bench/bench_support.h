// Shared by the benchmarks: the run's settings, the overnight recording they
// all use (its channel layout, the acquisition input, writing it through the
// library), the plain-I/O baselines the library is measured against, and the
// memory probes.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "razivera.h"

namespace rzb {

// Set from the command line (--rz_seconds=, --rz_windows=, --rz_iterations=,
// --rz_dir=) before Google Benchmark sees the rest.
struct Settings {
  uint32_t seconds = 8 * 3600;  // recording length: one night
  uint32_t windows = 10000;     // random-access windows
  uint32_t iterations = 5;      // timed runs of each benchmark
  std::string dir;              // where the files go (a fresh temporary directory)
};
Settings& settings();
// Parses and removes our flags; creates the working directory.  false (with a
// message) on a bad flag.
bool parse_settings(int* argc, char** argv);
// Removes the working directory and its files.
void remove_workdir();
std::string work_path(const std::string& name);

// ---- The recording ------------------------------------------------------------
// 32 channels: 16 at 200 Hz, 8 at 500 Hz, 6 at 100 Hz and 2 event channels at
// 10 Hz, from an amplifier delivering interleaved rows at 1000 Hz, in
// 1-second frames buffered 10 at a time.
constexpr uint32_t kBaseRate = 1000;
constexpr uint32_t kFrameSeconds = 1;
constexpr uint16_t kFramesPerBuffer = 10;
// A writer that has the whole night in memory (per-channel arrays) saves in
// buffers of about 1 MB: the size of the plain writes it is measured against.
constexpr uint16_t kBulkFramesPerBuffer = 64;
constexpr uint32_t kWindowSeconds = 30;

struct Channel {
  uint32_t rate;
  bool event;
};
const std::vector<Channel>& channels();
uint32_t channel_count();
// Bytes of one stored frame (head and every channel's samples).
uint32_t frame_chunk_size();

// One buffer's worth of interleaved amplifier rows (kFramesPerBuffer frames
// of kBaseRate rows, one column per channel), made once and replayed.
const std::vector<int16_t>& acquisition_input();
// What an application that keeps one array per channel at the channel's own
// rate saves at a time: channel c's samples of kBulkFramesPerBuffer frames,
// picked from the interleaved rows (replayed) as the set-point call picks
// them (an event channel takes the first code of each of its sample periods).
const std::vector<std::vector<int16_t>>& per_channel_input();

// How the acquisition hands its samples to the library: interleaved rows
// with one set-point call per channel picking its samples out
// (DARARARSetFramePointWave / ...Event), or per-channel arrays copied in with
// DARARARSetFramePointWaveEx (RZ_POINT_EVERY).
enum class Input { kInterleaved, kPerChannel };

struct Written {
  uint64_t fileBytes = 0;   // size of the file afterwards
  uint64_t frameBytes = 0;  // bytes of stored frames (heads included)
  double placeSeconds = 0;  // in the set-point calls
  double saveSeconds = 0;   // in the saves
  bool ok = false;
};
// Writes a recording of `seconds` through the library exactly as an
// acquisition application does: describe, then fill the buffers with the
// set-point calls from interleaved input and save them, 10 frames at a time.
// `records` > 1 splits the seconds evenly over that many records.
// `sync` flushes the file to the disk before returning.
Written write_recording(const std::string& path, uint32_t seconds, bool big, uint32_t records = 1,
                        bool sync = false, Input input = Input::kInterleaved);

// ---- Baselines ------------------------------------------------------------------
constexpr size_t kPlainChunk = 1u << 20;
// Writes `bytes` to a new file with sequential 1 MiB write calls (and, with
// `sync`, flushes it to the disk); false on any failure.
bool plain_write(const std::string& path, uint64_t bytes, bool sync = false);
// Flushes a file to the disk.
bool sync_file(const std::string& path);
// Reads the whole file with sequential 1 MiB read calls; the bytes read.
uint64_t plain_read(const std::string& path);

// Memory for the baselines' reads.  On some processors the kernel's copy
// from the page cache runs at a third of its speed when the destination lies
// a few bytes past the source's place in its page; the baselines put the
// bytes of file offset x at an address with x's offset in a cache line, so
// that they show plain reads at their best.
class ReadBuffer {
 public:
  explicit ReadBuffer(size_t bytes);
  ~ReadBuffer();
  ReadBuffer(const ReadBuffer&) = delete;
  ReadBuffer& operator=(const ReadBuffer&) = delete;
  // Where the bytes read from file offset `offset` go.
  char* at(uint64_t offset) const;
  size_t size() const { return size_; }

 private:
  char* base_;
  size_t size_;
};
uint64_t file_size(const std::string& path);

// ---- Timing and memory ------------------------------------------------------------
using Clock = std::chrono::steady_clock;
inline double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}
// Processor time of the calling thread (its own work and the kernel's on its
// behalf, such as the copies of read and write calls).  Other work on the
// machine delays a contender without adding to this, so on a loaded machine
// the ratio of processor times (cpu_ratio) is the steadier figure; writeback
// of the page cache, done by the kernel's own threads, is in neither.
double thread_cpu_seconds();

// The times one contender took, iteration by iteration.  Ratios are taken
// between the best iterations of the library and of its baseline: other work
// on the machine only ever adds time, so the best run is the least disturbed.
class Times {
 public:
  void add(double seconds) { all_.push_back(seconds); }
  double best() const;
  double last() const { return all_.empty() ? 0 : all_.back(); }

 private:
  std::vector<double> all_;
};

// One contender of a benchmark (the library, its baseline, a peer): each run
// is timed on the wall clock and on the calling thread's processor clock.
class Contender {
 public:
  template <class F>
  auto run(F&& f) {
    const Clock::time_point t0 = Clock::now();
    const double c0 = thread_cpu_seconds();
    auto result = f();
    wall_.add(seconds_since(t0));
    cpu_.add(thread_cpu_seconds() - c0);
    return result;
  }
  const Times& wall() const { return wall_; }
  const Times& cpu() const { return cpu_; }

 private:
  Times wall_, cpu_;
};

// Sets `name` (wall clock) and `cpuName` (processor time) to the speed of
// `subject` as a fraction of `reference`'s (below 1: slower), the best run
// of each compared.
void put_ratio(benchmark::State& state, const char* name, const char* cpuName, const Contender& subject,
               const Contender& reference);

struct MemUsage {
  size_t blocks = 0;  // live memory blocks of the library
  size_t bytes = 0;   // their total size
  size_t rssKiB = 0;  // resident set of the process
};
MemUsage mem_usage();

// Stops the benchmark with an error message (and returns false) when `ok` is
// false; the program then exits with status 1.
bool check(benchmark::State& state, bool ok, const char* what);
bool any_failed();

// Record 0 of a recording opened for review (description read, read buffers
// for kWindowSeconds made); nullptr on failure.  The caller closes it.
HGLOBAL open_for_review(const std::string& path);

}  // namespace rzb
