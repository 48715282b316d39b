// Folder src/events/: the record's event table (event_table.cpp: the
// ...EventTable... and ...EventInfo calls; event_edit.cpp:
// DARARARChangeEventData, an event code rewritten in a stored frame) and the
// file's score table (score_table.cpp: the ...ScoreTable... and ...ScoreInfo
// calls).
//
// EventTable chunk (type 200): one per record, a fixed number of entries that
// each hold a value and a run of opaque data bytes.  The record's table block
// (RecordSlot::eventTable) holds exactly the bytes of the chunk, its words in
// host order, and is 64 bytes larger than its size word.
//
// Every number is a u32 in the file's byte order; the entries' data bytes are
// stored exactly as the caller gave them.
#pragma once

#include <cstdint>

#include "razivera_codes.h"

namespace rz::event_table {

constexpr uint32_t kSize = 0;       // 24 + the entries' sizes: the whole chunk
constexpr uint32_t kType = 4;       // container::kEventTable
constexpr uint32_t kId = 8;         // the table's 16-bit id, zero-extended
constexpr uint32_t kReserved1 = 12;
constexpr uint32_t kCount = 16;     // number of entries
constexpr uint32_t kReserved2 = 20;
constexpr uint32_t kHeadSize = 24;  // the entries follow back to back
constexpr uint32_t kHeadWords = kHeadSize / 4;
constexpr uint32_t kBlockSlack = 64;
// A table is one chunk, and a chunk must stay addressable by a file position.
constexpr uint32_t kMaxTableSize = uint32_t{INT32_MAX} - kBlockSlack;

// EventEntry, one entry of the table.
namespace entry {
constexpr uint32_t kSize = 0;   // 8 + the data size rounded up to 4
constexpr uint32_t kValue = 4;
constexpr uint32_t kData = 8;   // entry size - 8 bytes, opaque
constexpr uint32_t kHeadSize = 8;
constexpr uint32_t kHeadWords = kHeadSize / 4;
// The largest entry a table holds.
constexpr uint32_t kMaxSize = 1024;
constexpr uint32_t kMaxData = kMaxSize - kHeadSize;
static_assert(kMaxData == RZ_EVENT_DATA_MAX, "the interface states the largest entry");
}  // namespace entry

// Entry size for a caller's data size (at most entry::kMaxData).
constexpr uint32_t entry_size_for(uint32_t dataSize) {
  return (dataSize + 3) / 4 * 4 + entry::kHeadSize;
}

}  // namespace rz::event_table
