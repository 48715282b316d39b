// User data items: typed arrays (bytes, 16- and 32-bit numbers, floats) and
// the user text list, each one chunk in the current record, told apart by a
// 16-bit id.  All six array types go through one writer and one reader that
// differ only in the element width.
#include "metadata/user_data.h"

#include <algorithm>
#include <cstring>

#include "container/byteorder.h"
#include "container/textbuffer.h"
#include "metadata/text_info.h"

namespace rz::user_data {

namespace head {
void pack(uint8_t out[kHeadSize], uint32_t chunkSize, uint32_t type, uint32_t id,
          uint32_t count, bool big) {
  Packed p(out, kHeadSize, big);
  p.u32(kSizeWord, chunkSize);
  p.u32(kType, type);
  p.u32(kId, id);
  p.u32(kReserved1, 0);
  p.u32(kCount, count);
  p.u32(kReserved2, 0);
}
}  // namespace head

bool find(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, Stored* out) {
  uint8_t h[head::kHeadSize];
  const uint32_t pos = container::find_chunk(bf, record, type, id, h, sizeof h);
  if (!pos) return false;
  const bool big = bf.big();
  // What a reader may touch ends with the chunk and with its record.
  const uint32_t room = container::stored_chunk_end(bf, record, pos, load_u32(h, head::kSizeWord, big)) - pos;
  out->pos = pos;
  out->count = load_u32(h, head::kCount, big);
  out->room = room > head::kHeadSize ? room - head::kHeadSize : 0;
  return true;
}

namespace {

// Copies count elements into file order (a 16- or 32-bit value reversed in a
// file of the other byte order than the host; bytes as they are).
void to_file_order(uint8_t* dst, const void* src, uint32_t count, uint32_t width, bool big) {
  if (count == 0) return;
  switch (width) {
    case 2: copy_words16(dst, src, count, big); break;
    case 4: copy_words32(dst, src, count, big); break;
    default: std::memcpy(dst, src, count); break;
  }
}

// Turns elements read from the file into host order where they stand.
void to_host_order(void* buffer, uint32_t count, uint32_t width, bool big) {
  if (!needs_swap(big)) return;
  if (width == 2) reverse_words16(buffer, 0, count);
  if (width == 4) reverse_words32(buffer, 0, count);
}

}  // namespace

bool read_elements(BioFile& bf, const Stored& s, void* buffer, uint32_t n, uint32_t width) {
  const uint32_t bytes = n * width;  // callers keep n within s.room / width
  if (container::read_at(bf, s.pos + head::kHeadSize, buffer, bytes) != bytes) return false;
  to_host_order(buffer, n, width, bf.big());
  return true;
}

int32_t create_item(BioFile& bf, uint32_t type, uint32_t id, uint32_t count, const void* data,
                    uint32_t width) {
  const int r = container::current_record(bf);
  if (r < 0 || (count && !data)) return 0;
  const uint64_t room = data_room(count, width);
  // The whole chunk must end at a file offset the file layer can reach.
  if (uint64_t{bf.writePos} + head::kHeadSize + room > uint64_t{INT32_MAX}) return 0;
  // The head, the elements in file order and their zero filler are staged in
  // one block; the caller's array is only read.
  container::ChunkStage stage(head::kHeadSize + room);
  uint8_t* h = stage.take(head::kHeadSize);
  uint8_t* elements = stage.take(uint32_t(room));
  if (!h || !elements) return 0;
  head::pack(h, uint32_t(head::kHeadSize + room), type, id, count, bf.big());
  to_file_order(elements, data, count, width, bf.big());
  return stage.append_to(bf, r);
}

int32_t read_item(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, void* buffer,
                  int32_t maxCount, uint32_t width) {
  Stored s;
  if (!buffer || !find(bf, record, type, id, &s)) return 0;
  // The stored count is unsigned: a damaged count of 2^31 or more is lowered
  // to maxCount like any other, never taken as a negative size.  Elements the
  // chunk does not hold are a short read.
  const uint32_t n = std::min(s.count, uint32_t(std::max(maxCount, 0)));
  if (n == 0 || n > s.room / width || !read_elements(bf, s, buffer, n, width)) return 0;
  return int32_t(n);
}

}  // namespace rz::user_data

using namespace rz;
using namespace rz::user_data;

