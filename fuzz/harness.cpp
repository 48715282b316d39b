#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "format/layout.h"
#include "frame/biofile.h"
#include "razivera.h"

namespace rzfuzz {
namespace {

using Bytes = std::vector<uint8_t>;

// Loop bounds: enough to reach every structure a file can describe, small
// enough that one input runs in milliseconds.
constexpr uint32_t kMaxChunksListed = 64;
constexpr uint32_t kMaxChannelsHandedOut = 24;
constexpr size_t kMaxHandOutBytes = 16u << 20;
constexpr uint16_t kLargeBufferCapacity = 300;
// Frames larger than this (up to the library's 64 MiB) get two window reads
// instead of the full assortment: each read zero-fills whole frames, and the
// fuzzer would spend its time in memset.
constexpr uint32_t kAssortedWindowsFrameSize = 1u << 20;

// The typed user data chunks.
constexpr uint32_t kUserTypes[] = {RZ_CHUNK_USER_BYTE,  RZ_CHUNK_USER_WORD, RZ_CHUNK_USER_SHORT,
                                   RZ_CHUNK_USER_DWORD, RZ_CHUNK_USER_LONG, RZ_CHUNK_USER_FLOAT};

Bytes load(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + n);
  std::fclose(f);
  return b;
}

bool store(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// What the handle believes about a record and its buffers, read through the
// handle's own block (the harness links the library's internals).
struct RecordView {
  uint64_t offset = 0;
  uint64_t end = 0;
  size_t largestBuffer = 0;
  uint16_t scoreRecord = 0;
  bool big = false;
};

RecordView view(HGLOBAL h, uint16_t record) {
  RecordView v;
  rz::Pinned<rz::BioFile> bf(h);
  if (!bf || record >= rz::kMaxRecords) return v;
  v.offset = bf->recordOffset[record];
  v.end = v.offset + bf->recordSize[record];
  v.scoreRecord = bf->scoreRecord;
  v.big = bf->big();
  const rz::RecordSlot& rs = bf->records[record];
  for (uint32_t c = 0; c < rz::channel_limit(rs); ++c)
    v.largestBuffer = std::max(v.largestBuffer, rz::plat::mem_size(rs.channels[c].frameBuf));
  return v;
}

struct Chunk {
  uint32_t type;
  uint32_t id;
};

// The chunk heads of a record as the file holds them, by the format's chunk
// walk; the harness uses them to name types and ids.
std::vector<Chunk> list_chunks(const Bytes& file, const RecordView& rv) {
  std::vector<Chunk> out;
  const auto read = [&file](uint64_t pos, void* buf, size_t n) -> size_t {
    if (pos >= file.size()) return 0;
    const size_t got = std::min<uint64_t>(n, file.size() - pos);
    std::memcpy(buf, file.data() + pos, got);
    return got;
  };
  auto walk = rz::container::walk_chunks(read, rv.offset, rv.end, rv.big);
  rz::container::ChunkHeadView c;
  while (out.size() < kMaxChunksListed && walk.next(c)) out.push_back({c.type, c.id});
  return out;
}

// Bytes a call may change: [begin, end).
struct Region {
  uint64_t begin = 0;
  uint64_t end = 0;
};

constexpr size_t kCompareBlock = 4096;

class Session {
 public:
  Session(const std::string& path, uint16_t mode) : path_(path), editing_(mode == 3) {
    original_ = load(path);
    h_ = RAZIVERAOpenBioFile(path.c_str(), mode, 1);
  }
  ~Session() { close(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  HGLOBAL h() const { return h_; }
  const Bytes& original() const { return original_; }
  std::string& failure() { return failure_; }
  void close() {
    if (h_ && RAZIVERACloseBioFile(h_) != nullptr && failure_.empty())
      failure_ = "close did not release a live handle";
    h_ = nullptr;
  }

  // The stored chunk a call names: from the chunk search's offset to the end
  // its size word gives, no further than its record (when it starts inside
  // it) and the file as it was.
  Region chunk(uint16_t record, uint32_t type, uint32_t id) const {
    uint32_t head[16] = {};
    const int32_t pos = RAZIVERAFindIndexPtr(h_, record, type, id, head);
    if (pos <= 0) return {};
    const RecordView rv = view(h_, record);
    uint64_t end = uint64_t(uint32_t(pos)) + head[0];
    if (uint64_t(uint32_t(pos)) < rv.end && end > rv.end) end = rv.end;
    end = std::min<uint64_t>(end, original_.size());
    return {uint64_t(uint32_t(pos)), std::max<uint64_t>(end, uint32_t(pos))};
  }

  // Runs a call; on a file opened for editing, checks that it changed no byte
  // outside `allowed` (and `also`).
  template <class F>
  void guarded(const char* what, Region allowed, F&& call, Region also = {}) {
    if (!editing_) {
      call();
      return;
    }
    const Bytes before = load(path_);
    call();
    const Bytes after = load(path_);
    if (!failure_.empty()) return;
    const size_t n = std::max(before.size(), after.size());
    const size_t common = std::min(before.size(), after.size());
    // Equal stretches are skipped a block at a time: a byte-by-byte walk of
    // the whole file after every call was most of an execution's time.
    for (size_t i = 0; i < n; ++i) {
      if (i % kCompareBlock == 0 && i + kCompareBlock <= common &&
          std::memcmp(&before[i], &after[i], kCompareBlock) == 0) {
        i += kCompareBlock - 1;
        continue;
      }
      const bool same = i < before.size() && i < after.size() && before[i] == after[i];
      if (same || (i >= allowed.begin && i < allowed.end) || (i >= also.begin && i < also.end))
        continue;
      char text[200];
      std::snprintf(text, sizeof text, "%s changed byte %zu (file %zu -> %zu bytes), allowed [%llu, %llu)",
                    what, i, before.size(), after.size(), (unsigned long long)allowed.begin,
                    (unsigned long long)allowed.end);
      failure_ = text;
      return;
    }
  }

 private:
  std::string path_;
  bool editing_;
  Bytes original_;
  HGLOBAL h_ = nullptr;
  std::string failure_;
};

// ---- Readers ------------------------------------------------------------------

void read_description(Session& s, uint16_t r) {
  HGLOBAL h = s.h();
  s.guarded("ReadRecordInfo", s.chunk(r, RZ_CHUNK_WAVE_INFO, 0), [&] { DARARARReadRecordInfo(h, r); });
  s.guarded("ReadChannelInfo", s.chunk(r, RZ_CHUNK_FRAME_CH_INFO, 0), [&] { DARARARReadChannelInfo(h, r); });
  s.guarded("description readers", {}, [&] {
    DARARARReadUpdateTotalFrame(h, r);
    DARARARReadUserChannelInfo(h, r);
    char text[300];
    for (uint16_t item = 0; item <= 31; ++item) DARARARGetWaveInfo(h, r, item);
    DARARARGetWaveText(h, r, RZ_WAVE_TEXT, text);
    DARARARGetWaveText(h, r, RZ_WAVE_TEXT_PATH, text);
    const uint32_t channels = DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT);
    for (uint32_t c = 0; c <= channels && c <= 256; ++c) {
      for (uint16_t item = 1; item <= 29; ++item) DARARARGetFrameChInfo(h, r, item, uint16_t(c));
      DARARARGetFrameChText(h, r, RZ_CHANNEL_LABEL, uint16_t(c), text);
      DARARARGetFrameChText(h, r, RZ_CHANNEL_UNIT, uint16_t(c), text);
      DARARARReadNonLinearInfo(h, r, uint16_t(c + 1));
      uint32_t v1 = 0, v2 = 0;
      for (uint16_t point = 0; point <= rz::kMaxNonLinearPoints; ++point)
        DARARARGetNonLinearInfo(h, r, RZ_NONLINEAR_POINT, uint16_t(c), point, &v1, &v2, text);
      DARARARGetNonLinearInfo(h, r, RZ_NONLINEAR_COUNT, uint16_t(c), 0, &v1, &v2, text);
    }
    DARARARReadNonLinearInfo(h, r, 0);
    DARARARReadNonLinearInfo(h, r, 257);
  });
}

// Windows of assorted starts and lengths over the record's frames, and every
// channel's samples handed out of them.
void read_frames(Session& s, uint16_t r) {
  HGLOBAL h = s.h();
  s.guarded("frame readers", {}, [&] {
    if (!DARARARReadFrameInfo(h, r)) return;
    const uint32_t fs = DARARARGetWaveInfo(h, r, RZ_WAVE_FRAME_SECONDS);
    const uint32_t frames = DARARARGetWaveInfo(h, r, RZ_WAVE_TOTAL_FRAMES);
    const uint32_t channels = std::min<uint32_t>(DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT), 256);
    const uint32_t last = fs * (frames ? frames - 1 : 0);
    const bool assorted = DARARARGetWaveInfo(h, r, RZ_WAVE_FRAME_SIZE) <= kAssortedWindowsFrameSize;
    const uint32_t windows[] = {3, 0};
    for (uint32_t window : windows) {
      DARARARCreateReadFrameBuf(h, r, window);
      const RecordView rv = view(h, r);
      std::vector<int16_t> out;
      if (rv.largestBuffer <= kMaxHandOutBytes) out.resize(rv.largestBuffer / 2 + 1);
      auto hand_out = [&] {
        if (out.empty()) return;
        for (uint32_t c = 0; c < channels; ++c) {
          if (c >= kMaxChannelsHandedOut && c + 1 != channels) continue;
          DARARARGetFrameWave(h, r, uint16_t(c), out.data());
          DARARARGetFrameWaveEx(h, r, uint16_t(c), out.data(), 0, 1);
          DARARARGetFrameWaveEx(h, r, uint16_t(c), out.data(), 1, window);
          DARARARGetFrameWaveEx(h, r, uint16_t(c), out.data(), UINT32_MAX, UINT32_MAX);
        }
        DARARARGetFrameWave(h, r, uint16_t(channels), out.data());
      };
      DARARARReadFrameWave(h, r, 0);
      hand_out();
      DARARARReadFrameWaveEx(h, r, -2, 3);
      hand_out();
      if (!assorted) return;
      const uint32_t starts[] = {fs, last, last + fs, UINT32_MAX};
      for (uint32_t start : starts) {
        DARARARReadFrameWave(h, r, start);
        hand_out();
      }
      struct Span {
        int32_t start;
        uint32_t length;
      };
      const Span spans[] = {{0, 1}, {1, window}, {int32_t(last), 2 * fs},
                            {INT32_MIN, UINT32_MAX}, {INT32_MAX, 1}};
      for (const Span& span : spans) {
        DARARARReadFrameWaveEx(h, r, span.start, span.length);
        hand_out();
      }
    }
  });
}

void read_events_and_scores(Session& s, uint16_t r, const std::vector<Chunk>& chunks) {
  HGLOBAL h = s.h();
  s.guarded("event and score readers", {}, [&] {
    const int32_t entries = DARARARReadEventInfo(h, r);
    uint8_t data[1024];
    uint32_t value = 0;
    for (int32_t i = 0; i <= entries + 1 && i <= 0xFFFF; ++i)
      DARARARGetEventTableInfo(h, r, uint16_t(i), &value, data);
    DARARARGetWaveInfo(h, r, RZ_WAVE_HAS_EVENT_TABLE);

    std::vector<uint32_t> ids{0};
    for (const Chunk& c : chunks)
      if (c.type == RZ_CHUNK_SCORE_TABLE) ids.push_back(c.id);
    for (uint32_t id : ids) {
      const int32_t count = DARARARReadScoreInfo(h, r, uint16_t(id));
      const int32_t indexes[] = {-1, 0, 1, 5, count - 1, count};
      uint32_t out = 0;
      for (uint16_t item = 0; item <= 21; ++item)
        for (int32_t index : indexes) DARARARGetScoreTableInfo(h, item, index, &out);
      char text[64];
      DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 0, text);
    }
  });
}

// Text lists, user information, user texts and every user data type, under
// the types and ids the record holds.
void read_user_data(Session& s, uint16_t r, const std::vector<Chunk>& chunks, HGLOBAL small,
                    HGLOBAL large) {
  HGLOBAL h = s.h();
  const size_t fileSize = s.original().size();
  s.guarded("text and user data readers", {}, [&] {
    char text[256];
    for (const Chunk& c : chunks) {
      if (c.type > 0xFFFF) continue;
      const uint16_t type = uint16_t(c.type);
      for (HGLOBAL buffer : {HGLOBAL(nullptr), small, large}) {
        const uint32_t n = DARARARReadTextInfo(h, buffer, r, type);
        for (int32_t i = -1; i <= int32_t(std::min<uint32_t>(n, 8)); ++i)
          RAZIVERAGetTextBuffer(h, buffer, i, text);
        RAZIVERAGetTextIDBuffer(h, buffer, uint16_t(c.id), text);
      }
      for (uint32_t id : {0u, c.id}) {
        DARARARGetUserDataNum(h, r, type, uint16_t(id));
        const int32_t count = DARARARReadUserInfo(h, r, type, uint16_t(id), nullptr);
        if (count > 0) {
          // The caller sizes its array from the count; a count the file cannot
          // back is never read in full, so the file's size bounds the array.
          std::vector<uint32_t> values(std::min<size_t>(size_t(count), fileSize / 4 + 1));
          DARARARReadUserInfo(h, r, type, uint16_t(id), values.data());
        }
      }
      if (c.type == RZ_CHUNK_USER_TEXT) {
        for (HGLOBAL buffer : {HGLOBAL(nullptr), small, large}) {
          DARARARReadUserText(h, buffer, r, uint16_t(c.id));
          DARARARReadUserText(h, buffer, r, 0);
          RAZIVERAGetTextBuffer(h, buffer, 0, text);
        }
      }
    }
    std::vector<uint32_t> ids{0};
    for (const Chunk& c : chunks)
      if (std::find(std::begin(kUserTypes), std::end(kUserTypes), c.type) != std::end(kUserTypes))
        ids.push_back(c.id);
    std::vector<uint8_t> buffer(fileSize + 16);
    for (uint32_t id : ids) {
      const uint16_t i = uint16_t(id);
      const int32_t bytes = int32_t(buffer.size());
      DARARARReadUserByte(h, r, i, buffer.data(), bytes);
      DARARARReadUserByte(h, r, i, buffer.data(), 1);
      DARARARReadUserByte(h, r, i, buffer.data(), -1);
      DARARARReadUserWord(h, r, i, reinterpret_cast<uint16_t*>(buffer.data()), bytes / 2);
      DARARARReadUserShort(h, r, i, reinterpret_cast<int16_t*>(buffer.data()), bytes / 2);
      DARARARReadUserDword(h, r, i, reinterpret_cast<uint32_t*>(buffer.data()), bytes / 4);
      DARARARReadUserLong(h, r, i, reinterpret_cast<int32_t*>(buffer.data()), bytes / 4);
      DARARARReadUserFloat(h, r, i, reinterpret_cast<float*>(buffer.data()), bytes / 4);
      for (uint32_t type : kUserTypes) DARARARGetUserDataNum(h, r, uint16_t(type), i);
    }
    uint32_t head[16];
    for (const Chunk& c : chunks) RAZIVERAFindIndexPtr(h, r, c.type, c.id, head);
    RAZIVERAFindIndexPtr(h, r, RZ_CHUNK_WAVE_INFO, 0, nullptr);
  });
}

// ---- In-place editors ---------------------------------------------------------

void edit_record(Session& s, uint16_t r, const std::vector<Chunk>& chunks, HGLOBAL large) {
  HGLOBAL h = s.h();
  const uint32_t channels = std::min<uint32_t>(DARARARGetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT), 256);

