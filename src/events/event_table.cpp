// Event tables: created and filled in memory per record, written into the
// record being recorded, read back for review, and their entries' data
// rewritten in place.
#include "events/event_table.h"

#include <cstring>

#include "container/container.h"
#include "platform/platform.h"

namespace rz::event_table {
namespace {

// A record's table block locked for one call.  The head must describe a
// table that fits its block, so no walk through the entries can leave it.
class EventTableLock : public container::HeldTable {
 public:
  using HeldTable::HeldTable;

  explicit operator bool() const {
    return block_ && size() >= kHeadSize && size() <= block_.size();
  }
  uint32_t size() const { return mem_.u32(kSizeWord); }
  uint32_t count() const { return mem_.u32(kCount); }

  // Size of the entry at `off`, or 0 when it is not a whole entry of the
  // table (too small for its head, above the staging limit, or running past
  // the size word).
  uint32_t entry_size(uint32_t off) const {
    if (off > size()) return 0;
    const uint32_t s = mem_.u32(off + entry::kSizeWord);
    if (s < entry::kHeadSize || s > entry::kMaxSize || s > size() - off) return 0;
    return s;
  }

  // Offset of entry `index` (counted from 1; index `count` is the last), or 0.
  // Entries are reached by stepping over each one's own size.
  uint32_t entry(uint32_t index) const {
    if (index == 0 || index > count()) return 0;
    uint32_t off = kHeadSize;
    for (uint32_t i = 1;; ++i) {
      const uint32_t s = entry_size(off);
      if (s == 0) return 0;
      if (i == index) return off;
      off += s;
    }
  }
};

// The record's table, or nullptr.
HGLOBAL table_of(BioFile& bf, uint32_t record) {
  RecordSlot* rs = record_at(bf, record);
  return rs ? rs->eventTable : nullptr;
}

// Allocates a zero-filled table block of `size` bytes for the record (its
// previous table already released) and writes its head.
bool new_table(RecordSlot& rs, uint32_t size, uint32_t id, uint32_t count) {
  HGLOBAL block = plat::mem_alloc(plat::kMemFlags, size_t{size} + kBlockSlack);
  if (!block) return false;
  {
    BlockLock b(block);
    if (!b) {
      plat::mem_free(block);
      return false;
    }
    Packed m(b.data(), b.size(), kHostBigEndian);
    m.u32(kSizeWord, size);
    m.u32(kType, container::kEventTable);
    m.u32(kId, id);
    m.u32(kCount, count);
  }
  rs.eventTable = block;
  return true;
}

// Reads the stored chunk at `pos` (its head already in `head`, file order)
// into a new table for the record.  Each stored entry keeps its own size, so
// any table the writer produced reads back exactly.  Only entries standing
// whole inside the chunk are taken, and the block is sized from entry heads
// the file really holds, never from the count word alone.
int32_t read_table(BioFile& bf, uint32_t record, uint32_t pos, const uint8_t* head) {
  const bool big = bf.big();
  const uint32_t end = container::stored_chunk_end(bf, record, pos, load_u32(head, kSizeWord, big));
  if (end - pos < kHeadSize) return 0;
  const uint32_t storedCount = load_u32(head, kCount, big);

  uint32_t count = 0;
  uint32_t total = 0;  // below end - pos, so no wrap
  for (uint32_t p = pos + kHeadSize; count < storedCount; ++count) {
    uint8_t eh[entry::kHeadSize];
    if (container::read_at(bf, p, eh, sizeof eh) < sizeof eh) break;
    const uint32_t s = load_u32(eh, entry::kSizeWord, big);
    if (s < entry::kHeadSize || s > entry::kMaxSize || s > end - p) break;
    p += s;
    total += s;
  }

  RecordSlot& rs = bf.records[record];
  const uint32_t size = kHeadSize + total;
  if (!new_table(rs, size, load_u32(head, kId, big), count)) return 0;
  EventTableLock t(rs.eventTable);
  if (!t) {
    release_block(rs.eventTable);
    return 0;
  }

  // The file may have changed since the heads were walked: every entry is
  // checked again against the room left in the block.
  uint32_t off = kHeadSize;
  uint32_t p = pos + kHeadSize;
  uint32_t got = 0;
  for (; got < count; ++got) {
    uint8_t* e = t.at(off);
    if (container::read_at(bf, p, e, entry::kHeadSize) < entry::kHeadSize) break;
    const uint32_t s = load_u32(e, entry::kSizeWord, big);
    const uint32_t value = load_u32(e, entry::kValue, big);
    if (s < entry::kHeadSize || s > entry::kMaxSize || s > size - off) break;
    container::read_at(bf, p + entry::kHeadSize, e + entry::kData, s - entry::kHeadSize);
    t.mem().u32(off + entry::kSizeWord, s);
    t.mem().u32(off + entry::kValue, value);
    off += s;
    p += s;
  }
  if (got < count) {
    std::memset(t.at(off), 0, size - off);
    t.mem().u32(kSizeWord, off);
    t.mem().u32(kCount, got);
  }
  return int32_t(got);
}

}  // namespace
}  // namespace rz::event_table

