// Channel definitions: the item accessors, and the FrameChInfo chunk's writer,
// in-place updater and reader.
#include "channels/channel_info.h"

#include <algorithm>
#include <cstring>

#include "container/container.h"
#include "metadata/wave_info.h"

namespace rz {

int32_t convert_filter(int32_t f) {
  if (f == 0) return 0;
  // The factors are the single-precision constants the stored pairs were
  // always made with; double ones would move results across whole numbers.
  constexpr double kMilli = double(0.001f);
  constexpr double kTwoPi = double(6.2831855f);
  return int32_t(1000.0 / (double(f) * kMilli * kTwoPi));
}

namespace {

using namespace container;
namespace fe = frame_ch_entry;

// Copies a text into a fixed field: at most max characters, the rest zero.
void put_field_text(char* field, size_t fieldSize, const char* text, size_t max) {
  const size_t n = bounded_length(text, max);
  std::memset(field, 0, fieldSize);
  std::memcpy(field, text, n);
}

bool set_item(ChannelSlot& cs, uint16_t item, uint32_t v) {
  using namespace channel_item;
  switch (item) {
    case kFlags: cs.flags = v; return true;
    case kChannelNo: cs.channelNo = uint16_t(v); return true;
    case kValue3: cs.value3 = uint16_t(v); return true;
    case kSampleRate: cs.sampleRate = v; cs.flags &= ~fe::kFlagPeriod; return true;
    case kSamplePeriod: cs.samplePeriod = v; cs.flags |= fe::kFlagPeriod; return true;
    case kValue6: cs.value6 = v; return true;
    case kValue7: cs.value7 = v; return true;
    case kValue8: cs.value8 = v; return true;
    case kValue9: cs.value9 = v; return true;
    case kValue10: cs.value10 = v; return true;
    case kFilterA: cs.filterA = int32_t(v); cs.flags &= ~fe::kFlagFilterB; return true;
    case kFilterB: cs.filterB = int32_t(v); cs.flags |= fe::kFlagFilterB; return true;
    case kValue13: cs.value13 = int32_t(v); return true;
    case kValue14: cs.value14 = v; return true;
    case kSourceRate: cs.sourceRate = v; return true;
    case kUser20: cs.user20 = uint16_t(v); return true;
    case kUser21: cs.user21 = uint16_t(v); return true;
    case kUser22: cs.user22 = uint16_t(v); return true;
    case kUser23: cs.user23 = v; return true;
    case kUser24: cs.user24 = v; return true;
    case kUser25: cs.user25 = v; return true;
    case kUser26: cs.user26 = v; return true;
    case kUser27: cs.user27 = v; return true;
    case kUser28: cs.user28 = v; return true;
    case kUser29: cs.user29 = v; return true;
    default: return false;
  }
}

uint32_t get_item(const ChannelSlot& cs, uint16_t item) {
  using namespace channel_item;
  switch (item) {
    case kFlags: return cs.flags;
    case kChannelNo: return cs.channelNo;
    case kValue3: return cs.value3;
    case kSampleRate: return cs.sampleRate;
    case kSamplePeriod: return cs.samplePeriod;
    case kValue6: return cs.value6;
    case kValue7: return cs.value7;
    case kValue8: return cs.value8;
    case kValue9: return cs.value9;
    case kValue10: return cs.value10;
    case kFilterA: return uint32_t(cs.filterA);
    case kFilterB: return uint32_t(cs.filterB);
    case kValue13: return uint32_t(cs.value13);
    case kValue14: return cs.value14;
    case kSourceRate: return cs.sourceRate;
    case kUser20: return cs.user20;
    case kUser21: return cs.user21;
    case kUser22: return cs.user22;
    case kUser23: return cs.user23;
    case kUser24: return cs.user24;
    case kUser25: return cs.user25;
    case kUser26: return cs.user26;
    case kUser27: return cs.user27;
    case kUser28: return cs.user28;
    case kUser29: return cs.user29;
    default: return 0;
  }
}

// Entry offsets 16 to 71 from the slot: each pair stored in the form its
// flag names.
void put_fields(Packed& e, const ChannelSlot& cs) {
  e.u32(fe::kChannelNo, cs.channelNo);
  e.u32(fe::kFlags, cs.flags);
  e.u32(fe::kValue3, cs.value3);
  e.u32(fe::kExtraCode, cs.extraCode);
  e.u32(fe::kSampling, (cs.flags & fe::kFlagPeriod) ? cs.samplePeriod : cs.sampleRate);
  e.u32(fe::kValue6, cs.value6);
  e.u32(fe::kValue7, cs.value7);
  e.u32(fe::kValue9, cs.value9);
  e.u32(fe::kValue8, cs.value8);
  e.u32(fe::kValue10, cs.value10);
  e.u32(fe::kFilter, uint32_t((cs.flags & fe::kFlagFilterB) ? cs.filterB : cs.filterA));
  e.u32(fe::kValue13, uint32_t(cs.value13));
  e.u32(fe::kValue14, cs.value14);
  e.u32(fe::kReserved, 0);
}

// A text into its 16-byte entry field: at most 15 characters and the
// terminator; bytes behind the terminator are left as they are.
void put_entry_text(uint8_t* field, const char* text, size_t held) {
  const size_t n = bounded_length(text, std::min<size_t>(held, fe::kTextChars));
  std::memcpy(field, text, n);
  field[n] = 0;
}

// The trailing run of spaces that closes the descriptive part of an entry.
void put_spaces(uint8_t* entry) { std::memset(entry + fe::kSpaces, ' ', fe::kSpaceCount); }

void pack_entry(uint8_t out[fe::kSize], const ChannelSlot& cs, uint32_t index, bool big) {
  std::memset(out, 0, fe::kSize);
  Packed e(out, fe::kSize, big);
  e.u32(fe::kSizeWord, fe::kSize);
  e.u32(fe::kChunkType, kFrameChEntry);
  e.u32(fe::kChunkId, index + 1);
  put_fields(e, cs);
  put_entry_text(out + fe::kText1, cs.text1, sizeof cs.text1 - 1);
  put_entry_text(out + fe::kText2, cs.text2, sizeof cs.text2 - 1);
  put_spaces(out);
}

// A stored text without the blanks that pad it.
void take_entry_text(const Packed& e, uint32_t off, char* dst, size_t dstSize) {
  std::memset(dst, 0, dstSize);
  e.text_out(off, fe::kTextField, dst, fe::kTextChars);
  size_t n = std::strlen(dst);
  while (n > 0 && dst[n - 1] == ' ') dst[--n] = '\0';
}

// Loads one stored entry into its slot; maxRate is the highest rate of the
// entries before it, the fallback for an entry that stores no sampling value.
void unpack_entry(const Packed& e, ChannelSlot& cs, uint32_t index, uint32_t maxRate) {
  const int32_t channelNo = int32_t(e.u32(fe::kChannelNo));
  cs.channelNo = channelNo > 0 ? uint16_t(channelNo) : uint16_t(index + 1);
  cs.flags = e.u32(fe::kFlags);
  cs.value3 = uint16_t(e.u32(fe::kValue3));
  cs.extraCode = uint16_t(e.u32(fe::kExtraCode));

  uint32_t s = e.u32(fe::kSampling);
  if (s == 0) s = maxRate;
  // Without any rate to go on, the derived form is 0 rather than a fault.
  const uint32_t derived = s ? uint32_t(kMicrosPerSecond / int32_t(s)) : 0;
  if (cs.flags & fe::kFlagPeriod) {
    cs.samplePeriod = s;
    cs.sampleRate = derived;
  } else {
    cs.sampleRate = s;
    cs.samplePeriod = derived;
  }

  cs.value6 = e.u32(fe::kValue6);
  cs.value7 = e.u32(fe::kValue7);
  cs.value9 = e.u32(fe::kValue9);
  cs.value8 = e.u32(fe::kValue8);
  cs.value10 = e.u32(fe::kValue10);

  const int32_t f = int32_t(e.u32(fe::kFilter));
  if (cs.flags & fe::kFlagFilterB) {
    cs.filterB = f;
    cs.filterA = convert_filter(f);
  } else {
    cs.filterA = f;
    cs.filterB = convert_filter(f);
  }

  const int32_t v13 = int32_t(e.u32(fe::kValue13));
  cs.value13 = v13 >= kValue13Limit ? 0 : v13;
  cs.value14 = e.u32(fe::kValue14);
  take_entry_text(e, fe::kText1, cs.text1, sizeof cs.text1);
  take_entry_text(e, fe::kText2, cs.text2, sizeof cs.text2);
  cs.nonLinearCount = 0;
}

// Where a record's stored entries are and how many of them can be used.
struct StoredEntries {
  uint32_t chunk = 0;      // file offset of the FrameChInfo head
  uint32_t rawCount = 0;   // channel count as stored
  uint32_t count = 0;      // entries that have a slot and lie inside the chunk
  uint32_t stride = 0;     // stored entry size
  uint32_t readSize = 0;   // bytes of each entry the library handles
  uint64_t entry(uint32_t k) const {
    return uint64_t{chunk} + frame_ch_info::kHeadSize + uint64_t{k} * stride;
  }
};

// Finds the record's FrameChInfo and bounds what its head claims: no more
// entries than the record has slots or the chunk's own size holds, and no
// entry smaller than the part the library reads and writes.  False when the
// chunk is missing or its entries cannot be channel entries.
bool find_entries(BioFile& bf, uint32_t record, StoredEntries* out) {
  uint8_t head[frame_ch_info::kHeadSize];
  const uint32_t at = find_chunk(bf, record, kFrameChInfo, 0, head, sizeof head);
  if (!at) return false;
  const Packed h(head, sizeof head, bf.big());
  StoredEntries s;
  s.chunk = at;
  s.rawCount = h.u32(frame_ch_info::kChannelCount);
  s.stride = h.u32(frame_ch_info::kEntrySizeWord);
  s.readSize = std::min(s.stride, fe::kSize);
  if (s.rawCount > 0) {
    if (s.stride < fe::kUsedSize) return false;
    // The entries end with the chunk and with its record: a damaged size
    // never takes the reader, or the updater, into the next record.
    const uint32_t room = stored_chunk_end(bf, record, at, h.u32(frame_ch_info::kSizeWord)) - at;
    const uint32_t body = room > frame_ch_info::kHeadSize ? room - frame_ch_info::kHeadSize : 0;
    s.count = std::min({s.rawCount, kMaxChannels, body / s.stride});
  }
  *out = s;
  return true;
}

// Reads entry k whole (the part the library handles); false when the file
// does not hold it.
bool read_entry(BioFile& bf, const StoredEntries& s, uint32_t k, uint8_t* entry) {
  const uint64_t pos = s.entry(k);
  if (pos > UINT32_MAX) return false;
  return read_at(bf, uint32_t(pos), entry, s.readSize) == s.readSize;
}

// Serves a record's stored entries from reads of several entries at once -
// one read for a record of up to 32 channels - instead of one read each.
// An entry is handed out exactly when read_entry would have read it whole.
class EntryBatch {
 public:
  EntryBatch(BioFile& bf, const StoredEntries& s) : bf_(bf), s_(s) {}

