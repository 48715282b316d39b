// The frame area of a record: a FrameInfo head (type 140) followed by one
// FrameWave chunk (type 145) per frame, back to back.  A frame holds a 24-byte
// head and then, channel by channel, sampleRate x frameSeconds 16-bit samples.
#pragma once

#include <cstdint>

#include "container/byteorder.h"
#include "format/layout.h"
#include "frame/biofile.h"

namespace rz::frames {

// Bytes one channel takes in one frame, or 0 when no frame could hold them.
inline uint32_t channel_frame_bytes(uint32_t sampleRate, uint32_t frameSeconds) {
  const uint64_t bytes = channel_bytes(sampleRate, frameSeconds);
  return bytes > kMaxFrameChunkSize ? 0 : uint32_t(bytes);
}

// Every FrameBuf is this much larger than the frames it holds.
constexpr uint32_t kBufferSlack = 1024;

// Builds a FrameInfo head image in the file's byte order.
void pack_info(uint8_t out[info::kSize], uint32_t frameSeconds, uint32_t frameChunkSize,
               uint32_t frames, bool big);

// Gathers a channel's samples out of frames: `total` bytes of its blocks of
// `bytes` bytes each, the first at `block` and each one `stride` bytes after
// the one before, into one run at `out` in the host's order (the file's order
// `big` exchanged where it differs).  The last block may be cut short.
inline void gather_blocks(uint8_t* out, const uint8_t* block, size_t stride, uint64_t bytes, uint64_t total,
                          bool big) {
  if (bytes == 0) return;
  for (; total >= bytes; total -= bytes, out += bytes, block += stride) copy_words16(out, block, size_t(bytes / 2), big);
  if (total) copy_words16(out, block, size_t(total / 2), big);
}

// Frames staged per file write: one large write per batch instead of one or
// two small writes per frame.
constexpr uint32_t kBatchBytes = 1u << 20;
inline uint32_t batch_frames(uint32_t frameChunkSize) {
  const uint32_t n = frameChunkSize ? kBatchBytes / frameChunkSize : 1;
  return n ? n : 1;
}

// The FrameBufs of a record's channels, pinned for one call and unpinned on
// every path out.  A channel without a buffer (or one that cannot be pinned)
// has a null data pointer and size 0.
class LockedBuffers {
 public:
  explicit LockedBuffers(RecordSlot& rs);
  ~LockedBuffers();
  LockedBuffers(const LockedBuffers&) = delete;
  LockedBuffers& operator=(const LockedBuffers&) = delete;
  uint8_t* data(uint32_t c) const { return data_[c]; }
  size_t size(uint32_t c) const { return size_[c]; }
  uint32_t channels() const { return count_; }

