// Text buffers: creating one, and storing or fetching its entries by index or
// by id.  The chunk writers and readers of the text lists fill and empty the
// same buffers.
#include "container/textbuffer.h"

#include <algorithm>
#include <cstring>

#include "container/byteorder.h"

namespace rz {

HGLOBAL create_text_buffer(uint16_t capacity) {
  if (capacity == 0) return nullptr;
  const uint32_t size = text_buffer_size(capacity);
  HGLOBAL h = plat::mem_alloc(plat::kMemFlags, size_t{size} + 64);
  if (!h) return nullptr;
  // A block that cannot be locked is handed out all the same, head left zero.
  if (auto* p = static_cast<uint8_t*>(plat::mem_lock(h))) {
    TextBufferHead head{size, capacity, 0};
    std::memcpy(p, &head, sizeof head);
    plat::mem_unlock(h);
  }
  return h;
}

TextBufferLock::TextBufferLock(BioFile& bf, HGLOBAL buffer)
    : block_(buffer ? buffer : bf.textBuffer) {
  if (!block_ || block_.size() < kTextBufferHeadSize) return;
  auto* head = reinterpret_cast<TextBufferHead*>(block_.data());
  if (head->capacity == 0 || block_.size() < text_buffer_size(head->capacity)) return;
  head_ = head;
  entries_ = reinterpret_cast<TextEntry*>(block_.data() + kTextBufferHeadSize);
}

int32_t TextBufferLock::find_id(uint16_t id) const {
  for (uint32_t i = 0; i < count(); ++i)
    if (entries_[i].id == id) return int32_t(i);
  return -1;
}

void TextBufferLock::clear_heads() {
  for (uint32_t i = 0; i < capacity(); ++i) {
    entries_[i].length = 0;
    entries_[i].id = 0;
  }
}

void TextBufferLock::store(uint32_t i, uint32_t length, uint32_t id, const char* text,
                           size_t maxChars) {
  TextEntry& e = entries_[i];
  e.length = length;
  e.id = id;
  Packed(e.text, kTextFieldSize, false)
      .text(0, kTextFieldSize, text, std::min(maxChars, size_t{kMaxTextChars}));
}

namespace {

// The text of an entry into the caller's 256 bytes, and its length and id
// packed as the fetch operations return them.
uint32_t fetch(TextEntry& e, char* dest) {
  Packed(e.text, kTextFieldSize, false).text_out(0, kTextFieldSize, dest, kMaxTextChars);
  return (e.length << 16) | (e.id & 0xFFFFu);
}

}  // namespace
}  // namespace rz

using namespace rz;

extern "C" {

RZ_PUBLIC HGLOBAL RZAPI RAZIVERACreateTextBuffer(uint16_t capacity) {
  return create_text_buffer(capacity);
}

RZ_PUBLIC uint16_t RZAPI RAZIVERASetTextBuffer(HGLOBAL h, HGLOBAL buffer, int32_t index,
                                               uint16_t len, uint16_t id, const char* text) {
  if (!text || len > kMaxTextChars) return 0;
  return with_text_buffer(h, buffer, uint16_t{0}, [&](BioFile&, TextBufferLock& tb) {
    const uint32_t i = index < 0 ? tb.count() : uint32_t(index);
    // Nothing is stored at or past the capacity (an append to a full buffer
    // included), and the count stays: the id searches and the chunk writers
    // visit every entry below it.
    if (i >= tb.capacity()) return tb.count();
    // The room follows len, not the text: a caller may reserve room for a
    // longer text to come.
    tb.store(i, text_room(len), id, text, len);
    if (i >= tb.count()) tb.set_count(uint16_t(i + 1));
    return tb.count();
  });
}

RZ_PUBLIC uint32_t RZAPI RAZIVERAGetTextBuffer(HGLOBAL h, HGLOBAL buffer, int32_t index,
                                               char* dest) {
  if (!h || !dest) return 0;
  dest[0] = '\0';
  return with_text_buffer(h, buffer, uint32_t{0}, [&](BioFile&, TextBufferLock& tb) {
    // The bound is the capacity: an entry past the count reads what it holds.
    if (index < 0 || uint32_t(index) >= tb.capacity()) return uint32_t{0};
    return fetch(tb.entry(uint32_t(index)), dest);
  });
}

RZ_PUBLIC uint32_t RZAPI RAZIVERAGetTextIDBuffer(HGLOBAL h, HGLOBAL buffer, uint16_t id,
                                                 char* dest) {
  if (!h || !dest) return 0;
  dest[0] = '\0';
  return with_text_buffer(h, buffer, uint32_t{0}, [&](BioFile&, TextBufferLock& tb) {
    const int32_t i = tb.find_id(id);
    return i < 0 ? 0 : fetch(tb.entry(uint32_t(i)), dest);
  });
}

RZ_PUBLIC uint32_t RZAPI RAZIVERASetTextIDBuffer(HGLOBAL h, HGLOBAL buffer, uint16_t id,
                                                 const char* text) {
  if (!text) return 0;
  with_text_buffer(h, buffer, 0, [&](BioFile&, TextBufferLock& tb) {
    const int32_t i = tb.find_id(id);
    if (i < 0) return 0;
    TextEntry& e = tb.entry(uint32_t(i));
    size_t n = 0;
    while (n <= kMaxTextChars && text[n]) ++n;
    // The new text must fit the entry's room with its NUL; length and id
    // stay, so a chunk written from the buffer keeps its layout.
    if (n < e.length && n <= kMaxTextChars) tb.store(uint32_t(i), e.length, e.id, text, n);
    return 0;
  });
  return 0;
}

}  // extern "C"
