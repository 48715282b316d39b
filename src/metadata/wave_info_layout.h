// WaveInfo chunk (type 100), 128 bytes.  All numbers u32 in the file's byte
// order except mainsFrequency, which is always least significant byte first.
#pragma once

#include <cstdint>

namespace rz::wave_info {
constexpr uint32_t kSize = 128;
// Chunk head: size, type, id 0, then a zero word.
constexpr uint32_t kChunkSize = 0;
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;
constexpr uint32_t kRecordCode = 16;
constexpr uint32_t kChannelCount = 20;
constexpr uint32_t kTotalFrames = 24;
constexpr uint32_t kStartYear = 32;
constexpr uint32_t kStartMonth = 36;
constexpr uint32_t kStartDay = 40;
constexpr uint32_t kStartHour = 44;
constexpr uint32_t kStartMinute = 48;
constexpr uint32_t kStartSecond = 52;
constexpr uint32_t kStartDateText = 56;
constexpr uint32_t kStartDateTextSize = 20;
constexpr uint32_t kStartDateTextChars = 19;  // the format's two trailing blanks fall off
constexpr uint32_t kMainsFrequency = 76;
constexpr uint32_t kWaveText = 96;
constexpr uint32_t kWaveTextSize = 32;
constexpr uint32_t kWaveTextStored = 31;  // characters the file keeps
constexpr uint32_t kSwappedWords = 14;  // bytes 0 to 55 in a big-endian file

// Day, month, year, hour, minute, second.
constexpr char kStartDateFormat[] = "%02u/%02u/%04u %02u.%02u.%02u  ";

// A stored frame count above this (32 days of one-second frames) is damage.
constexpr uint32_t kMaxTotalFrames = 2764800;
}  // namespace rz::wave_info
