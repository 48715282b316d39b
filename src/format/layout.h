// Folder src/format/: the file format, described once.  Header-only and free
// of the handle, so that the library's chunk writers and readers, the tool's
// dump and verify and the fuzz harness all read the same description: the
// base header, the record header and terminator, the chunk head, the
// registry of chunk types, the heads, offsets and entry sizes of every chunk
// family, the bounding rule and the chunk walk.  Offsets are in bytes from
// the start of their head or entry; numbers go through the byte-order
// helpers of container/byteorder.h, never through casts.
#pragma once

#include <cstdint>

#include "container/byteorder.h"
#include "razivera_codes.h"

namespace rz {

constexpr uint32_t kMaxRecords = RZ_MAX_RECORDS;    // the header's count is cut to this
constexpr uint32_t kMaxChannels = RZ_MAX_CHANNELS;  // channels a record can describe
constexpr uint32_t kMaxNonLinearPoints = RZ_NONLINEAR_MAX_POINTS;  // points of one channel

}  // namespace rz

namespace rz::container {

// BaseHeader: 32 bytes of ASCII text at offset 0, never byte-swapped.
namespace base_header {
constexpr uint32_t kSize = 32;
constexpr uint32_t kMagic = 0;  // 8: "VOZO-SPG"
constexpr uint32_t kMagicSize = 8;
constexpr uint32_t kVersion = 8;  // 6 decimal digits
constexpr uint32_t kVersionSize = 6;
constexpr uint32_t kCode = 14;  // 2: "00", "01" or "--"
constexpr uint32_t kCodeSize = 2;
constexpr uint32_t kByteOrder = 16;  // 1: 'L', 'B' or '-'
constexpr uint32_t kLetter = 17;     // 1: 'S', 'J', 'E' or '-'
constexpr uint32_t kCount = 18;      // 4 decimal digits
constexpr uint32_t kCountSize = 4;
constexpr uint32_t kPadding = 22;  // 10 spaces
constexpr uint32_t kPaddingSize = 10;
constexpr char kMagicText[] = "VOZO-SPG";
constexpr char kWrittenVersion[] = "000110";
constexpr uint16_t kRefusedVersion = 300;  // this and above cannot be read
}  // namespace base_header

// Registry of chunk type codes, by the public names.  TextInfo and UserInfo
// chunks take a type code chosen by the caller.
enum ChunkType : uint32_t {
  kRecordType = RZ_CHUNK_RECORD,  // type of a record (RecordHeader), not of a chunk
  kWaveInfo = RZ_CHUNK_WAVE_INFO,
  kFrameChInfo = RZ_CHUNK_FRAME_CH_INFO,
  kFrameChEntry = RZ_CHUNK_FRAME_CH_ENTRY,
  kFrameInfo = RZ_CHUNK_FRAME_INFO,
  kFrameWave = RZ_CHUNK_FRAME_WAVE,
  kEventTable = RZ_CHUNK_EVENT_TABLE,
  kUserText = RZ_CHUNK_USER_TEXT,
  kUserByte = RZ_CHUNK_USER_BYTE,
  kUserWord = RZ_CHUNK_USER_WORD,
  kUserShort = RZ_CHUNK_USER_SHORT,
  kUserDword = RZ_CHUNK_USER_DWORD,
  kUserLong = RZ_CHUNK_USER_LONG,
  kUserFloat = RZ_CHUNK_USER_FLOAT,
  kNonLinearInfo = RZ_CHUNK_NONLINEAR_INFO,
  kUserChInfo = RZ_CHUNK_USER_CH_INFO,
  kUserChEntry = RZ_CHUNK_USER_CH_ENTRY,
  kScoreTable = RZ_CHUNK_SCORE_TABLE,
};

// Display name of a registered chunk type, or nullptr.
inline const char* chunk_type_name(uint32_t type) {
  switch (type) {
    case kRecordType: return "Record";
    case kWaveInfo: return "WaveInfo";
    case kFrameChInfo: return "FrameChInfo";
    case kFrameChEntry: return "FrameChEntry";
    case kFrameInfo: return "FrameInfo";
    case kFrameWave: return "FrameWave";
    case kEventTable: return "EventTable";
    case kUserText: return "UserText";
    case kUserByte: return "UserByte";
    case kUserWord: return "UserWord";
    case kUserShort: return "UserShort";
    case kUserDword: return "UserDword";
    case kUserLong: return "UserLong";
    case kUserFloat: return "UserFloat";
    case kNonLinearInfo: return "NonLinearInfo";
    case kUserChInfo: return "UserChInfo";
    case kUserChEntry: return "UserChEntry";
    case kScoreTable: return "ScoreTable";
    default: return nullptr;
  }
}

// True for the chunk types that live only inside another chunk.
inline bool is_nested_type(uint32_t type) {
  return type == kFrameChEntry || type == kFrameWave || type == kUserChEntry;
}

// RecordHeader: four u32 in the file's byte order.
namespace record_header {
constexpr uint32_t kSize = 16;
constexpr uint32_t kLengthWord = 0;  // from this header through the terminator
constexpr uint32_t kType = 4;    // kRecordType
constexpr uint32_t kNumber = 8;  // counted from 1
constexpr uint32_t kReserved = 12;
constexpr uint32_t kOpenLength = 16;  // what the header says while being written
}  // namespace record_header

// RecordTerminator: 16 zero bytes; read as a chunk head its size 0 ends walks.
constexpr uint32_t kTerminatorSize = 16;
// The smallest ended record: its header and its terminator.
constexpr uint32_t kMinRecordLength = record_header::kSize + kTerminatorSize;

// ChunkHead: the first 12 bytes of every chunk (most heads add a fourth,
// reserved word).  Throughout this file a name ending in Word is the offset
// of that word; kSize, kHeadSize and kEntrySize are lengths in bytes.
namespace chunk_head {
constexpr uint32_t kSizeWord = 0;
constexpr uint32_t kType = 4;
constexpr uint32_t kId = 8;
constexpr uint32_t kReserved = 12;
constexpr uint32_t kHeadSize = 12;
}  // namespace chunk_head

// Chunks a search looks through in one record; those beyond cannot be found.
constexpr uint32_t kMaxChunksPerSearch = 1000;

// The bounding rule of every reader: the end (exclusive) of a chunk at `pos`
// whose stored size is `size`, in a record ending at `recordEnd` - never past
// the record, nor past what a file position can address, nor below `pos`, so
// that `end - pos` is the room the chunk may use.
inline uint32_t bounded_chunk_end(uint64_t pos, uint32_t size, uint64_t recordEnd) {
  uint64_t end = pos + size;
  if (end > recordEnd) end = recordEnd;
  if (end > uint64_t{INT32_MAX}) end = INT32_MAX;
  return end < pos ? uint32_t(pos) : uint32_t(end);
}

// Why a chunk walk ended.
enum class WalkEnd { kGoing, kTerminator, kRecordEnd, kUnreadable, kLimit };

// One chunk head as the walk reads it.
struct ChunkHeadView {
  uint64_t offset = 0;     // in the file
  uint32_t size = 0;       // as stored
  uint32_t type = 0;
  uint32_t id = 0;
  uint32_t headBytes = 0;  // of the head's 12 the file holds (below 12 only at its end)
};

// The chunk walk: the heads of one record's chunks, the first behind the
// record header, each next one at the previous one's offset plus its stored
// size.  The walk ends at a head of size 0 (the terminator), at a head whose
// size and type the bytes do not hold (an id they lack reads as 0), at a
// chunk that would begin at `recordEnd` or beyond, or past what a file
// position can address, and after `limit` chunks - so that no stored size
// takes it out of the record or the file.  A head it yields may still claim
// more bytes than the record has left: the bounding rule above caps what a
// reader takes, and a checker reports it.
// `read(pos, buf, n)` copies up to n bytes of the file from pos and returns
// how many it copied.
template <class Read>
class ChunkWalk {
 public:
  ChunkWalk(Read read, uint64_t recordOffset, uint64_t recordEnd, bool big,
            uint32_t limit = kMaxChunksPerSearch)
      : read_(read), pos_(recordOffset + record_header::kSize), end_(recordEnd), big_(big), limit_(limit) {}

