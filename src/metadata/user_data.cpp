// The head shared by user information, user data items and text lists.
#include "metadata/user_data.h"

#include <algorithm>
#include <cstring>

#include "container/byteorder.h"
#include "container/textbuffer.h"
#include "metadata/text_info.h"

namespace rz::user_data {

namespace head {
void pack(uint8_t out[kLength], uint32_t chunkSize, uint32_t type, uint32_t id,
          uint32_t count, bool big) {
  Packed p(out, kLength, big);
  p.u32(kSize, chunkSize);
  p.u32(kType, type);
  p.u32(kId, id);
  p.u32(kReserved1, 0);
  p.u32(kCount, count);
  p.u32(kReserved2, 0);
}
}  // namespace head

bool find(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, Stored* out) {
  uint8_t h[head::kLength];
  const uint32_t pos = container::find_chunk(bf, record, type, id, h, sizeof h);
  if (!pos) return false;
  const bool big = bf.big();
  // What a reader may touch ends at the chunk's size, at its record's end
  // and within 32-bit offsets, whichever comes first.
  const uint64_t end = std::min({uint64_t{pos} + load_u32(h, head::kSize, big),
                                 uint64_t{container::record_end(bf, int(record & 0xFFFFu))},
                                 uint64_t{UINT32_MAX}});
  const uint64_t body = uint64_t{pos} + head::kLength;
  out->pos = pos;
  out->count = load_u32(h, head::kCount, big);
  out->room = end > body ? uint32_t(end - body) : 0;
  return true;
}

}  // namespace rz::user_data

