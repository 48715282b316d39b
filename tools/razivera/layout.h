// The on-disk layout of a recording file as the tool's structure readers
// (dump, verify and the chunk listing of info) see it: base header, records,
// chunk heads and the fixed fields of every registered chunk, as named
// offsets.  Everything else the tool learns through the library's interface.
// Numbers are read with the byte-order helpers, never by casting.
#pragma once

#include <cstdint>

#include "container/byteorder.h"
#include "container/chunk_types.h"

namespace tool::layout {

using rz::load_u16;
using rz::load_u32;

constexpr uint32_t kMaxRecords = 32;        // the header's count is cut to this
constexpr uint32_t kMaxChannels = 256;      // channels a record can describe
constexpr uint32_t kMaxChunksFound = 1000;  // chunks a search looks through

// BaseHeader: 32 bytes of ASCII text, never byte-swapped.
namespace base_header {
constexpr uint32_t kSize = 32;
constexpr uint32_t kMagic = 0;  // 8: "VOZO-SPG"
constexpr uint32_t kMagicSize = 8;
constexpr uint32_t kVersion = 8;  // 6 decimal digits
constexpr uint32_t kVersionSize = 6;
constexpr uint32_t kCode = 14;       // 2: "00", "01" or "--"
constexpr uint32_t kByteOrder = 16;  // 'L' or 'B'
constexpr uint32_t kLetter = 17;     // 'S', 'J', 'E' or '-'
constexpr uint32_t kCount = 18;      // 4 decimal digits
constexpr uint32_t kCountSize = 4;
constexpr uint32_t kPadding = 22;  // 10 spaces
constexpr uint32_t kPaddingSize = 10;
constexpr char kMagicText[] = "VOZO-SPG";
constexpr uint32_t kRefusedVersion = 300;  // this and above cannot be opened
}  // namespace base_header

// RecordHeader: four u32 in the file's byte order.
namespace record_header {
constexpr uint32_t kSize = 16;
constexpr uint32_t kLength = 0;  // header through terminator
constexpr uint32_t kType = 4;    // kRecordType
constexpr uint32_t kNumber = 8;  // from 1
constexpr uint32_t kReserved = 12;
constexpr uint32_t kRecordType = 10;
constexpr uint32_t kOpenLength = 16;  // a record still being written
}  // namespace record_header

// RecordTerminator: 16 zero bytes.  Read as a chunk head its size 0 ends the
// record's chunks.
constexpr uint32_t kTerminatorSize = 16;
// The smallest ended record: its header and its terminator.
constexpr uint32_t kMinRecordLength = record_header::kSize + kTerminatorSize;

// ChunkHead: the first 12 bytes of every chunk (most heads add a fourth,
// reserved word).
namespace chunk_head {
constexpr uint32_t kSize = 0;
constexpr uint32_t kType = 4;
constexpr uint32_t kId = 8;
constexpr uint32_t kReserved = 12;
constexpr uint32_t kBytes = 12;
}  // namespace chunk_head

// Registered chunk types and their names: the library's own registry.
using rz::container::ChunkType;
using rz::container::chunk_type_name;
using rz::container::kWaveInfo;
using rz::container::kFrameChInfo;
using rz::container::kFrameChEntry;
using rz::container::kFrameInfo;
using rz::container::kFrameWave;
using rz::container::kEventTable;
using rz::container::kUserText;
using rz::container::kUserByte;
using rz::container::kUserWord;
using rz::container::kUserShort;
using rz::container::kUserDword;
using rz::container::kUserLong;
using rz::container::kUserFloat;
using rz::container::kNonLinearInfo;
using rz::container::kUserChInfo;
using rz::container::kUserChEntry;
using rz::container::kScoreTable;

// True for the chunk types that live only inside another chunk.
inline bool is_nested_type(uint32_t type) {
  return type == kFrameChEntry || type == kFrameWave || type == kUserChEntry;
}

// WaveInfo (100): 128 bytes.
namespace wave_info {
constexpr uint32_t kSize = 128;
constexpr uint32_t kRecordCode = 16;
constexpr uint32_t kChannelCount = 20;
constexpr uint32_t kTotalFrames = 24;
constexpr uint32_t kYear = 32;
constexpr uint32_t kMonth = 36;
constexpr uint32_t kDay = 40;
constexpr uint32_t kHour = 44;
constexpr uint32_t kMinute = 48;
constexpr uint32_t kSecond = 52;
constexpr uint32_t kDateText = 56;        // 20 bytes of text
constexpr uint32_t kMains = 76;           // always least significant byte first
constexpr uint32_t kText = 96;            // 32 bytes of text
constexpr uint32_t kMaxFrames = 2764800;  // a larger count reads as 0
}  // namespace wave_info

// FrameChInfo (120): a 32-byte head, then one 256-byte entry (125) per channel.
namespace channel_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kCount = 16;
constexpr uint32_t kEntrySize = 20;
constexpr uint32_t kEntryBytes = 256;
namespace entry {
constexpr uint32_t kChannelNo = 16;
constexpr uint32_t kFlags = 20;
constexpr uint32_t kSampling = 32;  // rate, or period in microseconds with flag bit 0
constexpr uint32_t kFilter = 56;
constexpr uint32_t kText1 = 72;  // 16 bytes
constexpr uint32_t kText2 = 88;  // 16 bytes
constexpr uint32_t kFlagPeriod = 1;
constexpr uint32_t kMicroseconds = 1000000;
}  // namespace entry
}  // namespace channel_info

