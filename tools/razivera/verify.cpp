#include "verify.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "commands.h"
#include "format/layout.h"
#include "text.h"

namespace tool {
namespace {

using namespace rz;
using namespace rz::container;

// At most this many frames are reported one by one; the rest are counted.
constexpr uint32_t kFramesReported = 5;

uint64_t round4(uint64_t n) { return (n + 3) & ~uint64_t(3); }

// The checks of one record, with what its chunks tell about each other.
class RecordCheck {
 public:
  RecordCheck(ByteSource& src, const FileView& v, const RecordView& r, uint32_t index, Findings& f)
      : src_(src), big_(v.big), r_(r), index_(index), f_(f) {}

  void run(VerifySummary& sum) {
    const ChunkView* wave = nullptr;
    const ChunkView* channels = nullptr;
    const ChunkView* frames = nullptr;
    for (const ChunkView& c : r_.chunks) {
      if (c.truncated) continue;  // already reported by the walk
      switch (c.type) {
        case kWaveInfo: once(c, wave); break;
        case kFrameChInfo: once(c, channels); break;
        case kFrameInfo: once(c, frames); break;
        default: break;
      }
    }
    // The wave information and the channel definitions first: the frame area
    // and the per-channel chunks are checked against them.
    if (wave) check_wave(*wave);
    if (channels) check_channels(*channels);
    for (const ChunkView& c : r_.chunks) {
      if (c.truncated) continue;
      switch (c.type) {
        case kWaveInfo:
        case kFrameChInfo:
        case kFrameInfo: break;
        case kEventTable: check_event_table(c); break;
        case kScoreTable: check_score_table(c); break;
        case kUserChInfo: check_user_channels(c); break;
        case kNonLinearInfo: check_nonlinear(c); break;
        case kUserText: check_text_list(c, true); break;
        case kUserByte: check_user_data(c, 1); break;
        case kUserWord:
        case kUserShort: check_user_data(c, 2); break;
        case kUserDword:
        case kUserLong:
        case kUserFloat: check_user_data(c, 4); break;
        case kFrameChEntry:
        case kFrameWave:
        case kUserChEntry:
          problem(c.offset, strf("a %s chunk stands on its own, outside the chunk that holds such "
                                 "entries",
                                 chunk_type_name(c.type)));
          break;
        default: check_writer_chunk(c); break;
      }
    }
    if (frames) {
      if (!wave) problem(frames->offset, "a frame area without wave information");
      if (!channels) problem(frames->offset, "a frame area without channel definitions");
      sum.frames += check_frames(*frames);
    } else if (channels && !wave) {
      problem(channels->offset, "channel definitions without wave information");
    }
    sum.chunks += uint32_t(r_.chunks.size());
    sum.channels = std::max(sum.channels, std::min(channelCount_, kMaxChannels));
  }

 private:
  void problem(uint64_t offset, const std::string& text) {
    f_.add(offset, strf("record %u: %s", index_, text.c_str()));
  }

  // Remembers the first chunk of a type that readers find; a second one is
  // never seen by them.
  void once(const ChunkView& c, const ChunkView*& first) {
    if (!first) {
      first = &c;
    } else {
      problem(c.offset, strf("a second %s chunk; readers only ever find the first at %llu",
                             chunk_type_name(c.type), llu(first->offset)));
    }
  }

  // Reads up to n bytes of a chunk (never beyond its size); missing bytes are 0.
  std::vector<uint8_t> bytes(const ChunkView& c, uint64_t from, uint32_t n) {
    std::vector<uint8_t> b(n, 0);
    if (from < c.size) {
      const uint64_t room = c.size - from;
      src_.read(c.offset + from, b.data(), size_t(n < room ? n : room));
    }
    return b;
  }

  uint32_t u32(const std::vector<uint8_t>& b, uint32_t off) const {
    return off + 4 <= b.size() ? load_u32(b.data(), off, big_) : 0;
  }