  // The next chunk head; false when the walk has ended.
  bool next(ChunkHeadView& out) {
    if (ended_ != WalkEnd::kGoing) return false;
    if (count_ >= limit_) return stop(WalkEnd::kLimit);
    if (pos_ >= end_) return stop(WalkEnd::kRecordEnd);
    uint8_t head[chunk_head::kHeadSize] = {};
    const size_t got = pos_ > UINT32_MAX ? 0 : read_(pos_, head, chunk_head::kHeadSize);
    lastHeadBytes_ = uint32_t(got);
    if (got < kSizeWordEnd) return stop(WalkEnd::kUnreadable);
    out.offset = pos_;
    out.size = load_u32(head, chunk_head::kSizeWord, big_);
    out.type = load_u32(head, chunk_head::kType, big_);
    out.id = load_u32(head, chunk_head::kId, big_);
    out.headBytes = uint32_t(got);
    if (out.size == 0) return stop(WalkEnd::kTerminator);
    if (got < kTypeWordEnd) return stop(WalkEnd::kUnreadable);
    pos_ += out.size;
    ++count_;
    return true;
  }

  // Chunks walked so far: the index in the record of the next head read.
  uint32_t count() const { return count_; }
  // Why the walk ended, and where: the terminator's offset, or the offset
  // where the next chunk would have begun; and how many bytes of the last
  // head read the file held.
  WalkEnd ended() const { return ended_; }
  uint64_t position() const { return pos_; }
  uint32_t last_head_bytes() const { return lastHeadBytes_; }

