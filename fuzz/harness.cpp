#include "harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "format/layout.h"
#include "razivera.h"

#if defined(__SANITIZE_ADDRESS__)
#define RZFUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RZFUZZ_ASAN 1
#endif
#endif
#ifdef RZFUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

// The harness reaches the library through its public interface only, and
// reads the file through the format description: it learns nothing from the
// handle's insides, so that what it checks holds for any application.
namespace rzfuzz {
namespace {

using Bytes = std::vector<uint8_t>;
namespace C = rz::container;

// Loop bounds: enough to reach every structure a file can describe, small
// enough that one input runs in milliseconds.
constexpr uint32_t kMaxChunksListed = 64;
constexpr uint32_t kMaxChannelsHandedOut = 24;
constexpr uint64_t kMaxHandOutSamples = (16u << 20) / 2;
constexpr uint16_t kLargeBufferCapacity = 300;
// Frames larger than this (up to the library's 64 MiB) get two window reads
// instead of the full assortment: each read zero-fills whole frames, and the
// fuzzer would spend its time in memset.
constexpr uint32_t kAssortedWindowsFrameSize = 1u << 20;

bool load(const std::string& path, Bytes& out) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0;
  if (ok) {
    out.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
      const ssize_t n = pread(fd, out.data() + got, out.size() - got, off_t(got));
      if (n <= 0) break;
      got += size_t(n);
    }
    out.resize(got);
  }
  close(fd);
  return ok;
}

bool store(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t put = 0;
  while (put < size) {
    const ssize_t n = write(fd, data + put, size - put);
    if (n <= 0) break;
    put += size_t(n);
  }
  return close(fd) == 0 && put == size;
}

// Where a reader of the file places a record: [offset, end).
struct RecordSpan {
  uint64_t offset = 0;
  uint64_t end = 0;
};

// The records as a reader places them (the format's record walk over the
// file as it is now); records the walk does not reach stay empty at offset 0.
template <class Read>
std::vector<RecordSpan> record_spans(Read read, uint64_t size, uint32_t count, bool big) {
  std::vector<RecordSpan> spans(std::min<uint32_t>(count, rz::kMaxRecords));
  const auto fileLength = [size](uint32_t& n) {
    n = uint32_t(std::min<uint64_t>(size, UINT32_MAX));
    return true;
  };
  const auto place = [&spans](uint32_t r, uint32_t offset, uint32_t length) {
    spans[r] = {offset, uint64_t{offset} + length};
  };
  C::walk_records(read, fileLength, count, big, place);
  return spans;
}

struct Chunk {
  uint32_t type;
  uint32_t id;
  uint64_t offset = 0;  // of the first chunk with this type and id
  bool operator==(const Chunk& o) const { return type == o.type && id == o.id; }
};

// What a record holds, by the format's chunk walk over the file: the chunks'
// types and (type, id) pairs, each once, in the order first met.  The harness
// uses them to name types and ids; a call repeated with the same names would
// only repeat itself.
struct Contents {
  std::vector<uint32_t> types;
  std::vector<Chunk> chunks;
  bool complete = false;  // every chunk of the record is listed

  bool holds(uint32_t type, uint32_t id) const {
    return std::find(chunks.begin(), chunks.end(), Chunk{type, id}) != chunks.end();
  }

  std::vector<uint32_t> ids_of(uint32_t type) const {
    std::vector<uint32_t> out;
    for (const Chunk& c : chunks)
      if (c.type == type) out.push_back(c.id);
    return out;
  }
};

template <class Read>
Contents list_chunks(Read read, const RecordSpan& rs, bool big) {
  Contents out;
  auto walk = C::walk_chunks(read, rs.offset, rs.end, big);
  C::ChunkHeadView c;
  uint32_t listed = 0;
  for (; listed < kMaxChunksListed && walk.next(c); ++listed) {
    const Chunk chunk{c.type, c.id, c.offset};
    if (std::find(out.chunks.begin(), out.chunks.end(), chunk) == out.chunks.end()) out.chunks.push_back(chunk);
    if (std::find(out.types.begin(), out.types.end(), c.type) == out.types.end()) out.types.push_back(c.type);
  }
  out.complete = listed < kMaxChunksListed;
  return out;
}

