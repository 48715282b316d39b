// The Python extension: recordings read and written through the library's
// public interface (razivera.h) only, with samples copied once between the
// library's buffers and numpy arrays.  The Python package (razivera/) gives
// these calls their shape; this file knows the library's calling conventions
// and the conventions the razivera tool stores (the EVENT channel, the
// annotation table, the text list and the hypnogram).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "razivera.h"

namespace py = pybind11;

namespace {

// ---- The library's selectors, named once ---------------------------------------

enum OpenMode : uint16_t { kOpenRead = 1, kOpenCreate = 4 };
enum ErrorMode : uint16_t { kErrorTake = 1, kErrorClear = 2 };
enum HeaderItem : uint16_t { kHeaderVersion = 2, kHeaderByteOrder = 4, kHeaderRecords = 6 };
enum WaveItem : uint16_t {
  kWaveCode = 1,
  kWaveChannels = 2,
  kWaveFrameSeconds = 3,
  kWaveFrames = 4,
  kWaveFrameSize = 5,
  kWaveFramePosition = 8,
  kWaveYear = 10,
  kWaveMonth = 11,
  kWaveDay = 12,
  kWaveHour = 13,
  kWaveMinute = 14,
  kWaveSecond = 15,
  kWaveTotalSamples = 20,
  kWaveBaseRate = 21,
  kWaveMains = 22,
};
constexpr uint16_t kWaveText = 1;
constexpr size_t kWaveTextRoom = 33;
enum ChannelItem : uint16_t { kChFlags = 1, kChNumber = 2, kChRate = 4, kChFilterA = 11, kChFilterB = 12 };
enum ChannelText : uint16_t { kChLabel = 1, kChUnit = 2 };
constexpr size_t kLabelRoom = 64, kUnitRoom = 32;
constexpr size_t kChannelTextKept = 15;  // characters of a channel text the file keeps
constexpr uint16_t kPickEvery = 1;       // SetFramePointWaveEx: every input value in turn
constexpr int32_t kSampleStride = sizeof(int16_t);
enum ScoreItem : uint16_t {
  kScoreSettingCount = 2,
  kScoreSettingEpoch = 3,
  kScoreSleepOnset = 4,
  kScoreEntry = 10,
  kScoreEntryWhole = 11,
};
constexpr uint16_t kScoreMarks = 3;  // sleep onset, first REM, last sleep
constexpr uint16_t kScoreText = 20;
constexpr size_t kScoreTextRoom = 63;
constexpr size_t kTextBufferRoom = 256;
constexpr size_t kEventDataRoom = 1024;
// RAZIVERAFindIndexPtr hands out a chunk's first 16 words: in an event table
// the id, the count and the first entry's size.
enum HeadWord { kHeadWords = 16, kHeadId = 2, kHeadFirstEntrySize = 6 };

// Chunk types of the format searched for here.
constexpr uint32_t kEventTableChunk = 200;
constexpr uint32_t kScoreTableChunk = 3000;
constexpr uint32_t kFrameHeadBytes = 24;        // each stored frame begins with its number and time
constexpr uint32_t kEventEntryHeadBytes = 8;    // an event table entry's size and value
constexpr uint32_t kMaxRecords = 32;
constexpr uint32_t kMaxChannels = 256;
constexpr int32_t kMaxPathChars = 259;

// ---- The razivera tool's conventions ----------------------------------------------

constexpr char kEventLabel[] = "EVENT";
constexpr uint16_t kCalibrationMark = 0xCA1B;
enum CalibrationItem : uint16_t {
  kCalMark = 20,
  kCalDigitalMin = 21,
  kCalDigitalMax = 22,
  kCalPhysicalMinLow = 23,
  kCalPhysicalMinHigh = 24,
  kCalPhysicalMaxLow = 25,
  kCalPhysicalMaxHigh = 26,
};
constexpr uint16_t kTextListType = 1000;
constexpr uint16_t kTextListCapacity = 1024;
constexpr size_t kMaxTextChars = 255;
constexpr uint16_t kAnnotationTableId = 1;
constexpr uint32_t kAnnotationDataSize = 32;
constexpr uint32_t kAnnotationDuration = 0;
constexpr uint32_t kAnnotationText = 4;
constexpr uint32_t kAnnotationTextSize = 28;
constexpr uint32_t kMaxAnnotations = 0xFFFF;  // entries are numbered by 16-bit values
constexpr uint16_t kHypnogramId = 1;
constexpr uint32_t kMaxScoreEntries = 1u << 20;
enum Stage : uint32_t { kWake = 0, kN1 = 1, kN2 = 2, kN3 = 3, kRem = 5 };
constexpr double kMillis = 1000.0;

// How much one read of the library moves at most: whole-night reads go in
// pieces of this size, each copied straight into the caller's arrays.
constexpr uint64_t kReadChunkBytes = 8u << 20;
constexpr uint64_t kKeptBlockBytes = 16u << 20;  // a window block kept for the next window
constexpr uint64_t kWriteBufferBytes = 1u << 20;
constexpr uint32_t kMaxFramesPerBuffer = 0xFFFF;

// ---- Small helpers ------------------------------------------------------------------

py::str latin1(const std::string& s) {
  PyObject* o = PyUnicode_DecodeLatin1(s.data(), Py_ssize_t(s.size()), nullptr);
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(o);
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

double double_from_words(uint32_t low, uint32_t high) {
  const uint64_t bits = (uint64_t(high) << 32) | low;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void store_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The first sample of a channel of `rate` at or after `seconds`, counted from
// second `origin`; a time a rounding error short of a sample counts as its.
constexpr double kTimeSlack = 1e-6;  // in samples
uint64_t sample_at(double seconds, uint32_t rate, uint64_t origin) {
  const double k = std::ceil(seconds * rate - kTimeSlack);
  const double o = double(origin) * rate;
  return k > o ? uint64_t(k - o) : 0;
}

std::string open_error_text(uint16_t code) {
  switch (code) {
    case 0: return "cannot open it (missing, unreadable, or a recording without records)";
    case 1001:
    case 1002:
    case 1003: return "out of memory (error " + std::to_string(code) + ")";
    case 1010: return "not a recording file: its header does not start with the format's mark (error 1010)";
    case 1011: return "its format version is too new to be read (error 1011)";
    default: return "cannot open it (error " + std::to_string(code) + ")";
  }
}

// The error the package raises: a Python exception class set at import.
PyObject* g_error = nullptr;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  PyErr_SetString(g_error, (where + ": " + what).c_str());
  throw py::error_already_set();
}

std::string at_record(const std::string& path, uint32_t record) {
  return path + ": record " + std::to_string(record);
}

// ---- Reading ------------------------------------------------------------------------

struct ChannelDesc {
  uint32_t index = 0, number = 0, rate = 0, flags = 0;
  int32_t filterA = 0, filterB = 0;
  std::string label, unit;
  bool calibrated = false;
  int32_t digitalMin = -32768, digitalMax = 32767;
  double physicalMin = -32768, physicalMax = 32767;
};

struct RecordDesc {
  uint32_t index = 0;
  uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t code = 0, mains = 0, baseRate = 0;
  uint32_t frameSeconds = 0, frames = 0, frameBytes = 0, framePosition = 0;
  bool hasFrames = false;
  std::string text;
  std::vector<ChannelDesc> channels;
  // Why the frames cannot be read as the description says; empty when they can.
  std::string damage;
  // Frames the file really holds (fewer than `frames` in a cut file).
  uint32_t storedFrames = 0;
  int eventChannel = -1;
};

class File {
 public:
  explicit File(const std::string& path) : path_(path) {
    if (path.size() > size_t(kMaxPathChars)) fail(path, "the path is longer than the library takes (259 characters)");
    RAZIVERAGetErrorInfo(kErrorClear, nullptr);
    h_ = RAZIVERAOpenBioFile(path.c_str(), kOpenRead, 1);
    if (!h_) fail(path, open_error_text(RAZIVERAGetErrorInfo(kErrorTake, nullptr)));
    const uint32_t n = RAZIVERAGetInfo(h_, kHeaderRecords);
    records_ = std::min(n, kMaxRecords);
    struct stat st {};
    size_ = ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
  }
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  void close() {
    if (h_) RAZIVERACloseBioFile(h_);
    h_ = nullptr;
  }
  bool closed() const { return h_ == nullptr; }
  uint32_t records() const { return records_; }
  std::string byte_order() {
    return RAZIVERAGetInfo(live(), kHeaderByteOrder) ? "big" : "little";
  }
  uint32_t version() { return RAZIVERAGetInfo(live(), kHeaderVersion); }

  py::dict describe(uint32_t record) {
    const RecordDesc& r = desc(record);
    py::dict d;
    d["start"] = py::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second);
    d["code"] = r.code;
    d["mains"] = r.mains;
    d["base_rate"] = r.baseRate;
    d["frame_seconds"] = r.frameSeconds;
    d["frames"] = r.frames;
    d["frame_bytes"] = r.frameBytes;
    d["has_frames"] = r.hasFrames;
    d["text"] = latin1(r.text);
    d["damage"] = latin1(r.damage);
    d["event_channel"] = r.eventChannel;
    py::list chans;
    for (const ChannelDesc& c : r.channels) {
      py::dict cd;
      cd["index"] = c.index;
      cd["number"] = c.number;
      cd["label"] = latin1(c.label);
      cd["unit"] = latin1(c.unit);
      cd["rate"] = c.rate;
      cd["flags"] = c.flags;
      cd["filters"] = py::make_tuple(c.filterA, c.filterB);
      if (c.calibrated)
        cd["calibration"] = py::make_tuple(c.digitalMin, c.digitalMax, c.physicalMin, c.physicalMax);
      else
        cd["calibration"] = py::none();
      chans.append(cd);
    }
    d["channels"] = chans;
    return d;
  }

  // Samples of channels `chans` from `start` to `stop` seconds (stop already
  // within the record), one array per channel at its own rate, in a dict under
  // the given keys.  Sample k of a channel of rate R lies at k / R seconds;
  // the window holds the samples whose times lie in [start, stop).
  py::dict read(uint32_t record, const std::vector<uint32_t>& chans, const py::list& keys, double start,
                double stop) {
    const RecordDesc& r = desc(record);
    const std::string where = at_record(path_, record);
    if (!r.damage.empty()) fail(where, r.damage);
    if (!r.hasFrames) fail(where, "it holds no frames");
    if (!(start >= 0) || !(stop >= start)) fail(where, "the window's times are not in order");
    const uint64_t fs = r.frameSeconds;
    const uint64_t total = uint64_t(r.frames) * fs;
    if (stop > double(total)) fail(where, "the window ends after the record");
    const uint64_t s0 = uint64_t(std::floor(start));
    const uint64_t s1 = uint64_t(std::ceil(stop));
    if (s1 > 0 && (s1 + fs - 1) / fs > r.storedFrames)
      fail(where, "the file ends in frame " + std::to_string(r.storedFrames + 1) + " of " +
                      std::to_string(r.frames) + " (it is cut short)");

    const size_t n = chans.size();
    std::vector<uint64_t> offset(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
      if (chans[i] >= r.channels.size()) fail(where, "there is no channel " + std::to_string(chans[i] + 1));
      offset[i + 1] = offset[i] + (s1 - s0) * r.channels[chans[i]].rate;
    }
    py::array_t<int16_t> block = window_block(offset[n]);
    std::vector<int16_t*> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = block.mutable_data() + offset[i];
    // Seconds per library read: the whole window when it is small, else
    // pieces of about kReadChunkBytes.
    const uint64_t perSecond = std::max<uint64_t>(1, r.frameBytes / std::max<uint64_t>(1, fs));
    uint64_t chunk = std::max<uint64_t>(fs, kReadChunkBytes / perSecond / fs * fs);
    chunk = std::min<uint64_t>(chunk, s1 - s0);
    if (chunk > 0) {
      prepare(record, uint32_t(chunk));
      for (uint64_t s = s0; s < s1; s += chunk) {
        const uint32_t len = uint32_t(std::min<uint64_t>(chunk, s1 - s));
        if (DARARARReadFrameWaveEx(h_, uint16_t(record), int32_t(s), len) < 0)
          fail(where, "the frames at " + std::to_string(s) + " s cannot be read");
        for (size_t i = 0; i < n; ++i) {
          const ChannelDesc& c = r.channels[chans[i]];
          const uint64_t want = uint64_t(len) * c.rate;
          if (want == 0) continue;
          const int32_t got = DARARARGetFrameWaveEx(h_, uint16_t(record), uint16_t(c.index),
                                                    out[i] + (s - s0) * c.rate, 0, len);
          if (got < 0 || uint64_t(got) != want)
            fail(where, "channel " + std::to_string(c.index + 1) + " '" + c.label + "': the library handed out " +
                            std::to_string(got) + " of " + std::to_string(want) + " samples at " +
                            std::to_string(s) + " s");
        }
      }
    }
    // Each channel's samples are a view into the block they were copied to.
    py::dict result;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t rate = r.channels[chans[i]].rate;
      const uint64_t size = offset[i + 1] - offset[i];
      const uint64_t a = std::min(sample_at(start, rate, s0), size);
      const uint64_t b = std::max(a, std::min(sample_at(stop, rate, s0), size));
      result[keys[i]] = py::array_t<int16_t>({py::ssize_t(b - a)}, {py::ssize_t(sizeof(int16_t))},
                                             out[i] + a, block);
    }
    return result;
  }