  // Entry k (the part the library handles), or nullptr when the file does
  // not hold it.
  uint8_t* get(uint32_t k) {
    if (s_.stride > sizeof buf_) return read_entry(bf_, s_, k, buf_) ? buf_ : nullptr;
    if (k < first_ || k - first_ >= count_) fill(k);
    const uint64_t off = uint64_t(k - first_) * s_.stride;
    if (s_.entry(k) > uint64_t(INT32_MAX) || off + s_.readSize > got_) return nullptr;
    return buf_ + off;
  }

 private:
  void fill(uint32_t k) {
    first_ = k;
    count_ = std::min<uint32_t>(uint32_t(sizeof buf_) / s_.stride, s_.count - k);
    got_ = 0;
    const uint64_t pos = s_.entry(k);
    if (pos <= uint64_t(INT32_MAX))
      got_ = read_at(bf_, uint32_t(pos), buf_, (count_ - 1) * s_.stride + s_.readSize);
  }

  BioFile& bf_;
  const StoredEntries& s_;
  uint8_t buf_[32 * fe::kSize];
  uint32_t first_ = 0;
  uint32_t count_ = 0;
  uint32_t got_ = 0;
};

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::container;
namespace fe = rz::frame_ch_entry;

extern "C" {

RZ_PUBLIC uint32_t RZAPI DARARARSetFrameChInfo(HGLOBAL h, uint16_t record, uint16_t item,
                                               uint16_t channel, uint32_t value) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs) return 0;
  return set_item(*cs, item, value) ? 1 : 0;
}

RZ_PUBLIC uint32_t RZAPI DARARARGetFrameChInfo(HGLOBAL h, uint16_t record, uint16_t item,
                                               uint16_t channel) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs) return 0;
  return get_item(*cs, item);
}

