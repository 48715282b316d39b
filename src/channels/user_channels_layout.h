// UserChInfo chunk (type 2700): a 32-byte head carrying the record's two user
// values, followed by one UserChEntry (type 2705) of 128 bytes per channel,
// channel 0 first.  Numbers are u32 in the file's byte order (the whole head,
// entry bytes 0 to 63); the rest of an entry is zero.
#pragma once

#include <cstdint>

namespace rz::user_ch_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kChunkSize = 0;  // head plus every entry
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;
constexpr uint32_t kChannelCount = 16;
constexpr uint32_t kEntrySize = 20;
constexpr uint32_t kRecordValue1 = 24;  // wave information item 25
constexpr uint32_t kRecordValue2 = 28;  // wave information item 26
}  // namespace rz::user_ch_info

namespace rz::user_ch_entry {
constexpr uint32_t kSize = 128;
constexpr uint32_t kChunkSize = 0;
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;   // channel index + 1
constexpr uint32_t kChannel = 16;  // channel index + 1 again; readers go by order
constexpr uint32_t kUser20 = 20;   // 20 to 28: user20 .. user22 widened from 16 bits
constexpr uint32_t kUser21 = 24;
constexpr uint32_t kUser22 = 28;
constexpr uint32_t kUser23 = 32;
constexpr uint32_t kUser24 = 36;
constexpr uint32_t kUser25 = 40;
constexpr uint32_t kUser26 = 44;
constexpr uint32_t kUser27 = 48;
constexpr uint32_t kUser28 = 52;
constexpr uint32_t kUser29 = 56;
// The part of an entry the reader needs.
constexpr uint32_t kUsedSize = kUser29 + 4;

// A stored user29 of 0 means "not given"; it then defaults to user24 x 1000.
constexpr uint32_t kUser29PerUser24 = 1000;
}  // namespace rz::user_ch_entry