void add_once(std::vector<uint32_t>& list, uint32_t value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

// The ids to name a type's chunks by in calls that find a chunk by type and
// 16-bit id: each id the type's chunks carry, and 0 (the type's first chunk)
// unless the first chunk's own id already names it.
std::vector<uint32_t> named_ids(const std::vector<uint32_t>& ids) {
  std::vector<uint32_t> out;
  if (ids.empty() || ids.front() == 0 || ids.front() > 0xFFFF) out.push_back(0);
  for (uint32_t id : ids) add_once(out, id);
  return out;
}

// Reads the file as a session opened it: from the bytes held, else through
// the session's descriptor (a reading session's file does not change).
struct OriginalReader {
  const Bytes* held;
  int fd;
  uint64_t size;
  size_t operator()(uint64_t pos, void* buf, size_t n) const {
    if (pos >= size) return 0;
    n = size_t(std::min<uint64_t>(n, size - pos));
    if (held) {
      std::memcpy(buf, held->data() + pos, n);
      return n;
    }
    const ssize_t got = fd >= 0 ? pread(fd, buf, n, off_t(pos)) : -1;
    return got > 0 ? size_t(got) : 0;
  }
};

// The typed user data readers' array: room for every element the file could
// hold, left as allocated (the readers fill what they deliver; a large copy
// would otherwise spend its time clearing it).
struct Buffer {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;
  uint8_t* data() { return bytes.get(); }
};

// Bytes a call may change: [begin, end).
struct Region {
  uint64_t begin = 0;
  uint64_t end = 0;
};
using Regions = std::vector<Region>;

constexpr size_t kNoStrayChange = SIZE_MAX;

// The first byte outside `allowed` that differs between the two images of the
// file (a byte only one of them holds differs), or kNoStrayChange.
size_t first_stray_change(const Bytes& before, const Bytes& after, const Regions& allowed) {
  if (before.size() == after.size() && std::memcmp(before.data(), after.data(), before.size()) == 0)
    return kNoStrayChange;
  const size_t n = std::max(before.size(), after.size());
  const size_t common = std::min(before.size(), after.size());
  size_t i = 0;
  while (i < n) {
    bool inside = false;
    for (const Region& r : allowed)
      if (i >= r.begin && i < r.end) {
        i = size_t(std::min<uint64_t>(r.end, n));
        inside = true;
      }
    if (inside) continue;
    // The stretch up to the next allowed region must be unchanged.
    size_t stop = n;
    for (const Region& r : allowed)
      if (r.begin > i && r.begin < stop && r.begin < r.end) stop = size_t(r.begin);
    const size_t same = std::min(stop, common);
    if (i < same && std::memcmp(&before[i], &after[i], same - i) != 0) {
      while (before[i] == after[i]) ++i;
      return i;
    }
    if (stop > common) return std::max(i, common);
    i = stop;
  }
  return kNoStrayChange;
}

class Session {
 public:
  // original: the file's bytes when the caller holds them; a reading session
  // reads the file where it needs to, an editing one holds it.
  Session(const std::string& path, uint16_t mode, const Bytes* original)
      : editing_(mode == RZ_OPEN_READ_WRITE) {
    // The descriptor reads what the session does not hold, and watches the
    // file an editing session changes.
    if (editing_ || !original) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (original) {
      original_ = *original;
      held_ = true;
    } else if (editing_) {
      held_ = load(path, original_);
    }
    struct stat st {};
    size_ = held_ ? original_.size() : fd_ >= 0 && fstat(fd_, &st) == 0 ? uint64_t(st.st_size) : 0;
    h_ = RAZIVERAOpenBioFile(path.c_str(), mode, 1);
    if (!h_) return;
    big_ = RAZIVERAGetInfo(h_, RZ_INFO_BYTE_ORDER) == RZ_BYTE_ORDER_BIG;
    records_ = record_spans(reader(), size_, RAZIVERAGetInfo(h_, RZ_INFO_RECORD_COUNT), big_);
    if (editing_) {
      // The file as the last check saw it; the descriptor looks again.
      if (fd_ < 0) failure_ = "cannot open " + path + " to watch it";
      image_ = original_;
      guarded("OpenBioFile", Region{}, [] {});
    }
  }
  ~Session() {
    close();
    if (fd_ >= 0) ::close(fd_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  HGLOBAL h() const { return h_; }
  bool big() const { return big_; }
  Buffer& user_buffer() {
    if (!buffer_.bytes) {
      buffer_.size = size_t(size_) + 16;
      buffer_.bytes.reset(new uint8_t[buffer_.size]);
    }
    return buffer_;
  }

  // Size of the file as it was opened, and a reader of its bytes then.
  uint64_t size() const { return size_; }
  OriginalReader reader() const { return {held_ ? &original_ : nullptr, fd_, size_}; }
  std::string& failure() { return failure_; }
  void close() {
    if (h_ && RAZIVERACloseBioFile(h_) != nullptr && failure_.empty())
      failure_ = "close did not release a live handle";
    h_ = nullptr;
  }

  // Where a reader places the record; empty for one the file does not have.
  RecordSpan record(uint32_t r) const { return r < records_.size() ? records_[r] : RecordSpan{}; }

  // The stored chunk a call names: from the chunk search's offset to the end
  // its size word gives, no further than its record (when it starts inside
  // it) and the file as it was.  Only an editing session checks regions; a
  // reading one does not look.
  Region chunk(uint16_t r, uint32_t type, uint32_t id) const {
    if (!editing_) return {};
    uint32_t head[RZ_FIND_HEAD_WORDS] = {};
    const int32_t pos = RAZIVERAFindIndexPtr(h_, r, type, id, head);
    if (pos <= 0) return {};
    const uint64_t begin = uint32_t(pos);
    const uint64_t recordEnd = record(r).end;
    uint64_t end = begin + head[C::chunk_head::kSizeWord / 4];
    if (begin < recordEnd && end > recordEnd) end = recordEnd;
    end = std::min<uint64_t>(end, size_);
    return {begin, std::max(end, begin)};
  }

  // Runs a call; on a file opened for editing, checks that it changed no byte
  // outside the allowed regions.  The file is compared with its image after
  // the previous check, so that a call between two checks that wrote is
  // caught too (the harness guards every call of an editing session).
  template <class F>
  void guarded(const char* what, const Regions& allowed, F&& call) {
    call();
    if (!editing_ || !failure_.empty()) return;
    load_now();
    const size_t at = first_stray_change(image_, now_, allowed);
    if (at != kNoStrayChange) {
      const Region first = allowed.empty() ? Region{} : allowed.front();
      char text[240];
      std::snprintf(text, sizeof text, "%s changed byte %zu (file %zu -> %zu bytes), allowed [%llu, %llu)%s",
                    what, at, image_.size(), now_.size(), (unsigned long long)first.begin,
                    (unsigned long long)first.end, allowed.size() > 1 ? " and more" : "");
      failure_ = text;
    }
    image_.swap(now_);
  }
  template <class F>
  void guarded(const char* what, Region allowed, F&& call) {
    guarded(what, Regions{allowed}, std::forward<F>(call));
  }

 private:
  // Reads the whole file into now_: room for the image and some growth, so
  // that one short read usually ends it.
  void load_now() {
    size_t got = 0;
    now_.resize(image_.size() + kReadSlack);
    if (fd_ >= 0) {
      for (;;) {
        const ssize_t n = pread(fd_, now_.data() + got, now_.size() - got, off_t(got));
        if (n <= 0) break;
        got += size_t(n);
        if (got < now_.size()) break;  // a short read of a regular file ends at its end
        now_.resize(now_.size() * 2);
      }
    }
    now_.resize(got);
  }
  static constexpr size_t kReadSlack = 4096;

  bool editing_;
  Bytes original_;
  bool held_ = false;
  uint64_t size_ = 0;
  Buffer buffer_;
  HGLOBAL h_ = nullptr;
  bool big_ = false;
  std::vector<RecordSpan> records_;
  int fd_ = -1;
  Bytes image_;
  Bytes now_;
  std::string failure_;
};

// The records whose stored score table an update may rewrite: the record of
// the last score read that succeeded.  A read that returns 0 after finding a
// chunk may have succeeded (a stored table without entries) or not; the
// record then joins the candidates.
struct ScoreRecords {
  uint32_t mask = 1;  // before any read, record 0

  void after_read(Session& s, uint16_t r, uint16_t id, int32_t count) {
    if (r >= rz::kMaxRecords) return;
    if (count > 0) {
      mask = 1u << r;
    } else if (RAZIVERAFindIndexPtr(s.h(), r, RZ_CHUNK_SCORE_TABLE, id, nullptr) > 0) {
      mask |= 1u << r;
    }
  }
  Regions chunks(const Session& s, uint16_t id) const {
    Regions out;
    for (uint16_t r = 0; r < rz::kMaxRecords; ++r)
      if (mask & (1u << r)) out.push_back(s.chunk(r, RZ_CHUNK_SCORE_TABLE, id));
    return out;
  }
};

// ---- Readers ------------------------------------------------------------------

void read_description(Session& s, uint16_t r, const Contents& contents) {
  HGLOBAL h = s.h();
  s.guarded("ReadRecordInfo", s.chunk(r, RZ_CHUNK_WAVE_INFO, 0), [&] { DARARARReadRecordInfo(h, r); });
  s.guarded("ReadChannelInfo", s.chunk(r, RZ_CHUNK_FRAME_CH_INFO, 0), [&] { DARARARReadChannelInfo(h, r); });
  s.guarded("description readers", Region{}, [&] {
    DARARARReadUpdateTotalFrame(h, r);
    DARARARReadUserChannelInfo(h, r);
    char text[300];
    // Every item code and those around them.
    for (uint16_t item = 0; item <= RZ_WAVE_HAS_EVENT_TABLE + 1; ++item) DARARARGetWaveInfo(h, r, item);
    DARARARGetWaveText(h, r, RZ_WAVE_TEXT, text);
    DARARARGetWaveText(h, r, RZ_WAVE_TEXT_PATH, text);
    const uint32_t channels = DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT);
    for (uint32_t c = 0; c <= channels && c <= RZ_MAX_CHANNELS; ++c) {
      // Every channel's texts (their lengths come from the file); the
      // numbered items, plain fields of the channel's slot, at the first
      // channels, the last one and one past it.
      const bool inner = c >= kMaxChannelsHandedOut && c + 1 < channels;
      DARARARGetFrameChText(h, r, RZ_CHANNEL_LABEL, uint16_t(c), text);
      DARARARGetFrameChText(h, r, RZ_CHANNEL_UNIT, uint16_t(c), text);
      if (!inner) {
        for (uint16_t item = RZ_CHANNEL_FLAGS; item <= RZ_CHANNEL_USER29; ++item)
          DARARARGetFrameChInfo(h, r, item, uint16_t(c));
      }
      // A channel's table is read and looked at where the record stores one
      // for it, and at the channels above; elsewhere the read would find
      // nothing and change nothing.
      const bool stored = !contents.complete || contents.holds(RZ_CHUNK_NONLINEAR_INFO, c + 1);
      if (!stored && inner) continue;
      DARARARReadNonLinearInfo(h, r, uint16_t(c + 1));
      uint32_t v1 = 0, v2 = 0;
      for (uint16_t point = 0; point <= RZ_NONLINEAR_MAX_POINTS; ++point)
        DARARARGetNonLinearInfo(h, r, RZ_NONLINEAR_POINT, uint16_t(c), point, &v1, &v2, text);
      DARARARGetNonLinearInfo(h, r, RZ_NONLINEAR_COUNT, uint16_t(c), 0, &v1, &v2, text);
    }
    DARARARReadNonLinearInfo(h, r, 0);
    DARARARReadNonLinearInfo(h, r, RZ_MAX_CHANNELS + 1);
  });
}

// An output of exactly `room` samples for one hand-out: a write past them is
// a memory fault the sanitizer reports.  Under AddressSanitizer the outputs
// share one block kept for the process, poisoned except for the samples of the
// call under way (its start is the block's own, behind the allocator's red
// zone), so that a hand-out does not map, fault in, poison and unmap megabytes
// the way an allocation of its size does; elsewhere each output is an
// allocation of its own.
class Output {
 public:
  explicit Output(size_t room) : room_(room) {
#ifdef RZFUZZ_ASAN
    Block& b = block();
    if (b.capacity < room) {
      b.release();
      b.data = new int16_t[room];
      b.capacity = room;
      ASAN_POISON_MEMORY_REGION(b.data, b.capacity * sizeof(int16_t));
    }
    data_ = b.data;
    ASAN_UNPOISON_MEMORY_REGION(data_, room_ * sizeof(int16_t));
#else
    own_.reset(new int16_t[room]);
    data_ = own_.get();
#endif
  }
  ~Output() {
#ifdef RZFUZZ_ASAN
    ASAN_POISON_MEMORY_REGION(data_, room_ * sizeof(int16_t));
#endif
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  int16_t* get() const { return data_; }
  int16_t& operator[](size_t i) const { return data_[i]; }

 private:
#ifdef RZFUZZ_ASAN
  struct Block {
    int16_t* data = nullptr;
    size_t capacity = 0;
    void release() {
      if (data) ASAN_UNPOISON_MEMORY_REGION(data, capacity * sizeof(int16_t));
      delete[] data;
      data = nullptr;
      capacity = 0;
    }
    ~Block() { release(); }
  };
  static Block& block() {
    static Block b;
    return b;
  }
#else
  std::unique_ptr<int16_t[]> own_;
#endif
  size_t room_;
  int16_t* data_ = nullptr;
};

// One channel's samples handed out of the read buffers into an output that
// holds exactly the samples the call may deliver (seconds x the channel's
// rate), so that the sanitizer catches a write past them; a call that may
// deliver none gets one guard sample that must stay as it is.  Returns a
// broken promise, or an empty string.
template <class F>
std::string hand_out(const char* what, uint64_t samples, F&& call) {
  constexpr int16_t kGuard = 0x7E57;
  if (samples > kMaxHandOutSamples && samples <= uint64_t{INT32_MAX}) return {};  // too large to hold here
  const bool none = samples == 0 || samples > uint64_t{INT32_MAX};
  const size_t room = none ? 1 : size_t(samples);
  const Output out(room);
  out[0] = kGuard;
  const int32_t got = call(out.get());
  if (got >= 0 && uint64_t(got) <= (none ? 0 : samples) && (!none || out[0] == kGuard)) return {};
  char text[160];
  std::snprintf(text, sizeof text, "%s handed out %d samples (the guard %s) where at most %llu were asked",
                what, got, out[0] == kGuard ? "kept" : "overwritten", none ? 0ull : (unsigned long long)samples);
  return text;
}

// Windows of assorted starts and lengths over the record's frames, and every
// channel's samples handed out of them.
void read_frames(Session& s, uint16_t r) {
  HGLOBAL h = s.h();
  std::string broken;
  s.guarded("frame readers", Region{}, [&] {
    if (!DARARARReadFrameInfo(h, r)) return;
    const uint32_t fs = DARARARGetWaveInfo(h, r, RZ_WAVE_FRAME_SECONDS);
    const uint32_t frames = DARARARGetWaveInfo(h, r, RZ_WAVE_TOTAL_FRAMES);
    const uint32_t channels = std::min<uint32_t>(DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT), RZ_MAX_CHANNELS);
    const uint32_t last = fs * (frames ? frames - 1 : 0);
    const bool assorted = DARARARGetWaveInfo(h, r, RZ_WAVE_FRAME_SIZE) <= kAssortedWindowsFrameSize;
    const uint32_t windows[] = {3, 0};
    for (uint32_t window : windows) {
      DARARARCreateReadFrameBuf(h, r, window);
      auto hand_out_all = [&] {
        for (uint32_t c = 0; c <= channels && broken.empty(); ++c) {
          if (c >= kMaxChannelsHandedOut && c + 1 < channels) continue;
          const uint16_t ch = uint16_t(c);
          const uint64_t rate = DARARARGetFrameChInfo(h, r, RZ_CHANNEL_SAMPLE_RATE, ch);
          const auto check = [&](const char* what, uint64_t samples, auto&& call) {
            if (broken.empty()) broken = hand_out(what, samples, call);
          };
          check("GetFrameWave", window * rate, [&](int16_t* out) { return DARARARGetFrameWave(h, r, ch, out); });
          if (c == channels) continue;
          check("GetFrameWaveEx", rate, [&](int16_t* out) { return DARARARGetFrameWaveEx(h, r, ch, out, 0, 1); });
          check("GetFrameWaveEx", window * rate,
                [&](int16_t* out) { return DARARARGetFrameWaveEx(h, r, ch, out, 1, window); });
          check("GetFrameWaveEx", UINT32_MAX * rate,
                [&](int16_t* out) { return DARARARGetFrameWaveEx(h, r, ch, out, UINT32_MAX, UINT32_MAX); });
        }
      };
      DARARARReadFrameWave(h, r, 0);
      hand_out_all();
      DARARARReadFrameWaveEx(h, r, -2, 3);
      hand_out_all();
      if (!assorted) return;
      const uint32_t starts[] = {fs, last, last + fs, UINT32_MAX};
      for (uint32_t start : starts) {
        DARARARReadFrameWave(h, r, start);
        hand_out_all();
      }
      struct Span {
        int32_t start;
        uint32_t length;
      };
      const Span spans[] = {{0, 1}, {1, window}, {int32_t(last), 2 * fs},
                            {INT32_MIN, UINT32_MAX}, {INT32_MAX, 1}};
      for (const Span& span : spans) {
        DARARARReadFrameWaveEx(h, r, span.start, span.length);
        hand_out_all();
      }
    }
  });
  if (s.failure().empty()) s.failure() = broken;
}

// scores, when given, follows the record the handle reads scores from.
void read_events_and_scores(Session& s, uint16_t r, const Contents& contents, ScoreRecords* scores) {
  HGLOBAL h = s.h();
  s.guarded("event and score readers", Region{}, [&] {
    const int32_t entries = DARARARReadEventInfo(h, r);
    uint8_t data[1024];
    uint32_t value = 0;
    for (int32_t i = 0; i <= entries + 1 && i <= 0xFFFF; ++i)
      DARARARGetEventTableInfo(h, r, uint16_t(i), &value, data);
    DARARARGetWaveInfo(h, r, RZ_WAVE_HAS_EVENT_TABLE);

    std::vector<uint32_t> ids{0};
    for (uint32_t id : contents.ids_of(RZ_CHUNK_SCORE_TABLE)) add_once(ids, id);
    for (uint32_t id : ids) {
      const int32_t count = DARARARReadScoreInfo(h, r, uint16_t(id));
      if (scores) scores->after_read(s, r, uint16_t(id), count);
      const int32_t indexes[] = {-1, 0, 1, 5, count - 1, count};
      uint32_t out = 0;
      for (uint16_t item = 0; item <= RZ_SCORE_TEXT + 1; ++item)
        for (int32_t index : indexes) DARARARGetScoreTableInfo(h, item, index, &out);
      char text[RZ_SCORE_TEXT_ROOM + 1];
      DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 0, text);
    }
  });
}

// The typed user data readers, each with the chunk type it reads.
struct TypedReader {
  uint32_t type;
  void (*read)(HGLOBAL h, uint16_t r, uint16_t id, Buffer& buffer);
};
const TypedReader kTypedReaders[] = {
    {RZ_CHUNK_USER_BYTE,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserByte(h, r, id, b.data(), int32_t(b.size));
       DARARARReadUserByte(h, r, id, b.data(), 1);
       DARARARReadUserByte(h, r, id, b.data(), -1);
     }},
    {RZ_CHUNK_USER_WORD,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserWord(h, r, id, reinterpret_cast<uint16_t*>(b.data()), int32_t(b.size / 2));
     }},
    {RZ_CHUNK_USER_SHORT,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserShort(h, r, id, reinterpret_cast<int16_t*>(b.data()), int32_t(b.size / 2));
     }},
    {RZ_CHUNK_USER_DWORD,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserDword(h, r, id, reinterpret_cast<uint32_t*>(b.data()), int32_t(b.size / 4));
     }},
    {RZ_CHUNK_USER_LONG,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserLong(h, r, id, reinterpret_cast<int32_t*>(b.data()), int32_t(b.size / 4));
     }},
    {RZ_CHUNK_USER_FLOAT,
     [](HGLOBAL h, uint16_t r, uint16_t id, Buffer& b) {
       DARARARReadUserFloat(h, r, id, reinterpret_cast<float*>(b.data()), int32_t(b.size / 4));
     }},
};

