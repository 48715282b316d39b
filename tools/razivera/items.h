// The selectors of the library's interface that the tool uses: open modes,
// header selectors and the item codes of the Set/Get calls, named once.
#pragma once

#include <cstdint>

namespace tool::item {

enum OpenMode : uint16_t { kRead = 1, kCreate = 4 };

// RAZIVERAGetInfo / RAZIVERASetInfo.
enum Header : uint16_t { kVersion = 2, kCode = 3, kByteOrder = 4, kLetter = 5, kRecords = 6, kWritePos = 10 };

// DARARARSetWaveInfo / DARARARGetWaveInfo; the text item of the wave text calls.
enum Wave : uint16_t {
  kRecordCode = 1,
  kChannels = 2,
  kFrameSeconds = 3,
  kFrames = 4,
  kFrameSize = 5,
  kYear = 10,
  kMonth = 11,
  kDay = 12,
  kHour = 13,
  kMinute = 14,
  kSecond = 15,
  kTotalSamples = 20,
  kBaseRate = 21,
  kMains = 22,
};
constexpr uint16_t kWaveText = 1;
constexpr size_t kWaveTextRoom = 33;  // the buffer the wave text needs
constexpr size_t kWaveTextKept = 31;  // characters the file keeps

// DARARARSetFrameChInfo / DARARARGetFrameChInfo; the channel text items.
enum Channel : uint16_t { kFlags = 1, kNumber = 2, kRate = 4, kFilterA = 11, kFilterB = 12 };
enum ChannelText : uint16_t { kLabel = 1, kUnit = 2 };
constexpr size_t kLabelRoom = 64, kUnitRoom = 32;
constexpr size_t kTextKept = 15;  // characters of a channel text the file keeps

// DARARARSetFramePointWaveEx: take every input value in turn.
constexpr uint16_t kPickEvery = 1;

// DARARARSetScoreTableInfo / DARARARGetScoreTableInfo, and the text item.
enum Score : uint16_t {
  kScoreCount = 1,
  kScoreSetting2 = 2,
  kScoreSetting3 = 3,
  kScoreIndex4 = 4,
  kScoreIndex6 = 6,
  kScoreEntry = 10,
  kScoreEntryWhole = 11,
};
constexpr uint16_t kScoreText = 20;
constexpr size_t kScoreTextRoom = 63;

// Rooms of the buffers the text buffer and event table calls fill.
constexpr size_t kTextBufferRoom = 256;
constexpr size_t kEventDataRoom = 1024;

// RAZIVERAFindIndexPtr hands out a chunk's first 64 bytes as 16 words; in an
// event table these are the id, the count and the first entry's size.
enum HeadWord { kHeadWords = 16, kHeadId = 2, kHeadCount = 4, kHeadFirstEntrySize = 6 };

}  // namespace tool::item