using namespace rz;
using namespace rz::event_table;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateEventTable(HGLOBAL h, uint16_t record, uint16_t id,
                                                int32_t count, uint32_t dataSize) {
  if (!h || id == 0) return 0;
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  // Refusals come before the current table is touched.
  if (count < 0 || dataSize > entry::kMaxData) return 0;
  const uint32_t es = entry_size_for(dataSize);
  const uint64_t size = uint64_t{kHeadSize} + uint64_t(count) * es;
  if (size > kMaxTableSize) return 0;

  release_block(rs->eventTable);
  if (!new_table(*rs, uint32_t(size), id, uint32_t(count))) return 0;
  EventTableLock t(rs->eventTable);
  if (!t) {
    release_block(rs->eventTable);
    return 0;
  }
  for (uint32_t i = 0, off = kHeadSize; i < uint32_t(count); ++i, off += es)
    t.mem().u32(off + entry::kSizeWord, es);
  return 1;
}

RZ_PUBLIC int32_t RZAPI DARARARSetEventTableInfo(HGLOBAL h, uint16_t record, uint16_t index,
                                                 uint32_t value, const void* data) {
  if (!h || !data) return 0;
  BioLock bf(h);
  if (!bf) return 0;
  EventTableLock t(table_of(*bf, record));
  if (!t) return 0;
  const uint32_t off = t.entry(index);
  if (off == 0) return 0;
  const uint32_t s = t.entry_size(off);
  t.mem().u32(off + entry::kValue, value);
  std::memcpy(t.at(off + entry::kData), data, s - entry::kHeadSize);
  return 1;
}

RZ_PUBLIC int32_t RZAPI DARARARGetEventTableInfo(HGLOBAL h, uint16_t record, uint16_t index,
                                                 uint32_t* value, void* data) {
  if (!h || !value || !data) return 0;
  *value = 0;
  static_cast<uint8_t*>(data)[0] = 0;
  BioLock bf(h);
  if (!bf) return 0;
  EventTableLock t(table_of(*bf, record));
  if (!t) return 0;
  const uint32_t off = t.entry(index);
  if (off == 0) return 0;
  const uint32_t s = t.entry_size(off);
  *value = t.mem().u32(off + entry::kValue);
  std::memcpy(data, t.at(off + entry::kData), s - entry::kHeadSize);
  return 1;
}

RZ_PUBLIC int32_t RZAPI DARARARCreateEventInfo(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = container::current_record(*bf);
  if (r < 0) return 0;
  EventTableLock t(bf->records[r].eventTable);
  if (!t) return 0;
  const bool big = bf->big();
  // The entries the table holds whole, back to back behind the head.
  uint32_t entries = 0;
  uint64_t total = kHeadSize;
  for (uint32_t off = kHeadSize; entries < t.count(); ++entries) {
    const uint32_t s = t.entry_size(off);
    if (s == 0) break;
    total += s;
    off += s;
  }

  // The head and every entry go out in one write, their numbers in file order
  // and their data bytes as given.
  container::ChunkStage stage(total);
  uint8_t* head = stage.take(kHeadSize);
  if (!head) return 0;
  copy_words32(head, t.at(0), kHeadWords, big);
  uint32_t off = kHeadSize;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t s = t.entry_size(off);
    uint8_t* e = stage.take(s);
    if (!e) return 0;
    copy_words32(e, t.at(off), entry::kHeadWords, big);
    std::memcpy(e + entry::kData, t.at(off + entry::kData), s - entry::kHeadSize);
    off += s;
  }
  return stage.append_to(*bf, r);
}

RZ_PUBLIC int32_t RZAPI DARARARUpdateEventInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf || bf->readOnly) return 0;
  EventTableLock t(table_of(*bf, record));
  if (!t) return 0;
  const bool big = bf->big();
  uint8_t head[kHeadSize];
  const uint32_t pos = container::find_chunk(*bf, record, container::kEventTable, 0, head,
                                             sizeof head);
  if (pos == 0) return 0;
  const uint32_t end = container::stored_chunk_end(*bf, record, pos, load_u32(head, kSizeWord, big));
  if (end - pos < kHeadSize) return 0;
  const uint32_t storedCount = load_u32(head, kCount, big);

  // Only the data bytes are rewritten: the stored heads, values included,
  // stay as first written.  The walk ends with the stored chunk, and at the
  // first entry whose size differs from the one in memory, since from there
  // on the two tables no longer line up.
  uint32_t p = pos + kHeadSize;
  uint32_t off = kHeadSize;
  for (uint32_t i = 0; i < t.count() && i < storedCount; ++i) {
    const uint32_t s = t.entry_size(off);
    if (s == 0) break;
    uint8_t eh[entry::kHeadSize];
    if (container::read_at(*bf, p, eh, sizeof eh) < sizeof eh) break;
    if (load_u32(eh, entry::kSizeWord, big) != s || s > end - p) break;
    if (s > entry::kHeadSize &&
        !container::rewrite_at(*bf, p + entry::kData, t.at(off + entry::kData), s - entry::kHeadSize))
      break;
    p += s;
    off += s;
  }
  return 0;
}

RZ_PUBLIC int32_t RZAPI DARARARReadEventInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  release_block(rs->eventTable);
  uint8_t head[kHeadSize];
  const uint32_t pos = container::find_chunk(*bf, record, container::kEventTable, 0, head,
                                             sizeof head);
  if (pos == 0) return 0;
  return read_table(*bf, record, pos, head);
}

}  // extern "C"
