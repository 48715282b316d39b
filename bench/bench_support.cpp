#include "bench_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/platform.h"

namespace rzb {

Settings& settings() {
  static Settings s;
  return s;
}

namespace {

bool take_number(const char* arg, const char* name, uint32_t* out) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(arg + n, &end, 10);
  if (end == arg + n || *end || v == 0 || v > 0xFFFFFFFFul) {
    std::fprintf(stderr, "bad value in %s\n", arg);
    std::exit(2);
  }
  *out = uint32_t(v);
  return true;
}

bool g_ownDir = false;

}  // namespace

bool parse_settings(int* argc, char** argv) {
  Settings& s = settings();
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* a = argv[i];
    if (take_number(a, "--rz_seconds=", &s.seconds) || take_number(a, "--rz_windows=", &s.windows) ||
        take_number(a, "--rz_iterations=", &s.iterations))
      continue;
    if (std::strncmp(a, "--rz_dir=", 9) == 0) {
      s.dir = a + 9;
      continue;
    }
    argv[kept++] = argv[i];
  }
  *argc = kept;
  if (s.seconds < kWindowSeconds) {
    std::fprintf(stderr, "--rz_seconds must be at least %u\n", unsigned(kWindowSeconds));
    return false;
  }
  if (s.dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/razivera-bench-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
      std::perror("mkdtemp");
      return false;
    }
    s.dir = buf.data();
    g_ownDir = true;
  }
  return true;
}

std::string work_path(const std::string& name) { return settings().dir + "/" + name; }

void remove_workdir() {
  for (const char* name : {"acq.vzp", "plain.bin", "review-l.vzp", "review-b.vzp", "records.vzp", "peer.edf"})
    ::unlink(work_path(name).c_str());
  if (g_ownDir) ::rmdir(settings().dir.c_str());
}

// ---- The recording ------------------------------------------------------------

const std::vector<Channel>& channels() {
  static const std::vector<Channel> list = [] {
    std::vector<Channel> v;
    for (int i = 0; i < 16; ++i) v.push_back({200, false});
    for (int i = 0; i < 8; ++i) v.push_back({500, false});
    for (int i = 0; i < 6; ++i) v.push_back({100, false});
    for (int i = 0; i < 2; ++i) v.push_back({10, true});
    return v;
  }();
  return list;
}

uint32_t channel_count() { return uint32_t(channels().size()); }

uint32_t frame_chunk_size() {
  uint32_t bytes = 24;
  for (const Channel& c : channels()) bytes += c.rate * kFrameSeconds * 2;
  return bytes;
}

const std::vector<int16_t>& acquisition_input() {
  static const std::vector<int16_t> rows = [] {
    const uint32_t n = channel_count();
    const uint32_t count = kFramesPerBuffer * kFrameSeconds * kBaseRate;
    std::vector<int16_t> v(size_t(count) * n);
    for (uint32_t row = 0; row < count; ++row) {
      for (uint32_t c = 0; c < n; ++c) {
        int16_t value;
        if (channels()[c].event) value = (row % 700 == 3 + c) ? int16_t(100 + c) : 0;  // sparse codes
        else value = int16_t(2000.0 * std::sin(row * (0.003 + 0.001 * c)) + 40 * int(c));
        v[size_t(row) * n + c] = value;
      }
    }
    return v;
  }();
  return rows;
}

const std::vector<std::vector<int16_t>>& per_channel_input() {
  static const std::vector<std::vector<int16_t>> arrays = [] {
    const std::vector<int16_t>& rows = acquisition_input();
    const uint32_t n = channel_count();
    std::vector<std::vector<int16_t>> v(n);
    for (uint32_t c = 0; c < n; ++c) {
      const uint32_t rate = channels()[c].rate;
      const uint32_t step = kBaseRate / rate;
      const size_t rowCount = rows.size() / n;
      v[c].resize(size_t(kBulkFramesPerBuffer) * kFrameSeconds * rate);
      for (size_t k = 0; k < v[c].size(); ++k) {
        const size_t row = k * step % rowCount;
        int16_t value = rows[row * n + c];
        if (channels()[c].event)
          for (uint32_t j = 0; j < step && value == 0; ++j) value = rows[(row + j) * n + c];
        v[c][k] = value;
      }
    }
    return v;
  }();
  return arrays;
}