  // Channel definitions, changed in memory first so that the rewrite differs.
  if (channels > 0) {
    DARARARSetFrameChInfo(h, r, RZ_CHANNEL_FILTER_B, 0, 77);
    DARARARSetFrameChText(h, r, RZ_CHANNEL_LABEL, 0, "edited label that is long");
    DARARARSetFrameChText(h, r, RZ_CHANNEL_UNIT, uint16_t(channels - 1), "mV");
  }
  s.guarded("UpdateFrameChInfo", s.chunk(r, RZ_CHUNK_FRAME_CH_INFO, 0),
            [&] { DARARARUpdateFrameChInfo(h, r); });

  // Event data, from the stored table and from tables that do not match it.
  uint8_t data[1024];
  std::memset(data, 0xA5, sizeof data);
  if (DARARARReadEventInfo(h, r) > 0) DARARARSetEventTableInfo(h, r, 1, 9, data);
  s.guarded("UpdateEventInfo", s.chunk(r, RZ_CHUNK_EVENT_TABLE, 0), [&] { DARARARUpdateEventInfo(h, r); });
  const uint32_t dataSizes[] = {1016, 0, 5};
  for (uint32_t dataSize : dataSizes) {
    DARARARCreateEventTable(h, r, 1, 4, dataSize);
    for (uint16_t i = 1; i <= 4; ++i) DARARARSetEventTableInfo(h, r, i, i, data);
    s.guarded("UpdateEventInfo", s.chunk(r, RZ_CHUNK_EVENT_TABLE, 0), [&] { DARARARUpdateEventInfo(h, r); });
  }