  void check_wave(const ChunkView& c) {
    using namespace rz::wave_info;
    if (c.size != kSize) problem(c.offset, strf("WaveInfo is %u bytes, not %u", c.size, kSize));
    const std::vector<uint8_t> b = bytes(c, 0, kSize);
    haveWave_ = true;
    const uint32_t count = u32(b, kChannelCount);
    channelCount_ = count;
    if (count > kMaxChannels)
      problem(c.offset + kChannelCount,
              strf("wave information names %u channels; a record holds at most %u", count, kMaxChannels));
    const uint32_t frames = u32(b, kTotalFrames);
    if (frames > kMaxTotalFrames)
      problem(c.offset + kTotalFrames,
              strf("frame count %u is beyond %u and reads as 0", frames, kMaxTotalFrames));
    struct Field {
      uint32_t off;
      const char* name;
      uint32_t limit;
    };
    const Field fields[] = {{kStartMonth, "month", 12},
                            {kStartDay, "day", 31},
                            {kStartHour, "hour", 23},
                            {kStartMinute, "minute", 59},
                            {kStartSecond, "second", 59}};
    for (const Field& fd : fields) {
      const uint32_t value = u32(b, fd.off);
      if (value > fd.limit) problem(c.offset + fd.off, strf("start %s %u is out of range", fd.name, value));
    }
    startSecond_ = uint64_t(u32(b, kStartHour) & 0xFFFF) * 3600 + uint64_t(u32(b, kStartMinute) & 0xFFFF) * 60 +
                   (u32(b, kStartSecond) & 0xFFFF);
    const uint32_t mains = load_u32(b.data(), kMainsFrequency, false);
    if (mains != 0 && mains != 50 && mains != 60)
      problem(c.offset + kMainsFrequency,
              strf("power-line frequency %u Hz is neither 50 nor 60 and reads as 0", mains));
  }

  void check_channels(const ChunkView& c) {
    using namespace rz::frame_ch_info;
    namespace entry = rz::frame_ch_entry;
    if (c.size < kHeadSize) {
      problem(c.offset, strf("FrameChInfo is %u bytes, less than its %u-byte head", c.size, kHeadSize));
      return;
    }
    const std::vector<uint8_t> head = bytes(c, 0, kHeadSize);
    const uint32_t count = u32(head, kChannelCount);
    const uint32_t entrySize = u32(head, kEntrySizeWord);
    haveChannels_ = true;
    if (count > kMaxChannels)
      problem(c.offset + kChannelCount,
              strf("channel definitions for %u channels; a record holds at most %u", count, kMaxChannels));
    if (entrySize != entry::kSize)
      problem(c.offset + kEntrySizeWord,
              strf("channel entries of %u bytes, expected %u", entrySize, entry::kSize));
    if (uint64_t(c.size) != kHeadSize + uint64_t(count) * entrySize)
      problem(c.offset, strf("FrameChInfo is %u bytes, but its head says %u entries of %u bytes (%llu)",
                             c.size, count, entrySize, llu(kHeadSize + uint64_t(count) * entrySize)));
    if (haveWave_ && count != channelCount_)
      problem(c.offset + kChannelCount, strf("%u channel definitions for the %u channels of the wave information",
                                      count, channelCount_));
    if (entrySize != entry::kSize) return;  // the entries cannot be told apart
    const uint32_t n = count < kMaxChannels ? count : kMaxChannels;
    uint32_t fastest = 0;
    for (uint32_t k = 0; k < n; ++k) {
      const uint64_t at = kHeadSize + uint64_t(k) * entry::kSize;
      if (at + entry::kSize > c.size) break;
      const std::vector<uint8_t> e = bytes(c, at, entry::kSize);
      const uint64_t pos = c.offset + at;
      if (u32(e, chunk_head::kSizeWord) != entry::kSize || u32(e, chunk_head::kType) != kFrameChEntry ||
          u32(e, chunk_head::kId) != k + 1)
        problem(pos, strf("channel %u: entry head says size %u, type %u, id %u (expected %u, %u, %u)", k,
                          u32(e, chunk_head::kSizeWord), u32(e, chunk_head::kType), u32(e, chunk_head::kId),
                          entry::kSize, unsigned(kFrameChEntry), k + 1));
      uint32_t s = u32(e, entry::kSampling);
      if (s == 0) s = fastest;  // readers fall back to the fastest channel so far
      uint32_t rate = s;
      if (u32(e, entry::kFlags) & entry::kFlagPeriod) rate = s ? entry::kMicroseconds / s : 0;
      if (s == 0 || rate == 0) problem(pos + entry::kSampling, strf("channel %u has no sampling rate", k));
      if (rate > fastest) fastest = rate;
      rates_.push_back(rate);
    }
  }

