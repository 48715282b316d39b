// ScoreTable chunk (type 3000): the file's one score table, a 128-byte head of
// settings and a short text, then one u32 per entry.  The handle's block
// (BioFile::scoreTable) begins with the head exactly as the chunk stores it,
// words in host order, and is 64 bytes larger than its size word.
//
// The chunk's layout is rz::score_table in format/layout.h.
#pragma once

#include <cstdint>

#include "format/layout.h"

namespace rz::score_table {

// Item codes of the Set/Get accessors.
enum Item : uint16_t {
  kItemCount = RZ_SCORE_COUNT,  // get only
  kItemSetting2 = RZ_SCORE_SETTING2,
  kItemSetting3 = RZ_SCORE_SETTING3,
  kItemIndex4 = RZ_SCORE_INDEX4,
  kItemIndex5 = RZ_SCORE_INDEX5,
  kItemIndex6 = RZ_SCORE_INDEX6,
  kItemSetting7 = RZ_SCORE_SETTING7,
  kItemSetting8 = RZ_SCORE_SETTING8,
  kItemEntry = RZ_SCORE_ENTRY,         // set all 32 bits, get bits 0-23
  kItemEntryAll = RZ_SCORE_ENTRY_ALL,  // get all 32 bits
  kItemSetting15 = RZ_SCORE_SETTING15,
  kItemSetting16 = RZ_SCORE_SETTING16,
  kItemWords17 = RZ_SCORE_WORDS17,  // index 0 to 5
  kItemText = RZ_SCORE_TEXT,        // the text accessors' only item
};

}  // namespace rz::score_table
