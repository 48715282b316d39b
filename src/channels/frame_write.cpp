// Writing frames: the per-channel FrameBufs, the set-point operations that
// pick samples (or event codes) out of the acquisition data into them, and
// the save that appends the buffered frames to the record's frame area.
#include <cstring>

#include "channels/frames.h"
#include "container/container.h"

namespace rz::frames {

void pack_info(uint8_t out[info::kSize], uint32_t frameSeconds, uint32_t frameChunkSize,
               uint32_t frames, bool big) {
  Packed p(out, info::kSize, big);
  p.u32(info::kSizeWord, uint32_t(info::kSize + uint64_t(frameChunkSize) * frames));
  p.u32(info::kType, container::kFrameInfo);
  p.u32(info::kId, 0);
  p.u32(container::chunk_head::kReserved, 0);
  p.u32(info::kFrameSeconds, frameSeconds);
  p.u32(info::kFrameChunkSize, frameChunkSize);
  p.u32(info::kFrameCount, frames);
  p.u32(info::kReserved, 0);
}

LockedBuffers::LockedBuffers(RecordSlot& rs) : count_(channel_limit(rs)) {
  for (uint32_t c = 0; c < count_; ++c) {
    HGLOBAL h = rs.channels[c].frameBuf;
    if (!h) continue;
    size_t n = 0;
    auto* p = static_cast<uint8_t*>(plat::mem_pin(h, &n));
    if (!p) continue;
    handle_[c] = h;
    data_[c] = p;
    size_[c] = n;
  }
}

LockedBuffers::~LockedBuffers() {
  for (uint32_t c = 0; c < count_; ++c)
    if (data_[c]) plat::mem_unpin(handle_[c]);
}

}  // namespace rz::frames

namespace rz {
namespace {

using namespace frames;

constexpr uint32_t kEventQueueSize = 1024;

// The record the set-point operations fill: the last record started.
RecordSlot* last_record(BioFile& bf) {
  return bf.recordCount ? record_at(bf, bf.recordCount - 1u) : nullptr;
}

// Where one set-point call writes: frames [index, index + count) of a
// channel's write buffer.  Refused (out == nullptr) for a channel beyond the
// count, a channel without a buffer, or frames beyond the buffer.
struct Placement {
  explicit Placement(ChannelSlot& cs, uint32_t index, uint32_t count)
      : lock(cs.frameBuf) {
    if (!lock || cs.frameBytes == 0) return;
    const uint64_t bufferFrames = cs.bufferBytes / cs.frameBytes;
    if (uint64_t(index) + count > bufferFrames) return;
    const uint64_t first = uint64_t(index) * cs.frameBytes;
    const uint64_t bytes = uint64_t(count) * cs.frameBytes;
    if (first + bytes > lock.size()) return;
    out = reinterpret_cast<int16_t*>(lock.data() + first);
    samples = bytes / 2;
  }
  BlockLock lock;
  int16_t* out = nullptr;
  uint64_t samples = 0;
};

uint16_t place_samples(HGLOBAL h, bool ex, uint16_t mode, uint16_t frameIndex,
                       uint16_t frameCount, uint16_t channel, uint32_t stride,
                       const int16_t* input) {
  BioLock bf(h);
  if (!bf || !input) return 0;
  RecordSlot* rs = last_record(*bf);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs || !cs->frameBuf || cs->sampleRate == 0) return 0;
  uint32_t step = 1;  // Ex mode 1 and unknown modes take every input value
  if (!ex || mode == 0) step = rs->baseRate / cs->sampleRate;
  else if (mode == 2) step = cs->sourceRate ? cs->sourceRate / cs->sampleRate : 1;
  // Input values between consecutive output samples: stride is in bytes.
  const int64_t advance = int32_t(step * stride) / 2;
  settle_window(*bf, *rs);
  Placement at(*cs, frameIndex, frameCount);
  if (!at.out) return 0;
  if (advance == 1) {
    std::memcpy(at.out, input, at.samples * kSampleBytes);
  } else {
    const int16_t* in = input;
    for (uint64_t k = 0; k < at.samples; ++k, in += advance) at.out[k] = *in;
  }
  return frameCount;
}

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::frames;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARCreateFrameBuf(HGLOBAL h, uint16_t framesPerBuffer) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = container::current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  if (framesPerBuffer) bf->framesPerBuffer = framesPerBuffer;
  release_window(*bf, rs);
  release_buffers(rs);
  rs.writingFrames = false;

