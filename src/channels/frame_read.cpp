// Reading frames: the FrameInfo head, the read buffers sized for a window,
// window reads (also starting before the recording) and handing out each
// channel's samples.  Frames are located by arithmetic, never by walking.
#include <cstring>

#include "channels/frames.h"
#include "container/container.h"

namespace rz {
namespace {

using namespace frames;

// A read buffer larger than this is not made (a damaged or absurd window).
constexpr uint64_t kMaxReadBuffer = 1ull << 30;

// Copies frames [f0, f0 + frames) of the record into the read buffers, after
// `zeroFrames` frames of zeros.  Returns the 16-bit words read from the file
// (frames x frameChunkSize / 2), or -1 when there is no work area.
int32_t read_window(BioFile& bf, RecordSlot& rs, uint64_t f0, uint64_t frames,
                    uint64_t zeroFrames) {
  const uint32_t fcs = rs.frameChunkSize;
  if (fcs == 0 || fcs > kMaxFrameChunkSize) return -1;
  LockedBuffers bufs(rs);
  size_t fill[kMaxChannels] = {};
  const bool big = bf.big();

  // The buffers hold `depth` frames: never place more, whatever the caller asks.
  const uint64_t depth = rs.framesPerBuffer ? rs.framesPerBuffer : 1;
  if (zeroFrames > depth) zeroFrames = depth;
  if (frames > depth) frames = depth;

  // Each channel's block in a frame, taken once per call.  When every block
  // lies inside the frame and every buffer has room for all the frames, the
  // split below is a plain copy per block (the common case); otherwise each
  // block is cut to what the frame and the buffer hold.
  uint32_t blockBytes[kMaxChannels];
  bool whole = true;
  uint64_t blocksEnd = wave::kHeadSize;
  for (uint32_t c = 0; c < bufs.channels(); ++c) {
    blockBytes[c] = channel_frame_bytes(rs.channels[c].sampleRate, rs.frameSeconds);
    blocksEnd += blockBytes[c];
    if (!bufs.data(c)) continue;
    const uint64_t bytes = uint64_t(blockBytes[c]) * zeroFrames;
    fill[c] = bytes < bufs.size(c) ? size_t(bytes) : bufs.size(c);
    if (fill[c]) std::memset(bufs.data(c), 0, fill[c]);
    if (blocksEnd > fcs || fill[c] + uint64_t(blockBytes[c]) * frames > bufs.size(c)) whole = false;
  }

  // The stage holds one batch, or just the frames of this window when fewer.
  const uint32_t batch = frames && frames < batch_frames(fcs) ? uint32_t(frames) : batch_frames(fcs);
  ScratchBlock stage(size_t(batch) * fcs + 256, false);
  if (!stage) return -1;

  uint64_t pos = uint64_t(rs.frameDataPosition) + f0 * fcs;
  for (uint64_t done = 0; done < frames;) {
    const uint32_t n = uint32_t(frames - done < batch ? frames - done : batch);
    const uint32_t want = n * fcs;
    // Frames behind the frame area read whatever follows it; beyond the end
    // of the file they read as zeros.
    const uint32_t got = pos <= uint64_t(INT32_MAX) ? container::read_at(bf, uint32_t(pos), stage.data(), want) : 0;
    if (got < want) std::memset(stage.data() + got, 0, want - got);
    if (whole) {
      uint64_t at = wave::kHeadSize;
      for (uint32_t c = 0; c < bufs.channels(); at += blockBytes[c], ++c) {
        uint8_t* dst = bufs.data(c);
        if (!dst) continue;
        const uint32_t bytes = blockBytes[c];
        const uint8_t* src = stage.data() + at;
        for (uint32_t i = 0; i < n; ++i, src += fcs, dst += bytes)
          copy_words16(dst + fill[c], src, bytes / 2, big);
        fill[c] += size_t(n) * bytes;
      }
      pos += want;
      done += n;
      continue;
    }
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* frame = stage.data() + size_t(i) * fcs;
      uint64_t off = wave::kHeadSize;
      for (uint32_t c = 0; c < bufs.channels(); ++c) {
        const uint64_t bytes = blockBytes[c];
        uint8_t* dst = bufs.data(c);
        if (dst) {
          const size_t room = bufs.size(c) - fill[c];
          const uint64_t take = bytes < room ? bytes : room;
          // A frame smaller than the channels' blocks leaves zeros behind it.
          const uint64_t present = off >= fcs ? 0 : (take < fcs - off ? take : fcs - off);
          copy_words16(dst + fill[c], frame + off, size_t(present / 2), big);
          std::memset(dst + fill[c] + present, 0, size_t(take - present));
          fill[c] += size_t(take);
        }
        off += bytes;
      }
    }
    pos += want;
    done += n;
  }
  const uint64_t words = frames * (fcs / 2);
  return words > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(words);
}

// Copies `count` samples starting at sample `first` of a channel's read
// buffer; 0 when the range is not inside the buffer.
int32_t hand_out(RecordSlot& rs, uint16_t channel, int16_t* out, uint64_t first, uint64_t count) {
  ChannelSlot* cs = channel_at(rs, channel);
  if (!cs || !out || rs.frameSeconds == 0) return 0;
  BlockLock buf(cs->frameBuf);
  if (!buf) return 0;
  if (count > uint64_t(INT32_MAX) || (first + count) * kSampleBytes > buf.size()) return 0;
  std::memcpy(out, buf.data() + first * kSampleBytes, size_t(count) * kSampleBytes);
  return int32_t(count);
}

}  // namespace
}  // namespace rz

using namespace rz;
using namespace rz::frames;

