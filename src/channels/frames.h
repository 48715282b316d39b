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

}  // namespace rz::frames
