// The score table: one per handle, filled through item codes and a text,
// appended to the last record (also after that record was ended), read back
// for review and rewritten in place.
#include "events/score_table.h"

#include <cstring>

#include "container/container.h"
#include "platform/platform.h"

namespace rz::score_table {
namespace {

// The handle's table locked for one call; refused unless the block holds the
// head and every entry its count names.
class ScoreTableLock : public container::HeldTable {
 public:
  using HeldTable::HeldTable;

  explicit operator bool() const {
    return block_ && block_.size() >= kHeadSize && count() <= kMaxCount &&
           size_for(count()) <= block_.size();
  }
  uint32_t count() const { return mem_.u32(kCount); }
  // Signed view of count: the settings' limits are compared signed.
  int32_t limit() const { return int32_t(count()); }

  // Cuts the table to `n` entries, keeping its size word in step so that a
  // later write produces a consistent chunk.
  void cut(uint32_t n) {
    mem_.u32(kCount, n);
    mem_.u32(kSizeWord, size_for(n));
  }
};

uint16_t low_half(uint32_t w) { return uint16_t(w & 0xFFFFu); }
uint16_t high_half(uint32_t w) { return uint16_t(w >> 16); }
uint32_t with_low_half(uint32_t w, uint32_t v) { return (w & 0xFFFF0000u) | (v & 0xFFFFu); }
uint32_t with_high_half(uint32_t w, uint32_t v) { return (w & 0xFFFFu) | (v << 16); }

// Word and half of words17[i], i from 0 to 5.
uint32_t words17_offset(uint32_t i) { return kWords17 + (i / 2) * 4; }
bool words17_high(uint32_t i) { return (i % 2) != 0; }

// Offset of setting index4, index5 or index6.
uint32_t index_offset(uint16_t item) { return kIndex4 + (item - kItemIndex4) * 4u; }

// Replaces the handle's table with a new, empty one.  False (and no table)
// when the block cannot be had.
bool new_table(BioFile& bf, uint32_t id, uint32_t count) {
  release_block(bf.scoreTable);
  HGLOBAL block = plat::mem_alloc(plat::kMemFlags, size_t{size_for(count)} + kBlockSlack);
  if (!block) return false;
  {
    BlockLock b(block);
    if (!b) {
      plat::mem_free(block);
      return false;
    }
    Packed m(b.data(), b.size(), kHostBigEndian);
    m.u32(kSizeWord, size_for(count));
    m.u32(kType, container::kScoreTable);
    m.u32(kId, id);
    m.u32(kCount, count);
  }
  bf.scoreTable = block;
  return true;
}

// How the last record ends, found by walking its chunk heads from its first
// chunk: the walk lands exactly on the record's end (open, still being
// written), or meets a size 0 head exactly 16 bytes before it (ended, that
// head is its terminator).  Anything else - a damaged chain, a second
// terminator, more chunks than a search visits - is not taken as either.
enum class Ending { Open, Ended, Unknown };

Ending ending_of(BioFile& bf, int r) {
  const uint64_t begin = bf.recordOffset[r];
  const uint64_t end = begin + bf.recordSize[r];
  const auto read = [&bf](uint64_t pos, void* head, size_t n) -> size_t {
    return container::read_at(bf, uint32_t(pos), head, uint32_t(n));
  };
  auto walk = container::walk_chunks(read, begin, end, bf.big());
  container::ChunkHeadView c;
  while (walk.next(c)) {
  }
  const uint64_t at = walk.position();
  if (walk.ended() == container::WalkEnd::kRecordEnd && at == end) return Ending::Open;
  if (walk.ended() == container::WalkEnd::kTerminator && at < end &&
      end - at == container::kTerminatorSize)
    return Ending::Ended;
  return Ending::Unknown;
}

// True when the record's last 16 bytes could be its terminator: they lie
// behind its header and read as zeros.
bool ends_in_zeros(BioFile& bf, int r) {
  if (bf.recordSize[r] < container::record_header::kSize + container::kTerminatorSize) return false;
  uint8_t tail[container::kTerminatorSize];
  const uint32_t at = container::record_end(bf, r) - container::kTerminatorSize;
  if (container::read_at(bf, at, tail, sizeof tail) < sizeof tail) return false;
  for (uint8_t b : tail)
    if (b != 0) return false;
  return true;
}

// Entries the stored chunk at `pos` has room for, or -1 when the chunk is too
// small even for its head.
int64_t stored_room(const BioFile& bf, uint32_t record, uint32_t pos, const uint8_t* head) {
  const uint32_t size = load_u32(head, kSizeWord, bf.big());
  const uint32_t end = container::stored_chunk_end(bf, record, pos, size);
  if (end - pos < kHeadSize) return -1;
  return (end - pos - kHeadSize) / kEntrySize;
}

}  // namespace
}  // namespace rz::score_table

