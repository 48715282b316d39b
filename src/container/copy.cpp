// Continuing a recording in a new file: the new file receives the source's
// base header and record 0 up to its frame area, and the new handle is ready
// to write a new frame area where the source's began.
#include <cstring>

#include "container/container.h"
#include "container/textbuffer.h"
#include "frame/handle.h"

namespace rz {
namespace {

// The copied description may not reach further into the source than this.
constexpr uint32_t kMaxCopiedBytes = 0x80000;
constexpr uint16_t kCopiedVersion = 110;

// A block the copy must own itself: a duplicate of the source's, or null.
HGLOBAL duplicate_block(HGLOBAL source) {
  BlockLock from(source);
  if (!from) return nullptr;
  HGLOBAL copy = plat::mem_alloc(plat::kMemFlags, from.size());
  BlockLock to(copy);
  if (!to) {
    plat::mem_free(copy);
    return nullptr;
  }
  std::memcpy(to.data(), from.data(), from.size());
  return copy;
}

}  // namespace
}  // namespace rz

using namespace rz;

extern "C" RZ_PUBLIC HGLOBAL RZAPI RAZIVERACopyNewBioFile(HGLOBAL source, const char* path,
                                                          uint32_t framesPerBuffer) {
  BioLock src(source);
  if (!src) return nullptr;
  BioFile* bf = nullptr;
  HGLOBAL h = begin_handle(framesPerBuffer, &bf);
  if (!h) return nullptr;
  plat::set_error_mode(plat::kQuietErrorMode);
  // Creating the target empties it: it must not be the source itself.
  if (!path || std::strcmp(path, src->path) == 0 || plat::same_file(path, src->path) ||
      !attach_file(*bf, path, plat::kOpenCreate | plat::kOpenReadWrite)) {
    abandon_handle(h, bf);
    return nullptr;
  }
  bf->readOnly = 0;
  bf->textBuffer = create_text_buffer(kHandleTextCapacity);

  uint8_t head[frames::info::kSize];
  const uint32_t frameArea = container::find_chunk(*src, 0, container::kFrameInfo, 0, head, sizeof head);
  if (frameArea == 0 || frameArea > kMaxCopiedBytes || frameArea < src->recordOffset[0]) {
    abandon_handle(h, bf);
    return nullptr;
  }
  {
    ScratchBlock copy(size_t(frameArea) + 1024, true);
    if (!copy) {
      abandon_handle(h, bf);
      return nullptr;
    }
    container::read_at(*src, 0, copy.data(), frameArea);
    container::write_at(*bf, 0, copy.data(), frameArea + 4);  // four zero bytes end the record's chunks
  }

  bf->formatVersion = kCopiedVersion;
  bf->headerValid = src->headerValid;
  bf->headerCode = src->headerCode;
  bf->ByteOrder = src->ByteOrder;
  bf->headerLetter = src->headerLetter;
  bf->writePos = frameArea;
  bf->recordOffset[0] = src->recordOffset[0];
  bf->recordSize[0] = frameArea - src->recordOffset[0];
  RecordSlot& rs = bf->records[0];
  std::memcpy(&rs, &src->records[0], sizeof rs);
  // The slot owns blocks from here on, whether or not the record header below
  // can be written: the close must release them.
  bf->recordsInUse = 1;
  // Every block has one owner: the copy gets its own event table and starts
  // without frame buffers (the frame writer makes new ones).
  rs.eventTable = duplicate_block(src->records[0].eventTable);
  for (ChannelSlot& cs : rs.channels) cs.frameBuf = nullptr;
  rs.writingFrames = false;

  uint8_t recordHead[container::record_header::kSize];
  container::record_header::pack(recordHead, container::record_header::kOpenLength, 1, bf->big());
  if (container::write_at(*bf, container::base_header::kSize, recordHead, sizeof recordHead))
    bf->recordCount = 1;
  plat::mem_unlock(h);
  return h;
}