namespace {

static_assert(sizeof(float) == 4, "user floats are stored as 32-bit words");

template <class T>
int32_t create_export(HGLOBAL h, ItemType type, uint16_t id, uint32_t count, const T* data) {
  BioLock bf(h);
  if (!bf) return 0;
  return create_item(*bf, type, id, count, data, sizeof(T));
}

template <class T>
int32_t read_export(HGLOBAL h, ItemType type, uint32_t record, uint16_t id, T* buffer,
                    int32_t maxCount) {
  BioLock bf(h);
  if (!bf) return 0;
  return read_item(*bf, record, type, id, buffer, maxCount, sizeof(T));
}

}  // namespace

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateUserByte(HGLOBAL h, uint16_t id, uint32_t count,
                                              const uint8_t* data) {
  return create_export(h, kBytes, id, count, data);
}
RZ_PUBLIC int32_t RZAPI DARARARCreateUserWord(HGLOBAL h, uint16_t id, uint32_t count,
                                              const uint16_t* data) {
  return create_export(h, kWords, id, count, data);
}
RZ_PUBLIC int32_t RZAPI DARARARCreateUserShort(HGLOBAL h, uint16_t id, uint32_t count,
                                               const int16_t* data) {
  return create_export(h, kShorts, id, count, data);
}
RZ_PUBLIC int32_t RZAPI DARARARCreateUserDword(HGLOBAL h, uint16_t id, uint32_t count,
                                               const uint32_t* data) {
  return create_export(h, kDwords, id, count, data);
}
RZ_PUBLIC int32_t RZAPI DARARARCreateUserLong(HGLOBAL h, uint16_t id, uint32_t count,
                                              const int32_t* data) {
  return create_export(h, kLongs, id, count, data);
}
RZ_PUBLIC int32_t RZAPI DARARARCreateUserFloat(HGLOBAL h, uint16_t id, uint32_t count,
                                               const float* data) {
  return create_export(h, kFloats, id, count, data);
}

RZ_PUBLIC int32_t RZAPI DARARARReadUserByte(HGLOBAL h, uint32_t record, uint16_t id,
                                            uint8_t* buffer, int32_t maxCount) {
  return read_export(h, kBytes, record, id, buffer, maxCount);
}
RZ_PUBLIC int32_t RZAPI DARARARReadUserWord(HGLOBAL h, uint32_t record, uint16_t id,
                                            uint16_t* buffer, int32_t maxCount) {
  return read_export(h, kWords, record, id, buffer, maxCount);
}
RZ_PUBLIC int32_t RZAPI DARARARReadUserShort(HGLOBAL h, uint32_t record, uint16_t id,
                                             int16_t* buffer, int32_t maxCount) {
  return read_export(h, kShorts, record, id, buffer, maxCount);
}
RZ_PUBLIC int32_t RZAPI DARARARReadUserDword(HGLOBAL h, uint32_t record, uint16_t id,
                                             uint32_t* buffer, int32_t maxCount) {
  return read_export(h, kDwords, record, id, buffer, maxCount);
}
RZ_PUBLIC int32_t RZAPI DARARARReadUserLong(HGLOBAL h, uint32_t record, uint16_t id,
                                            int32_t* buffer, int32_t maxCount) {
  return read_export(h, kLongs, record, id, buffer, maxCount);
}
RZ_PUBLIC int32_t RZAPI DARARARReadUserFloat(HGLOBAL h, uint32_t record, uint16_t id,
                                             float* buffer, int32_t maxCount) {
  return read_export(h, kFloats, record, id, buffer, maxCount);
}

RZ_PUBLIC uint32_t RZAPI DARARARGetUserDataNum(HGLOBAL h, uint32_t record, uint16_t typeCode,
                                               uint16_t id) {
  BioLock bf(h);
  if (!bf) return 0;
  Stored s;
  return find(*bf, record, typeCode, id, &s) ? s.count : 0;
}

RZ_PUBLIC int32_t RZAPI DARARARCreateUserText(HGLOBAL h, HGLOBAL textBuffer, uint16_t id,
                                              uint16_t count) {
  return with_text_buffer(h, textBuffer, 0, [&](BioFile& bf, TextBufferLock& tb) {
    return text_info::write_chunk(bf, tb, container::kUserText, id, count,
                                  text_info::kUserTextFormat);
  });
}

RZ_PUBLIC uint16_t RZAPI DARARARReadUserText(HGLOBAL h, HGLOBAL textBuffer, uint32_t record,
                                             uint16_t id) {
  return with_text_buffer(h, textBuffer, uint16_t{0}, [&](BioFile& bf, TextBufferLock& tb) {
    if (!record_at(bf, record)) return uint16_t{0};
    return text_info::read_chunk(bf, tb, record, container::kUserText, id,
                                 text_info::kUserTextFormat);
  });
}

}  // extern "C"