  uint64_t frameData = 0;
  for (uint32_t c = 0; c < channel_limit(rs); ++c) {
    ChannelSlot& cs = rs.channels[c];
    rs.framesPerBuffer = uint16_t(bf->framesPerBuffer);
    const uint64_t frameBytes = channel_bytes(cs.sampleRate, rs.frameSeconds);
    frameData += frameBytes;
    if (frameData + wave::kHeadSize > kMaxFrameChunkSize) return 0;  // a frame no disk layout can hold
    cs.frameBytes = uint32_t(frameBytes);
    // A buffer that cannot be had leaves the channel without one; its part of
    // every saved frame is then written as zeros.
    const uint64_t bufferBytes = frameBytes * bf->framesPerBuffer;
    cs.bufferBytes = bufferBytes > UINT32_MAX - kBufferSlack ? 0 : uint32_t(bufferBytes);
    if (cs.bufferBytes || frameBytes == 0) {
      cs.frameBuf = plat::mem_alloc(plat::kMemFlags, size_t(cs.bufferBytes) + kBufferSlack);
      note_buffers(rs, c + 1);
    }
  }
  rs.bufferFirstFrame = 0;
  rs.bufferEndFrame = 0;
  rs.frameChunkSize = uint32_t(wave::kHeadSize + frameData);
  rs.framesWritten = 0;

  // Frames are saved only behind a head that stands: were they written where
  // a lost head belonged, the head rewritten over the first of them would
  // claim 32 bytes more than the area holds, and a walk of the record would
  // lose every chunk behind it.
  uint8_t head[info::kSize];
  pack_info(head, rs.frameSeconds, rs.frameChunkSize, 0, bf->big());
  const uint32_t at = bf->writePos;
  if (!container::append(*bf, r, head, sizeof head)) return 0;
  rs.frameDataPosition = at;
  rs.writingFrames = true;
  return int32_t(rs.frameChunkSize);
}

RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointWave(HGLOBAL h, uint16_t frameIndex,
                                                  uint16_t frameCount, uint16_t channel,
                                                  uint32_t stride, const int16_t* input) {
  return place_samples(h, false, 0, frameIndex, frameCount, channel, stride, input);
}

RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointWaveEx(HGLOBAL h, uint16_t mode, uint16_t frameIndex,
                                                    uint16_t frameCount, uint16_t channel,
                                                    uint32_t stride, const int16_t* input) {
  return place_samples(h, true, mode, frameIndex, frameCount, channel, stride, input);
}

RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointEvent(HGLOBAL h, uint16_t frameIndex,
                                                   uint16_t frameCount, uint16_t channel,
                                                   int32_t stride, uint32_t rateFactor,
                                                   const int16_t* input) {
  BioLock bf(h);
  if (!bf || !input) return 0;
  RecordSlot* rs = last_record(*bf);
  ChannelSlot* cs = rs ? channel_at(*rs, channel) : nullptr;
  if (!cs || !cs->frameBuf || cs->sampleRate == 0) return 0;
  // Input values consumed per output sample.
  const uint64_t ratio = uint64_t(rs->baseRate) * rateFactor / cs->sampleRate;
  const int64_t advance = stride / 2;
  settle_window(*bf, *rs);
  Placement at(*cs, frameIndex, frameCount);
  if (!at.out) return 0;

  // Codes that arrive faster than one per output sample wait in a queue and
  // come out one per sample, in input order; a full queue drops the surplus.
  int16_t queue[kEventQueueSize];
  uint32_t head = 0, tail = 0, fill = 0;
  const int16_t* in = input;
  for (uint64_t k = 0; k < at.samples; ++k) {
    for (uint64_t j = 0; j < ratio; ++j, in += advance) {
      const int16_t code = *in;
      if (code != 0 && fill < kEventQueueSize) {
        queue[tail] = code;
        tail = (tail + 1) % kEventQueueSize;
        ++fill;
      }
    }
    if (fill) {
      at.out[k] = queue[head];
      head = (head + 1) % kEventQueueSize;
      --fill;
    } else {
      at.out[k] = 0;
    }
  }
  return frameCount;
}

