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
// A write image larger than this is not made: a writer that asks for buffers
// of thousands of frames has them served as before, through a stage.
constexpr uint64_t kMaxWriteImage = 64ull << 20;

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
  }
  BlockLock lock;
  int16_t* out = nullptr;
};

// Where a set-point call's samples land, frame by frame: `words` samples per
// frame, frames `stride` bytes apart, stored in byte order `big`.  In a
// channel buffer the frames follow each other in the host's order; in a
// write image they lie a frame apart, in the file's order.
struct Run {
  uint8_t* first = nullptr;
  size_t stride = 0;
  size_t words = 0;
  uint32_t frames = 0;
  bool big = kHostBigEndian;
  uint8_t* frame(uint32_t j) const { return first + size_t(j) * stride; }
};

// Every `advance`-th input value, `words` of them, into one frame's block in
// byte order kBig; returns where the next frame's input begins.
template <bool kBig>
const int16_t* pick(uint8_t* out, size_t words, const int16_t* in, int64_t advance) {
  for (size_t k = 0; k < words; ++k, in += advance) store_u16(out, k * kSampleBytes, uint16_t(*in), kBig);
  return in;
}

// Calls block(c, offset, bytes) for each channel's block of a frame, in
// channel order behind the head: the first channel whose block would pass
// the frame's end, and every one after it, has no place in a frame.  Returns
// the end of the last block.
template <class Block>
uint32_t for_each_block(const RecordSlot& rs, Block&& block) {
  const uint32_t fcs = rs.frameChunkSize;
  uint32_t off = wave::kHeadSize;
  for (uint32_t c = 0; c < channel_limit(rs); ++c) {
    const uint32_t bytes = rs.channels[c].frameBytes;
    if (fcs < off || bytes > fcs - off) break;
    block(c, off, bytes);
    off += bytes;
  }
  return off;
}

// The channels with a place in a frame; their blocks go to `table` when given.
uint32_t frame_layout(const RecordSlot& rs, KeptChannel* table) {
  uint32_t channels = 0;
  for_each_block(rs, [&](uint32_t c, uint32_t off, uint32_t bytes) {
    if (table) table[c] = {off, bytes, rs.channels[c].frameBuf, 0};
    channels = c + 1;
  });
  return channels;
}

// Frame i of the buffers as the file holds it, behind its head: each
// channel's block, zeros for a channel without a buffer that holds the
// frame, and zeros behind the last block.
void fill_blocks(uint8_t* frame, const RecordSlot& rs, const LockedBuffers& bufs, uint32_t i, bool big) {
  const uint32_t end = for_each_block(rs, [&](uint32_t c, uint32_t off, uint32_t bytes) {
    const bool held = c < bufs.channels() && bufs.data(c) && (uint64_t(i) + 1) * bytes <= bufs.size(c);
    if (held) copy_words16(frame + off, bufs.data(c) + size_t(i) * bytes, bytes / 2, big);
    else std::memset(frame + off, 0, bytes);
  });
  std::memset(frame + end, 0, rs.frameChunkSize - end);
}

// A record's write image, checked against the block that holds it.
class ImageView {
 public:
  explicit ImageView(const WriteImage* wi)
      : view_(wi ? wi->block : nullptr, wi ? wi->channels : 0, wi ? wi->framesAt : 0, wi ? wi->frames : 0,
              wi ? wi->frameChunkSize : 0),
        wi_(view_ ? wi : nullptr) {}
  explicit operator bool() const { return wi_ != nullptr; }
  const WriteImage& image() const { return *wi_; }
  const KeptChannel& channel(uint32_t c) const { return view_.channel(c); }
  uint8_t* frame(uint64_t i) const { return view_.frame(i); }
  // True when channel c's table entry still describes the channel's buffer
  // and block as they stand; a channel the table leaves out has none.
  bool serves(const RecordSlot& rs, uint32_t c) const {
    if (c >= wi_->channels) return false;
    const KeptChannel& k = view_.channel(c);
    return k.buffer == rs.channels[c].frameBuf && k.bytes == rs.channels[c].frameBytes;
  }
  // True when the image still describes the record's frames and buffers.
  bool current(const RecordSlot& rs, bool big) const {
    if (wi_->frameChunkSize != rs.frameChunkSize || wi_->frames != rs.framesPerBuffer) return false;
    if ((wi_->big != 0) != big) return false;
    uint32_t laidOut = 0;
    for (uint32_t c = 0; c < channel_limit(rs); ++c) {
      if (!serves(rs, c)) break;
      ++laidOut;
    }
    // ...and no channel behind them has come to fit a frame since.
    return laidOut == wi_->channels && frame_layout(rs, nullptr) == wi_->channels;
  }

