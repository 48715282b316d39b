// The container: base header, records, chunk heads and the byte-order rule,
// with the shared mechanics every chunk writer and reader uses - the record
// scan, the chunk search and the append rule.
//
// Folder src/container/: the layer every chunk family stands on.  Its exports:
// header.cpp DARARARCreateBaseHeader; records.cpp DARARARStartRecordWave,
// DARARAREndRecordWave; chunks.cpp RAZIVERAFindIndexPtr; textbuffer.cpp the
// RAZIVERA...TextBuffer and ...TextIDBuffer calls; copy.cpp
// RAZIVERACopyNewBioFile.  It knows no chunk family's module.  The layout of the file
// (heads, offsets, the chunk-type registry) is format/layout.h; byteorder.h
// is the file's byte-order rule.
#pragma once

#include <cstdint>
#include <cstring>

#include "container/byteorder.h"
#include "format/layout.h"
#include "frame/biofile.h"

namespace rz::container {

// The layouts are in format/layout.h; these build the heads a writer stores.
namespace base_header {
void compose(char out[kSize], uint16_t code, uint16_t byteOrder, uint16_t letter);
}  // namespace base_header

namespace record_header {
void pack(uint8_t out[kSize], uint32_t length, uint32_t number, bool big);
}  // namespace record_header

// Reads the BaseHeader and runs the record scan (open, modes 1 to 3).
// Records 1010 / 1011 for a wrong magic / a refused version.
bool read_header(BioFile& bf);

// Finds the records from offset 32 on; true when record 0 was visited.
bool scan_records(BioFile& bf);

// Reads chunk heads for one walk of a record through a block of the file:
// heads that lie close together (a record's description chunks, a small
// record whole) come from one read of the file instead of one read each.  The
// block lives for one walk only and holds nothing from an earlier call, so the
// walk sees the file as it stands - this handle's own writes and another
// writer's appends and rewrites alike - exactly as a walk that reads each head
// where it stands: each head is served with the `span` bytes from its start
// out of a single read.  Pass it to walk_chunks through a reference.
class HeadBlock {
 public:
  // recordEnd: where the walk's record ends; no head begins there or beyond,
  // so a block never asks for bytes past the last head's span.
  HeadBlock(BioFile& bf, uint32_t span, uint64_t recordEnd)
      : bf_(bf), span_(span), recordEnd_(recordEnd) {}
  HeadBlock(const HeadBlock&) = delete;
  HeadBlock& operator=(const HeadBlock&) = delete;

  // The walk's read: up to n (at most span) bytes of the file from pos.
  size_t operator()(uint64_t pos, void* out, size_t n);
  // The `span` bytes of the last head read as the read that served it found
  // them (zero where the file ended); false when nothing was read.
  bool last(void* out) const;

  static constexpr uint32_t kBlockSize = 4096;

 private:
  bool holds(uint64_t pos, uint32_t n) const {
    return filled_ && pos >= start_ && pos - start_ <= held_ && held_ - (pos - start_) >= n;
  }