 private:
  bool stop(WalkEnd why) {
    ended_ = why;
    return false;
  }

  static constexpr uint32_t kSizeWordEnd = chunk_head::kSizeWord + 4;
  static constexpr uint32_t kTypeWordEnd = chunk_head::kType + 4;
  Read read_;
  uint64_t pos_;
  uint64_t end_;
  bool big_;
  uint32_t limit_;
  uint32_t count_ = 0;
  uint32_t lastHeadBytes_ = 0;
  WalkEnd ended_ = WalkEnd::kGoing;
};

template <class Read>
ChunkWalk<Read> walk_chunks(Read read, uint64_t recordOffset, uint64_t recordEnd, bool big,
                            uint32_t limit = kMaxChunksPerSearch) {
  return ChunkWalk<Read>(read, recordOffset, recordEnd, big, limit);
}

// The record walk: where a reader places the records of a file whose header
// names `count` of them - the first behind the base header, each next one
// behind the length its header gives (a length word the file cannot hold
// reads 0).  A first record whose header still says it is being written
// reaches to the end of the file as `fileLength(n)` tells it (false: length
// 0), so that a reader follows a growing file.  The walk stops before a
// record beyond what a file position addresses and after one whose length
// would carry the next past 4 GiB.  `place(r, offset, length)` receives each
// record; returns how many were placed.
template <class Read, class FileLength, class Place>
uint32_t walk_records(Read read, FileLength fileLength, uint32_t count, bool big, Place place) {
  const uint32_t records = count < kMaxRecords ? count : kMaxRecords;
  uint32_t offset = base_header::kSize;
  for (uint32_t r = 0; r < records; ++r) {
    if (offset > uint32_t{INT32_MAX}) return r;
    uint8_t word[4] = {};
    uint32_t length = 0;
    if (read(uint64_t{offset} + record_header::kLengthWord, word, sizeof word) == sizeof word)
      length = load_u32(word, 0, big);
    if (r == 0 && length <= record_header::kOpenLength) {
      uint32_t size = 0;
      length = fileLength(size) ? (size > base_header::kSize ? size - base_header::kSize : size) : 0;
    }
    place(r, offset, length);
    if (length > UINT32_MAX - offset) return r + 1;
    offset += length;
  }
  return records;
}

}  // namespace rz::container

// WaveInfo chunk (type 100), 128 bytes.  All numbers u32 in the file's byte
// order except mainsFrequency, which is always least significant byte first.
namespace rz::wave_info {
constexpr uint32_t kSize = 128;
// Chunk head: size, type, id 0, then a zero word.
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;
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

// FrameChInfo chunk (type 120): a 32-byte head followed by one FrameChEntry
// (type 125) of 256 bytes per channel, channel 0 first.  Numbers are u32 in
// the file's byte order (head bytes 0 to 31, entry bytes 0 to 71); texts and
// the run of spaces are bytes.
namespace rz::frame_ch_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // head plus every entry
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;
constexpr uint32_t kChannelCount = 16;
constexpr uint32_t kEntrySizeWord = 20;
}  // namespace rz::frame_ch_info

namespace rz::frame_ch_entry {
constexpr uint32_t kSize = 256;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;  // channel index + 1
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

constexpr uint32_t kFlagPeriod = 1;   // sampling held as period
constexpr uint32_t kFlagFilterB = 2;  // filter held as form B
constexpr uint32_t kMicroseconds = 1000000;  // the unit of a sampling period
}  // namespace rz::frame_ch_entry