 private:
  FramesView view_;
  const WriteImage* wi_ = nullptr;
};

// Frees an image's block and clears it (a refusal too).
void forget(WriteImage* wi) {
  release_block(wi->block);
  *wi = WriteImage{};
}

// The record's write image, made from the channel buffers when there is none;
// nullptr when the record is written through the buffers and a stage instead
// (no image could be had, or the one there no longer fits the buffers, which
// then get its samples).
WriteImage* image_for(BioFile& bf, RecordSlot& rs, const KeptWindows& kept) {
  WriteImage* wi = kept.image_of(bf, rs);
  if (!wi || wi->refused) return nullptr;
  if (wi->block) {
    {
      const ImageView v(wi);
      if (v && v.current(rs, bf.big())) return wi;
    }
    drop_image(rs, wi);
  }
  const uint32_t fcs = rs.frameChunkSize;
  const uint32_t frames = rs.framesPerBuffer;
  const uint32_t channels = frame_layout(rs, nullptr);
  const uint64_t table = uint64_t(channels) * sizeof(KeptChannel);
  const uint64_t framesAt = (table + 63) & ~uint64_t(63);
  const uint64_t need = framesAt + uint64_t(frames) * fcs;
  if (fcs < wave::kHeadSize || frames == 0 || uint64_t(frames) * fcs > kMaxWriteImage) {
    wi->refused = 1;
    return nullptr;
  }
  // Not zero-filled by the allocator (a fresh zeroed mapping would fault in
  // every page of a large image at each new frame area): every byte of the
  // frames is written below.
  HGLOBAL block = plat::mem_alloc(plat::kMemMoveable, size_t(need));
  if (!block) {
    wi->refused = 1;
    return nullptr;
  }
  *wi = WriteImage{block, uint32_t(framesAt), frames, fcs, channels, bf.big() ? 1u : 0u, 0, 0};
  const ImageView v(wi);
  if (!v) {
    forget(wi);
    wi->refused = 1;
    return nullptr;
  }
  {
    const BlockLock lock(block);
    frame_layout(rs, reinterpret_cast<KeptChannel*>(lock.data()));
  }
  // The buffers may hold samples already (placed before a window read, or
  // left by one): the image starts from them.  The heads are filled in by
  // each save.
  const LockedBuffers bufs(rs);
  for (uint32_t i = 0; i < frames; ++i) {
    std::memset(v.frame(i), 0, wave::kHeadSize);
    fill_blocks(v.frame(i), rs, bufs, i, bf.big());
  }
  return wi;
}

// Runs `place` over where a set-point call's samples go: channel c's blocks
// of frames [index, index + count) in the write image when it serves the
// channel, else the channel's buffer.  Returns `count`, or 0 when the
// buffer cannot hold the frames (nothing is placed then).
template <class Place>
uint16_t place_frames(BioFile& bf, RecordSlot& rs, ChannelSlot& cs, uint16_t c, uint16_t index, uint16_t count,
                      Place&& place) {
  settle_window(bf, rs);
  Placement at(cs, index, count);
  if (!at.out) return 0;
  const KeptWindows kept(bf);
  if (WriteImage* wi = image_for(bf, rs, kept)) {
    const ImageView v(wi);
    if (v && v.serves(rs, c) && uint64_t(index) + count <= wi->frames) {
      place(Run{v.frame(index) + v.channel(c).offset, wi->frameChunkSize, cs.frameBytes / 2u, count, wi->big != 0});
      wi->pending = 1;
      return count;
    }
    // The image holds this channel's frames but cannot take these: the
    // buffers get its samples and serve from here on.
    if (v && c < wi->channels) drop_image(rs, wi);
  }
  place(Run{reinterpret_cast<uint8_t*>(at.out), cs.frameBytes, cs.frameBytes / 2u, count, kHostBigEndian});
  return count;
}

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
  return place_frames(*bf, *rs, *cs, channel, frameIndex, frameCount, [&](const Run& run) {
    const int16_t* in = input;
    if (advance == 1) {
      for (uint32_t j = 0; j < run.frames; ++j, in += run.words) copy_words16(run.frame(j), in, run.words, run.big);
      return;
    }
    for (uint32_t j = 0; j < run.frames; ++j) {
      if (run.big) in = pick<true>(run.frame(j), run.words, in, advance);
      else in = pick<false>(run.frame(j), run.words, in, advance);
    }
  });
}

}  // namespace

