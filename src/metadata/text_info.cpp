// Text lists: the shared entry writer and reader, and the text information
// chunk built on them (create, read, and replacing one text in place).
#include "metadata/text_info.h"

#include <algorithm>
#include <cstring>

#include "container/byteorder.h"
#include "container/container.h"
#include "metadata/user_data.h"

namespace rz::text_info {
namespace {

namespace head = user_data::head;

uint32_t load_head_value(const uint8_t* in, size_t off, bool big, bool mend) {
  const uint32_t v = load_u32(in, off, big);
  return mend && (v >> 16) ? load_u32(in, off, !big) : v;
}

// The room an entry of the buffer takes in a chunk; a length the caller's
// block holds above the text field is taken as the field.
uint32_t room_of(const TextEntry& e) { return std::min(e.length, kTextFieldSize); }

// Walks the entries of a found text list, at most n of them, and calls
// visit(k, pos, head, bytes) for each whole entry of size 8 or more: k counts
// every head met, pos is the entry's file offset, bytes hold its first 264
// bytes (zero where the chunk or the file ends).  Smaller entries are stepped
// over by their size.  The walk ends at the chunk's end, at a size of 0 and
// at an entry that runs past the chunk; visit ends it by returning false.
template <class Visit>
void walk(BioFile& bf, const user_data::Stored& s, uint32_t n, const EntryFormat& f,
          Visit visit) {
  uint32_t pos = s.pos + head::kHeadSize;
  const uint32_t end = pos + s.room;
  for (uint32_t k = 0; k < n && end - pos >= entry::kHeadSize; ++k) {
    uint8_t bytes[entry::kMaxLength] = {};
    const uint32_t want = std::min(end - pos, entry::kMaxLength);
    if (container::read_at(bf, pos, bytes, want) < entry::kHeadSize) return;
    const EntryHead eh = unpack_entry_head(bytes, f);
    if (eh.size == 0 || eh.size > end - pos) return;
    if (eh.size >= entry::kHeadSize && !visit(k, pos, eh, bytes)) return;
    pos += eh.size;
  }
}

// Room of a stored entry: its size less the head, never more than a buffer
// entry's text field.
uint32_t stored_room(const EntryHead& eh) {
  return std::min(eh.size - entry::kHeadSize, kTextFieldSize);
}

}  // namespace

void pack_entry(uint8_t out[entry::kMaxLength], uint32_t room, uint32_t textId,
                const char* text, const EntryFormat& f) {
  room = std::min(room, kTextFieldSize);
  store_u32(out, entry::kSizeWord, room + entry::kHeadSize, f.sizeBig);
  store_u32(out, entry::kTextId, textId, f.idBig);
  Packed(out, entry::kMaxLength, false).text(entry::kText, room, text, room);
}

EntryHead unpack_entry_head(const uint8_t* in, const EntryFormat& f) {
  return {load_head_value(in, entry::kSizeWord, f.sizeBig, f.mendSwapped),
          load_head_value(in, entry::kTextId, f.idBig, f.mendSwapped)};
}

int32_t write_chunk(BioFile& bf, const TextBufferLock& tb, uint32_t type, uint32_t id,
                    uint16_t count, const EntryFormat& f) {
  const int r = container::current_record(bf);
  if (r < 0) return 0;
  const uint16_t n = std::min(count, tb.count());
  uint32_t size = head::kHeadSize;  // at most 24 + 65535 x 264: no wrap
  for (uint32_t k = 0; k < n; ++k) size += entry::kHeadSize + room_of(tb.entry(k));

  container::ChunkStage stage(size);
  uint8_t* h = stage.take(head::kHeadSize);
  if (!h) return 0;
  head::pack(h, size, type, id, n, bf.big());
  for (uint32_t k = 0; k < n; ++k) {
    const TextEntry& e = tb.entry(k);
    uint8_t bytes[entry::kMaxLength];
    const uint32_t room = room_of(e);
    pack_entry(bytes, room, e.id, e.text, f);
    uint8_t* out = stage.take(entry::kHeadSize + room);
    if (!out) return 0;
    std::memcpy(out, bytes, entry::kHeadSize + room);
  }
  return stage.append_to(bf, r);
}

uint16_t read_chunk(BioFile& bf, TextBufferLock& tb, uint32_t record, uint32_t type,
                    uint32_t id, const EntryFormat& f) {
  tb.clear_heads();
  user_data::Stored s;
  if (!user_data::find(bf, record, type, id, &s)) return 0;
  // A count with its top bit set reads as negative: no entries.
  const uint32_t n = int32_t(s.count) < 0 ? 0 : std::min<uint32_t>(s.count, tb.capacity());
  uint16_t stored = 0;
  walk(bf, s, n, f, [&](uint32_t, uint32_t, const EntryHead& eh, const uint8_t* bytes) {
    const uint32_t room = stored_room(eh);
    tb.store(stored++, room, eh.textId, reinterpret_cast<const char*>(bytes + entry::kText),
             std::min(room, f.readChars));
    return true;
  });
  tb.set_count(stored);
  return stored;
}

}  // namespace rz::text_info

using namespace rz;
using namespace rz::text_info;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateTextInfo(HGLOBAL h, HGLOBAL textBuffer, uint16_t typeCode,
                                              uint16_t count) {
  return with_text_buffer(h, textBuffer, 0, [&](BioFile& bf, TextBufferLock& tb) {
    return write_chunk(bf, tb, typeCode, 0, count, text_info_format(bf.big()));
  });
}

RZ_PUBLIC int32_t RZAPI DARARARUpdateTextInfo(HGLOBAL h, uint32_t record, uint16_t typeCode,
                                              uint32_t id, const char* text) {
  BioLock bf(h);
  if (!bf || !text || bf->readOnly == 1 || !record_at(*bf, record)) return -1;
  user_data::Stored s;
  if (!user_data::find(*bf, record, typeCode, 0, &s) || int32_t(s.count) < 1) return -1;
  // Lists are written with a 16-bit count; a larger stored one is not walked
  // further than that.
  const uint32_t n = std::min<uint32_t>(s.count, UINT16_MAX);
  // Entry heads are taken as the reader takes them, so the update finds in
  // any list - a user text included - the entry that the reader shows.
  int32_t found = -1;
  bool written = false;
  walk(*bf, s, n, text_info_format(bf->big()),
       [&](uint32_t k, uint32_t pos, const EntryHead& eh, const uint8_t*) {
         if (eh.textId != id) return true;
         // The text never grows beyond the field written with the list: it
         // is cut to the field, terminated when shorter, zero behind.
         const uint32_t room = stored_room(eh);
         uint8_t field[kTextFieldSize];
         Packed(field, sizeof field, false).text(0, room, text, room);
         written = room == 0 || container::rewrite_at(*bf, pos + entry::kText, field, room);
         found = int32_t(k);
         return false;
       });
  return written ? found : -1;
}

RZ_PUBLIC uint32_t RZAPI DARARARReadTextInfo(HGLOBAL h, HGLOBAL textBuffer, uint32_t record,
                                             uint16_t typeCode) {
  return with_text_buffer(h, textBuffer, uint32_t{0}, [&](BioFile& bf, TextBufferLock& tb) {
    if (!record_at(bf, record)) return uint32_t{0};
    return uint32_t{read_chunk(bf, tb, record, typeCode, 0, text_info_format(bf.big()))};
  });
}

}  // extern "C"