  // Returns the number of frames whose heads were checked.
  uint64_t check_frames(const ChunkView& c) {
    using namespace rz::frames::info;
    namespace frame_wave = rz::frames::wave;
    if (c.size < kSize) {
      problem(c.offset, strf("FrameInfo is %u bytes, less than its %u-byte head", c.size, kSize));
      return 0;
    }
    const std::vector<uint8_t> head = bytes(c, 0, kSize);
    const uint32_t seconds = u32(head, kFrameSeconds);
    const uint32_t frameSize = u32(head, kFrameChunkSize);
    const uint32_t count = u32(head, kFrameCount);
    if (seconds == 0) problem(c.offset + kFrameSeconds, "frames of 0 seconds");
    if (frameSize < frames::wave::kHeadSize || frameSize % 2) {
      problem(c.offset + kFrameChunkSize, strf("frame size %u is not an even number of at least %u bytes",
                                               frameSize, frames::wave::kHeadSize));
      return 0;
    }
    if (haveChannels_ && seconds) {
      uint64_t expected = frames::wave::kHeadSize;
      for (uint32_t rate : rates_) expected += frames::channel_bytes(rate, seconds);
      if (expected != frameSize)
        problem(c.offset + kFrameChunkSize,
                strf("frame size %u does not match the channels: 24 + their samples of %u s take %llu",
                     frameSize, seconds, llu(expected)));
    }
    const uint64_t expectedSize = kSize + uint64_t(count) * frameSize;
    if (expectedSize != c.size)
      problem(c.offset, strf("frame area is %u bytes, but 32 + %u frames x %u bytes = %llu", c.size, count,
                             frameSize, llu(expectedSize)));
    const uint64_t present = (c.size - kSize) / frameSize;
    const uint64_t n = count < present ? count : present;
    uint64_t bad = 0;
    for (uint64_t i = 0; i < n; ++i) {
      const uint64_t at = kSize + i * frameSize;
      uint8_t fh[frames::wave::kHeadSize];
      if (!src_.read_exact(c.offset + at, fh, sizeof fh)) break;
      std::string what;
      const uint32_t size = load_u32(fh, chunk_head::kSizeWord, big_);
      const uint32_t type = load_u32(fh, chunk_head::kType, big_);
      const uint32_t number = load_u32(fh, frames::wave::kNumber, big_);
      if (size != frameSize) what += strf(", size %u instead of %u", size, frameSize);
      if (type != kFrameWave) what += strf(", type %u instead of %u", type, unsigned(kFrameWave));
      if (number != i + 1) what += strf(", numbered %u instead of %llu", number, llu(i + 1));
      if (haveWave_) {
        // Each frame is stamped with its start time of day; the hour wraps
        // once at 24.
        const uint64_t t = startSecond_ + i * seconds;
        uint64_t hour = t / 3600;
        if (hour >= 24) hour -= 24;
        const uint32_t h = load_u16(fh, frames::wave::kHour, big_);
        const uint32_t m = load_u16(fh, frames::wave::kMinute, big_);
        const uint32_t s = load_u16(fh, frames::wave::kSecond, big_);
        if (h != (hour & 0xFFFF) || m != t % 3600 / 60 || s != t % 60)
          what += strf(", stamped %02u:%02u:%02u instead of %02u:%02u:%02u", h, m, s, unsigned(hour),
                       unsigned(t % 3600 / 60), unsigned(t % 60));
      }
      if (what.empty()) continue;
      if (++bad <= kFramesReported) problem(c.offset + at, strf("frame %llu%s", llu(i), what.c_str()));
    }
    if (bad > kFramesReported)
      problem(c.offset, strf("... and %llu more frames with problems", llu(bad - kFramesReported)));
    return n;
  }

  void check_event_table(const ChunkView& c) {
    using namespace rz::event_table;
    if (c.size < kHeadSize) {
      problem(c.offset, strf("EventTable is %u bytes, less than its %u-byte head", c.size, kHeadSize));
      return;
    }
    const uint32_t count = u32(bytes(c, 0, kHeadSize), kCount);
    uint64_t pos = kHeadSize;
    uint32_t first = 0;
    for (uint32_t i = 0; i < count; ++i) {
      if (pos + entry::kHeadSize > c.size) {
        problem(c.offset, strf("EventTable says %u entries, but entry %u runs past its %u bytes", count,
                               i + 1, c.size));
        return;
      }
      const uint32_t es = u32(bytes(c, pos, entry::kHeadSize), entry::kSizeWord);
      if (es < entry::kHeadSize || es % 4 || es > entry::kMaxSize || pos + es > c.size) {
        problem(c.offset + pos, strf("event entry %u has size %u", i + 1, es));
        return;
      }
      if (i == 0) first = es;
      if (es != first) {
        problem(c.offset + pos, strf("event entry %u has size %u, the first had %u", i + 1, es, first));
        return;
      }
      pos += es;
    }
    if (pos != c.size)
      problem(c.offset, strf("EventTable is %u bytes, its %u entries end at %llu", c.size, count, llu(pos)));
  }

