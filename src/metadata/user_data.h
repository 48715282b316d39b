// The 24-byte chunk head that user information, user data items and the
// text lists share, and the finding of such a chunk.
#pragma once

#include <cstdint>

#include "container/container.h"

namespace rz::user_data {

// The head: chunk size, type, id, 0, count, 0, each u32 in the file's byte
// order.  The size counts the head and everything behind it.
namespace head {
constexpr uint32_t kSize = container::chunk_head::kSize;
constexpr uint32_t kType = container::chunk_head::kType;
constexpr uint32_t kId = container::chunk_head::kId;
constexpr uint32_t kReserved1 = 12;
constexpr uint32_t kCount = 16;
constexpr uint32_t kReserved2 = 20;
constexpr uint32_t kLength = 24;

void pack(uint8_t out[kLength], uint32_t chunkSize, uint32_t type, uint32_t id,
          uint32_t count, bool big);
}  // namespace head

// A chunk with this head as found in a record.
struct Stored {
  uint32_t pos;    // file offset of the chunk
  uint32_t count;  // the count word
  uint32_t room;   // bytes behind the head that lie inside the chunk and its record
};

// Finds the record's chunk of this type and id (0: the first of the type).
bool find(BioFile& bf, uint32_t record, uint32_t type, uint32_t id, Stored* out);

}  // namespace rz::user_data