  // Texts of every list the record holds, short and longer than any room.
  std::string longText(300, 'x');
  for (const Chunk& c : chunks) {
    if (c.type > 0xFFFF) continue;
    const uint16_t type = uint16_t(c.type);
    const uint32_t n = DARARARReadTextInfo(h, large, r, type);
    std::vector<uint32_t> ids{0, 0xFFFF};
    char text[256];
    for (uint32_t i = 0; i < n && i < 4; ++i) ids.push_back(RAZIVERAGetTextBuffer(h, large, int32_t(i), text) & 0xFFFF);
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
  for (const Chunk& c : chunks)
    if (c.type == RZ_CHUNK_SCORE_TABLE) ids.push_back(c.id);
  for (uint32_t id : ids) {
    const int32_t count = DARARARReadScoreInfo(h, r, uint16_t(id));
    DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, 0, 0xABCDEF);
    DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, count - 1, 0x123456);
    DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING2, 0, uint32_t(count));
    DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "scored again");
    const uint16_t record = view(h, r).scoreRecord;
    s.guarded("UpdateScoreInfo", s.chunk(record, RZ_CHUNK_SCORE_TABLE, id),
              [&] { DARARARUpdateScoreInfo(h, uint16_t(id)); });
  }
  DARARARCreateScoreTable(h, 1, 5000);
  DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, 4999, 1);
  for (uint32_t id : ids) {
    const uint16_t record = view(h, r).scoreRecord;
    s.guarded("UpdateScoreInfo", s.chunk(record, RZ_CHUNK_SCORE_TABLE, id),
              [&] { DARARARUpdateScoreInfo(h, uint16_t(id)); });
  }

  // Event codes in stored frames: first and last frame, first and last sample
  // of each channel, and just past each.
  DARARARReadFrameInfo(h, r);
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
  s.guarded("UpdateWaveInfo", {}, [&] { DARARARUpdateWaveInfo(h, 1000); });
}

