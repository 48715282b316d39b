// User channel values: ten caller-defined values per channel and two per
// record, stored in the UserChInfo chunk.  They are set and read through the
// channel items 20 to 29 and the wave information items 25 and 26.
#include <algorithm>
#include <cstring>

#include "format/layout.h"
#include "container/container.h"

namespace rz {
namespace {

using namespace container;
namespace ue = user_ch_entry;

void pack_entry(uint8_t out[ue::kSize], const ChannelSlot& cs, uint32_t index, bool big) {
  std::memset(out, 0, ue::kSize);
  Packed e(out, ue::kSize, big);
  e.u32(ue::kSizeWord, ue::kSize);
  e.u32(ue::kChunkType, kUserChEntry);
  e.u32(ue::kChunkId, index + 1);
  e.u32(ue::kChannel, index + 1);
  e.u32(ue::kUser20, cs.user20);
  e.u32(ue::kUser21, cs.user21);
  e.u32(ue::kUser22, cs.user22);
  e.u32(ue::kUser23, cs.user23);
  e.u32(ue::kUser24, cs.user24);
  e.u32(ue::kUser25, cs.user25);
  e.u32(ue::kUser26, cs.user26);
  e.u32(ue::kUser27, cs.user27);
  e.u32(ue::kUser28, cs.user28);
  e.u32(ue::kUser29, cs.user29);
}

void clear_user_fields(ChannelSlot& cs) {
  cs.user20 = cs.user21 = cs.user22 = 0;
  cs.user23 = cs.user24 = cs.user25 = cs.user26 = cs.user27 = cs.user28 = cs.user29 = 0;
}

void unpack_entry(const Packed& e, ChannelSlot& cs) {
  cs.user20 = uint16_t(e.u32(ue::kUser20));
  cs.user21 = uint16_t(e.u32(ue::kUser21));
  cs.user22 = uint16_t(e.u32(ue::kUser22));
  cs.user23 = e.u32(ue::kUser23);
  cs.user24 = e.u32(ue::kUser24);
  cs.user25 = e.u32(ue::kUser25);
  cs.user26 = e.u32(ue::kUser26);
  cs.user27 = e.u32(ue::kUser27);
  cs.user28 = e.u32(ue::kUser28);
  const uint32_t user29 = e.u32(ue::kUser29);
  cs.user29 = user29 ? user29 : cs.user24 * ue::kUser29PerUser24;
}

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::container;
namespace ue = rz::user_ch_entry;
namespace uh = rz::user_ch_info;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateUserChInfo(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  const bool big = bf->big();
  const uint32_t count = channel_limit(rs);

  uint8_t head[uh::kHeadSize] = {};
  Packed p(head, sizeof head, big);
  p.u32(uh::kSizeWord, uh::kHeadSize + ue::kSize * count);
  p.u32(uh::kChunkType, kUserChInfo);
  p.u32(uh::kChunkId, 0);
  p.u32(uh::kChannelCount, count);
  p.u32(uh::kEntrySizeWord, ue::kSize);
  p.u32(uh::kRecordValue1, rs.userValue1);
  p.u32(uh::kRecordValue2, rs.userValue2);
  return append_entries<ue::kSize>(*bf, r, head, sizeof head, count, [&](uint8_t* entry, uint32_t k) {
    pack_entry(entry, rs.channels[k], k, big);
  });
}

RZ_PUBLIC int32_t RZAPI DARARARReadUserChannelInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  const bool big = bf->big();
  uint8_t head[uh::kHeadSize];
  const uint32_t at = find_chunk(*bf, record, kUserChInfo, 0, head, sizeof head);
  if (!at) return 0;
  const Packed p(head, sizeof head, big);
  const uint32_t stored = p.u32(uh::kChannelCount);
  const uint32_t stride = p.u32(uh::kEntrySizeWord);
  // Entries too small to hold the values cannot be user channel entries.
  if (stored > 0 && stride < ue::kUsedSize) return 0;
  rs->userValue1 = p.u32(uh::kRecordValue1);
  rs->userValue2 = p.u32(uh::kRecordValue2);
  if (stored == 0) return 1;

  // No more entries than the record has slots or the chunk holds within its
  // size and its record.
  const uint32_t room = stored_chunk_end(*bf, record, at, p.u32(uh::kSizeWord)) - at;
  const uint32_t body = room > uh::kHeadSize ? room - uh::kHeadSize : 0;
  const uint32_t count = std::min({stored, kMaxChannels, body / stride});
  const uint32_t readSize = std::min(stride, ue::kSize);
  uint8_t entry[ue::kSize];
  for (uint32_t k = 0; k < count; ++k) {
    ChannelSlot& cs = rs->channels[k];
    clear_user_fields(cs);
    const uint64_t pos = uint64_t{at} + uh::kHeadSize + uint64_t{k} * stride;
    if (pos > UINT32_MAX || read_at(*bf, uint32_t(pos), entry, readSize) != readSize) continue;
    unpack_entry(Packed(entry, readSize, big), cs);
  }
  return 1;
}

}  // extern "C"
