// The chunk search, shared by every chunk reader, and the two navigation
// exports built on it.
#include <cstring>

#include "container/container.h"
#include "format/layout.h"
#include "platform/platform.h"

namespace rz::container {

uint32_t find_chunk(BioFile& bf, uint32_t record, uint32_t type, uint32_t id,
                    void* buf, uint32_t len, uint32_t* position) {
  record &= 0xFFFFu;
  if (record >= bf.recordCount || record >= kMaxRecords || !bf.fileHandle) return 0;
  if (bf.ByteOrder > 1 || len < chunk_head::kHeadSize) return 0;
  const uint64_t recordOffset = bf.recordOffset[record];
  // Every head is read `len` bytes long, so that `buf` holds the last chunk
  // examined, as the callers expect.
  const auto read = [&](uint64_t pos, void* head, size_t n) -> size_t {
    std::memset(buf, 0, len);
    const uint32_t got = read_at(bf, uint32_t(pos), buf, len);
    std::memcpy(head, buf, n);
    return got < n ? got : n;
  };
  auto walk = walk_chunks(read, recordOffset, recordOffset + bf.recordSize[record], bf.big());
  ChunkHeadView c;
  for (;;) {
    if (position && walk.count() < kMaxChunksPerSearch) *position = walk.count();
    if (!walk.next(c)) return 0;
    if (c.type == type && (id == 0 || c.id == id)) return uint32_t(c.offset);
  }
}

}  // namespace rz::container

using namespace rz;
using namespace rz::container;

extern "C" {

RZ_PUBLIC int32_t RZAPI RAZIVERAFindIndexPtr(HGLOBAL h, uint16_t record, uint32_t type,
                                             uint32_t id, uint32_t* head) {
  BioLock bf(h);
  if (!bf) return 0;
  uint8_t bytes[64] = {};
  const uint32_t found = find_chunk(*bf, record, type, id, bytes, sizeof bytes);
  if (head) {
    for (uint32_t w = 0; w < 16; ++w) head[w] = load_u32(bytes, w * 4, bf->big());
  }
  return int32_t(found);
}

}  // extern "C"
