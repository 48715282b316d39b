// The peer comparison: the same night written as EDF through biosig
// (Debian's libbiosig-dev, the C library behind much of the field's EDF
// tooling) and as a recording through the library, contenders alternating in
// one run.  Before timing, the EDF's data records are checked to hold exactly
// the samples the library reads back from its recording.
//
// What each contender is given is its own interface's natural input, made
// once and replayed like the library's acquisition input: the library takes
// the amplifier's interleaved 16-bit rows; biosig takes one column of doubles
// per channel at the common 1000 Hz rate and stores the mean of each group of
// n values for a channel n times slower.  The set-point calls keep the first
// row of each group, so biosig's column holds that sample over the whole
// group and both files get the same samples (for event channels, the code
// given within the group).
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

// The EDF's data records, read from its bytes (a 256-byte head, 256 bytes per
// signal, then in each record every signal's samples as 16-bit little-endian
// values), hold exactly the library's samples of the recording.
bool edf_holds_recording(const std::string& edf, const std::string& lib) {
  std::vector<uint8_t> bytes(file_size(edf));
  std::FILE* f = std::fopen(edf.c_str(), "rb");
  bool ok = f && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) std::fclose(f);
  const uint32_t n = channel_count();
  const uint32_t seconds = settings().seconds;
  std::vector<size_t> offset(n);  // of each signal within a record
  size_t recordBytes = 0;
  for (uint32_t c = 0; c < n; ++c) {
    offset[c] = recordBytes;
    recordBytes += size_t(channels()[c].rate) * kFrameSeconds * sizeof(int16_t);
  }
  const size_t head = kEdfHeadBytes + kEdfChannelHeadBytes * n;
  ok = ok && bytes.size() == edf_expected_bytes(seconds);
  HGLOBAL h = ok ? open_for_review(lib) : nullptr;
  ok = ok && h;
  std::vector<int16_t> out(size_t(kWindowSeconds) * kBaseRate);
  uint64_t compared = 0, expected = 0;
  for (const Channel& c : channels()) expected += uint64_t(c.rate) * seconds;
  for (uint32_t start = 0; ok && start < seconds; start += kWindowSeconds) {
    ok = DARARARReadFrameWave(h, 0, start) > 0;
    const uint32_t span = std::min(kWindowSeconds, seconds - start);
    for (uint16_t c = 0; ok && c < n; ++c) {
      const uint32_t rate = channels()[c].rate;
      ok = DARARARGetFrameWave(h, 0, c, out.data()) >= int32_t(span * rate);
      for (size_t i = 0; ok && i < size_t(span) * rate; ++i) {
        const size_t second = start + i / rate;
        const size_t at = head + second / kFrameSeconds * recordBytes + offset[c] +
                          ((second % kFrameSeconds) * rate + i % rate) * sizeof(int16_t);
        ok = int16_t(uint16_t(bytes[at] | bytes[at + 1] << 8)) == out[i];
      }
      compared += ok ? uint64_t(span) * rate : 0;
    }
  }
  if (h) RAZIVERACloseBioFile(h);
  if (!ok || compared != expected)
    std::fprintf(stderr, "peer: the EDF and the recording differ (%llu of %llu samples equal)\n",
                 static_cast<unsigned long long>(compared), static_cast<unsigned long long>(expected));
  return ok && compared == expected;
}

void peer_write(benchmark::State& state) {
  const std::string edf = edf_file();
  const std::string lib = lib_acq_file();
  const uint32_t seconds = settings().seconds;
  // The two contenders are fed the same replayed input only in whole batches
  // of frames (a last, partial batch came out different), so the comparison
  // takes whole batches only.
  if (seconds % (kFramesPerBuffer * kFrameSeconds) != 0) {
    state.SkipWithError("--rz_seconds must be a multiple of the 10-frame batch for the peer comparison");
    return;
  }
  // One untimed run of each: the allocator and the page cache reach their
  // steady state, and biosig's input block is made.
  const Written first = write_recording(lib, seconds, false);
  if (!check(state, first.ok && biosig_write(edf, seconds), "writing the night failed")) return;
  if (!check(state, edf_holds_recording(edf, lib), "biosig's EDF and the recording hold different samples"))
    return;
  const uint64_t libBytes = first.fileBytes;
  const uint64_t edfBytes = file_size(edf);
  Contender library, peer;
  for (auto _ : state) {
    ::unlink(lib.c_str());
    ::unlink(edf.c_str());
    const bool peerOk = peer.run([&] { return biosig_write(edf, seconds); });
    const Written w = library.run([&] { return write_recording(lib, seconds, false); });
    state.SetIterationTime(library.wall().last());
    if (!check(state, peerOk && w.ok && w.fileBytes == libBytes, "a write failed")) return;
  }
  ::unlink(lib.c_str());
  state.counters["lib_file_MB"] = libBytes / 1e6;
  state.counters["edf_file_MB"] = edfBytes / 1e6;
  state.counters["lib_s"] = library.wall().best();
  state.counters["biosig_s"] = peer.wall().best();
  put_ratio(state, "biosig/lib", "cpu_biosig/lib", library, peer);
  state.SetBytesProcessed(int64_t(libBytes * state.iterations()));
}

}  // namespace

void register_peer() {
  benchmark::RegisterBenchmark("peer/write_night_edf_biosig", peer_write)
      ->Iterations(settings().iterations)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace rzb
