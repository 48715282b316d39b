// WaveInfo chunk (type 100), 128 bytes.  All numbers u32 in the file's byte
// order except mainsFrequency, which is always least significant byte first.
#pragma once

#include <cstdint>

namespace rz::wave_info {
constexpr uint32_t kSize = 128;
constexpr uint32_t kRecordCode = 16;
constexpr uint32_t kChannelCount = 20;
constexpr uint32_t kTotalFrames = 24;
constexpr uint32_t kStartYear = 32;   // then month, day, hour, minute, second
constexpr uint32_t kStartDateText = 56;
constexpr uint32_t kStartDateTextSize = 20;
constexpr uint32_t kMainsFrequency = 76;
constexpr uint32_t kWaveText = 96;
constexpr uint32_t kWaveTextSize = 32;
constexpr uint32_t kSwappedWords = 14;  // bytes 0 to 55 in a big-endian file
}  // namespace rz::wave_info