 private:
  HGLOBAL handle_[kMaxChannels] = {};
  uint8_t* data_[kMaxChannels] = {};
  size_t size_[kMaxChannels] = {};
  uint32_t count_ = 0;
};

// The last window a record's read keeps as the file holds it: its frames,
// and where each channel's block lies in a frame.  The get calls hand each
// channel's samples straight out of the frames (converting the byte order on
// the way), so a window's samples are copied once after the file read instead
// of being split into the channel buffers first and copied again.  While the
// window is pending, the channel buffers lack it: anything else that uses the
// buffers settles it into them first, and behind the window's reach they
// still hold what earlier reads left there, as they always did.
struct KeptWindow {
  HGLOBAL block;            // the channel table, then the frames
  uint32_t framesAt;        // offset of frame 0 in the block
  uint32_t frameCount;      // frames read from the file
  uint32_t zeroFrames;      // frames of silence before them
  uint32_t frameChunkSize;  // bytes per frame
  uint32_t channels;        // channels the table describes
  uint32_t pending;         // 1 while the channel buffers lack the window
};
// Per channel in the block's table: the block's offset in a frame and its
// size, and the read buffer the window was read for, with its size.
struct KeptChannel {
  uint32_t offset;
  uint32_t bytes;
  HGLOBAL buffer;
  size_t room;
};

// The frames a record's writer saves next, as the file will hold them: the
// set-point calls place each channel's samples (in the file's byte order)
// straight into their blocks of these frames, and the save writes them with
// their heads filled in.  A recording's samples are then copied once on their
// way from the caller to the file, not placed in the channel buffers first
// and staged into frames again.  While the image is pending the channel
// buffers lack its samples: anything else that uses the buffers settles it
// into them first.
struct WriteImage {
  HGLOBAL block;            // the channel table (KeptChannel), then the frames
  uint32_t framesAt;        // offset of frame 0 in the block
  uint32_t frames;          // frames it holds: the write buffers' depth
  uint32_t frameChunkSize;  // bytes per frame
  uint32_t channels;        // channels the table describes
  uint32_t big;             // 1: samples stored big-endian (the file's order when made)
  uint32_t pending;         // 1 while the channel buffers lack placed samples
  uint32_t refused;         // 1: no image for these buffers (too large, no memory)
};

// A block holding a channel table and then frames, as a kept window or a
// write image holds them, pinned for one call; empty when there is no block
// or when its fields do not fit it.
class FramesView {
 public:
  FramesView(HGLOBAL block, uint32_t channels, uint32_t framesAt, uint32_t frameCount, uint32_t frameChunkSize)
      : lock_(block) {
    if (!lock_) return;
    const uint64_t table = uint64_t(channels) * sizeof(KeptChannel);
    const uint64_t frames = uint64_t(frameCount) * frameChunkSize;
    if (channels > kMaxChannels || table > framesAt || framesAt + frames > lock_.size()) return;
    table_ = reinterpret_cast<KeptChannel*>(lock_.data());
    frames_ = lock_.data() + framesAt;
    frameChunkSize_ = frameChunkSize;
  }
  explicit operator bool() const { return table_ != nullptr; }
  const KeptChannel* table() const { return table_; }
  const KeptChannel& channel(uint32_t c) const { return table_[c]; }
  uint8_t* frame(uint64_t i) const { return frames_ + i * frameChunkSize_; }

 private:
  BlockLock lock_;
  KeptChannel* table_ = nullptr;
  uint8_t* frames_ = nullptr;
  uint32_t frameChunkSize_ = 0;
};

// The records' kept windows and write images live in the handle's work
// buffer, whose contents no call reads or hands out.  Empty when the buffer
// cannot be pinned.
class KeptWindows {
 public:
  explicit KeptWindows(BioFile& bf);
  // The record's kept window, or nullptr.
  KeptWindow* of(const BioFile& bf, const RecordSlot& rs) const;
  // The record's write image, or nullptr.
  WriteImage* image_of(const BioFile& bf, const RecordSlot& rs) const;

 private:
  ptrdiff_t record_index(const BioFile& bf, const RecordSlot& rs) const;
  BlockLock pin_;
};

// Puts a pending window into the record's channel buffers.
void settle_window(BioFile& bf, RecordSlot& rs);
// Releases the record's kept window without settling it (the buffers go too).
void release_window(BioFile& bf, RecordSlot& rs);
// Releases every record's kept window and write image (the handle is closing).
void release_windows(BioFile& bf);

// Puts a pending write image into the record's channel buffers; the image
// stays and goes on serving the set-point calls and the save.
void settle_image(RecordSlot& rs, WriteImage* wi);
void settle_image(BioFile& bf, RecordSlot& rs);
// Settles the image and releases it: the buffers are about to be written by
// something else (a window read), so they alone hold the samples after this.
void drop_image(RecordSlot& rs, WriteImage* wi);
void drop_image(BioFile& bf, RecordSlot& rs);
// Releases the record's write image without settling it (the buffers go too).
void release_image(BioFile& bf, RecordSlot& rs);

}  // namespace rz::frames