using namespace rz;
using namespace rz::score_table;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateScoreTable(HGLOBAL h, uint16_t id, uint32_t count) {
  if (!h || count == 0) return 0;
  BioLock bf(h);
  if (!bf) return 0;
  if (count > kMaxCount) return 0;
  return new_table(*bf, id, count) ? 1 : 0;
}

RZ_PUBLIC int32_t RZAPI DARARARSetScoreTableInfo(HGLOBAL h, uint16_t item, int32_t index,
                                                 uint32_t value) {
  BioLock bf(h);
  if (!bf) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t) return 0;
  Packed& m = t.mem();
  const int32_t v = int32_t(value);
  switch (item) {
    case kItemSetting2:
      if (v > t.limit()) return 0;
      m.u32(kSetting2, value);
      return 1;
    case kItemSetting3:
      if (v < 1) return 0;
      m.u32(kSetting3, value);
      return 1;
    case kItemIndex4:
    case kItemIndex5:
    case kItemIndex6:
      // Stored as index + 1: -1 clears the setting.
      if (v >= t.limit()) return 0;
      m.u32(index_offset(item), value + 1);
      return 1;
    case kItemSetting7:
      m.u32(kSetting7, value);
      return 1;
    case kItemSetting8:
      m.u32(kSetting8, with_low_half(m.u32(kSetting8), value));
      return 1;
    case kItemEntry:
      if (index < 0 || index >= t.limit()) return 0;
      m.u32(kEntries + uint32_t(index) * kEntrySize, value);
      return 1;
    case kItemSetting15:
      m.u32(kSettings15And16, with_low_half(m.u32(kSettings15And16), value));
      return 1;
    case kItemSetting16:
      m.u32(kSettings15And16, with_high_half(m.u32(kSettings15And16), value));
      return 1;
    case kItemWords17: {
      const uint32_t i = uint32_t(index);
      if (i >= kWords17Count) return 0;
      const uint32_t off = words17_offset(i);
      const uint32_t w = m.u32(off);
      m.u32(off, words17_high(i) ? with_high_half(w, value) : with_low_half(w, value));
      return 1;
    }
    default:
      return 0;
  }
}

RZ_PUBLIC int32_t RZAPI DARARARGetScoreTableInfo(HGLOBAL h, uint16_t item, int32_t index,
                                                 uint32_t* out) {
  if (!h || !out) return 0;
  *out = 0;
  BioLock bf(h);
  if (!bf) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t) return 0;
  const Packed& m = t.mem();
  // Items 7, 8, 15, 16 and 17 deliver their value and still answer 0: callers
  // read them through `out` whatever the result.
  switch (item) {
    case kItemCount:
      *out = t.count();
      return 1;
    case kItemSetting2:
      *out = m.u32(kSetting2);
      return 1;
    case kItemSetting3:
      *out = m.u32(kSetting3);
      return 1;
    case kItemIndex4:
    case kItemIndex5:
    case kItemIndex6: {
      const int32_t stored = int32_t(m.u32(index_offset(item)));
      if (stored <= 0) return 0;
      *out = uint32_t(stored - 1);
      return 1;
    }
    case kItemSetting7:
      *out = m.u32(kSetting7);
      return 0;
    case kItemSetting8:
      *out = low_half(m.u32(kSetting8));
      return 0;
    case kItemEntry:
    case kItemEntryAll: {
      if (index < 0 || index >= t.limit()) return 0;
      const uint32_t e = m.u32(kEntries + uint32_t(index) * kEntrySize);
      *out = item == kItemEntry ? (e & 0x00FFFFFFu) : e;
      return 1;
    }
    case kItemSetting15:
      *out = low_half(m.u32(kSettings15And16));
      return 0;
    case kItemSetting16:
      *out = high_half(m.u32(kSettings15And16));
      return 0;
    case kItemWords17: {
      const uint32_t i = uint32_t(index);
      if (i < kWords17Count) {
        const uint32_t w = m.u32(words17_offset(i));
        *out = words17_high(i) ? high_half(w) : low_half(w);
      }
      return 0;
    }
    default:
      return 0;
  }
}

