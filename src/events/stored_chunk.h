// Where a stored chunk found by the chunk search really ends.  Its size word
// comes from the file, so a reader or an in-place rewriter takes it only as
// far as the chunk's own record reaches: a damaged size never lets either one
// walk into the next record or past what a file position can address.
#pragma once

#include <cstdint>

#include "frame/biofile.h"

namespace rz::events {

// End (exclusive) of the chunk at `pos` in `record` whose size word is
// `size`; never below `pos`, so `end - pos` is the room the chunk may use.
inline uint32_t stored_chunk_end(const BioFile& bf, uint32_t record, uint32_t pos,
                                 uint32_t size) {
  const uint64_t recordEnd = uint64_t{bf.recordOffset[record]} + bf.recordSize[record];
  uint64_t end = uint64_t{pos} + size;
  if (end > recordEnd) end = recordEnd;
  if (end > uint64_t{INT32_MAX}) end = INT32_MAX;
  return end < pos ? pos : uint32_t(end);
}

}  // namespace rz::events
