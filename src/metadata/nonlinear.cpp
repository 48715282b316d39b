// Non-linear tables: up to 16 points (two values and a short text) per
// channel, kept in the ChannelSlot and stored as one NonLinearInfo chunk per
// channel.  The library stores and returns them without interpreting them.
#include <algorithm>
#include <cstring>

#include "container/container.h"
#include "format/layout.h"
#include "razivera_codes.h"

namespace rz {
namespace {

using namespace container;
namespace nl = non_linear;

constexpr uint16_t kItemCount = RZ_NONLINEAR_COUNT;
constexpr uint16_t kItemPoint = RZ_NONLINEAR_POINT;

// The count a caller may set: one less than the points the table holds.
constexpr int32_t kMaxSettableCount = int32_t(kMaxNonLinearPoints) - 1;

constexpr uint32_t kTextHeld = sizeof(NonLinearPoint::text) - 1;
static_assert(kMaxNonLinearPoints == RZ_NONLINEAR_MAX_POINTS &&
                  sizeof(NonLinearPoint::text) == RZ_NONLINEAR_TEXT_ROOM,
              "the interface states the table's limits");
constexpr uint32_t kMaxChunk = nl::point_offset(kMaxNonLinearPoints);

ChannelSlot* slot(BioFile& bf, uint32_t record, uint32_t channel) {
  RecordSlot* rs = record_at(bf, record);
  return rs ? channel_at(*rs, channel) : nullptr;
}

// Copies a text into a point: at most 27 characters, the rest zero.
void put_point_text(NonLinearPoint& pt, const char* text) {
  std::memset(pt.text, 0, sizeof pt.text);
  size_t n = 0;
  if (text)
    while (n < kTextHeld && text[n]) ++n;
  if (n) std::memcpy(pt.text, text, n);
}

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::container;
namespace nl = rz::non_linear;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARSetNonLinearInfo(HGLOBAL h, uint16_t record, uint16_t item,
                                                uint16_t channel, uint16_t point, int32_t value1,
                                                uint32_t value2, const char* text) {
  BioLock bf(h);
  if (!bf) return 0;
  ChannelSlot* cs = slot(*bf, record, channel);
  if (!cs) return 0;
  if (item == kItemCount) {
    if (value1 < 0 || value1 > kMaxSettableCount) return 0;
    cs->nonLinearCount = uint16_t(value1);
    return 1;
  }
  if (item == kItemPoint) {
    if (point >= kMaxNonLinearPoints) return 0;
    NonLinearPoint& pt = cs->nonLinearPoints[point];
    pt.value1 = uint32_t(value1);
    pt.value2 = value2;
    put_point_text(pt, text);
    return 1;
  }
  return 0;
}

RZ_PUBLIC int32_t RZAPI DARARARGetNonLinearInfo(HGLOBAL h, uint16_t record, uint16_t item,
                                                uint16_t channel, uint16_t point, uint32_t* value1,
                                                uint32_t* value2, char* text) {
  BioLock bf(h);
  if (!bf) return 0;
  ChannelSlot* cs = slot(*bf, record, channel);
  if (!cs) return 0;
  if (item == kItemCount) return cs->nonLinearCount;
  if (item != kItemPoint) return 0;
  if (point >= cs->nonLinearCount || point >= kMaxNonLinearPoints) return 0;
  const NonLinearPoint& pt = cs->nonLinearPoints[point];
  if (value1) *value1 = pt.value1;
  if (value2) *value2 = pt.value2;
  if (text) {
    size_t n = 0;
    while (n < kTextHeld && pt.text[n]) ++n;
    std::memcpy(text, pt.text, n);
    text[n] = '\0';
  }
  return point + 1;
}

RZ_PUBLIC int32_t RZAPI DARARARCreateNonLineaInfo(HGLOBAL h, uint16_t channel) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  ChannelSlot* cs = channel_at(bf->records[r], channel);
  if (!cs) return 0;
  const uint32_t n = std::min<uint32_t>(cs->nonLinearCount, kMaxNonLinearPoints);
  if (n == 0) return 0;

  uint8_t chunk[kMaxChunk] = {};
  const uint32_t size = nl::point_offset(n);
  Packed p(chunk, size, bf->big());
  p.u32(nl::kSizeWord, size);
  p.u32(nl::kChunkType, kNonLinearInfo);
  p.u32(nl::kChunkId, uint32_t(channel) + 1);
  p.u32(nl::kPointCount, n);
  for (uint32_t i = 0; i < n; ++i) {
    const NonLinearPoint& pt = cs->nonLinearPoints[i];
    const uint32_t at = nl::point_offset(i);
    p.u32(at + nl::kValue1, pt.value1);
    p.u32(at + nl::kValue2, pt.value2);
    p.text(at + nl::kText, nl::kTextField, pt.text, nl::kTextField);
  }
  if (!append(*bf, r, chunk, size)) return 0;
  return int32_t(bf->writePos);
}

RZ_PUBLIC uint16_t RZAPI DARARARReadNonLinearInfo(HGLOBAL h, uint32_t record,
                                                  uint16_t channelNumber) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs) return 0;
  uint8_t chunk[kMaxChunk] = {};
  const uint32_t at = find_chunk(*bf, record, kNonLinearInfo, channelNumber, chunk, nl::kHeadSize);
  if (!at) return 0;
  const bool big = bf->big();
  Packed head(chunk, nl::kHeadSize, big);
  // The chunk names its channel; ids beyond the record's slots name none.
  const uint32_t id = head.u32(nl::kChunkId);
  if (id == 0 || id > kMaxChannels) return 0;
  ChannelSlot& cs = rs->channels[id - 1];

  // A table holds 16 points; a longer stored one keeps its first 16, and
  // only points the chunk (within its record) and the file hold whole are
  // loaded.
  const uint32_t room = stored_chunk_end(*bf, record, at, head.u32(nl::kSizeWord)) - at;
  const uint32_t held = room > nl::kHeadSize ? (room - nl::kHeadSize) / nl::kPointSize : 0;
  uint32_t n = std::min({uint32_t(uint16_t(head.u32(nl::kPointCount))), kMaxNonLinearPoints, held});
  if (n > 0) {
    const uint32_t got = read_at(*bf, at, chunk, nl::point_offset(n));
    const uint32_t whole = got > nl::kHeadSize ? (got - nl::kHeadSize) / nl::kPointSize : 0;
    n = std::min(n, whole);
  }
  cs.nonLinearCount = uint16_t(n);
  const Packed p(chunk, sizeof chunk, big);
  for (uint32_t i = 0; i < n; ++i) {
    NonLinearPoint& pt = cs.nonLinearPoints[i];
    const uint32_t off = nl::point_offset(i);
    pt.value1 = p.u32(off + nl::kValue1);
    pt.value2 = p.u32(off + nl::kValue2);
    std::memset(pt.text, 0, sizeof pt.text);
    p.text_out(off + nl::kText, nl::kTextField, pt.text, nl::kTextRead);
  }
  return uint16_t(n);
}

}  // extern "C"
