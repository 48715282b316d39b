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
  if (bf.ByteOrder > 1 || len < chunk_head::kLength) return 0;
  const bool big = bf.big();
  uint32_t offset = bf.recordOffset[record] + record_header::kSize;
  if (offset < record_header::kSize) return 0;  // wrapped
  const uint32_t limit = bf.recordSize[record];
  uint32_t sum = 0;
  for (uint32_t i = 0; i < kMaxChunksPerSearch; ++i) {
    if (position) *position = i;
    std::memset(buf, 0, len);
    if (read_at(bf, offset, buf, len) < 8) return 0;
    const uint32_t size = load_u32(buf, chunk_head::kSize, big);
    if (size == 0) return 0;
    const uint32_t storedType = load_u32(buf, chunk_head::kType, big);
    const uint32_t storedId = load_u32(buf, chunk_head::kId, big);
    if (storedType == type && (id == 0 || storedId == id)) return offset;
    if (size > UINT32_MAX - offset) return 0;
    offset += size;
    sum += size;
    if (sum >= limit || sum < size) return 0;
  }
  return 0;
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

RZ_PUBLIC int32_t RZAPI DARARARReadUpdateTotalFrame(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return -1;
  // Only a reader rescans: a handle writing the file (writePos set) keeps its
  // own record table, which is exact, instead of lengths taken from the
  // directory entry.
  if (bf->writePos == 0) scan_records(*bf);
  uint8_t chunk[wave_info::kSize];
  if (!find_chunk(*bf, record, kWaveInfo, 0, chunk, sizeof chunk)) return -1;
  const uint32_t frames = load_u32(chunk, wave_info::kTotalFrames, bf->big());
  bf->records[record].totalFrames = frames;  // found, so record is in range
  return int32_t(frames);
}

}  // extern "C"
