// Wave information: the item accessors, and the WaveInfo chunk's writer, its
// in-place updater and its reader.
#include "metadata/wave_info.h"

#include <cstring>

#include "container/container.h"
#include "platform/platform.h"

namespace rz {

uint32_t frame_count(uint32_t samples, uint32_t baseRate, uint32_t frameSeconds) {
  if (baseRate == 0 || frameSeconds == 0) return 0;
  const uint64_t seconds = (uint64_t{samples} + baseRate - 1) / baseRate;
  return uint32_t(seconds / frameSeconds);  // seconds <= samples, so it fits
}

namespace {

using namespace container;

// The 16-bit start field an item names, or nullptr.
uint16_t* start_field(RecordSlot& rs, uint16_t item) {
  switch (item) {
    case wave_item::kStartYear: return &rs.startYear;
    case wave_item::kStartMonth: return &rs.startMonth;
    case wave_item::kStartDay: return &rs.startDay;
    case wave_item::kStartHour: return &rs.startHour;
    case wave_item::kStartMinute: return &rs.startMinute;
    case wave_item::kStartSecond: return &rs.startSecond;
    default: return nullptr;
  }
}

// The 32-bit field an item sets and gets, or nullptr.
uint32_t* settable_field(RecordSlot& rs, uint16_t item) {
  switch (item) {
    case wave_item::kFrameSeconds: return &rs.frameSeconds;
    case wave_item::kTotalSamples: return &rs.totalSamples;
    case wave_item::kBaseRate: return &rs.baseRate;
    case wave_item::kMainsFrequency: return &rs.mainsFrequency;
    case wave_item::kUserValue1: return &rs.userValue1;
    case wave_item::kUserValue2: return &rs.userValue2;
    default: return nullptr;
  }
}

void pack_wave_info(uint8_t out[wave_info::kSize], const RecordSlot& rs, bool big) {
  using namespace wave_info;
  std::memset(out, 0, kSize);
  Packed p(out, kSize, big);
  p.u32(kSizeWord, kSize);
  p.u32(kChunkType, kWaveInfo);
  p.u32(kChunkId, 0);
  p.u32(kRecordCode, rs.recordCode);
  p.u32(kChannelCount, rs.channelCount);
  p.u32(kTotalFrames, rs.totalFrames);
  p.u32(kStartYear, rs.startYear);
  p.u32(kStartMonth, rs.startMonth);
  p.u32(kStartDay, rs.startDay);
  p.u32(kStartHour, rs.startHour);
  p.u32(kStartMinute, rs.startMinute);
  p.u32(kStartSecond, rs.startSecond);
  // A human-readable copy of the start for file browsers; readers take the
  // numbers above.
  char date[64];
  plat::format(date, sizeof date, kStartDateFormat, unsigned(rs.startDay), unsigned(rs.startMonth),
               unsigned(rs.startYear), unsigned(rs.startHour), unsigned(rs.startMinute),
               unsigned(rs.startSecond));
  p.text(kStartDateText, kStartDateTextSize, date, kStartDateTextChars);
  // The mains frequency has always been stored least significant byte first,
  // in big-endian files too; readers rely on it.
  p.le32(kMainsFrequency, rs.mainsFrequency);
  p.text(kWaveText, kWaveTextSize, rs.waveText, kWaveTextStored);
}

void unpack_wave_info(uint8_t in[wave_info::kSize], RecordSlot& rs, bool big) {
  using namespace wave_info;
  Packed p(in, kSize, big);
  rs.recordCode = uint16_t(p.u32(kRecordCode));
  const uint16_t channels = uint16_t(p.u32(kChannelCount));
  rs.channelCount = channels > kMaxChannels ? uint16_t(kMaxChannels) : channels;
  const uint32_t frames = p.u32(kTotalFrames);
  rs.totalFrames = frames > kMaxTotalFrames ? 0 : frames;
  rs.startYear = uint16_t(p.u32(kStartYear));
  rs.startMonth = uint16_t(p.u32(kStartMonth));
  rs.startDay = uint16_t(p.u32(kStartDay));
  rs.startHour = uint16_t(p.u32(kStartHour));
  rs.startMinute = uint16_t(p.u32(kStartMinute));
  rs.startSecond = uint16_t(p.u32(kStartSecond));
  const uint32_t mains = p.le32(kMainsFrequency);
  rs.mainsFrequency = (mains == 50 || mains == 60) ? mains : 0;
  std::memset(rs.waveText, 0, sizeof rs.waveText);
  p.text_out(kWaveText, kWaveTextSize, rs.waveText, kWaveTextStored);
}

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::container;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARSetWaveInfo(HGLOBAL h, uint16_t record, uint16_t item,
                                           uint32_t value) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  if (item == wave_item::kRecordCode) {
    rs->recordCode = uint16_t(value);
    return 1;
  }
  if (item == wave_item::kChannelCount) {
    // Every channel loop runs to this count over the record's 256 slots.
    if (uint16_t(value) > kMaxChannels) return 0;
    rs->channelCount = uint16_t(value);
    return 1;
  }
  if (uint16_t* f = start_field(*rs, item)) {
    *f = uint16_t(value);
    return 1;
  }
  if (uint32_t* f = settable_field(*rs, item)) {
    *f = value;
    return 1;
  }
  return 0;
}

RZ_PUBLIC uint32_t RZAPI DARARARGetWaveInfo(HGLOBAL h, uint16_t record, uint16_t item) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  switch (item) {
    case wave_item::kRecordCode: return rs->recordCode;
    case wave_item::kChannelCount: return rs->channelCount;
    case wave_item::kTotalFrames: return rs->totalFrames;
    case wave_item::kFrameChunkSize: return rs->frameChunkSize;
    case wave_item::kFrameDataPosition: return rs->frameDataPosition;
    case wave_item::kHasEventTable: return rs->eventTable ? 1 : 0;
    default: break;
  }
  if (const uint16_t* f = start_field(*rs, item)) return *f;
  if (const uint32_t* f = settable_field(*rs, item)) return *f;
  return 0;
}

