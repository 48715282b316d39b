// Records: starting and ending them, and the append rule every chunk writer
// follows.
#include <cstring>

#include "channels/frames.h"
#include "container/container.h"
#include "platform/platform.h"

namespace rz::container {

namespace record_header {
void pack(uint8_t out[kSize], uint32_t length, uint32_t number, bool big) {
  Packed p(out, kSize, big);
  p.u32(kLengthWord, length);
  p.u32(kType, kRecordType);
  p.u32(kNumber, number);
  p.u32(kReserved, 0);
}
}  // namespace record_header

uint32_t read_at(BioFile& bf, uint32_t pos, void* buf, uint32_t n) {
  if (!bf.fileHandle || n == 0) return 0;
  if (pos > uint32_t(INT32_MAX) || n > uint32_t(INT32_MAX)) return 0;
  if (plat::file_seek(bf.fileHandle, int32_t(pos)) < 0) return 0;
  const int32_t got = plat::file_read(bf.fileHandle, buf, int32_t(n));
  return got > 0 ? uint32_t(got) : 0;
}

bool write_at(BioFile& bf, uint32_t pos, const void* data, uint32_t n) {
  if (!bf.fileHandle) return false;
  if (pos > uint32_t(INT32_MAX) || n > uint32_t(INT32_MAX) - pos) return false;
  if (plat::file_seek(bf.fileHandle, int32_t(pos)) < 0) return false;
  if (n == 0) return true;
  if (plat::file_write(bf.fileHandle, data, int32_t(n)) != int32_t(n)) {
    plat::discard_last_error();
    return false;
  }
  return true;
}

bool rewrite_at(BioFile& bf, uint32_t pos, const void* data, uint32_t n) {
  if (n == 0 || pos > uint32_t(INT32_MAX) || n > uint32_t(INT32_MAX) - pos) return false;
  // The last byte of the range is there, so every byte before it is too.
  uint8_t last;
  if (read_at(bf, pos + n - 1, &last, 1) != 1) return false;
  return write_at(bf, pos, data, n);
}

int current_record(const BioFile& bf) {
  if (bf.recordCount == 0 || bf.recordCount > kMaxRecords) return -1;
  if (bf.writePos == 0 || bf.startFailed) return -1;
  return bf.recordCount - 1;
}

bool append(BioFile& bf, int r, const void* data, uint32_t n) {
  if (r < 0 || r >= int(kMaxRecords)) return false;
  // Every piece goes to writePos: after a short write the next piece lands
  // where the failed one began, so the file never holds a gap that its
  // record length does not account for.
  if (!write_at(bf, bf.writePos, data, n)) return false;
  bf.writePos += n;
  bf.recordSize[r] += n;
  return true;
}

int32_t ChunkStage::append_to(BioFile& bf, int r) const {
  if (!*this || used_ != size_) return 0;
  if (!append(bf, r, block_.data(), size_)) return 0;
  return int32_t(bf.writePos);
}

bool rewrite_record_header(BioFile& bf, int r) {
  uint8_t head[record_header::kSize];
  record_header::pack(head, bf.recordSize[r], uint32_t(r) + 1, bf.big());
  return write_at(bf, bf.recordOffset[r], head, sizeof head);
}

}  // namespace rz::container

using namespace rz;
using namespace rz::container;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARStartRecordWave(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return -1;
  if (bf->recordCount >= kMaxRecords) {
    bf->startFailed = true;
    return -1;
  }
  // A handle that opened an existing file for editing starts at writePos 0:
  // the new record goes behind the last stored one, never over the header.
  const uint16_t r = bf->recordCount;
  const uint32_t at = bf->writePos == 0 && r > 0 ? record_end(*bf, r - 1) : bf->writePos;
  uint8_t head[record_header::kSize];
  record_header::pack(head, record_header::kOpenLength, uint32_t(r) + 1, bf->big());
  // Nothing is taken over until the header stands: a start that fails leaves
  // the record table and the write position as they were, so that nothing
  // written afterwards lands behind a finished record or changes its length.
  if (!write_at(*bf, at, head, sizeof head)) {
    bf->startFailed = true;
    return -1;
  }
  bf->startFailed = false;
  bf->recordCount = uint16_t(r + 1);
  bf->recordOffset[r] = at;
  bf->recordSize[r] = record_header::kSize;
  bf->writePos = at + record_header::kSize;
  char digits[8];
  plat::format(digits, sizeof digits, "%04u", unsigned(bf->recordCount));
  write_at(*bf, base_header::kCount, digits, base_header::kCountSize);
  return r;
}

RZ_PUBLIC int32_t RZAPI DARARAREndRecordWave(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = current_record(*bf);
  if (r < 0) return 0;
  static const uint8_t terminator[kTerminatorSize] = {};
  append(*bf, r, terminator, kTerminatorSize);
  if (!rewrite_record_header(*bf, r)) return 0;
  // The record's frames are written: its write image goes, and the buffers
  // keep its samples as they would have without one.
  frames::drop_image(*bf, bf->records[r]);
  return int32_t(record_end(*bf, r));
}

}  // extern "C"