  void check_score_table(const ChunkView& c) {
    using namespace rz::score_table;
    if (c.size < kHeadSize) {
      problem(c.offset, strf("ScoreTable is %u bytes, less than its %u-byte head", c.size, kHeadSize));
      return;
    }
    const std::vector<uint8_t> head = bytes(c, 0, kHeadSize);
    const uint32_t count = u32(head, kCount);
    if (kHeadSize + uint64_t(count) * kEntrySize != c.size)
      problem(c.offset, strf("ScoreTable is %u bytes, but its head says %u entries (%llu bytes)", c.size,
                             count, llu(kHeadSize + uint64_t(count) * kEntrySize)));
    if (u32(head, kSetting2) > count)
      problem(c.offset + kSetting2,
              strf("score setting %u is above the entry count %u", u32(head, kSetting2), count));
    for (uint32_t k = 0; k < kIndexSettings; ++k) {
      const uint32_t v = u32(head, kIndex4 + 4 * k);
      if (v > count)
        problem(c.offset + kIndex4 + 4 * k,
                strf("score index setting %u names entry %u of %u", 4 + k, v - 1, count));
    }
  }

  void check_user_channels(const ChunkView& c) {
    using namespace rz::user_ch_info;
    namespace entry = rz::user_ch_entry;
    if (c.size < kHeadSize) {
      problem(c.offset, strf("UserChInfo is %u bytes, less than its %u-byte head", c.size, kHeadSize));
      return;
    }
    const std::vector<uint8_t> head = bytes(c, 0, kHeadSize);
    const uint32_t count = u32(head, kChannelCount);
    const uint32_t entrySize = u32(head, kEntrySizeWord);
    if (count > kMaxChannels)
      problem(c.offset + kChannelCount,
              strf("user values for %u channels; a record holds at most %u", count, kMaxChannels));
    if (entrySize != entry::kSize)
      problem(c.offset + kEntrySizeWord,
              strf("user channel entries of %u bytes, expected %u", entrySize, entry::kSize));
    if (uint64_t(c.size) != kHeadSize + uint64_t(count) * entrySize)
      problem(c.offset, strf("UserChInfo is %u bytes, but its head says %u entries of %u bytes", c.size,
                             count, entrySize));
    if (haveWave_ && count != channelCount_)
      problem(c.offset + kChannelCount,
              strf("user values for %u channels, the wave information names %u", count, channelCount_));
    if (entrySize != entry::kSize) return;
    const uint32_t n = count < kMaxChannels ? count : kMaxChannels;
    for (uint32_t k = 0; k < n; ++k) {
      const uint64_t at = kHeadSize + uint64_t(k) * entry::kSize;
      if (at + entry::kSize > c.size) break;
      const std::vector<uint8_t> e = bytes(c, at, chunk_head::kHeadSize);
      if (u32(e, chunk_head::kSizeWord) != entry::kSize || u32(e, chunk_head::kType) != kUserChEntry ||
          u32(e, chunk_head::kId) != k + 1)
        problem(c.offset + at, strf("user channel entry %u has head %u, %u, %u (expected %u, %u, %u)", k,
                                    u32(e, chunk_head::kSizeWord), u32(e, chunk_head::kType),
                                    u32(e, chunk_head::kId), entry::kSize, unsigned(kUserChEntry), k + 1));
    }
  }

  void check_nonlinear(const ChunkView& c) {
    using namespace rz::non_linear;
    if (c.size < kPointSize) {
      problem(c.offset, strf("NonLinearInfo is %u bytes, less than its %u-byte head", c.size, kPointSize));
      return;
    }
    const uint32_t points = u32(bytes(c, 0, kPointSize), kPointCount);
    if (points > rz::kMaxNonLinearPoints)
      problem(c.offset + kPointCount,
              strf("%u non-linear points; a channel holds at most %u", points, rz::kMaxNonLinearPoints));
    if (uint64_t(points + uint64_t(1)) * kPointSize != c.size)
      problem(c.offset, strf("NonLinearInfo is %u bytes, but %u points take %llu", c.size, points,
                             llu((uint64_t(points) + 1) * kPointSize)));
    if (c.id == 0 || (haveWave_ && c.id > channelCount_))
      problem(c.offset + chunk_head::kId,
              strf("NonLinearInfo names channel %u, the record has %u", c.id, channelCount_));
  }

