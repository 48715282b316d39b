// The frame area of a record: a FrameInfo head (type 140) followed by one
// FrameWave chunk (type 145) per frame, back to back.  A frame holds a 24-byte
// head and then, channel by channel, sampleRate x frameSeconds 16-bit samples.
#pragma once

#include <cstdint>

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

// The records' kept windows live in the handle's work buffer, whose contents
// no call reads or hands out.  Empty when the buffer cannot be pinned.
class KeptWindows {
 public:
  explicit KeptWindows(BioFile& bf);
  // The record's kept window, or nullptr.
  KeptWindow* of(const BioFile& bf, const RecordSlot& rs) const;

 private:
  BlockLock pin_;
};

// Puts a pending window into the record's channel buffers.
void settle_window(BioFile& bf, RecordSlot& rs);
// Releases the record's kept window without settling it (the buffers go too).
void release_window(BioFile& bf, RecordSlot& rs);
// Releases every record's kept window (the handle is closing).
void release_windows(BioFile& bf);

}  // namespace rz::frames
