// The chunk search, shared by every chunk reader, and the two navigation
// exports built on it.
#include <cstring>

#include "container/container.h"
#include "format/layout.h"
#include "platform/platform.h"

namespace rz::container {

size_t HeadBlock::operator()(uint64_t pos, void* out, size_t n) {
  last_ = pos;
  // A head the block holds whole, with its span, comes from the read that
  // filled the block; any other is read afresh where it stands, and the
  // block then starts there.  A head longer than the block is read alone.
  if (!holds(pos, span_ > kBlockSize ? kBlockSize + 1 : span_)) {
    // Read no further than the last head's span: a read that reaches the
    // end of the file costs a second system call to learn that it ended.
    uint64_t want = kBlockSize;
    if (pos < recordEnd_ && recordEnd_ - pos + span_ < want) want = recordEnd_ - pos + span_;
    start_ = pos;
    held_ = pos <= UINT32_MAX ? read_at(bf_, uint32_t(pos), block_, uint32_t(want)) : 0;
    filled_ = true;
  }
  const uint32_t at = uint32_t(pos - start_);
  const size_t got = held_ - at < n ? held_ - at : n;
  std::memcpy(out, block_ + at, got);
  return got;
}

bool HeadBlock::last(void* out) const {
  if (!filled_) return false;
  std::memset(out, 0, span_);
  if (span_ > kBlockSize) {
    if (last_ <= UINT32_MAX) read_at(bf_, uint32_t(last_), out, span_);
    return true;
  }
  const uint32_t at = uint32_t(last_ - start_);
  std::memcpy(out, block_ + at, held_ - at < span_ ? held_ - at : span_);
  return true;
}

uint32_t find_chunk(BioFile& bf, uint32_t record, uint32_t type, uint32_t id,
                    void* buf, uint32_t len, uint32_t* position) {
  record &= 0xFFFFu;
  if (record >= bf.recordCount || record >= kMaxRecords || !bf.fileHandle) return 0;
  if (bf.ByteOrder > 1 || len < chunk_head::kHeadSize) return 0;
  const uint64_t recordOffset = bf.recordOffset[record];
  const uint64_t recordEnd = recordOffset + bf.recordSize[record];
  HeadBlock heads(bf, len, recordEnd);
  const auto read = [&heads](uint64_t pos, void* head, size_t n) { return heads(pos, head, n); };
  auto walk = walk_chunks(read, recordOffset, recordEnd, bf.big());
  ChunkHeadView c;
  uint32_t found = 0;
  for (;;) {
    if (position && walk.count() < kMaxChunksPerSearch) *position = walk.count();
    if (!walk.next(c)) break;
    if (c.type == type && (id == 0 || c.id == id)) {
      found = uint32_t(c.offset);
      break;
    }
  }
  // `buf` holds the first `len` bytes of the last chunk examined, as the
  // callers expect.
  heads.last(buf);
  return found;
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
