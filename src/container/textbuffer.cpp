#include "container/textbuffer.h"

#include <cstring>

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

}  // namespace rz