RZ_PUBLIC uint32_t RZAPI DARARARSetFrameChText(HGLOBAL h, uint16_t record, uint16_t item,
                                               uint16_t channel, const char* text) {
  BioLock bf(h);
  if (!bf || !text) return 0;
  RecordSlot* rs = record_at(*bf, record);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs) return 0;
  // Longer texts keep what fits; the field always ends in NUL.
  if (item == channel_text_item::kText1) {
    put_field_text(cs->text1, sizeof cs->text1, text, sizeof cs->text1 - 1);
  } else if (item == channel_text_item::kText2) {
    put_field_text(cs->text2, sizeof cs->text2, text, sizeof cs->text2 - 1);
  } else {
    return 0;
  }
  return 1;
}

RZ_PUBLIC uint16_t RZAPI DARARARGetFrameChText(HGLOBAL h, uint16_t record, uint16_t item,
                                               uint16_t channel, char* buffer) {
  if (!h || !buffer) return 0;
  buffer[0] = '\0';
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs) return 0;
  const char* src;
  size_t n;
  if (item == channel_text_item::kText1) {
    src = cs->text1;
    n = bounded_length(src, sizeof cs->text1 - 1);
  } else if (item == channel_text_item::kText2) {
    src = cs->text2;
    n = bounded_length(src, sizeof cs->text2 - 1);
  } else {
    return 0;
  }
  std::memcpy(buffer, src, n);
  buffer[n] = '\0';
  return uint16_t(n);
}