Written write_recording(const std::string& path, uint32_t seconds, bool big, uint32_t records, bool sync,
                        Input how) {
  Written w;
  const uint32_t n = channel_count();
  const std::vector<int16_t>& input = acquisition_input();
  const std::vector<std::vector<int16_t>>& arrays = per_channel_input();
  const uint32_t stride = n * 2;  // bytes between one channel's consecutive values
  constexpr uint32_t kSampleStride = sizeof(int16_t);  // in a per-channel array
  const uint16_t perBuffer = how == Input::kPerChannel ? kBulkFramesPerBuffer : kFramesPerBuffer;
  HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_CREATE, perBuffer);
  if (!h) return w;
  bool ok = RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, big ? 1 : 0) == 1 && DARARARCreateBaseHeader(h) == 1;
  const uint32_t framesPerRecord = seconds / kFrameSeconds / records ? seconds / kFrameSeconds / records : 1;
  for (uint32_t r = 0; ok && r < records; ++r) {
    ok = DARARARStartRecordWave(h) == int32_t(r);
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_CHANNEL_COUNT, uint16_t(n));
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_FRAME_SECONDS, kFrameSeconds);
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_BASE_RATE, kBaseRate);
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_TOTAL_SAMPLES, framesPerRecord * kFrameSeconds * kBaseRate);
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_START_HOUR, 22);
    DARARARSetWaveInfo(h, uint16_t(r), RZ_WAVE_START_MINUTE, 30);
    for (uint16_t c = 0; c < n; ++c) {
      DARARARSetFrameChInfo(h, uint16_t(r), RZ_CHANNEL_SAMPLE_RATE, c, channels()[c].rate);
      char label[16];
      std::snprintf(label, sizeof label, "%s%u", channels()[c].event ? "EV" : "CH", unsigned(c + 1));
      DARARARSetFrameChText(h, uint16_t(r), RZ_CHANNEL_LABEL, c, label);
      DARARARSetFrameChText(h, uint16_t(r), RZ_CHANNEL_UNIT, c, "uV");
    }
    ok = ok && DARARARCreateWaveInfo(h) && DARARARCreateFrameChInfo(h) &&
         DARARARCreateFrameBuf(h, perBuffer) == int32_t(frame_chunk_size());
    for (uint32_t done = 0; ok && done < framesPerRecord;) {
      const uint16_t frames =
          uint16_t(framesPerRecord - done < perBuffer ? framesPerRecord - done : perBuffer);
      const Clock::time_point t0 = Clock::now();
      for (uint16_t c = 0; c < n; ++c) {
        const uint16_t placed =
            how == Input::kPerChannel
                ? DARARARSetFramePointWaveEx(h, RZ_POINT_EVERY, 0, frames, c, kSampleStride, arrays[c].data())
            : channels()[c].event
                ? DARARARSetFramePointEvent(h, 0, frames, c, int32_t(stride), 1, input.data() + c)
                : DARARARSetFramePointWave(h, 0, frames, c, stride, input.data() + c);
        ok = ok && placed == frames;
      }
      const Clock::time_point t1 = Clock::now();
      ok = ok && DARARARSaveFrameWave(h, frames) == frames;
      const Clock::time_point t2 = Clock::now();
      w.placeSeconds += std::chrono::duration<double>(t1 - t0).count();
      w.saveSeconds += std::chrono::duration<double>(t2 - t1).count();
      done += frames;
    }
    ok = ok && DARARARUpdateWaveInfo(h, framesPerRecord * kFrameSeconds * kBaseRate) != 0;
    ok = ok && DARARAREndRecordWave(h) > 0;
    w.frameBytes += uint64_t(framesPerRecord) * frame_chunk_size();
  }
  ok = RAZIVERACloseBioFile(h) == nullptr && ok;
  if (sync) ok = sync_file(path) && ok;
  w.fileBytes = file_size(path);
  w.ok = ok;
  return w;
}

// ---- Baselines ------------------------------------------------------------------

bool plain_write(const std::string& path, uint64_t bytes, bool sync) {
  static const std::vector<char> chunk(kPlainChunk, 'x');
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (uint64_t done = 0; ok && done < bytes;) {
    const size_t n = bytes - done < kPlainChunk ? size_t(bytes - done) : kPlainChunk;
    ok = ::write(fd, chunk.data(), n) == ssize_t(n);
    done += n;
  }
  if (sync) ok = ::fsync(fd) == 0 && ok;
  return ::close(fd) == 0 && ok;
}

bool sync_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

namespace {
constexpr size_t kCacheLine = 64;
constexpr size_t kPageBytes = 4096;
}  // namespace

ReadBuffer::ReadBuffer(size_t bytes)
    : base_(static_cast<char*>(std::aligned_alloc(kPageBytes, (bytes + 2 * kPageBytes) / kPageBytes * kPageBytes))),
      size_(bytes) {
  if (!base_) throw std::bad_alloc();
}

ReadBuffer::~ReadBuffer() { std::free(base_); }

char* ReadBuffer::at(uint64_t offset) const { return base_ + offset % kCacheLine; }

uint64_t plain_read(const std::string& path) {
  static const ReadBuffer chunk(kPlainChunk);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.at(total), kPlainChunk);
    if (n <= 0) break;
    total += uint64_t(n);
  }
  ::close(fd);
  return total;
}

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// ---- Timing and memory ------------------------------------------------------------

double thread_cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Times::best() const {
  double b = 0;
  for (double t : all_)
    if (b == 0 || t < b) b = t;
  return b;
}

void put_ratio(benchmark::State& state, const char* name, const char* cpuName, const Contender& subject,
               const Contender& reference) {
  state.counters[name] = reference.wall().best() / subject.wall().best();
  state.counters[cpuName] = reference.cpu().best() / subject.cpu().best();
}

MemUsage mem_usage() {
  MemUsage m;
  m.blocks = rz::plat::mem_live(&m.bytes);
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    unsigned long size = 0, resident = 0;
    if (std::fscanf(f, "%lu %lu", &size, &resident) == 2)
      m.rssKiB = size_t(resident) * size_t(sysconf(_SC_PAGESIZE)) / 1024;
    std::fclose(f);
  }
  return m;
}

namespace {
bool g_failed = false;
}  // namespace

bool check(benchmark::State& state, bool ok, const char* what) {
  if (!ok) {
    state.SkipWithError(what);
    g_failed = true;
  }
  return ok;
}

bool any_failed() { return g_failed; }

// Opens record 0 of a recording for review: its description read and read
// buffers made for 30-second windows; nullptr on failure.
HGLOBAL open_for_review(const std::string& path) {
  HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1);
  if (!h) return nullptr;
  if (DARARARReadRecordInfo(h, 0) != 1 || DARARARReadChannelInfo(h, 0) != 1 ||
      DARARARReadFrameInfo(h, 0) != 1) {
    RAZIVERACloseBioFile(h);
    return nullptr;
  }
  DARARARCreateReadFrameBuf(h, 0, kWindowSeconds);
  return h;
}

}  // namespace rzb
