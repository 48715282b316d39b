// FrameChInfo chunk (type 120): a 32-byte head followed by one FrameChEntry
// (type 125) of 256 bytes per channel, channel 0 first.  Numbers are u32 in
// the file's byte order (head bytes 0 to 31, entry bytes 0 to 71); texts and
// the run of spaces are bytes.
#pragma once

#include <cstdint>

namespace rz::frame_ch_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kChunkSize = 0;  // head plus every entry
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;
constexpr uint32_t kChannelCount = 16;
constexpr uint32_t kEntrySize = 20;
}  // namespace rz::frame_ch_info

namespace rz::frame_ch_entry {
constexpr uint32_t kSize = 256;
constexpr uint32_t kChunkSize = 0;
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;  // channel index + 1
constexpr uint32_t kChannelNo = 16;
constexpr uint32_t kFlags = 20;
constexpr uint32_t kValue3 = 24;
constexpr uint32_t kExtraCode = 28;
constexpr uint32_t kSampling = 32;  // period when flags bit 0 is set, else rate
constexpr uint32_t kValue6 = 36;
constexpr uint32_t kValue7 = 40;
constexpr uint32_t kValue9 = 44;  // value9 before value8, as stored ever since
constexpr uint32_t kValue8 = 48;
constexpr uint32_t kValue10 = 52;
constexpr uint32_t kFilter = 56;  // form B when flags bit 1 is set, else form A
constexpr uint32_t kValue13 = 60;
constexpr uint32_t kValue14 = 64;
constexpr uint32_t kReserved = 68;
constexpr uint32_t kFieldsBegin = kChannelNo;  // what the writer and updater fill
constexpr uint32_t kFieldsEnd = 72;
constexpr uint32_t kText1 = 72;
constexpr uint32_t kText2 = 88;
constexpr uint32_t kTextField = 16;
constexpr uint32_t kTextChars = 15;
constexpr uint32_t kSpaces = 108;
constexpr uint32_t kSpaceCount = 20;
// The part of an entry the library writes and reads: head, numbers, texts
// and spaces.  A stored entry size below this cannot be a channel entry.
constexpr uint32_t kUsedSize = kSpaces + kSpaceCount;

constexpr uint32_t kFlagPeriod = 1;  // sampling held as period
constexpr uint32_t kFlagFilterB = 2;  // filter held as form B
}  // namespace rz::frame_ch_entry
