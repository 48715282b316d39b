// ScoreTable chunk (type 3000): the file's one score table, a 128-byte head of
// settings and a short text, then one u32 per entry.  The handle's block
// (BioFile::scoreTable) begins with the head exactly as the chunk stores it,
// words in host order, and is 64 bytes larger than its size word.
//
// The sixteen words at offsets 0 to 63 and every entry are u32 in the file's
// byte order; a word holding two 16-bit values is converted as one word, so in
// a big-endian file its high half comes first.  The text is never converted.
#pragma once

#include <cstdint>

#include "razivera_codes.h"

namespace rz::score_table {

constexpr uint32_t kSize = 0;       // 128 + 4 x count
constexpr uint32_t kType = 4;       // container::kScoreTable
constexpr uint32_t kId = 8;         // the table's 16-bit id, zero-extended
constexpr uint32_t kReserved = 12;
constexpr uint32_t kSetting3 = 16;  // a positive number
constexpr uint32_t kCount = 20;     // entries, fixed at creation, only ever cut
constexpr uint32_t kSetting2 = 24;  // a number not above count
constexpr uint32_t kIndex4 = 28;    // kIndex4..6: an entry index + 1, 0 = not set
constexpr uint32_t kIndex5 = 32;
constexpr uint32_t kIndex6 = 36;
constexpr uint32_t kSetting7 = 40;
constexpr uint32_t kWords17 = 44;   // three words, two 16-bit values each, low half first
constexpr uint32_t kWords17Count = 6;
constexpr uint32_t kSettings15And16 = 56;  // setting15 in bits 0-15, setting16 in 16-31
constexpr uint32_t kSetting8 = 60;  // bits 0-15; bits 16-31 reserved, 0
constexpr uint32_t kText = 64;
constexpr uint32_t kTextSize = 64;
constexpr uint32_t kMaxTextChars = 62;
static_assert(kMaxTextChars + 1 == RZ_SCORE_TEXT_ROOM, "the interface states the text's room");
constexpr uint32_t kHeadSize = 128;
constexpr uint32_t kEntries = 128;  // entry i at kEntries + 4 x i
constexpr uint32_t kEntrySize = 4;

constexpr uint32_t kHeadWords = kText / 4;      // words 0 to 63, converted
constexpr uint32_t kSettingsFirst = kSetting3;  // words 16 to 63: what a review
constexpr uint32_t kSettingsWords = (kText - kSettingsFirst) / 4;  // reads and rewrites
constexpr uint32_t kBlockSlack = 64;
// The chunk must stay addressable by a file position, block slack included.
constexpr uint32_t kMaxCount = (uint32_t{INT32_MAX} - kHeadSize - kBlockSlack) / kEntrySize;

constexpr uint32_t size_for(uint32_t count) { return kHeadSize + kEntrySize * count; }

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