  // For the benchmark: the C interface's own time for paging through the
  // record in windows of `window` seconds with every channel handed out into
  // reused buffers - the calls read() makes, without Python.  Seconds.
  double time_windows(uint32_t record, uint32_t window) {
    const RecordDesc& r = desc(record);
    if (!r.damage.empty() || !r.hasFrames || window == 0) fail(at_record(path_, record), "cannot be paged");
    const uint64_t total = uint64_t(r.storedFrames) * r.frameSeconds;
    std::vector<std::vector<int16_t>> out(r.channels.size());
    for (const ChannelDesc& c : r.channels) out[c.index].resize(size_t(window) * c.rate);
    const auto t0 = std::chrono::steady_clock::now();
    prepare(record, window);
    for (uint64_t s = 0; s + window <= total; s += window) {
      if (DARARARReadFrameWaveEx(h_, uint16_t(record), int32_t(s), window) < 0) fail(path_, "a window failed");
      for (const ChannelDesc& c : r.channels)
        DARARARGetFrameWaveEx(h_, uint16_t(record), uint16_t(c.index), out[c.index].data(), 0, window);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }

  // The nonzero samples of the event channel: their times and codes.
  py::tuple event_codes(uint32_t record) {
    const RecordDesc& r = desc(record);
    std::vector<double> onsets;
    std::vector<uint16_t> codes;
    if (r.eventChannel >= 0 && r.hasFrames && r.frames && r.damage.empty()) {
      const ChannelDesc& c = r.channels[size_t(r.eventChannel)];
      const uint64_t total = std::min(r.frames, r.storedFrames) * uint64_t(r.frameSeconds);
      const uint64_t perSecond = std::max<uint64_t>(1, r.frameBytes / r.frameSeconds);
      uint64_t chunk = std::max<uint64_t>(r.frameSeconds, kReadChunkBytes / perSecond / r.frameSeconds * r.frameSeconds);
      chunk = std::min(chunk, total);
      std::vector<int16_t> v;
      if (chunk && c.rate) prepare(record, uint32_t(chunk));
      for (uint64_t s = 0; chunk && c.rate && s < total; s += chunk) {
        const uint32_t len = uint32_t(std::min(chunk, total - s));
        v.resize(size_t(len) * c.rate);
        if (DARARARReadFrameWaveEx(h_, uint16_t(record), int32_t(s), len) < 0 ||
            DARARARGetFrameWaveEx(h_, uint16_t(record), uint16_t(c.index), v.data(), 0, len) != int32_t(v.size()))
          fail(at_record(path_, record), "the event channel at " + std::to_string(s) + " s cannot be read");
        for (size_t k = 0; k < v.size(); ++k) {
          if (v[k] == 0) continue;
          onsets.push_back(double(s) + double(k) / c.rate);
          codes.push_back(uint16_t(v[k]));
        }
      }
    }
    return py::make_tuple(py::array_t<double>(py::ssize_t(onsets.size()), onsets.data()),
                          py::array_t<uint16_t>(py::ssize_t(codes.size()), codes.data()));
  }

  // The annotation table as (onset, duration, text) lists; None when the
  // record has no table of this kind.
  py::object annotations(uint32_t record) {
    live();
    uint32_t head[kHeadWords] = {};
    if (record >= records_ || RAZIVERAFindIndexPtr(h_, uint16_t(record), kEventTableChunk, 0, head) == 0)
      return py::none();
    if (head[kHeadId] != kAnnotationTableId || head[kHeadFirstEntrySize] != kEventEntryHeadBytes + kAnnotationDataSize)
      return py::none();
    std::vector<double> onset, duration;
    py::list text;
    const int32_t n = DARARARReadEventInfo(h_, uint16_t(record));
    for (int32_t i = 1; i <= n && uint32_t(i) <= kMaxAnnotations; ++i) {
      uint32_t value = 0;
      uint8_t data[kEventDataRoom] = {};
      if (DARARARGetEventTableInfo(h_, uint16_t(record), uint16_t(i), &value, data) != 1) break;
      onset.push_back(value / kMillis);
      duration.push_back(load_le32(data + kAnnotationDuration) / kMillis);
      const char* t = reinterpret_cast<const char*>(data + kAnnotationText);
      text.append(latin1(std::string(t, strnlen(t, kAnnotationTextSize))));
    }
    return py::make_tuple(py::array_t<double>(py::ssize_t(onset.size()), onset.data()),
                          py::array_t<double>(py::ssize_t(duration.size()), duration.data()), text);
  }

  // The score table: (stages, epoch seconds, text, id); None when none.
  py::object score_table(uint32_t record) {
    live();
    uint32_t head[kHeadWords] = {};
    if (record >= records_ || RAZIVERAFindIndexPtr(h_, uint16_t(record), kScoreTableChunk, 0, head) == 0)
      return py::none();
    const int32_t n = DARARARReadScoreInfo(h_, uint16_t(record), 0);
    const auto setting = [&](uint16_t item, int32_t index) {
      uint32_t v = 0;
      DARARARGetScoreTableInfo(h_, item, index, &v);
      return v;
    };
    std::vector<uint32_t> entries;
    for (int32_t i = 0; i < n && uint32_t(i) < kMaxScoreEntries; ++i) entries.push_back(setting(kScoreEntryWhole, i));
    char text[kScoreTextRoom + 1] = {};
    DARARARGetScoreTableText(h_, kScoreText, 0, text);
    return py::make_tuple(py::array_t<uint32_t>(py::ssize_t(entries.size()), entries.data()),
                          setting(kScoreSettingEpoch, 0), latin1(text), head[kHeadId]);
  }

  // The record's text list of notes: {id: text}.
  py::dict texts(uint32_t record) {
    live();
    py::dict out;
    if (record >= records_) return out;
    HGLOBAL buf = RAZIVERACreateTextBuffer(kTextListCapacity);
    if (!buf) fail(path_, "out of memory for the text list");
    const uint32_t n = DARARARReadTextInfo(h_, buf, record, kTextListType);
    for (uint32_t i = 0; i < n && i < kTextListCapacity; ++i) {
      char text[kTextBufferRoom + 1] = {};
      const uint32_t packed = RAZIVERAGetTextBuffer(h_, buf, int32_t(i), text);
      if (packed) out[py::int_(packed & 0xFFFF)] = latin1(text);
    }
    GlobalFree(buf);
    return out;
  }

 private:
  HGLOBAL live() {
    if (!h_) fail(path_, "the recording is closed");
    return h_;
  }

  // The block a window's samples are copied to.  The last one is used again
  // when nothing refers to it any more (the caller dropped the previous
  // window's arrays): paging through a night then copies into memory that is
  // already mapped instead of fresh pages for every window.
  py::array_t<int16_t> window_block(uint64_t samples) {
    if (block_ && Py_REFCNT(block_.ptr()) == 1 && uint64_t(block_.size()) >= samples &&
        uint64_t(block_.size()) <= 2 * samples)
      return block_;
    py::array_t<int16_t> fresh(py::ssize_t(std::max<uint64_t>(samples, 1)));
    block_ = samples * sizeof(int16_t) <= kKeptBlockBytes ? fresh : py::array_t<int16_t>();
    return fresh;
  }

  // The read buffers hold windows of at least `seconds`.
  void prepare(uint32_t record, uint32_t seconds) {
    auto it = window_.find(record);
    if (it != window_.end() && it->second >= seconds) return;
    DARARARCreateReadFrameBuf(h_, uint16_t(record), seconds);
    window_[record] = seconds;
  }

  const RecordDesc& desc(uint32_t record) {
    live();
    if (record >= records_)
      fail(path_, "there is no record " + std::to_string(record) + " (it has " + std::to_string(records_) + ")");
    auto it = desc_.find(record);
    if (it != desc_.end()) return it->second;
    RecordDesc r;
    if (!read_desc(record, r)) fail(at_record(path_, record), "its wave information cannot be read");
    return desc_.emplace(record, std::move(r)).first->second;
  }

  bool read_desc(uint32_t record, RecordDesc& out) {
    const uint16_t r = uint16_t(record);
    out.index = record;
    if (DARARARReadRecordInfo(h_, record) != 1) return false;
    const auto wave = [&](uint16_t item) { return DARARARGetWaveInfo(h_, r, item); };
    out.code = wave(kWaveCode);
    const uint32_t channels = std::min(wave(kWaveChannels), kMaxChannels);
    out.year = wave(kWaveYear);
    out.month = wave(kWaveMonth);
    out.day = wave(kWaveDay);
    out.hour = wave(kWaveHour);
    out.minute = wave(kWaveMinute);
    out.second = wave(kWaveSecond);
    out.mains = wave(kWaveMains);
    char text[kWaveTextRoom + 8] = {};
    DARARARGetWaveText(h_, r, kWaveText, text);
    out.text = text;
    if (channels && DARARARReadChannelInfo(h_, r) == 1) {
      const bool userValues = DARARARReadUserChannelInfo(h_, r) == 1;
      for (uint32_t c = 0; c < channels; ++c) {
        ChannelDesc d;
        d.index = c;
        const auto item = [&](uint16_t i) { return DARARARGetFrameChInfo(h_, r, i, uint16_t(c)); };
        d.number = item(kChNumber);
        d.flags = item(kChFlags);
        d.rate = item(kChRate);
        d.filterA = int32_t(item(kChFilterA));
        d.filterB = int32_t(item(kChFilterB));
        char label[kLabelRoom + 8] = {}, unit[kUnitRoom + 8] = {};
        DARARARGetFrameChText(h_, r, kChLabel, uint16_t(c), label);
        DARARARGetFrameChText(h_, r, kChUnit, uint16_t(c), unit);
        d.label = label;
        d.unit = unit;
        if (userValues && item(kCalMark) == kCalibrationMark) {
          const int32_t dmin = int16_t(uint16_t(item(kCalDigitalMin)));
          const int32_t dmax = int16_t(uint16_t(item(kCalDigitalMax)));
          const double pmin = double_from_words(item(kCalPhysicalMinLow), item(kCalPhysicalMinHigh));
          const double pmax = double_from_words(item(kCalPhysicalMaxLow), item(kCalPhysicalMaxHigh));
          if (dmin < dmax && pmin != pmax && std::isfinite(pmin) && std::isfinite(pmax)) {
            d.calibrated = true;
            d.digitalMin = dmin;
            d.digitalMax = dmax;
            d.physicalMin = pmin;
            d.physicalMax = pmax;
          }
        }
        if (out.eventChannel < 0 && upper(trim(d.label)) == kEventLabel) out.eventChannel = int(c);
        out.channels.push_back(d);
      }
    }
    out.baseRate = wave(kWaveBaseRate);
    if (DARARARReadFrameInfo(h_, r) == 1) {
      out.hasFrames = true;
      out.frameSeconds = wave(kWaveFrameSeconds);
      out.frames = wave(kWaveFrames);
      out.frameBytes = wave(kWaveFrameSize);
      out.framePosition = wave(kWaveFramePosition);
    }
    check_frames(out);
    return true;
  }

  // Whether the frames can be read as described: every channel's block
  // inside the frame, and the frames inside the file.
  void check_frames(RecordDesc& r) {
    if (!r.hasFrames || r.frames == 0) return;
    if (r.frameSeconds == 0) {
      r.damage = "its frames have no length in seconds";
      return;
    }
    if (uint64_t(r.frames) * r.frameSeconds > uint64_t(INT32_MAX)) {
      r.damage = "its frames last longer than the library can address";
      return;
    }
    uint64_t need = kFrameHeadBytes;
    for (const ChannelDesc& c : r.channels) need += uint64_t(c.rate) * r.frameSeconds * sizeof(int16_t);
    if (need > r.frameBytes) {
      r.damage = "its channels need " + std::to_string(need) + " bytes per frame but a frame holds " +
                 std::to_string(r.frameBytes);
      return;
    }
    const uint64_t end = uint64_t(r.framePosition) + uint64_t(r.frames) * r.frameBytes;
    r.storedFrames = r.frames;
    if (size_ && end > size_)
      r.storedFrames = size_ > r.framePosition ? uint32_t((size_ - r.framePosition) / r.frameBytes) : 0;
  }

  std::string path_;
  HGLOBAL h_ = nullptr;
  uint32_t records_ = 0;
  uint64_t size_ = 0;
  std::map<uint32_t, RecordDesc> desc_;
  std::map<uint32_t, uint32_t> window_;
  py::array_t<int16_t> block_;
};

// ---- Writing ------------------------------------------------------------------------

struct ChannelSpec {
  std::string label, unit;
  uint32_t rate = 0, number = 0;
  int32_t filterA = 0, filterB = 0;
};

struct Annotation {
  double onset, duration;
  std::string text;
};

class Writer {
 public:
  Writer(const std::string& path, const std::vector<ChannelSpec>& channels, const std::vector<uint32_t>& start,
         uint32_t frameSeconds, bool big, const std::string& text, uint32_t mains)
      : path_(path), channels_(channels), frameSeconds_(frameSeconds) {
    if (channels.empty() || channels.size() > kMaxChannels) fail(path, "a recording has 1 to 256 channels");
    if (frameSeconds == 0) fail(path, "frames last at least one second");
    if (start.size() != 6) fail(path, "the start is year, month, day, hour, minute, second");
    if (path.size() > size_t(kMaxPathChars)) fail(path, "the path is longer than the library takes (259 characters)");
    uint64_t frameBytes = kFrameHeadBytes;
    for (const ChannelSpec& c : channels) {
      if (c.rate == 0) fail(path, "channel '" + c.label + "' has no sampling rate");
      baseRate_ = std::max(baseRate_, c.rate);
      frameBytes += uint64_t(c.rate) * frameSeconds * sizeof(int16_t);
    }
    batch_ = uint32_t(std::clamp<uint64_t>(kWriteBufferBytes / frameBytes, 1, kMaxFramesPerBuffer));
    pending_.resize(channels.size());

    h_ = RAZIVERAOpenBioFile(path.c_str(), kOpenCreate, batch_);
    if (!h_) fail(path, "cannot create it");
    const uint16_t count = uint16_t(channels.size());
    bool ok = RAZIVERASetInfo(h_, kHeaderByteOrder, big ? 1 : 0) == 1 && DARARARCreateBaseHeader(h_) == 1 &&
              DARARARStartRecordWave(h_) == 0;
    const std::pair<WaveItem, uint32_t> wave[] = {
        {kWaveChannels, count},   {kWaveFrameSeconds, frameSeconds}, {kWaveBaseRate, baseRate_},
        {kWaveTotalSamples, 0},   {kWaveYear, start[0]},             {kWaveMonth, start[1]},
        {kWaveDay, start[2]},     {kWaveHour, start[3]},             {kWaveMinute, start[4]},
        {kWaveSecond, start[5]},  {kWaveMains, mains}};
    for (const auto& w : wave) ok = ok && DARARARSetWaveInfo(h_, 0, w.first, w.second) == 1;
    if (ok && !text.empty()) DARARARSetWaveText(h_, 0, kWaveText, text.c_str());
    for (uint16_t c = 0; c < count && ok; ++c) {
      const ChannelSpec& s = channels[c];
      ok = DARARARSetFrameChInfo(h_, 0, kChNumber, c, s.number ? s.number : c + 1u) == 1 &&
           DARARARSetFrameChInfo(h_, 0, kChRate, c, s.rate) == 1 &&
           DARARARSetFrameChText(h_, 0, kChLabel, c, s.label.c_str()) == 1 &&
           DARARARSetFrameChText(h_, 0, kChUnit, c, s.unit.c_str()) == 1;
      if (ok && s.filterA) ok = DARARARSetFrameChInfo(h_, 0, kChFilterA, c, uint32_t(s.filterA)) == 1;
      if (ok && s.filterB) ok = DARARARSetFrameChInfo(h_, 0, kChFilterB, c, uint32_t(s.filterB)) == 1;
    }
    ok = ok && DARARARCreateWaveInfo(h_) != 0 && DARARARCreateFrameChInfo(h_) != 0 &&
         DARARARCreateFrameBuf(h_, uint16_t(batch_)) != 0;
    if (!ok) {
      abandon();
      fail(path, "the library could not write its description (is the disk full?)");
    }
  }
  ~Writer() { abandon(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Appends samples of some channels; whole frames go to the file as soon as
  // every channel has them.
  void write(const std::vector<std::pair<uint32_t, py::array_t<int16_t, py::array::c_style>>>& blocks) {
    live();
    for (const auto& b : blocks) {
      if (b.first >= channels_.size()) fail(path_, "there is no channel " + std::to_string(b.first + 1));
      std::vector<int16_t>& p = pending_[b.first];
      p.insert(p.end(), b.second.data(), b.second.data() + b.second.size());
    }
    flush(false);
  }

  void add_annotation(double onset, double duration, const std::string& text) {
    live();
    if (!(onset >= 0) || onset * kMillis > double(UINT32_MAX)) fail(path_, "an event's onset lies outside the record");
    if (!(duration >= 0) || duration * kMillis > double(UINT32_MAX)) fail(path_, "an event's duration is out of range");
    if (annotations_.size() >= kMaxAnnotations) fail(path_, "the event table is full (65535 events)");
    annotations_.push_back({onset, duration, text.substr(0, kAnnotationTextSize)});
  }

  void set_hypnogram(const std::vector<uint32_t>& stages, uint32_t epochSeconds, const std::string& text) {
    live();
    if (stages.size() > kMaxScoreEntries) fail(path_, "the hypnogram has too many epochs");
    if (epochSeconds == 0) fail(path_, "epochs last at least one second");
    if (text.size() >= kScoreTextRoom) fail(path_, "the hypnogram's text holds at most 62 characters");
    stages_ = stages;
    epochSeconds_ = epochSeconds;
    scoreText_ = text;
  }

  void add_text(uint32_t id, const std::string& text) {
    live();
    if (id == 0 || id > 0xFFFF) fail(path_, "a text's id is 1 to 65535");
    if (texts_.size() >= kTextListCapacity && !texts_.count(uint16_t(id))) fail(path_, "the text list is full");
    texts_[uint16_t(id)] = text.substr(0, kMaxTextChars);
  }

  // Samples waiting for the other channels, per channel (a last partial frame).
  std::vector<size_t> pending() const {
    std::vector<size_t> n;
    for (const auto& p : pending_) n.push_back(p.size());
    return n;
  }

  // Writes what remains (a partial last frame completed with zeros), the
  // tables and the end of the record.  Returns the frames written.
  uint32_t close() {
    live();
    flush(true);
    bool ok = write_tables() && DARARAREndRecordWave(h_) != 0;
    ok = RAZIVERACloseBioFile(h_) == nullptr && ok;
    h_ = nullptr;
    if (!ok) fail(path_, "the library could not finish the record (is the disk full?)");
    return frames_;
  }

  // Closes the file as it stands (an error in the caller's code).
  void abandon() {
    if (h_) RAZIVERACloseBioFile(h_);
    h_ = nullptr;
  }

  uint32_t frames() const { return frames_; }

 private:
  HGLOBAL live() {
    if (!h_) fail(path_, "the writer is closed");
    return h_;
  }

  void flush(bool all) {
    uint64_t ready = UINT64_MAX, most = 0;
    for (size_t c = 0; c < channels_.size(); ++c) {
      const uint64_t per = uint64_t(channels_[c].rate) * frameSeconds_;
      ready = std::min<uint64_t>(ready, pending_[c].size() / per);
      most = std::max<uint64_t>(most, (pending_[c].size() + per - 1) / per);
    }
    uint64_t n = all ? most : ready;
    if (n == 0) return;
    if (all)
      for (size_t c = 0; c < channels_.size(); ++c)
        pending_[c].resize(size_t(n * channels_[c].rate * frameSeconds_), 0);
    std::vector<size_t> used(channels_.size(), 0);
    while (n > 0) {
      const uint16_t k = uint16_t(std::min<uint64_t>(n, batch_));
      for (size_t c = 0; c < channels_.size(); ++c) {
        if (DARARARSetFramePointWaveEx(h_, kPickEvery, 0, k, uint16_t(c), kSampleStride,
                                       pending_[c].data() + used[c]) != k)
          fail(path_, "the library refused the samples of channel '" + channels_[c].label + "'");
        used[c] += size_t(k) * channels_[c].rate * frameSeconds_;
      }
      if (DARARARSaveFrameWave(h_, k) != k) fail(path_, "the frames could not be written (is the disk full?)");
      frames_ += k;
      // The stored frame count stays current for a reader following the file.
      DARARARUpdateWaveInfo(h_, uint32_t(uint64_t(frames_) * frameSeconds_ * baseRate_));
      n -= k;
    }
    for (size_t c = 0; c < channels_.size(); ++c)
      pending_[c].erase(pending_[c].begin(), pending_[c].begin() + std::ptrdiff_t(used[c]));
  }

  bool write_tables() {
    if (!annotations_.empty()) {
      if (DARARARCreateEventTable(h_, 0, kAnnotationTableId, int32_t(annotations_.size()), kAnnotationDataSize) != 1)
        return false;
      for (size_t i = 0; i < annotations_.size(); ++i) {
        const Annotation& a = annotations_[i];
        uint8_t data[kAnnotationDataSize] = {};
        store_le32(data + kAnnotationDuration, uint32_t(std::llround(a.duration * kMillis)));
        std::copy_n(a.text.data(), std::min<size_t>(a.text.size(), kAnnotationTextSize), data + kAnnotationText);
        if (DARARARSetEventTableInfo(h_, 0, uint16_t(i + 1), uint32_t(std::llround(a.onset * kMillis)), data) != 1)
          return false;
      }
      if (DARARARCreateEventInfo(h_) == 0) return false;
    }
    if (!texts_.empty()) {
      HGLOBAL buf = RAZIVERACreateTextBuffer(uint16_t(texts_.size()));
      if (!buf) return false;
      bool ok = true;
      for (const auto& t : texts_)
        ok = ok && RAZIVERASetTextBuffer(h_, buf, -1, uint16_t(t.second.size()), t.first, t.second.c_str()) != 0;
      ok = ok && DARARARCreateTextInfo(h_, buf, kTextListType, uint16_t(texts_.size())) != 0;
      GlobalFree(buf);
      if (!ok) return false;
    }
    if (!stages_.empty()) {
      if (DARARARCreateScoreTable(h_, kHypnogramId, uint32_t(stages_.size())) != 1) return false;
      bool ok = DARARARSetScoreTableInfo(h_, kScoreSettingCount, 0, uint32_t(stages_.size())) == 1 &&
                DARARARSetScoreTableInfo(h_, kScoreSettingEpoch, 0, epochSeconds_) == 1;
      // Sleep onset, first REM sleep and the last sleep, as the index settings.
      const auto sleep = [](uint32_t s) { return s == kN1 || s == kN2 || s == kN3 || s == kRem; };
      int64_t marks[kScoreMarks] = {-1, -1, -1};
      for (size_t i = 0; i < stages_.size(); ++i) {
        if (sleep(stages_[i]) && marks[0] < 0) marks[0] = int64_t(i);
        if (stages_[i] == kRem && marks[1] < 0) marks[1] = int64_t(i);
        if (sleep(stages_[i])) marks[2] = int64_t(i);
      }
      for (uint16_t k = 0; k < kScoreMarks; ++k)
        if (marks[k] >= 0)
          ok = ok && DARARARSetScoreTableInfo(h_, uint16_t(kScoreSleepOnset + k), 0, uint32_t(marks[k])) == 1;
      for (size_t i = 0; i < stages_.size() && ok; ++i)
        ok = DARARARSetScoreTableInfo(h_, kScoreEntry, int32_t(i), stages_[i]) == 1;
      if (!scoreText_.empty()) ok = ok && DARARARSetScoreTableText(h_, kScoreText, 0, scoreText_.c_str()) == 1;
      if (!ok || DARARARCreateScoreInfo(h_, 0) == 0) return false;
    }
    return true;
  }

  std::string path_;
  std::vector<ChannelSpec> channels_;
  uint32_t frameSeconds_;
  uint32_t baseRate_ = 0;
  uint32_t batch_ = 1;
  uint32_t frames_ = 0;
  HGLOBAL h_ = nullptr;
  std::vector<std::vector<int16_t>> pending_;
  std::vector<Annotation> annotations_;
  std::map<uint16_t, std::string> texts_;
  std::vector<uint32_t> stages_;
  uint32_t epochSeconds_ = 0;
  std::string scoreText_;
};

}  // namespace

PYBIND11_MODULE(_razivera, m) {
  m.doc() = "Recordings in the VOZO-PSG File Format through the RAZIVERA library";
  static py::exception<std::runtime_error> error(m, "Error", PyExc_OSError);
  g_error = error.ptr();
  m.attr("CHANNEL_TEXT_KEPT") = kChannelTextKept;
  m.attr("ANNOTATION_TEXT_KEPT") = kAnnotationTextSize;

  py::class_<File>(m, "File")
      .def(py::init<const std::string&>(), py::arg("path"))
      .def("close", &File::close)
      .def_property_readonly("closed", &File::closed)
      .def_property_readonly("records", &File::records)
      .def_property_readonly("byte_order", &File::byte_order)
      .def_property_readonly("version", &File::version)
      .def("describe", &File::describe)
      .def("read", &File::read)
      .def("event_codes", &File::event_codes)
      .def("annotations", &File::annotations)
      .def("score_table", &File::score_table)
      .def("texts", &File::texts)
      .def("_time_windows", &File::time_windows);

  py::class_<ChannelSpec>(m, "ChannelSpec")
      .def(py::init([](const std::string& label, const std::string& unit, uint32_t rate, uint32_t number,
                       int32_t filterA, int32_t filterB) {
             return ChannelSpec{label, unit, rate, number, filterA, filterB};
           }),
           py::arg("label"), py::arg("unit"), py::arg("rate"), py::arg("number"), py::arg("filter_a"),
           py::arg("filter_b"));

  py::class_<Writer>(m, "Writer")
      .def(py::init<const std::string&, const std::vector<ChannelSpec>&, const std::vector<uint32_t>&, uint32_t, bool,
                    const std::string&, uint32_t>())
      .def("write", &Writer::write)
      .def("add_annotation", &Writer::add_annotation)
      .def("set_hypnogram", &Writer::set_hypnogram)
      .def("add_text", &Writer::add_text)
      .def("pending", &Writer::pending)
      .def("close", &Writer::close)
      .def("abandon", &Writer::abandon)
      .def_property_readonly("frames", &Writer::frames);
}