extern "C" {

RZ_PUBLIC int32_t RZAPI DARARARReadFrameInfo(HGLOBAL h, uint16_t record) {
  BioLock bf(h);
  if (!bf) return 0;
  uint8_t head[info::kSize];
  const uint32_t pos = container::find_chunk(*bf, record, container::kFrameInfo, 0, head, sizeof head);
  if (!pos) return 0;
  RecordSlot& rs = bf->records[record];
  rs.frameSeconds = load_u32(head, info::kFrameSeconds, bf->big());
  rs.frameChunkSize = load_u32(head, info::kFrameChunkSize, bf->big());
  rs.totalFrames = load_u32(head, info::kFrameCount, bf->big());
  rs.frameDataPosition = pos + info::kSize;
  rs.writingFrames = false;
  return 1;
}

RZ_PUBLIC int32_t RZAPI DARARARCreateReadFrameBuf(HGLOBAL h, uint16_t record, uint32_t windowSeconds) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || rs->frameSeconds == 0) return 0;
  const uint64_t fs = rs->frameSeconds;
  const uint64_t span = windowSeconds > 2 * fs ? windowSeconds : 2 * fs;
  const uint16_t depth = uint16_t(span / fs + 2);
  bf->framesPerBuffer = depth;
  rs->framesPerBuffer = depth;
  release_buffers(*rs);
  // Buffers are made only for the channel blocks a stored frame can hold.  A
  // channel whose samples would reach past the frame (a damaged rate or frame
  // size) has nothing to read, and would otherwise let a small file demand
  // and zero gigabytes.  Before the frame size is known the blocks together
  // stay within the largest frame the writer makes.
  const uint64_t frameEnd =
      rs->frameChunkSize >= wave::kHeadSize ? rs->frameChunkSize : kMaxFrameChunkSize;
  uint64_t blockEnd = wave::kHeadSize;
  for (uint32_t c = 0; c < channel_limit(*rs); ++c) {
    ChannelSlot& cs = rs->channels[c];
    const uint64_t block = channel_bytes(cs.sampleRate, uint32_t(fs));
    blockEnd += block;
    if (blockEnd > frameEnd) break;
    const uint64_t bytes = block * depth;
    if (bytes <= kMaxReadBuffer) {
      cs.frameBuf = plat::mem_alloc(plat::kMemFlags, size_t(bytes) + kBufferSlack);
      note_buffers(*rs, c + 1);
    }
  }
  rs->windowSeconds = windowSeconds;
  rs->bufferFirstFrame = 0;
  rs->bufferEndFrame = 0;
  return 0;
}

RZ_PUBLIC int32_t RZAPI DARARARReadFrameWave(HGLOBAL h, uint16_t record, uint32_t startSecond) {
  BioLock bf(h);
  if (!bf) return -1;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || rs->frameSeconds == 0) return -1;
  rs->windowStart = startSecond;
  const uint32_t f0 = startSecond / rs->frameSeconds;
  rs->bufferFirstFrame = f0;
  const uint32_t depth = rs->framesPerBuffer ? rs->framesPerBuffer : 1;
  rs->bufferEndFrame = f0 + depth;
  return read_window(*bf, *rs, f0, depth, 0);
}

RZ_PUBLIC int32_t RZAPI DARARARReadFrameWaveEx(HGLOBAL h, uint16_t record, int32_t startSecond,
                                               uint32_t lengthSeconds) {
  BioLock bf(h);
  if (!bf) return -1;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || rs->frameSeconds == 0) return -1;
  const int64_t fs = rs->frameSeconds;
  const int64_t s = startSecond;
  const int64_t len = lengthSeconds;
  uint64_t zeroFrames = 0;
  int64_t f0 = 0;
  int64_t end = 0;
  if (s >= 0) {
    rs->windowStart = uint32_t(s);
    f0 = s / fs;
    end = f0 + (fs + len - 1) / fs;
  } else {
    // The window begins before the recording: whole frames of silence first.
    const int64_t q = s / fs;
    if (q < 0) zeroFrames = uint64_t(-q);
    rs->windowStart = 0;
    end = (fs + s + len - 1) / fs;
  }
  if (end < f0 + 1) end = f0 + 1;
  rs->bufferFirstFrame = uint32_t(f0);
  rs->bufferEndFrame = uint32_t(end);
  return read_window(*bf, *rs, uint64_t(f0), uint64_t(end - f0), zeroFrames);
}

RZ_PUBLIC int32_t RZAPI DARARARGetFrameWave(HGLOBAL h, uint16_t record, uint16_t channel,
                                            int16_t* output) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || rs->frameSeconds == 0) return 0;
  ChannelSlot* cs = channel_at(*rs, channel);
  if (!cs) return 0;
  const uint64_t rate = cs->sampleRate;
  return hand_out(*rs, channel, output, uint64_t(rs->windowStart % rs->frameSeconds) * rate,
                  uint64_t(rs->windowSeconds) * rate);
}

RZ_PUBLIC int32_t RZAPI DARARARGetFrameWaveEx(HGLOBAL h, uint16_t record, uint16_t channel,
                                              int16_t* output, uint32_t offsetSeconds,
                                              uint32_t lengthSeconds) {
  BioLock bf(h);
  if (!bf) return 0;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || rs->frameSeconds == 0) return 0;
  ChannelSlot* cs = channel_at(*rs, channel);
  if (!cs) return 0;
  const uint64_t rate = cs->sampleRate;
  return hand_out(*rs, channel, output,
                  (uint64_t(rs->windowStart % rs->frameSeconds) + offsetSeconds) * rate,
                  rate * lengthSeconds);
}

}  // extern "C"