// FrameInfo (140): a 32-byte head followed by the frames (145), back to back.
namespace frame_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kFrameSeconds = 16;
constexpr uint32_t kFrameChunkSize = 20;
constexpr uint32_t kFrameCount = 24;
constexpr uint32_t kReserved = 28;
}  // namespace frame_info

// FrameWave (145): a 24-byte head (four u32, then four u16), then the samples.
namespace frame_wave {
constexpr uint32_t kHeadSize = 24;
constexpr uint32_t kNumber = 8;  // from 1
constexpr uint32_t kHour = 16;
constexpr uint32_t kMinute = 18;
constexpr uint32_t kSecond = 20;
constexpr uint32_t kPad = 22;
}  // namespace frame_wave

// EventTable (200): a 24-byte head, then entries of one size each.
namespace event_table {
constexpr uint32_t kHeadSize = 24;
constexpr uint32_t kCount = 16;
constexpr uint32_t kEntryHead = 8;  // entry size, value
constexpr uint32_t kEntrySize = 0;
constexpr uint32_t kValue = 4;
constexpr uint32_t kMaxEntry = 1024;
}  // namespace event_table

// ScoreTable (3000): a 128-byte head, then one u32 per entry.
namespace score_table {
constexpr uint32_t kHeadSize = 128;
constexpr uint32_t kSetting3 = 16;
constexpr uint32_t kCount = 20;
constexpr uint32_t kSetting2 = 24;
constexpr uint32_t kIndex4 = 28;  // 28, 32, 36: entry index + 1, 0 when unset
constexpr uint32_t kIndexSettings = 3;
constexpr uint32_t kEntryBytes = 4;
}  // namespace score_table

// UserChInfo (2700): a 32-byte head, then one 128-byte entry (2705) per channel.
namespace user_channels {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kCount = 16;
constexpr uint32_t kEntrySize = 20;
constexpr uint32_t kEntryBytes = 128;
}  // namespace user_channels

// NonLinearInfo (2600): (points + 1) x 32 bytes; the id is the channel number.
namespace nonlinear {
constexpr uint32_t kRowBytes = 32;
constexpr uint32_t kCount = 16;
constexpr uint32_t kMaxPoints = 16;
}  // namespace nonlinear

// The head shared by user values (writer-chosen type) and the typed user data
// items (2100 to 2200): size, type, id, 0, count, 0.
namespace user_data {
constexpr uint32_t kHeadSize = 24;
constexpr uint32_t kCount = 16;
}  // namespace user_data

// Text lists (writer-chosen type) and UserText (2000): a 24-byte head, then
// entries of an 8-byte head (size, text id) and the text field.  A UserText
// entry's size is always stored most significant byte first.
namespace text_list {
constexpr uint32_t kHeadSize = 24;
constexpr uint32_t kCount = 16;
constexpr uint32_t kEntryHead = 8;
constexpr uint32_t kEntrySize = 0;
constexpr uint32_t kEntryId = 4;
}  // namespace text_list

}  // namespace tool::layout