RZ_PUBLIC uint16_t RZAPI DARARARSaveFrameWave(HGLOBAL h, uint16_t frameCount) {
  BioLock bf(h);
  if (!bf) return 0;
  const int r = container::current_record(*bf);
  if (r < 0) return 0;
  RecordSlot& rs = bf->records[r];
  // Only a frame area this handle began can be continued.
  if (!rs.writingFrames || rs.frameChunkSize < wave::kHeadSize) return 0;
  const uint32_t fcs = rs.frameChunkSize;
  const bool big = bf->big();

  settle_window(*bf, rs);
  LockedBuffers bufs(rs);
  for (uint32_t c = 0; c < bufs.channels(); ++c) {
    const ChannelSlot& cs = rs.channels[c];
    if (!bufs.data(c) || cs.frameBytes == 0) continue;
    // Never read past a buffer: a count beyond the frames it holds is refused.
    if (frameCount > cs.bufferBytes / cs.frameBytes ||
        uint64_t(frameCount) * cs.frameBytes > bufs.size(c))
      return 0;
  }

  // The stage holds one batch, or just the frames of this call when fewer.
  // It needs no zero fill: every byte of a staged frame is written below.
  const uint32_t batch = frameCount && frameCount < batch_frames(fcs) ? frameCount : batch_frames(fcs);
  ScratchBlock stage(size_t(batch) * fcs + 64, false);
  if (!stage) return 0;

  const int64_t start = int64_t(rs.startHour) * 3600 + int64_t(rs.startMinute) * 60 + rs.startSecond;
  bool wrote = false;
  bool failed = false;
  for (uint32_t done = 0; done < frameCount && !failed;) {
    const uint32_t n = frameCount - done < batch ? frameCount - done : batch;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* frame = stage.data() + size_t(i) * fcs;
      const uint32_t number = rs.framesWritten + i;
      int64_t t = start + int64_t(number) * rs.frameSeconds;
      int64_t hour = t / 3600;
      const int64_t minute = (t - hour * 3600) / 60;
      const int64_t second = t - hour * 3600 - minute * 60;
      if (hour >= 24) hour -= 24;  // once: a recording spans at most a day and a bit
      Packed head(frame, wave::kHeadSize, big);
      head.u32(wave::kSizeWord, fcs);
      head.u32(wave::kType, container::kFrameWave);
      head.u32(wave::kNumber, number + 1);
      head.u32(container::chunk_head::kReserved, 0);
      head.u16(wave::kHour, uint16_t(hour));
      head.u16(wave::kMinute, uint16_t(minute));
      head.u16(wave::kSecond, uint16_t(second));
      head.u16(wave::kPad, 0);
      // Channel blocks in channel order; a channel without a buffer gives zeros.
      uint32_t off = wave::kHeadSize;
      for (uint32_t c = 0; c < bufs.channels(); ++c) {
        const uint32_t bytes = rs.channels[c].frameBytes;
        if (bytes > fcs - off) break;
        const uint8_t* src = bufs.data(c);
        if (src) copy_words16(frame + off, src + size_t(done + i) * bytes, bytes / 2, big);
        else std::memset(frame + off, 0, bytes);
        off += bytes;
      }
      std::memset(frame + off, 0, fcs - off);
    }
    if (container::append(*bf, r, stage.data(), n * fcs)) {
      rs.framesWritten += n;
      wrote = true;
      done += n;
      continue;
    }
    // The disk took less than the batch: go frame by frame so that exactly the
    // frames on disk are counted, and stop at the first that does not fit -
    // the frame area's count, size and numbering then match what it holds.
    for (uint32_t i = 0; i < n; ++i) {
      if (!container::append(*bf, r, stage.data() + size_t(i) * fcs, fcs)) {
        failed = true;
        break;
      }
      ++rs.framesWritten;
      wrote = true;
    }
    done += n;
  }

  uint8_t head[info::kSize];
  pack_info(head, rs.frameSeconds, fcs, rs.framesWritten, big);
  container::write_at(*bf, rs.frameDataPosition, head, sizeof head);
  return wrote ? frameCount : 0;
}

}  // extern "C"