// Text lists, user information, user texts and every user data type, under
// the types and ids the record holds.
void read_user_data(Session& s, uint16_t r, const Contents& contents, HGLOBAL small, HGLOBAL large) {
  HGLOBAL h = s.h();
  const uint64_t fileSize = s.size();
  std::string misfound;
  s.guarded("text and user data readers", Region{}, [&] {
    char text[RZ_TEXT_BUFFER_ROOM];
    for (uint32_t t : contents.types) {
      if (t > 0xFFFF) continue;
      const uint16_t type = uint16_t(t);
      const std::vector<uint32_t> ids = contents.ids_of(type);
      for (HGLOBAL buffer : {HGLOBAL(nullptr), small, large}) {
        const uint32_t n = DARARARReadTextInfo(h, buffer, r, type);
        for (int32_t i = -1; i <= int32_t(std::min<uint32_t>(n, 8)); ++i)
          RAZIVERAGetTextBuffer(h, buffer, i, text);
        for (uint32_t id : ids) RAZIVERAGetTextIDBuffer(h, buffer, uint16_t(id), text);
      }
      for (uint32_t id : named_ids(ids)) {
        DARARARGetUserDataNum(h, r, type, uint16_t(id));
        const int32_t count = DARARARReadUserInfo(h, r, type, uint16_t(id), nullptr);
        if (count > 0) {
          // The caller sizes its array from the count; a count the file cannot
          // back is never read in full, so the file's size bounds the array.
          std::vector<uint32_t> values(size_t(std::min<uint64_t>(uint64_t(count), fileSize / 4 + 1)));
          DARARARReadUserInfo(h, r, type, uint16_t(id), values.data());
        }
      }
      if (type == RZ_CHUNK_USER_TEXT) {
        for (uint32_t id : named_ids(ids)) {
          for (HGLOBAL buffer : {HGLOBAL(nullptr), small, large}) {
            DARARARReadUserText(h, buffer, r, uint16_t(id));
            RAZIVERAGetTextBuffer(h, buffer, 0, text);
          }
        }
      }
    }
    // Every typed reader finds each chunk of its type, and misses once: under
    // the id of a typed chunk of another type, or any id when its type is
    // absent.
    std::vector<uint32_t> typedIds;
    for (const Chunk& c : contents.chunks)
      for (const TypedReader& reader : kTypedReaders)
        if (c.type == reader.type) add_once(typedIds, uint16_t(c.id));
    Buffer& buffer = s.user_buffer();
    for (const TypedReader& reader : kTypedReaders) {
      const std::vector<uint32_t> own = contents.ids_of(reader.type);
      std::vector<uint32_t> ids = named_ids(own);
      uint32_t miss = 0xFFFF;
      for (uint32_t id : typedIds)
        if (std::find(own.begin(), own.end(), id) == own.end()) {
          miss = id;
          break;
        }
      if (!own.empty()) add_once(ids, miss);
      for (uint32_t id : ids) reader.read(h, r, uint16_t(id), buffer);
      if (own.empty()) DARARARGetUserDataNum(h, r, uint16_t(reader.type), 0);
    }
    // The chunk search finds what the format's walk finds: the first chunk
    // with the type and id, or with the type for id 0 - or, when a read of
    // the file fails, nothing.
    uint32_t head[RZ_FIND_HEAD_WORDS];
    for (const Chunk& c : contents.chunks) {
      const int32_t at = RAZIVERAFindIndexPtr(h, r, c.type, c.id, head);
      uint64_t expected = c.offset;
      if (c.id == 0)
        for (const Chunk& first : contents.chunks)
          if (first.type == c.type) {
            expected = first.offset;
            break;
          }
      if (at != 0 && uint64_t(uint32_t(at)) != expected && misfound.empty()) {
        char line[160];
        std::snprintf(line, sizeof line, "FindIndexPtr found type %u id %u of record %u at %d, the chunk walk at %llu",
                      c.type, c.id, r, at, (unsigned long long)expected);
        misfound = line;
      }
    }
    RAZIVERAFindIndexPtr(h, r, RZ_CHUNK_WAVE_INFO, 0, nullptr);
  });
  if (s.failure().empty()) s.failure() = misfound;
}