RZ_PUBLIC int32_t RZAPI DARARARSetScoreTableText(HGLOBAL h, uint16_t item, uint32_t /*index*/,
                                                 const char* text) {
  if (!h || !text) return 0;
  BioLock bf(h);
  if (!bf) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t || item != kItemText) return 0;
  uint32_t n = 0;
  while (n <= kMaxTextChars && text[n]) ++n;
  if (n > kMaxTextChars) return 0;
  // With its NUL; the bytes behind it keep what the area held.
  std::memcpy(t.at(kText), text, n + 1);
  return 1;
}

RZ_PUBLIC uint16_t RZAPI DARARARGetScoreTableText(HGLOBAL h, uint16_t item, uint32_t /*index*/,
                                                  char* text) {
  if (!h || !text) return 0;
  text[0] = '\0';
  BioLock bf(h);
  if (!bf) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t || item != kItemText) return 0;
  // A text read from a file need not end within its area.
  t.mem().text_out(kText, kTextSize, text, kMaxTextChars);
  return uint16_t(std::strlen(text));
}

RZ_PUBLIC int32_t RZAPI DARARARCreateScoreInfo(HGLOBAL h, uint16_t recordClosed) {
  BioLock bf(h);
  if (!bf || bf->readOnly || bf->recordCount == 0 || bf->recordCount > kMaxRecords) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t) return 0;
  const int r = bf->recordCount - 1;
  if (bf->recordSize[r] < container::record_header::kSize) return 0;
  if (uint64_t{bf->recordOffset[r]} + bf->recordSize[r] > uint64_t{INT32_MAX}) return 0;
  const uint32_t end = container::record_end(*bf, r);
  // The record must end where the file holds it: a record length running past
  // the end of the file (a damaged header) would put the table, behind a hole
  // of zeros, far beyond everything stored.
  uint8_t last;
  if (container::read_at(*bf, end - 1, &last, 1) != 1) return 0;

  // The chunk goes where the record's terminator stands, or at its end when
  // it has none; where the walk cannot tell, 16 zero bytes at the end are
  // taken for the terminator.  A terminator follows the chunk when the record
  // was ended or the caller says it was: an ended record keeps exactly one,
  // and one the caller takes for ended gets one.
  const Ending ending = ending_of(*bf, r);
  const bool overTerminator =
      ending == Ending::Ended || (ending == Ending::Unknown && ends_in_zeros(*bf, r));
  const bool terminate = overTerminator || recordClosed != 0;
  const uint32_t back = overTerminator ? container::kTerminatorSize : 0;

  const uint32_t count = t.count();
  const uint32_t chunkSize = size_for(count);
  const uint32_t total = chunkSize + (terminate ? container::kTerminatorSize : 0);
  const uint32_t at = end - back;
  if (uint64_t{at} + total > uint64_t{INT32_MAX}) return 0;
  bf->writePos = end;

  // The chunk (and its terminator) is staged whole and goes out in one write:
  // either it stands complete, or nothing of it is counted.
  ScratchBlock stage(total, true);
  if (!stage) return 0;
  const bool big = bf->big();
  copy_words32(stage.data(), t.at(0), kHeadWords, big);
  Packed chunk(stage.data(), total, big);
  chunk.u32(kSizeWord, chunkSize);
  std::memcpy(stage.data() + kText, t.at(kText), kTextSize);
  copy_words32(stage.data() + kEntries, t.at(kEntries), count, big);

  if (!container::write_at(*bf, at, stage.data(), total)) {
    // A short write may have reached into the terminator it was to replace.
    static const uint8_t terminator[container::kTerminatorSize] = {};
    if (back) container::write_at(*bf, at, terminator, sizeof terminator);
    return 0;
  }
  bf->recordSize[r] += total - back;
  bf->writePos = at + total;
  container::rewrite_record_header(*bf, r);
  return int32_t(bf->writePos);
}

