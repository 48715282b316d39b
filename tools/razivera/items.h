// What the tool reads of the interface's results, taken from the format
// description: how many characters the file keeps of a text, and where an
// event table's head words sit in what RAZIVERAFindIndexPtr hands out (the
// chunk's first bytes as machine-order words).
#pragma once

#include <cstddef>

#include "format/layout.h"

namespace tool::item {

constexpr size_t kWaveTextKept = rz::wave_info::kWaveTextStored;  // of the record text
constexpr size_t kTextKept = rz::frame_ch_entry::kTextChars;      // of a channel text

constexpr uint32_t head_word(uint32_t offset) { return offset / 4; }
// The id of any chunk, and an event table's count and first entry's size.
constexpr uint32_t kHeadId = head_word(rz::container::chunk_head::kId);
constexpr uint32_t kHeadCount = head_word(rz::event_table::kCount);
constexpr uint32_t kHeadFirstEntrySize =
    head_word(rz::event_table::kHeadSize + rz::event_table::entry::kSizeWord);
static_assert(kHeadFirstEntrySize < RZ_FIND_HEAD_WORDS, "the find call hands out the first entry's size");

}  // namespace tool::item
