// TextBuffer: a table of short texts with 16-bit ids in one movable block.
// Layout: size (u32) = capacity x 264 + 272, capacity (u16), count (u16), then
// capacity + 1 TextEntry records (the last one spare).  The block is allocated
// 64 bytes larger than its size word.
#pragma once

#include <cstdint>

#include "frame/biofile.h"

namespace rz {

constexpr uint32_t kTextFieldSize = 256;
constexpr uint16_t kHandleTextCapacity = 128;

struct TextEntry {
  uint32_t length;  // room of the text in a chunk: stored length rounded up to 4
  uint32_t id;
  char text[kTextFieldSize];
};

struct TextBufferHead {
  uint32_t size;
  uint16_t capacity;
  uint16_t count;
};

constexpr uint32_t kTextBufferHeadSize = sizeof(TextBufferHead);
static_assert(kTextBufferHeadSize == 8 && sizeof(TextEntry) == 264, "TextBuffer layout");

inline uint32_t text_buffer_size(uint16_t capacity) {
  return uint32_t{capacity} * sizeof(TextEntry) + kTextBufferHeadSize + sizeof(TextEntry);
}

// Allocates an empty TextBuffer; nullptr for capacity 0 or a failed allocation.
HGLOBAL create_text_buffer(uint16_t capacity);

// A TextBuffer locked for one call: the caller's, or the handle's own when the
// caller passes none.  Refused when the block is smaller than its head says,
// so a damaged or foreign block is never walked past its end.
class TextBufferLock {
 public:
  TextBufferLock(BioFile& bf, HGLOBAL buffer);
  explicit operator bool() const { return head_ != nullptr; }
  TextBufferHead& head() const { return *head_; }
  TextEntry& entry(uint32_t i) const { return entries_[i]; }
  uint16_t capacity() const { return head_->capacity; }

 private:
  BlockLock block_;
  TextBufferHead* head_ = nullptr;
  TextEntry* entries_ = nullptr;
};

}  // namespace rz