// The frame area of a record: a FrameInfo head (type 140) followed by one
// FrameWave chunk (type 145) per frame, back to back.  A frame holds a 24-byte
// head and then, channel by channel, sampleRate x frameSeconds 16-bit samples.
namespace rz::frames {
// FrameInfo head, 32 bytes, all u32.
namespace info {
constexpr uint32_t kSize = 32;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // 32 + frameChunkSize x frames
constexpr uint32_t kType = container::chunk_head::kType;
constexpr uint32_t kId = container::chunk_head::kId;
constexpr uint32_t kFrameSeconds = 16;
constexpr uint32_t kFrameChunkSize = 20;
constexpr uint32_t kFrameCount = 24;
constexpr uint32_t kReserved = 28;
}  // namespace info

// FrameWave head, 24 bytes: four u32, then hour, minute, second, 0 as u16.
namespace wave {
constexpr uint32_t kHeadSize = 24;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;
constexpr uint32_t kType = container::chunk_head::kType;
constexpr uint32_t kNumber = 8;  // from 1
constexpr uint32_t kHour = 16;
constexpr uint32_t kMinute = 18;
constexpr uint32_t kSecond = 20;
constexpr uint32_t kPad = 22;
}  // namespace wave

// Samples are 16-bit.
constexpr uint32_t kSampleBytes = 2;
// Bytes one channel takes in one frame.
constexpr uint64_t channel_bytes(uint32_t sampleRate, uint32_t frameSeconds) {
  return uint64_t(sampleRate) * frameSeconds * kSampleBytes;
}
// Largest frame chunk written or read: beyond this a frame size is damage
// (it would need a multi-gigabyte work area).
constexpr uint64_t kMaxFrameChunkSize = 64u << 20;
}  // namespace rz::frames

// EventTable chunk (type 200): one per record, a fixed number of entries that
// each hold a value and a run of opaque data bytes.  Every number is a u32 in
// the file's byte order; the entries' data bytes are stored exactly as the
// caller gave them.
namespace rz::event_table {
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // 24 + the entries' sizes: the whole chunk
constexpr uint32_t kType = container::chunk_head::kType;  // container::kEventTable
constexpr uint32_t kId = container::chunk_head::kId;      // the table's 16-bit id, zero-extended
constexpr uint32_t kReserved1 = 12;
constexpr uint32_t kCount = 16;  // number of entries
constexpr uint32_t kReserved2 = 20;
constexpr uint32_t kHeadSize = 24;  // the entries follow back to back
constexpr uint32_t kHeadWords = kHeadSize / 4;
// A table held by the handle is this much larger than its size word.
constexpr uint32_t kBlockSlack = 64;
// A table is one chunk, and a chunk must stay addressable by a file position.
constexpr uint32_t kMaxTableSize = uint32_t{INT32_MAX} - kBlockSlack;

// EventEntry, one entry of the table.
namespace entry {
constexpr uint32_t kSizeWord = 0;  // 8 + the data size rounded up to 4
constexpr uint32_t kValue = 4;
constexpr uint32_t kData = 8;  // entry size - 8 bytes, opaque
constexpr uint32_t kHeadSize = 8;
constexpr uint32_t kHeadWords = kHeadSize / 4;
// The largest entry a table holds.
constexpr uint32_t kMaxSize = 1024;
constexpr uint32_t kMaxData = kMaxSize - kHeadSize;
static_assert(kMaxData == RZ_EVENT_DATA_MAX, "the interface states the largest entry");
}  // namespace entry

// Entry size for a caller's data size (at most entry::kMaxData).
constexpr uint32_t entry_size_for(uint32_t dataSize) {
  return (dataSize + 3) / 4 * 4 + entry::kHeadSize;
}
}  // namespace rz::event_table