RZ_PUBLIC int32_t RZAPI DARARARSetWaveText(HGLOBAL h, uint16_t record, uint16_t item,
                                           const char* text) {
  BioLock bf(h);
  if (!bf || !text) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || item != wave_text_item::kWaveText) return 0;
  // A longer text keeps its first characters; the field always ends in NUL.
  const size_t n = bounded_length(text, kWaveTextHeld);
  std::memset(rs->waveText, 0, sizeof rs->waveText);
  std::memcpy(rs->waveText, text, n);
  return 1;
}

RZ_PUBLIC int16_t RZAPI DARARARGetWaveText(HGLOBAL h, uint16_t record, uint16_t item,
                                           char* buffer) {
  if (!h || !buffer) return 0;
  buffer[0] = '\0';
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  const char* src = nullptr;
  size_t n = 0;
  if (item == wave_text_item::kWaveText) {
    src = rs->waveText;
    n = bounded_length(src, kWaveTextHeld);
  } else if (item == wave_text_item::kPath) {
    src = bf->path;
    n = bounded_length(src, kPathSize - 1);
  } else {
    return 0;
  }
  std::memcpy(buffer, src, n);
  buffer[n] = '\0';
  return int16_t(n);
}

RZ_PUBLIC uint32_t RZAPI DARARARCreateWaveInfo(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  rs.totalFrames = frame_count(rs.totalSamples, rs.baseRate, rs.frameSeconds);
  uint8_t chunk[wave_info::kSize];
  pack_wave_info(chunk, rs, bf->big());
  const uint32_t at = bf->writePos;
  if (!append(*bf, r, chunk, sizeof chunk)) return 0;
  rs.waveInfoPosition = at;
  return bf->writePos;
}

RZ_PUBLIC uint32_t RZAPI DARARARUpdateWaveInfo(HGLOBAL h, uint32_t totalSamples) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  // Only a chunk this handle wrote has a known place; offset 0 is the header.
  if (rs.waveInfoPosition == 0) return 0;
  const bool big = bf->big();
  uint8_t chunk[wave_info::kSize];
  if (read_at(*bf, rs.waveInfoPosition, chunk, sizeof chunk) != sizeof chunk) return 0;
  Packed p(chunk, sizeof chunk, big);
  if (p.u32(wave_info::kChunkType) != kWaveInfo) return 0;

  // Only the frame count changes: items set since the chunk was created stay
  // in memory until the next record.
  rs.totalFrames = frame_count(totalSamples, rs.baseRate, rs.frameSeconds);
  p.u32(wave_info::kTotalFrames, rs.totalFrames);
  const bool written = write_at(*bf, rs.waveInfoPosition, chunk, sizeof chunk);

  // The record's length in its header follows what has been written so far,
  // so a reader of the growing file sees the frames too.
  uint8_t length[4];
  store_u32(length, 0, bf->recordSize[r], big);
  write_at(*bf, bf->recordOffset[r] + record_header::kLengthWord, length, sizeof length);
  return written ? totalSamples : 0;
}

RZ_PUBLIC int32_t RZAPI DARARARReadRecordInfo(HGLOBAL h, uint32_t record) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  uint8_t chunk[wave_info::kSize];
  const uint32_t at = find_chunk(*bf, record, kWaveInfo, 0, chunk, sizeof chunk);
  if (!at) return 0;
  unpack_wave_info(chunk, *rs, bf->big());
  // An out-of-range frame count is cleared in the file too, so that every
  // later reader of a writable file agrees.
  const uint32_t stored = load_u32(chunk, wave_info::kTotalFrames, bf->big());
  // Only a count the chunk really holds, inside its record, is cleared: in a
  // chunk whose size stops short of it those bytes belong to what follows.
  const uint64_t fieldEnd = uint64_t{at} + wave_info::kTotalFrames + 4;
  const bool held = load_u32(chunk, wave_info::kSizeWord, bf->big()) >= wave_info::kTotalFrames + 4 &&
                    fieldEnd <= record_end(*bf, int(record & 0xFFFFu));
  if (rs->totalFrames == 0 && stored != 0 && bf->readOnly == 0 && held) {
    const uint8_t zero[4] = {};
    rewrite_at(*bf, at + wave_info::kTotalFrames, zero, sizeof zero);
  }
  return 1;
}


RZ_PUBLIC int32_t RZAPI DARARARReadUpdateTotalFrame(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return -1;
  // Only a reader rescans: a handle writing the file (writePos set) keeps its
  // own record table, which is exact, instead of lengths taken from the
  // directory entry.
  if (bf->writePos == 0) container::scan_records(*bf);
  uint8_t chunk[wave_info::kSize];
  if (!container::find_chunk(*bf, record, container::kWaveInfo, 0, chunk, sizeof chunk)) return -1;
  const uint32_t frames = load_u32(chunk, wave_info::kTotalFrames, bf->big());
  bf->records[record].totalFrames = frames;  // found, so record is in range
  return int32_t(frames);
}

}  // extern "C"
