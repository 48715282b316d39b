// User information and user data items: arrays of the application's own
// values, each stored as one chunk under a 24-byte head that the text lists
// share as well.
#pragma once

#include <cstdint>

#include "container/container.h"

namespace rz::user_data {

// The head (its layout in format/layout.h) for a chunk of `chunkSize` bytes.
namespace head {
void pack(uint8_t out[kHeadSize], uint32_t chunkSize, uint32_t type, uint32_t id,
          uint32_t count, bool big);
}  // namespace head

// Element types of the user data items and the chunk type each is stored as.
// Members of one width differ only in the type; values are copied bit for bit.
enum ItemType : uint32_t {
  kBytes = container::kUserByte,
  kWords = container::kUserWord,
  kShorts = container::kUserShort,
  kDwords = container::kUserDword,
  kLongs = container::kUserLong,
  kFloats = container::kUserFloat,
};

// Bytes the data of `count` elements of `width` bytes takes in a chunk: the
// 8- and 16-bit arrays end on a multiple of 4 with zero filler.
inline uint64_t data_room(uint32_t count, uint32_t width) {
  return (uint64_t{count} * width + 3) & ~uint64_t{3};
}

// A chunk with this head as found in a record.
struct Stored {
  uint32_t pos;    // file offset of the chunk
  uint32_t count;  // the count word
  uint32_t room;   // bytes behind the head that lie inside the chunk and its record
};

// Finds the record's chunk of this type and id (0: the first of the type).
bool find(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, Stored* out);

// Writes an item chunk of `count` elements of `width` (1, 2 or 4) bytes from
// the caller's `data` into the current record: the head, then the elements in
// the file's byte order with their filler, converted in a scratch copy so the
// caller's array is never touched.  The chunk goes out in one write; returns
// writePos after it, 0 when it was not written.
int32_t create_item(BioFile& bf, uint32_t type, uint32_t id, uint32_t count, const void* data,
                    uint32_t width);

// Reads n elements (n within s.room / width) from behind the head of a found
// chunk into buffer, in host order; false when the read falls short.
bool read_elements(BioFile& bf, const Stored& s, void* buffer, uint32_t n, uint32_t width);

// Reads at most maxCount elements of the record's item chunk into `buffer`;
// the number read, 0 when there is no such chunk or the read falls short.
int32_t read_item(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, void* buffer,
                  int32_t maxCount, uint32_t width);

}  // namespace rz::user_data