  void check_user_data(const ChunkView& c, uint32_t width) {
    using namespace rz::user_data::head;
    if (c.size < kHeadSize) {
      problem(c.offset,
              strf("%s is %u bytes, less than its %u-byte head", chunk_type_name(c.type), c.size, kHeadSize));
      return;
    }
    const uint32_t count = u32(bytes(c, 0, kHeadSize), kCount);
    const uint64_t data = width == 4 ? uint64_t(count) * 4 : round4(uint64_t(count) * width);
    if (kHeadSize + data != c.size)
      problem(c.offset, strf("%s is %u bytes, but %u elements take %llu", chunk_type_name(c.type), c.size,
                             count, llu(kHeadSize + data)));
  }

  // True when the chunk's entries fill it exactly as a text list.  The
  // entry sizes of a UserText list are always most significant byte first.
  bool is_text_list(const ChunkView& c, bool userText) {
    using namespace rz::user_data::head;
    namespace entry = rz::text_info::entry;
    if (c.size < kHeadSize) return false;
    const uint32_t count = u32(bytes(c, 0, kHeadSize), kCount);
    uint64_t pos = kHeadSize;
    for (uint32_t i = 0; i < count; ++i) {
      if (pos + entry::kHeadSize > c.size) return false;
      const std::vector<uint8_t> e = bytes(c, pos, entry::kHeadSize);
      const uint32_t es = load_u32(e.data(), entry::kSizeWord, userText ? true : big_);
      if (es < entry::kHeadSize || pos + es > c.size) return false;
      pos += es;
    }
    return pos == c.size;
  }

  void check_text_list(const ChunkView& c, bool userText) {
    if (!is_text_list(c, userText))
      problem(c.offset, strf("%s: its entries do not fill its %u bytes as a text list",
                             chunk_type_label(c.type).c_str(), c.size));
  }

  // A chunk of a type the writer chose: a text list or user values.
  void check_writer_chunk(const ChunkView& c) {
    using namespace rz::user_data::head;
    if (c.size >= kHeadSize) {
      const uint32_t count = u32(bytes(c, 0, kHeadSize), kCount);
      if (kHeadSize + uint64_t(count) * 4 == c.size) return;  // user values
      if (is_text_list(c, false)) return;
    }
    problem(c.offset, strf("%s of %u bytes is laid out neither as a text list nor as user values",
                           chunk_type_label(c.type).c_str(), c.size));
  }

  ByteSource& src_;
  bool big_;
  const RecordView& r_;
  uint32_t index_;
  Findings& f_;
  bool haveWave_ = false;
  bool haveChannels_ = false;
  uint32_t channelCount_ = 0;
  uint64_t startSecond_ = 0;
  std::vector<uint32_t> rates_;
};

}  // namespace

VerifySummary verify_source(ByteSource& src, Findings& findings) {
  VerifySummary sum;
  const FileView v = walk_structure(src, findings);
  sum.records = uint32_t(v.records.size());
  for (uint32_t i = 0; i < v.records.size(); ++i) {
    RecordCheck check(src, v, v.records[i], i, findings);
    check.run(sum);
  }
  return sum;
}

}  // namespace tool

// ---- The verify command ------------------------------------------------------

namespace tool {

int run_verify(const Args& args, Console& con) {
  const std::string& path = args.arg(0);
  // What is inside the file, however damaged, is reported with its offset;
  // a file that cannot be looked into is one clear message.
  uint64_t size = 0;
  const std::string problem = input_file_problem(path, size);
  if (!problem.empty()) return input_error(con, path, problem);
  FileSource src;
  if (!src.open(path)) return input_error(con, path, strf("cannot open: %s", std::strerror(errno)));
  Findings findings;
  const VerifySummary sum = verify_source(src, findings);
  for (const Finding& f : findings.list())
    con.out << strf("%s: offset %llu (0x%llX): ", path.c_str(), llu(f.offset), llu(f.offset)) << f.text
            << "\n";
  if (!findings.empty()) {
    con.out << path << ": " << findings.size() << (findings.size() == 1 ? " problem\n" : " problems\n");
    return kExitBadInput;
  }
  con.out << strf("%s: ok - %u record(s), %u chunks, up to %u channels, %llu frames checked\n", path.c_str(),
                  sum.records, sum.chunks, sum.channels, llu(sum.frames));
  return kExitOk;
}

}  // namespace tool