// ---- In-place editors ---------------------------------------------------------

void edit_record(Session& s, uint16_t r, const Contents& contents, HGLOBAL large, ScoreRecords& scores) {
  HGLOBAL h = s.h();
  const uint32_t channels = std::min<uint32_t>(DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT), RZ_MAX_CHANNELS);

  // Channel definitions, changed in memory first so that the rewrite differs.
  s.guarded("SetFrameChInfo", Region{}, [&] {
    if (channels == 0) return;
    DARARARSetFrameChInfo(h, r, RZ_CHANNEL_FILTER_B, 0, 77);
    DARARARSetFrameChText(h, r, RZ_CHANNEL_LABEL, 0, "edited label that is long");
    DARARARSetFrameChText(h, r, RZ_CHANNEL_UNIT, uint16_t(channels - 1), "mV");
  });
  s.guarded("UpdateFrameChInfo", s.chunk(r, RZ_CHUNK_FRAME_CH_INFO, 0),
            [&] { DARARARUpdateFrameChInfo(h, r); });

  // Event data, from the stored table and from tables that do not match it.
  uint8_t data[1024];
  std::memset(data, 0xA5, sizeof data);
  s.guarded("SetEventTableInfo", Region{}, [&] {
    if (DARARARReadEventInfo(h, r) > 0) DARARARSetEventTableInfo(h, r, 1, 9, data);
  });
  s.guarded("UpdateEventInfo", s.chunk(r, RZ_CHUNK_EVENT_TABLE, 0), [&] { DARARARUpdateEventInfo(h, r); });
  const uint32_t dataSizes[] = {1016, 0, 5};
  for (uint32_t dataSize : dataSizes) {
    s.guarded("CreateEventTable", Region{}, [&] {
      DARARARCreateEventTable(h, r, 1, 4, dataSize);
      for (uint16_t i = 1; i <= 4; ++i) DARARARSetEventTableInfo(h, r, i, i, data);
    });
    s.guarded("UpdateEventInfo", s.chunk(r, RZ_CHUNK_EVENT_TABLE, 0), [&] { DARARARUpdateEventInfo(h, r); });
  }

  // Texts of every list the record holds, short and longer than any room.
  std::string longText(300, 'x');
  for (uint32_t t : contents.types) {
    if (t > 0xFFFF) continue;
    const uint16_t type = uint16_t(t);
    std::vector<uint32_t> ids{0, 0xFFFF};
    s.guarded("ReadTextInfo", Region{}, [&] {
      const uint32_t n = DARARARReadTextInfo(h, large, r, type);
      char text[RZ_TEXT_BUFFER_ROOM];
      for (uint32_t i = 0; i < n && i < 4; ++i)
        ids.push_back(RAZIVERAGetTextBuffer(h, large, int32_t(i), text) & 0xFFFF);
    });
    for (uint32_t id : ids) {
      s.guarded("UpdateTextInfo", s.chunk(r, type, 0),
                [&] { DARARARUpdateTextInfo(h, r, type, id, "edited"); });
      s.guarded("UpdateTextInfo", s.chunk(r, type, 0),
                [&] { DARARARUpdateTextInfo(h, r, type, id, longText.c_str()); });
    }
  }

  // The score table: read, changed and rewritten; then one larger than any
  // stored chunk.
  std::vector<uint32_t> ids{0};
  for (uint32_t id : contents.ids_of(RZ_CHUNK_SCORE_TABLE)) add_once(ids, id);
  for (uint32_t id : ids) {
    s.guarded("ReadScoreInfo", Region{}, [&] {
      const int32_t count = DARARARReadScoreInfo(h, r, uint16_t(id));
      scores.after_read(s, r, uint16_t(id), count);
      DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, 0, 0xABCDEF);
      DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, count - 1, 0x123456);
      DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING2, 0, uint32_t(count));
      DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "scored again");
    });
    s.guarded("UpdateScoreInfo", scores.chunks(s, uint16_t(id)), [&] { DARARARUpdateScoreInfo(h, uint16_t(id)); });
  }
  s.guarded("CreateScoreTable", Region{}, [&] {
    DARARARCreateScoreTable(h, 1, 5000);
    DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, 4999, 1);
  });
  for (uint32_t id : ids)
    s.guarded("UpdateScoreInfo", scores.chunks(s, uint16_t(id)), [&] { DARARARUpdateScoreInfo(h, uint16_t(id)); });

  // Event codes in stored frames: first and last frame, first and last sample
  // of each channel, and just past each.
  s.guarded("ReadFrameInfo", Region{}, [&] { DARARARReadFrameInfo(h, r); });
  const uint32_t frames = DARARARGetWaveInfo(h, r, RZ_WAVE_TOTAL_FRAMES);
  const uint32_t fs = DARARARGetWaveInfo(h, r, RZ_WAVE_FRAME_SECONDS);
  const Region area = s.chunk(r, RZ_CHUNK_FRAME_INFO, 0);
  for (uint32_t c = 0; c <= channels; ++c) {
    if (c >= kMaxChannelsHandedOut && c + 1 < channels) continue;
    const uint32_t samples = DARARARGetFrameChInfo(h, r, RZ_CHANNEL_SAMPLE_RATE, uint16_t(c)) * fs;
    const uint32_t frameList[] = {0, frames ? frames - 1 : 0, frames, UINT32_MAX};
    const uint32_t sampleList[] = {0, samples ? samples - 1 : 0, samples};
    for (uint32_t frame : frameList)
      for (uint32_t sample : sampleList)
        s.guarded("ChangeEventData", area,
                  [&] { DARARARChangeEventData(h, r, 0x7E57, uint16_t(c), frame, sample); });
  }

  // Without a record started through this handle the wave information has no
  // known place: nothing may be written.
  s.guarded("UpdateWaveInfo", Region{}, [&] { DARARARUpdateWaveInfo(h, 1000); });
}