// The score table appended to the last record through the editing handle:
// only the record's header and its end (the terminator it replaces, the new
// chunk and terminator) may change.
void append_score_table(Session& s) {
  HGLOBAL h = s.h();
  const uint32_t records = std::min<uint32_t>(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), rz::kMaxRecords);
  if (records == 0) return;
  const RecordView rv = view(h, uint16_t(records - 1));
  const uint32_t count = 6;
  DARARARCreateScoreTable(h, 3, count);
  DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "appended");
  const uint64_t end = rv.end;
  namespace C = rz::container;
  const Region head{rv.offset, rv.offset + C::record_header::kSize};
  const Region tail{end >= C::kTerminatorSize ? end - C::kTerminatorSize : 0,
                    end + rz::score_table::size_for(count) + C::kTerminatorSize};
  s.guarded("CreateScoreInfo", tail, [&] { DARARARCreateScoreInfo(h, 0); }, head);
}

void run_readers(Session& s, bool edit) {
  HGLOBAL h = s.h();
  HGLOBAL small = RAZIVERACreateTextBuffer(2);
  HGLOBAL large = RAZIVERACreateTextBuffer(kLargeBufferCapacity);
  for (uint16_t selector = 0; selector <= 11; ++selector) RAZIVERAGetInfo(h, selector);
  RAZIVERAGetFileHandle(h);
  const uint32_t records = std::min<uint32_t>(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), rz::kMaxRecords);
  for (uint32_t r = 0; r <= records && s.failure().empty(); ++r) {
    const uint16_t record = uint16_t(r);
    const std::vector<Chunk> chunks = list_chunks(s.original(), view(h, record));
    read_description(s, record);
    read_frames(s, record);
    read_events_and_scores(s, record, chunks);
    read_user_data(s, record, chunks, small, large);
    if (edit && s.failure().empty()) edit_record(s, record, chunks, large);
  }
  if (edit && s.failure().empty()) append_score_table(s);
  GlobalFree(small);
  GlobalFree(large);
}

}  // namespace

std::string read_all(const std::string& path) {
  Session s(path, 1);
  if (!s.h()) return {};
  run_readers(s, false);
  s.close();
  return s.failure();
}

std::string edit_all(const std::string& path) {
  Session s(path, 3);
  if (!s.h()) return {};
  run_readers(s, true);
  s.close();
  return s.failure();
}

std::string copy_all(const std::string& source, const std::string& target) {
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
  DARARARSaveFrameWave(dst, 2);
  DARARARUpdateWaveInfo(dst, 16);
  DARARARSaveFrameWave(dst, 1);
  DARARARCreateEventInfo(dst);
  DARARAREndRecordWave(dst);
  if (RAZIVERACloseBioFile(dst) != nullptr) return "close of the copy failed";
  return read_all(target);
}

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
    case Target::Read: return read_all(input);
    case Target::Edit: return edit_all(input);
    case Target::Copy: return copy_all(input, dir + "/copy.vozo");
  }
  return {};
}

}  // namespace rzfuzz
