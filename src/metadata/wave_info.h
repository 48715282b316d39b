// Wave information: the record-level facts of a recording (channel count,
// frame length, start date and time, power-line frequency, free text), held in
// the RecordSlot and stored as the record's WaveInfo chunk.
//
// Folder src/metadata/: the record-level chunks.  wave_info.cpp the
// ...WaveInfo, ...WaveText, DARARARReadRecordInfo and
// DARARARReadUpdateTotalFrame calls; text_info.cpp the ...TextInfo text lists; nonlinear.cpp the ...NonLinearInfo calls and
// DARARARCreateNonLineaInfo; user_info.cpp ...UserInfo; user_data.cpp the
// typed user data (...UserByte to ...UserFloat), ...UserText and
// DARARARGetUserDataNum.  Each chunk's bytes are in format/layout.h.
#pragma once

#include <cstdint>

#include "format/layout.h"
#include "frame/biofile.h"
#include "razivera_codes.h"

namespace rz {

// Item codes of DARARARSetWaveInfo / DARARARGetWaveInfo.
namespace wave_item {
constexpr uint16_t kRecordCode = RZ_WAVE_RECORD_CODE;
constexpr uint16_t kChannelCount = RZ_WAVE_CHANNEL_COUNT;
constexpr uint16_t kFrameSeconds = RZ_WAVE_FRAME_SECONDS;
constexpr uint16_t kTotalFrames = RZ_WAVE_TOTAL_FRAMES;          // read only
constexpr uint16_t kFrameChunkSize = RZ_WAVE_FRAME_SIZE;         // read only
constexpr uint16_t kFrameDataPosition = RZ_WAVE_FRAME_DATA_POS;  // read only
constexpr uint16_t kStartYear = RZ_WAVE_START_YEAR;
constexpr uint16_t kStartMonth = RZ_WAVE_START_MONTH;
constexpr uint16_t kStartDay = RZ_WAVE_START_DAY;
constexpr uint16_t kStartHour = RZ_WAVE_START_HOUR;
constexpr uint16_t kStartMinute = RZ_WAVE_START_MINUTE;
constexpr uint16_t kStartSecond = RZ_WAVE_START_SECOND;
constexpr uint16_t kTotalSamples = RZ_WAVE_TOTAL_SAMPLES;
constexpr uint16_t kBaseRate = RZ_WAVE_BASE_RATE;
constexpr uint16_t kMainsFrequency = RZ_WAVE_MAINS_FREQUENCY;
constexpr uint16_t kUserValue1 = RZ_WAVE_USER_VALUE1;
constexpr uint16_t kUserValue2 = RZ_WAVE_USER_VALUE2;
constexpr uint16_t kHasEventTable = RZ_WAVE_HAS_EVENT_TABLE;  // read only: 1 when the record has one
}  // namespace wave_item

// Text items of DARARARSetWaveText / DARARARGetWaveText.
namespace wave_text_item {
constexpr uint16_t kWaveText = RZ_WAVE_TEXT;
constexpr uint16_t kPath = RZ_WAVE_TEXT_PATH;  // get only
}  // namespace wave_text_item

// Characters the record's free text keeps in memory.
constexpr uint32_t kWaveTextHeld = 32;
static_assert(kWaveTextHeld + 1 == RZ_WAVE_TEXT_ROOM && kPathSize == RZ_PATH_ROOM &&
                  kMaxRecords == RZ_MAX_RECORDS && kMaxChannels == RZ_MAX_CHANNELS,
              "the interface states the handle's limits");

// Whole frames in a recording of `samples` samples per channel at `baseRate`
// Hz, cut into frames of `frameSeconds` seconds: the samples round up to whole
// seconds, and a last, partial frame does not count.  Computed in 64 bits, so
// sample totals near 2^32 do not wrap; 0 when either divisor is 0.
uint32_t frame_count(uint32_t samples, uint32_t baseRate, uint32_t frameSeconds);

}  // namespace rz