// The score table appended to the last record through the editing handle:
// only the record's header and its end (the terminator it replaces, the new
// chunk and terminator) may change.
void append_score_table(Session& s) {
  HGLOBAL h = s.h();
  const uint32_t records = std::min<uint32_t>(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), rz::kMaxRecords);
  if (records == 0) return;
  const RecordSpan rs = s.record(records - 1);
  const uint32_t count = 6;
  s.guarded("CreateScoreTable", Region{}, [&] {
    DARARARCreateScoreTable(h, 3, count);
    DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "appended");
  });
  const Region head{rs.offset, rs.offset + C::record_header::kSize};
  const Region tail{rs.end >= C::kTerminatorSize ? rs.end - C::kTerminatorSize : 0,
                    rs.end + rz::score_table::size_for(count) + C::kTerminatorSize};
  s.guarded("CreateScoreInfo", Regions{tail, head}, [&] { DARARARCreateScoreInfo(h, 0); });
}

void run_readers(Session& s, bool edit) {
  HGLOBAL h = s.h();
  HGLOBAL small = RAZIVERACreateTextBuffer(2);
  HGLOBAL large = RAZIVERACreateTextBuffer(kLargeBufferCapacity);
  s.guarded("GetInfo", Region{}, [&] {
    for (uint16_t selector = 0; selector <= RZ_INFO_WRITE_POS + 1; ++selector) RAZIVERAGetInfo(h, selector);
    RAZIVERAGetFileHandle(h);
  });
  ScoreRecords scores;
  const uint32_t records = std::min<uint32_t>(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), rz::kMaxRecords);
  for (uint32_t r = 0; r <= records && s.failure().empty(); ++r) {
    const uint16_t record = uint16_t(r);
    const Contents contents = list_chunks(s.reader(), s.record(r), s.big());
    read_description(s, record, contents);
    read_frames(s, record);
    read_events_and_scores(s, record, contents, edit ? &scores : nullptr);
    read_user_data(s, record, contents, small, large);
    if (edit && s.failure().empty()) edit_record(s, record, contents, large, scores);
  }
  if (edit && s.failure().empty()) append_score_table(s);
  GlobalFree(small);
  GlobalFree(large);
}

