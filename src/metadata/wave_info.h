// Wave information: the record-level facts of a recording (channel count,
// frame length, start date and time, power-line frequency, free text), held in
// the RecordSlot and stored as the record's WaveInfo chunk.
#pragma once

#include <cstdint>

#include "frame/biofile.h"
#include "metadata/wave_info_layout.h"

namespace rz {

// Item codes of DARARARSetWaveInfo / DARARARGetWaveInfo.
namespace wave_item {
constexpr uint16_t kRecordCode = 1;
constexpr uint16_t kChannelCount = 2;
constexpr uint16_t kFrameSeconds = 3;
constexpr uint16_t kTotalFrames = 4;      // read only
constexpr uint16_t kFrameChunkSize = 5;   // read only
constexpr uint16_t kFrameDataPosition = 8;  // read only
constexpr uint16_t kStartYear = 10;
constexpr uint16_t kStartMonth = 11;
constexpr uint16_t kStartDay = 12;
constexpr uint16_t kStartHour = 13;
constexpr uint16_t kStartMinute = 14;
constexpr uint16_t kStartSecond = 15;
constexpr uint16_t kTotalSamples = 20;
constexpr uint16_t kBaseRate = 21;
constexpr uint16_t kMainsFrequency = 22;
constexpr uint16_t kUserValue1 = 25;
constexpr uint16_t kUserValue2 = 26;
constexpr uint16_t kHasEventTable = 30;  // read only: 1 when the record has one
}  // namespace wave_item

// Text items of DARARARSetWaveText / DARARARGetWaveText.
namespace wave_text_item {
constexpr uint16_t kWaveText = 1;
constexpr uint16_t kPath = 2;  // get only
}  // namespace wave_text_item

// Characters the record's free text keeps in memory.
constexpr uint32_t kWaveTextHeld = 32;

// Whole frames in a recording of `samples` samples per channel at `baseRate`
// Hz, cut into frames of `frameSeconds` seconds: the samples round up to whole
// seconds, and a last, partial frame does not count.  Computed in 64 bits, so
// sample totals near 2^32 do not wrap; 0 when either divisor is 0.
uint32_t frame_count(uint32_t samples, uint32_t baseRate, uint32_t frameSeconds);

}  // namespace rz