RZ_PUBLIC int32_t RZAPI DARARARCreateFrameChInfo(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  const bool big = bf->big();
  rs.totalFrames = frame_count(rs.totalSamples, rs.baseRate, rs.frameSeconds);

  const uint32_t count = channel_limit(rs);
  uint8_t head[frame_ch_info::kHeadSize] = {};
  Packed p(head, sizeof head, big);
  p.u32(frame_ch_info::kSizeWord, frame_ch_info::kHeadSize + fe::kSize * count);
  p.u32(frame_ch_info::kChunkType, kFrameChInfo);
  p.u32(frame_ch_info::kChunkId, 0);
  p.u32(frame_ch_info::kChannelCount, count);
  p.u32(frame_ch_info::kEntrySizeWord, fe::kSize);
  return append_entries<fe::kSize>(*bf, r, head, sizeof head, count, [&](uint8_t* entry, uint32_t k) {
    pack_entry(entry, rs.channels[k], k, big);
  });
}

RZ_PUBLIC int32_t RZAPI DARARARUpdateFrameChInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf || bf->readOnly) return -1;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return -1;
  StoredEntries s;
  if (!find_entries(*bf, record, &s)) return -1;
  if (int32_t(s.rawCount) <= 0 || s.count == 0) return -1;
  const bool big = bf->big();
  uint8_t entry[fe::kSize];
  for (uint32_t k = 0; k < s.count; ++k) {
    // Bytes that could not be read are never written back.
    if (!read_entry(*bf, s, k, entry)) continue;
    Packed e(entry, s.readSize, big);
    const ChannelSlot& cs = rs->channels[k];
    put_fields(e, cs);
    put_entry_text(entry + fe::kText1, cs.text1, sizeof cs.text1 - 1);
    put_entry_text(entry + fe::kText2, cs.text2, sizeof cs.text2 - 1);
    put_spaces(entry);
    // The entry's head stays; its body is rewritten no further than its own
    // size, the chunk's entry size and the part the library handles allow.
    const uint32_t n = std::min(e.u32(fe::kSizeWord), s.readSize);
    if (n > fe::kFieldsBegin)
      write_at(*bf, uint32_t(s.entry(k)) + fe::kFieldsBegin, entry + fe::kFieldsBegin,
               n - fe::kFieldsBegin);
  }
  return int32_t(s.count) - 1;
}

RZ_PUBLIC int32_t RZAPI DARARARReadChannelInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  StoredEntries s;
  if (!find_entries(*bf, record, &s)) return 0;
  const bool big = bf->big();
  uint32_t maxRate = 0;
  bool repair = false;
  EntryBatch entries(*bf, s);
  for (uint32_t k = 0; k < s.count; ++k) {
    uint8_t* entry = entries.get(k);
    if (!entry) continue;
    const Packed e(entry, s.readSize, big);
    if (e.u32(fe::kChunkType) != kFrameChEntry) repair = true;
    ChannelSlot& cs = rs->channels[k];
    unpack_entry(e, cs, k, maxRate);
    maxRate = std::max(maxRate, cs.sampleRate);
  }
  rs->baseRate = maxRate;

  // Entries of older writers may lack their type code; a writable file gets
  // it on every entry, so that walks through the chunk recognise them.
  if (repair && bf->readOnly == 0) {
    uint8_t code[4];
    store_u32(code, 0, kFrameChEntry, big);
    uint8_t entry[fe::kSize];
    for (uint32_t k = 0; k < s.count; ++k) {
      if (!read_entry(*bf, s, k, entry)) continue;
      write_at(*bf, uint32_t(s.entry(k)) + fe::kChunkType, code, sizeof code);
    }
  }
  return 1;
}

}  // extern "C"