std::string read_bytes(const std::string& path, const Bytes* original) {
  Session s(path, RZ_OPEN_READ, original);
  if (!s.h()) return {};
  run_readers(s, false);
  s.close();
  return s.failure();
}

std::string edit_bytes(const std::string& path, const Bytes* original) {
  Session s(path, RZ_OPEN_READ_WRITE, original);
  if (!s.h()) return {};
  run_readers(s, true);
  s.close();
  return s.failure();
}

// Channels of a copy that get samples, and the most samples given one.
constexpr uint16_t kPlacedChannels = 4;
constexpr uint64_t kMaxPlacedSamples = 1u << 16;

std::string copy_file(const std::string& source, const std::string& target) {
  HGLOBAL src = RAZIVERAOpenBioFile(source.c_str(), RZ_OPEN_READ, 1);
  if (!src) return {};
  DARARARReadRecordInfo(src, 0);
  DARARARReadChannelInfo(src, 0);
  DARARARReadUserChannelInfo(src, 0);
  DARARARReadFrameInfo(src, 0);
  DARARARReadEventInfo(src, 0);
  HGLOBAL dst = RAZIVERACopyNewBioFile(src, target.c_str(), 2);
  if (RAZIVERACloseBioFile(src) != nullptr) return "close of the source failed";
  if (!dst) return {};
  // Continue the recording as an acquisition application would: a new frame
  // area, two saves, the frame count kept current, the record ended.
  DARARARCreateFrameBuf(dst, 2);
  // The first channels get samples through the set-point call, whatever the
  // copied channel layout made of their blocks: the call reads the caller's
  // two frames of each, and places them where the save will write them.
  const uint64_t frameSeconds = DARARARGetWaveInfo(dst, 0, RZ_WAVE_FRAME_SECONDS);
  for (uint16_t c = 0; c < kPlacedChannels; ++c) {
    const uint64_t samples = uint64_t(DARARARGetFrameChInfo(dst, 0, RZ_CHANNEL_SAMPLE_RATE, c)) * frameSeconds * 2;
    if (samples == 0 || samples > kMaxPlacedSamples) continue;
    const std::vector<int16_t> input(size_t(samples), int16_t(c + 1));
    DARARARSetFramePointWaveEx(dst, RZ_POINT_EVERY, 0, 2, c, 2, input.data());
  }
  DARARARSaveFrameWave(dst, 2);
  DARARARUpdateWaveInfo(dst, 16);
  DARARARSaveFrameWave(dst, 1);
  DARARARCreateEventInfo(dst);
  DARARAREndRecordWave(dst);
  if (RAZIVERACloseBioFile(dst) != nullptr) return "close of the copy failed";
  return read_all(target);
}

}  // namespace

std::string read_all(const std::string& path) { return read_bytes(path, nullptr); }

std::string edit_all(const std::string& path) { return edit_bytes(path, nullptr); }

std::string copy_all(const std::string& source, const std::string& target) { return copy_file(source, target); }

const char* target_name(Target target) {
  switch (target) {
    case Target::Read: return "read";
    case Target::Edit: return "edit";
    case Target::Copy: return "copy";
  }
  return "";
}

std::string run(Target target, const uint8_t* data, size_t size, const std::string& dir) {
  const std::string input = dir + "/input.vozo";
  if (!store(input, data, size)) return "cannot write " + input;
  switch (target) {
    case Target::Read: {
      const Bytes bytes(data, data + size);
      return read_bytes(input, &bytes);
    }
    case Target::Edit: {
      const Bytes bytes(data, data + size);
      return edit_bytes(input, &bytes);
    }
    case Target::Copy: return copy_all(input, dir + "/copy.vozo");
  }
  return {};
}

}  // namespace rzfuzz