namespace frames {

void settle_image(RecordSlot& rs, WriteImage* wi) {
  if (!wi || !wi->pending) return;
  const ImageView v(wi);
  if (v) {
    const LockedBuffers bufs(rs);
    for (uint32_t c = 0; c < wi->channels && c < bufs.channels(); ++c) {
      // Only the buffer the image was made for, and only when it holds the frames.
      const KeptChannel& k = v.channel(c);
      const uint64_t bytes = uint64_t(wi->frames) * k.bytes;
      if (!bufs.data(c) || k.buffer != rs.channels[c].frameBuf || bytes > bufs.size(c)) continue;
      gather_blocks(bufs.data(c), v.frame(0) + k.offset, wi->frameChunkSize, k.bytes, bytes, wi->big != 0);
    }
  }
  wi->pending = 0;
}

void settle_image(BioFile& bf, RecordSlot& rs) {
  const KeptWindows kept(bf);
  settle_image(rs, kept.image_of(bf, rs));
}

void drop_image(RecordSlot& rs, WriteImage* wi) {
  if (!wi) return;
  settle_image(rs, wi);
  forget(wi);
}

void drop_image(BioFile& bf, RecordSlot& rs) {
  const KeptWindows kept(bf);
  drop_image(rs, kept.image_of(bf, rs));
}

void release_image(BioFile& bf, RecordSlot& rs) {
  const KeptWindows kept(bf);
  if (WriteImage* wi = kept.image_of(bf, rs)) forget(wi);
}

}  // namespace frames
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
  release_image(*bf, rs);
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
  return place_frames(*bf, *rs, *cs, channel, frameIndex, frameCount, [&](const Run& run) {
    // Codes that arrive faster than one per output sample wait in a queue and
    // come out one per sample, in input order; a full queue drops the surplus.
    int16_t queue[kEventQueueSize];
    uint32_t head = 0, tail = 0, fill = 0;
    const int16_t* in = input;
    for (uint32_t f = 0; f < run.frames; ++f) {
      uint8_t* out = run.frame(f);
      for (size_t k = 0; k < run.words; ++k) {
        for (uint64_t j = 0; j < ratio; ++j, in += advance) {
          const int16_t code = *in;
          if (code != 0 && fill < kEventQueueSize) {
            queue[tail] = code;
            tail = (tail + 1) % kEventQueueSize;
            ++fill;
          }
        }
        int16_t value = 0;
        if (fill) {
          value = queue[head];
          head = (head + 1) % kEventQueueSize;
          --fill;
        }
        store_u16(out, k * kSampleBytes, uint16_t(value), run.big);
      }
    }
  });
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

  // The frames come from the write image, where the set-point calls placed
  // them; without one (or for more frames than it holds, which only a record
  // whose channels have no buffers allows) they are staged from the buffers.
  const KeptWindows kept(*bf);
  WriteImage* wi = image_for(*bf, rs, kept);
  if (wi && frameCount > wi->frames) {
    drop_image(rs, wi);
    wi = nullptr;
  }
  const ImageView image(wi);
  // The stage holds one batch, or just the frames of this call when fewer.
  // It needs no zero fill: every byte of a staged frame is written below.
  const uint32_t batch = frameCount && frameCount < batch_frames(fcs) ? frameCount : batch_frames(fcs);
  ScratchBlock stage(image ? 0 : size_t(batch) * fcs + 64, false);
  if (!image && !stage) return 0;

  const int64_t start = int64_t(rs.startHour) * 3600 + int64_t(rs.startMinute) * 60 + rs.startSecond;
  bool wrote = false;
  bool failed = false;
  for (uint32_t done = 0; done < frameCount && !failed;) {
    const uint32_t n = frameCount - done < batch ? frameCount - done : batch;
    uint8_t* frames = image ? image.frame(done) : stage.data();
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* frame = frames + size_t(i) * fcs;
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
      if (!image) fill_blocks(frame, rs, bufs, done + i, big);
    }
    if (container::append(*bf, r, frames, n * fcs)) {
      rs.framesWritten += n;
      wrote = true;
      done += n;
      continue;
    }
    // The disk took less than the batch: go frame by frame so that exactly the
    // frames on disk are counted, and stop at the first that does not fit -
    // the frame area's count, size and numbering then match what it holds.
    for (uint32_t i = 0; i < n; ++i) {
      if (!container::append(*bf, r, frames + size_t(i) * fcs, fcs)) {
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