RZ_PUBLIC int32_t RZAPI DARARARUpdateScoreInfo(HGLOBAL h, uint16_t id) {
  BioLock bf(h);
  if (!bf || bf->readOnly || bf->recordCount == 0) return 0;
  const uint32_t record = bf->scoreRecord;
  uint8_t head[kText];
  const uint32_t pos =
      container::find_chunk(*bf, record, container::kScoreTable, id, head, sizeof head);
  if (pos == 0) return 0;
  ScoreTableLock t(bf->scoreTable);
  if (!t) return 0;
  const int64_t room = stored_room(*bf, record, pos, head);
  if (room < 0) return 0;
  const bool big = bf->big();

  // A stored chunk never grows: the table is cut to what it holds.
  uint32_t stored = load_u32(head, kCount, big);
  if (stored > room) stored = uint32_t(room);
  if (stored < t.count()) t.cut(stored);
  const uint32_t count = t.count();
  if (int32_t(t.mem().u32(kSetting2)) > t.limit()) t.mem().u32(kSetting2, count);

  // A zero word closes the entries when it stays inside the chunk; behind the
  // chunk it would land on the next chunk's size.
  const uint32_t closing = count < room ? kEntrySize : 0;
  const uint32_t total = size_for(count) + closing;
  ScratchBlock stage(total, true);
  if (!stage) return 0;
  std::memcpy(stage.data(), head, kSettingsFirst);  // size, type, id as stored
  copy_words32(stage.data() + kSettingsFirst, t.at(kSettingsFirst), kSettingsWords, big);
  std::memcpy(stage.data() + kText, t.at(kText), kTextSize);
  copy_words32(stage.data() + kEntries, t.at(kEntries), count, big);
  return container::rewrite_at(*bf, pos, stage.data(), total) ? 1 : 0;
}

RZ_PUBLIC int32_t RZAPI DARARARReadScoreInfo(HGLOBAL h, uint16_t record, uint16_t id) {
  BioLock bf(h);
  if (!bf) return 0;
  uint8_t head[kHeadSize];
  const uint32_t pos =
      container::find_chunk(*bf, record, container::kScoreTable, id, head, sizeof head);
  if (pos == 0) return 0;
  const int64_t room = stored_room(*bf, record, pos, head);
  if (room < 0) return 0;
  const bool big = bf->big();
  uint32_t count = load_u32(head, kCount, big);
  if (count > room) count = uint32_t(room);
  // The entries must be in the file before a block is sized for them.
  if (count > 0) {
    uint8_t last[kEntrySize];
    const uint32_t lastAt = pos + kEntries + (count - 1) * kEntrySize;
    if (container::read_at(*bf, lastAt, last, sizeof last) < sizeof last) return 0;
  }

  if (count == 0) {
    // Nothing to make a new table from: an existing one takes the stored
    // settings and text and keeps its block, id and entries.
    if (!bf->scoreTable) return 0;
  } else if (!new_table(*bf, id, count)) {
    return 0;
  }
  ScoreTableLock t(bf->scoreTable);
  if (!t) return 0;
  copy_words32(t.at(kSettingsFirst), head + kSettingsFirst, kSettingsWords, big);
  t.cut(count);
  // The stored text comes back too, so that a review does not erase it.
  std::memcpy(t.at(kText), head + kText, kTextSize);
  if (count > 0) {
    container::read_at(*bf, pos + kEntries, t.at(kEntries), count * kEntrySize);
    if (needs_swap(big)) reverse_words32(t.at(kEntries), 0, count);
  }
  bf->scoreRecord = record;
  bf->scoreId = id;
  return int32_t(count);
}

}  // extern "C"