  BioFile& bf_;
  uint32_t span_;
  uint64_t recordEnd_;
  bool filled_ = false;
  uint64_t start_ = 0;  // file offset of block_[0]
  uint32_t held_ = 0;   // bytes of block_ the file filled
  uint64_t last_ = 0;   // where the last head was read
  uint8_t block_[kBlockSize];
};

// The chunk search: the file offset of the first chunk of `type` (and `id`,
// 0 meaning any) in `record`, or 0.  `buf` receives the first `len` bytes of
// the last chunk examined as they stand in the file (bytes the file does not
// hold read as zero); `position`, when given, its index in the record.
uint32_t find_chunk(BioFile& bf, uint32_t record, uint32_t type, uint32_t id,
                    void* buf, uint32_t len, uint32_t* position = nullptr);

// The append rule.  The record chunk writers append to, or -1 when there is
// none: no record, or nothing started through this handle (a file opened for
// editing has writePos 0, and appending there would overwrite the header).
int current_record(const BioFile& bf);

// Writes n bytes at writePos into record r; on a complete write writePos and
// recordSize[r] advance by n.  A short write is not reported beyond the
// result: the positions stay, the OS error is dropped.
bool append(BioFile& bf, int r, const void* data, uint32_t n);

// Positioned access for readers and in-place editors.  read_at returns the
// bytes read (0 on a failed seek or read); write_at true on a complete write.
uint32_t read_at(BioFile& bf, uint32_t pos, void* buf, uint32_t n);
bool write_at(BioFile& bf, uint32_t pos, const void* data, uint32_t n);

// In-place rewrite of n bytes the file already holds at pos: refused, with
// nothing written, when the file ends before pos + n.  Editors that follow a
// size word from the file use it, so that a damaged size never lengthens the
// file with bytes that were never stored.
bool rewrite_at(BioFile& bf, uint32_t pos, const void* data, uint32_t n);

// One chunk staged whole, so that it goes to the file in one write: either it
// stands complete behind the record's last chunk, or nothing of it is counted
// and the next chunk goes where it would have begun.  Written in pieces, a
// chunk whose head was lost would leave its entries or data where the head
// belonged, and every walk of the record would end there.
class ChunkStage {
 public:
  // A zero-filled stage of `size` bytes; false when no file position could
  // hold it or its block cannot be had.
  explicit ChunkStage(uint64_t size)
      : size_(size <= uint64_t{INT32_MAX} ? uint32_t(size) : 0),
        block_(size_, true) {}
  explicit operator bool() const { return size_ != 0 && bool(block_); }
  // The next n bytes of the chunk, filled in place by the caller; nullptr
  // when they would run past its size.
  uint8_t* take(uint32_t n) {
    if (!*this || n > size_ - used_) return nullptr;
    uint8_t* at = block_.data() + used_;
    used_ += n;
    return at;
  }
  // Appends the chunk to record r when every byte of it was staged: writePos
  // after it, or 0 when nothing was written.
  int32_t append_to(BioFile& bf, int r) const;

 private:
  uint32_t size_;
  uint32_t used_ = 0;
  ScratchBlock block_;
};

// Appends a chunk that holds one fixed-size entry per channel: its head, then
// entry k packed by pack(entry, k) for k = 0 .. count - 1, in one write.
// Returns writePos after the chunk, or 0 when it was not written or holds no
// entry (a head alone is written all the same).
template <uint32_t EntrySize, class Pack>
int32_t append_entries(BioFile& bf, int r, const uint8_t* head, uint32_t headSize,
                       uint32_t count, Pack pack) {
  ChunkStage stage(headSize + uint64_t{EntrySize} * count);
  uint8_t* out = stage.take(headSize);
  if (!out) return 0;
  std::memcpy(out, head, headSize);
  for (uint32_t k = 0; k < count; ++k) pack(stage.take(EntrySize), k);
  const int32_t end = stage.append_to(bf, r);
  return count ? end : 0;
}

// Rewrites record r's RecordHeader with its current length and number r + 1.
bool rewrite_record_header(BioFile& bf, int r);

// End of record r as written or found: recordOffset + recordSize.
inline uint32_t record_end(const BioFile& bf, int r) {
  return bf.recordOffset[r] + bf.recordSize[r];
}

// The bounding rule of every reader and in-place rewriter: the end (exclusive)
// of the chunk at `pos` in `record` whose size word, taken from the file, is
// `size` - never past the chunk's own record, nor past what a file position
// can address, nor below `pos`, so that `end - pos` is the room the chunk may
// use.  A damaged size thus never takes a reader into the next record.
inline uint32_t stored_chunk_end(const BioFile& bf, uint32_t record, uint32_t pos,
                                 uint32_t size) {
  record &= 0xFFFFu;
  if (record >= kMaxRecords) return pos;
  return bounded_chunk_end(pos, size, uint64_t{bf.recordOffset[record]} + bf.recordSize[record]);
}

// Length of a text held in a fixed field of `max` characters that may lack
// its terminator.
inline size_t bounded_length(const char* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

// A table block the handle owns (the event and score tables: a chunk's bytes
// with their words in host order), locked for one call.  Each table adds the
// rule that says when its head describes a table that fits the block.
class HeldTable {
 public:
  explicit HeldTable(HGLOBAL h) : block_(h), mem_(block_.data(), block_.size(), kHostBigEndian) {}
  Packed& mem() { return mem_; }
  const Packed& mem() const { return mem_; }
  uint8_t* at(uint32_t off) { return block_.data() + off; }

 protected:
  BlockLock block_;
  Packed mem_;
};

}  // namespace rz::container
