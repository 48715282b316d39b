// The peer comparison: the same night written and reviewed as EDF through
// biosig (Debian's libbiosig-dev, the C library behind much of the field's
// EDF tooling) and as a recording through the library, contenders
// alternating in one run.  The review benchmark first checks, window by
// window, that both hand out the same digital samples.
//
// What each contender is given is its own interface's natural input, made
// once and replayed like the library's acquisition input: the library takes
// the amplifier's interleaved 16-bit rows; biosig takes one column of doubles
// per channel at the common 1000 Hz rate and stores the mean of each group of
// n values for a channel n times slower.  The set-point calls keep the first
// row of each group, so biosig's column holds that sample over the whole
// group and both files get the same samples (for event channels, the code
// given within the group).  biosig reads back the same way: all channels at 1000 Hz (slower
// channels repeated) as doubles; digital values are asked for (no scaling),
// so that they can be compared with the library's.
#include <biosig.h>
#include <physicalunits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "bench_support.h"

namespace rzb {
namespace {

// biosig's code for 16-bit signed samples, as EDF stores them.
constexpr uint16_t kGdfInt16 = 3;
// EDF's fixed header and per-channel header sizes.
constexpr uint64_t kEdfHeadBytes = 256;
constexpr uint64_t kEdfChannelHeadBytes = 256;
// The physical range written: 0.1 uV per step, so that a scaled read would
// not compare equal and the check proves the digital values were read.
constexpr double kPhysPerDigit = 0.1;

std::string edf_file() { return work_path("peer.edf"); }
std::string lib_acq_file() { return work_path("acq.vzp"); }
std::string lib_review_file() { return work_path("review-l.vzp"); }

uint32_t decimation(const Channel& c) { return kBaseRate / c.rate; }

// One buffer of the acquisition input as biosig takes it: column-major, one
// column of kBaseRate rows per frame second for each channel.
const std::vector<double>& biosig_input() {
  static const std::vector<double> block = [] {
    const uint32_t n = channel_count();
    const size_t rows = size_t(kFramesPerBuffer) * kFrameSeconds * kBaseRate;
    const std::vector<int16_t>& rowsIn = acquisition_input();
    std::vector<double> v(rows * n);
    for (uint32_t c = 0; c < n; ++c) {
      const size_t step = decimation(channels()[c]);
      for (size_t group = 0; group < rows; group += step) {
        // A wave channel keeps the group's first value; an event channel its
        // code (the input has at most one per group, so none is queued).
        int16_t value = rowsIn[group * n + c];
        if (channels()[c].event)
          for (size_t r = group; r < group + step; ++r)
            if (rowsIn[r * n + c] != 0) value = rowsIn[r * n + c];
        std::fill_n(v.begin() + std::ptrdiff_t(c * rows + group), step, double(value));
      }
    }
    return v;
  }();
  return block;
}

uint64_t edf_expected_bytes(uint32_t seconds) {
  uint64_t perRecord = 0;
  for (const Channel& c : channels()) perRecord += uint64_t(c.rate) * kFrameSeconds * sizeof(int16_t);
  return kEdfHeadBytes + kEdfChannelHeadBytes * channel_count() + uint64_t(seconds / kFrameSeconds) * perRecord;
}

// Writes the night as EDF through biosig: one data record per frame second,
// ten records per write call as the library saves ten frames at a time.
bool biosig_write(const std::string& path, uint32_t seconds) {
  const uint32_t n = channel_count();
  const uint32_t records = seconds / kFrameSeconds;
  HDRTYPE* h = constructHDR(n, 0);
  if (!h) return false;
  h->TYPE = EDF;
  h->VERSION = 0;
  h->SPR = kBaseRate * kFrameSeconds;
  h->SampleRate = kBaseRate;
  h->NRec = records;
  for (uint32_t k = 0; k < n; ++k) {
    CHANNEL_TYPE* c = h->CHANNEL + k;
    c->OnOff = 1;
    c->SPR = channels()[k].rate * kFrameSeconds;
    c->GDFTYP = kGdfInt16;
    c->DigMin = std::numeric_limits<int16_t>::min();
    c->DigMax = std::numeric_limits<int16_t>::max();
    c->PhysMin = c->DigMin * kPhysPerDigit;
    c->PhysMax = c->DigMax * kPhysPerDigit;
    c->Cal = kPhysPerDigit;
    c->Off = 0;
    std::snprintf(c->Label, sizeof c->Label, "%s%u", channels()[k].event ? "EV" : "CH", unsigned(k + 1));
    c->PhysDimCode = PhysDimCode("uV");
  }
  struct tm start {};
  start.tm_year = 2024 - 1900;
  start.tm_mday = 1;
  start.tm_hour = 22;
  start.tm_min = 30;
  biosig_set_startdatetime(h, start);
  biosig_set_flag(h, BIOSIG_FLAG_UCAL);  // the input holds digital values
  h = sopen(path.c_str(), "w", h);
  bool ok = serror2(h) == 0;
  const std::vector<double>& block = biosig_input();
  // Rows of one column of the input block (its stride between channels).
  h->data.size[0] = size_t(kFramesPerBuffer) * kFrameSeconds * kBaseRate;
  h->data.size[1] = n;
  for (uint32_t done = 0; ok && done < records;) {
    const uint32_t count = std::min<uint32_t>(records - done, kFramesPerBuffer);
    // swrite takes as many records as the header's record count says, not
    // its count argument: set it to the records of this call.
    h->NRec = count;
    ok = swrite(block.data(), count, h) == count;
    done += count;
  }
  h->NRec = records;
  ok = sclose(h) == 0 && ok;
  destructHDR(h);
  return ok && file_size(path) == edf_expected_bytes(seconds);
}

HDRTYPE* biosig_open(const std::string& path) {
  HDRTYPE* h = constructHDR(0, 0);
  if (!h) return nullptr;
  biosig_set_flag(h, BIOSIG_FLAG_UCAL);  // digital values, no scaling
  h = sopen(path.c_str(), "r", h);
  if (serror2(h) != 0 || h->NS != channel_count() || h->SPR != kBaseRate * kFrameSeconds) {
    sclose(h);
    destructHDR(h);
    return nullptr;
  }
  return h;
}

// Reads one window of records into `buf` (column-major, all channels at
// kBaseRate); the records read.
size_t biosig_window(HDRTYPE* h, uint32_t start, std::vector<double>& buf) {
  const uint32_t len = std::min(kWindowSeconds, settings().seconds - start) / kFrameSeconds;
  return sread(buf.data(), start / kFrameSeconds, len, h);
}

HGLOBAL lib_open(const std::string& path) {
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

// Reviews the night in 30-second windows through biosig; false on any error.
bool biosig_review(const std::string& path, std::vector<double>& buf) {
  HDRTYPE* h = biosig_open(path);
  if (!h) return false;
  bool ok = true;
  for (uint32_t start = 0; ok && start < settings().seconds; start += kWindowSeconds)
    ok = biosig_window(h, start, buf) == std::min(kWindowSeconds, settings().seconds - start) / kFrameSeconds;
  ok = sclose(h) == 0 && ok;
  destructHDR(h);
  return ok;
}

// The same review through the library: every channel fetched per window.
bool lib_review(const std::string& path, std::vector<int16_t>& out) {
  HGLOBAL h = lib_open(path);
  if (!h) return false;
  bool ok = true;
  for (uint32_t start = 0; ok && start < settings().seconds; start += kWindowSeconds) {
    ok = DARARARReadFrameWave(h, 0, start) > 0;
    for (uint16_t c = 0; ok && c < channel_count(); ++c) ok = DARARARGetFrameWave(h, 0, c, out.data()) > 0;
  }
  return RAZIVERACloseBioFile(h) == nullptr && ok;
}

// Window by window, every channel: the library's samples equal biosig's
// (taken at the channel's own rate), and every sample of the night was
// compared.
bool same_samples(const std::string& edf, const std::string& lib) {
  const uint32_t n = channel_count();
  const size_t rows = size_t(kWindowSeconds) * kBaseRate;
  std::vector<double> buf(rows * n);
  std::vector<int16_t> out(size_t(kWindowSeconds) * kBaseRate);
  HDRTYPE* b = biosig_open(edf);
  HGLOBAL h = lib_open(lib);
  bool ok = b && h;
  uint64_t compared = 0, expected = 0;
  for (const Channel& c : channels()) expected += uint64_t(c.rate) * settings().seconds;
  for (uint32_t start = 0; ok && start < settings().seconds; start += kWindowSeconds) {
    const size_t got = biosig_window(b, start, buf);
    ok = DARARARReadFrameWave(h, 0, start) > 0;
    for (uint16_t c = 0; ok && c < n; ++c) {
      const int32_t count = DARARARGetFrameWave(h, 0, c, out.data());
      const Channel& ch = channels()[c];
      const size_t common = std::min<size_t>(size_t(std::max(count, 0)), got * kFrameSeconds * ch.rate);
      for (size_t i = 0; ok && i < common; ++i)
        ok = buf[c * rows + i * decimation(ch)] == double(out[i]);
      compared += common;
    }
  }
  if (b) {
    sclose(b);
    destructHDR(b);
  }
  if (h) RAZIVERACloseBioFile(h);
  if (!ok || compared != expected)
    std::fprintf(stderr, "peer: samples differ or missing (%llu of %llu compared)\n",
                 static_cast<unsigned long long>(compared), static_cast<unsigned long long>(expected));
  return ok && compared == expected;
}

void peer_write(benchmark::State& state) {
  const std::string edf = edf_file();
  const std::string lib = lib_acq_file();
  const uint32_t seconds = settings().seconds;
  // One untimed run of each: the allocator and the page cache reach their
  // steady state, and biosig's input block is made.
  const Written first = write_recording(lib, seconds, false);
  if (!check(state, first.ok && biosig_write(edf, seconds), "writing the night failed")) return;
  const uint64_t libBytes = first.fileBytes;
  const uint64_t edfBytes = file_size(edf);
  Times libTimes, peerTimes;
  for (auto _ : state) {
    ::unlink(lib.c_str());
    ::unlink(edf.c_str());
    auto t0 = Clock::now();
    const bool peerOk = biosig_write(edf, seconds);
    peerTimes.add(seconds_since(t0));
    t0 = Clock::now();
    const Written w = write_recording(lib, seconds, false);
    const double t = seconds_since(t0);
    libTimes.add(t);
    state.SetIterationTime(t);
    if (!check(state, peerOk && w.ok && w.fileBytes == libBytes, "a write failed")) return;
  }
  ::unlink(lib.c_str());
  state.counters["lib_file_MB"] = libBytes / 1e6;
  state.counters["edf_file_MB"] = edfBytes / 1e6;
  state.counters["lib_s"] = libTimes.best();
  state.counters["biosig_s"] = peerTimes.best();
  state.counters["biosig/lib"] = peerTimes.best() / libTimes.best();
  state.SetBytesProcessed(int64_t(libBytes * state.iterations()));
}

void peer_review(benchmark::State& state) {
  const std::string edf = edf_file();
  const std::string lib = lib_review_file();
  const uint32_t seconds = settings().seconds;
  if (file_size(lib) == 0 && !check(state, write_recording(lib, seconds, false).ok, "writing the recording failed"))
    return;
  if (file_size(edf) == 0 && !check(state, biosig_write(edf, seconds), "writing the EDF failed")) return;
  if (!check(state, same_samples(edf, lib), "biosig and the library disagree on the samples")) return;
  std::vector<double> buf(size_t(kWindowSeconds) * kBaseRate * channel_count());
  std::vector<int16_t> out(size_t(kWindowSeconds) * kBaseRate);
  // Both files in the page cache, both readers warmed up once.
  plain_read(edf);
  plain_read(lib);
  if (!check(state, biosig_review(edf, buf) && lib_review(lib, out), "a review failed")) return;
  Times libTimes, peerTimes;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const bool peerOk = biosig_review(edf, buf);
    peerTimes.add(seconds_since(t0));
    t0 = Clock::now();
    const bool ok = lib_review(lib, out);
    const double t = seconds_since(t0);
    libTimes.add(t);
    state.SetIterationTime(t);
    if (!check(state, peerOk && ok, "a review failed")) return;
  }
  state.counters["lib_s"] = libTimes.best();
  state.counters["biosig_s"] = peerTimes.best();
  state.counters["biosig/lib"] = peerTimes.best() / libTimes.best();
  state.counters["lib_x_realtime"] = seconds / libTimes.best();
  state.counters["biosig_x_realtime"] = seconds / peerTimes.best();
  state.SetBytesProcessed(int64_t(file_size(lib) * state.iterations()));
}

}  // namespace

void register_peer() {
  benchmark::RegisterBenchmark("peer/write_night_edf_biosig", peer_write)
      ->Iterations(settings().iterations)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  // Not registered yet: on the EDF written above, biosig's sread returns the
  // right samples for records 0-29 but wrong ones from record 29 or 30 on
  // (zeros at 30, other values at 29, 31, 60), so the sample check fails.
  // Whether that is how we call it or biosig itself is still open.
  (void)peer_review;
}

}  // namespace rzb