// ScoreTable chunk (type 3000): the file's one score table, a 128-byte head of
// settings and a short text, then one u32 per entry.  The sixteen words at
// offsets 0 to 63 and every entry are u32 in the file's byte order; a word
// holding two 16-bit values is converted as one word, so in a big-endian file
// its high half comes first.  The text is never converted.
namespace rz::score_table {
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // 128 + 4 x count
constexpr uint32_t kType = container::chunk_head::kType;  // container::kScoreTable
constexpr uint32_t kId = container::chunk_head::kId;      // the table's 16-bit id, zero-extended
constexpr uint32_t kReserved = 12;
constexpr uint32_t kSetting3 = 16;  // a positive number
constexpr uint32_t kCount = 20;     // entries, fixed at creation, only ever cut
constexpr uint32_t kSetting2 = 24;  // a number not above count
constexpr uint32_t kIndex4 = 28;    // kIndex4..6: an entry index + 1, 0 = not set
constexpr uint32_t kIndex5 = 32;
constexpr uint32_t kIndex6 = 36;
constexpr uint32_t kIndexSettings = 3;
constexpr uint32_t kSetting7 = 40;
constexpr uint32_t kWords17 = 44;  // three words, two 16-bit values each, low half first
constexpr uint32_t kWords17Count = 6;
constexpr uint32_t kSettings15And16 = 56;  // setting15 in bits 0-15, setting16 in 16-31
constexpr uint32_t kSetting8 = 60;         // bits 0-15; bits 16-31 reserved, 0
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
// A table held by the handle is this much larger than its size word.
constexpr uint32_t kBlockSlack = 64;
// The chunk must stay addressable by a file position, block slack included.
constexpr uint32_t kMaxCount = (uint32_t{INT32_MAX} - kHeadSize - kBlockSlack) / kEntrySize;

constexpr uint32_t size_for(uint32_t count) { return kHeadSize + kEntrySize * count; }
}  // namespace rz::score_table

// UserChInfo chunk (type 2700): a 32-byte head carrying the record's two user
// values, followed by one UserChEntry (type 2705) of 128 bytes per channel,
// channel 0 first.  Numbers are u32 in the file's byte order (the whole head,
// entry bytes 0 to 63); the rest of an entry is zero.
namespace rz::user_ch_info {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // head plus every entry
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;
constexpr uint32_t kChannelCount = 16;
constexpr uint32_t kEntrySizeWord = 20;
constexpr uint32_t kRecordValue1 = 24;  // wave information item 25
constexpr uint32_t kRecordValue2 = 28;  // wave information item 26
}  // namespace rz::user_ch_info

namespace rz::user_ch_entry {
constexpr uint32_t kSize = 128;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;  // channel index + 1
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

// NonLinearInfo chunk (type 2600), one per channel: a 32-byte head, then one
// 32-byte point per table entry.  Numbers are u32 in the file's byte order;
// point texts are bytes.
namespace rz::non_linear {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;  // (points + 1) x 32
constexpr uint32_t kChunkType = container::chunk_head::kType;
constexpr uint32_t kChunkId = container::chunk_head::kId;  // channel index + 1
constexpr uint32_t kPointCount = 16;

constexpr uint32_t kPointSize = 32;
constexpr uint32_t kValue1 = 0;  // offsets inside a point
constexpr uint32_t kValue2 = 4;
constexpr uint32_t kText = 8;
constexpr uint32_t kTextField = 24;  // NUL-terminated when shorter, else cut
constexpr uint32_t kTextRead = 23;   // characters a reader takes

constexpr uint32_t point_offset(uint32_t i) { return kHeadSize + i * kPointSize; }
}  // namespace rz::non_linear

// The 24-byte head of user information, the typed user data items (types
// 2100 to 2200) and the text lists: chunk size, type, id, 0, count, 0, each
// u32 in the file's byte order.  The size counts the head and everything
// behind it.
namespace rz::user_data::head {
constexpr uint32_t kSizeWord = container::chunk_head::kSizeWord;
constexpr uint32_t kType = container::chunk_head::kType;
constexpr uint32_t kId = container::chunk_head::kId;
constexpr uint32_t kReserved1 = 12;
constexpr uint32_t kCount = 16;
constexpr uint32_t kReserved2 = 20;
constexpr uint32_t kHeadSize = 24;
}  // namespace rz::user_data::head

// One entry of a text list (TextInfoEntry), behind the list's user data
// head: its size, the text id and a text field of L bytes, L being the room
// of the buffer entry it came from.  The text is NUL-terminated when shorter
// than L, unterminated when it fills L.  A UserText entry's size is always
// stored most significant byte first, its id least significant byte first.
namespace rz::text_info::entry {
constexpr uint32_t kSizeWord = 0;  // L + 8
constexpr uint32_t kTextId = 4;
constexpr uint32_t kText = 8;  // L bytes
constexpr uint32_t kHeadSize = 8;
constexpr uint32_t kMaxLength = kHeadSize + RZ_TEXT_BUFFER_ROOM;  // 264
}  // namespace rz::text_info::entry
