// TextBuffer: a table of short texts with 16-bit ids in one movable block.
// Layout: size (u32) = capacity x 264 + 272, capacity (u16), count (u16), then
// capacity + 1 TextEntry records (the last one spare).  The block is allocated
// 64 bytes larger than its size word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/biofile.h"
#include "razivera_codes.h"

namespace rz {

constexpr uint32_t kTextFieldSize = RZ_TEXT_BUFFER_ROOM;
constexpr uint32_t kMaxTextChars = kTextFieldSize - 1;  // the NUL needs its byte
constexpr uint16_t kHandleTextCapacity = RZ_HANDLE_TEXT_CAPACITY;

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

// The room a text of `len` characters takes in a chunk: len raised to a
// multiple of 4.
inline uint32_t text_room(uint32_t len) { return (len + 3) & ~uint32_t{3}; }

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
  // Entries in use.  A count the caller's block holds above the capacity is
  // taken as the capacity, so walks over the entries stay inside the block.
  uint16_t count() const { return head_->count < head_->capacity ? head_->count : head_->capacity; }
  void set_count(uint16_t n) { head_->count = n < head_->capacity ? n : head_->capacity; }

  // Index of the first entry below count whose id is `id`, or -1.
  int32_t find_id(uint16_t id) const;
  // Clears the length and id of every entry; the texts stay (a read that
  // refills the buffer starts so).
  void clear_heads();
  // Fills entry i (below the capacity): its length and id, and its text from
  // at most maxChars characters of `text`, stopping at a NUL; the rest of the
  // 256-byte field is zero, so the text is always terminated.
  void store(uint32_t i, uint32_t length, uint32_t id, const char* text, size_t maxChars);

 private:
  BlockLock block_;
  TextBufferHead* head_ = nullptr;
  TextEntry* entries_ = nullptr;
};

// Runs f(bf, tb) on a live handle and the buffer it names (the caller's, or
// the handle's own); `fail` when either cannot be locked.
template <class R, class F>
R with_text_buffer(HGLOBAL h, HGLOBAL buffer, R fail, F f) {
  BioLock bf(h);
  if (!bf) return fail;
  TextBufferLock tb(*bf, buffer);
  return tb ? f(*bf, tb) : fail;
}

}  // namespace rz
