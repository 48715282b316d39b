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

// Each channel's block in a frame and its read buffer, taken once per read.
struct WindowLayout {
  KeptChannel blocks[kMaxChannels];
  uint32_t channels = 0;
  // Every block lies inside the frame and every buffer has room for the
  // window: the split is a plain copy per block (and the window can be kept).
  bool whole = true;
};

// Fills `L` in place: the table is kilobytes, not copied per read.  `known`
// is the table of the window read before, whose buffer sizes still
// hold for the buffers it names (the buffers are only ever replaced together
// with the kept window); other buffers are looked up.
void layout_of(WindowLayout& L, const RecordSlot& rs, uint64_t windowFrames, const KeptChannel* known,
               uint32_t knownCount) {
  L.channels = channel_limit(rs);
  uint64_t at = wave::kHeadSize;
  for (uint32_t c = 0; c < L.channels; ++c) {
    const uint32_t bytes = channel_frame_bytes(rs.channels[c].sampleRate, rs.frameSeconds);
    HGLOBAL buffer = rs.channels[c].frameBuf;
    size_t room = 0;
    if (c < knownCount && known[c].buffer == buffer) {
      room = known[c].room;
    } else if (buffer) {
      const BlockLock lock(buffer);
      room = lock.size();
      if (!lock) buffer = nullptr;
    }
    L.blocks[c] = {uint32_t(at < UINT32_MAX ? at : UINT32_MAX), bytes, buffer, room};
    at += bytes;
    if (buffer && uint64_t(bytes) * windowFrames > room) L.whole = false;
  }
  if (at > rs.frameChunkSize) L.whole = false;
}

// The channel table and frames of a kept window, checked against the block
// that holds them; empty when there is none, when it does not fit its block,
// or (unless `settledToo`) when it is no longer pending.
class KeptView {
 public:
  explicit KeptView(const KeptWindow* kw, bool settledToo = false)
      : view_(kw && (kw->pending || settledToo) ? kw->block : nullptr, kw ? kw->channels : 0,
              kw ? kw->framesAt : 0, kw ? kw->frameCount : 0, kw ? kw->frameChunkSize : 0),
        kw_(view_ ? kw : nullptr) {}
  explicit operator bool() const { return kw_ != nullptr; }
  const KeptWindow& window() const { return *kw_; }
  const KeptChannel& channel(uint32_t c) const { return view_.channel(c); }
  const KeptChannel* table() const { return view_.table(); }
  const uint8_t* frame(uint64_t i) const { return view_.frame(i); }
  // Bytes of channel c's buffer the window covers: its silence, then its frames.
  uint64_t reach(uint32_t c) const {
    return uint64_t(view_.channel(c).bytes) * (uint64_t(kw_->zeroFrames) + kw_->frameCount);
  }

 private:
  FramesView view_;
  const KeptWindow* kw_ = nullptr;
};

// Copies bytes [from, to) of what channel c's buffer holds for a kept window
// to `out`: zeros for the silence, then samples out of the frames.
void copy_from_window(const KeptView& v, uint32_t c, uint8_t* out, uint64_t from, uint64_t to, bool big) {
  const uint64_t bytes = v.channel(c).bytes;
  const uint64_t silence = bytes * v.window().zeroFrames;
  if (from < silence) {
    const uint64_t n = (to < silence ? to : silence) - from;
    std::memset(out, 0, size_t(n));
    out += n;
    from += n;
  }
  if (from >= to || bytes == 0) return;
  // Most hand-outs begin at a frame's start: no division for them.
  const uint64_t into = from - silence;
  const uint64_t i = into < bytes ? 0 : into / bytes;
  const uint64_t within = into < bytes ? into : into % bytes;
  // The block's place and the frame stride in locals: the copies write
  // through a byte pointer, which would make every field be read again.
  const uint8_t* src = v.frame(i) + v.channel(c).offset;
  const size_t stride = v.window().frameChunkSize;
  uint64_t left = to - from;
  if (within) {
    const uint64_t n = bytes - within < left ? bytes - within : left;
    copy_words16(out, src + within, size_t(n / 2), big);
    out += n;
    left -= n;
    src += stride;
  }
  gather_blocks(out, src, stride, bytes, left, big);
}

// Writes a pending window into the channel buffers and ends it.
void settle(const KeptView& v, KeptWindow& kw, const LockedBuffers& bufs, bool big) {
  const uint32_t n = v.window().channels < bufs.channels() ? v.window().channels : bufs.channels();
  for (uint32_t c = 0; c < n; ++c) {
    const uint64_t reach = v.reach(c);
    if (bufs.data(c) && reach <= bufs.size(c)) copy_from_window(v, c, bufs.data(c), 0, reach, big);
  }
  kw.pending = 0;
}

// Keeps frames [f0, f0 + frames) of the record, after `zeroFrames` frames
// of silence, as the pending window; false when no block can hold them.
bool keep_window(BioFile& bf, KeptWindow& kw, const WindowLayout& L, uint64_t pos, uint32_t frames,
                 uint32_t zeroFrames, uint32_t fcs) {
  // Frame 0 goes at the file position's offset in a cache line: the kernel's
  // copy out of the page cache slows down severalfold on some processors
  // when the destination lies a few bytes past the source's place in a page.
  constexpr uint32_t kLine = 64;
  const uint64_t table = uint64_t(L.channels) * sizeof(KeptChannel);
  const uint64_t need = table + 2 * kLine + uint64_t(frames) * fcs;
  if (need > kMaxReadBuffer) return false;
  size_t have = 0;
  if (kw.block) have = plat::mem_size(kw.block);
  if (have < need) {
    release_block(kw.block);
    kw.block = plat::mem_alloc(plat::kMemMoveable, size_t(need));
    if (!kw.block) return false;
  }
  BlockLock lock(kw.block);
  if (!lock || lock.size() < need) return false;
  std::memcpy(lock.data(), L.blocks, size_t(table));
  const uintptr_t tableEnd = reinterpret_cast<uintptr_t>(lock.data()) + table + kLine;
  const uint32_t framesAt = uint32_t(table + kLine + ((pos - tableEnd) & (kLine - 1)));
  uint8_t* dst = lock.data() + framesAt;
  const uint32_t want = frames * fcs;
  // Frames behind the frame area read whatever follows it; beyond the end
  // of the file they read as zeros.
  const uint32_t got = pos <= uint64_t(INT32_MAX) ? container::read_at(bf, uint32_t(pos), dst, want) : 0;
  if (got < want) std::memset(dst + got, 0, want - got);
  kw.framesAt = framesAt;
  kw.frameCount = frames;
  kw.zeroFrames = zeroFrames;
  kw.frameChunkSize = fcs;
  kw.channels = L.channels;
  kw.pending = 1;
  return true;
}

// Reads frames [f0, f0 + frames) of the record for the read buffers, after
// `zeroFrames` frames of zeros.  Returns the 16-bit words read from the file
// (frames x frameChunkSize / 2), or -1 when there is no work area.
int32_t read_window(BioFile& bf, RecordSlot& rs, uint64_t f0, uint64_t frames, uint64_t zeroFrames) {
  const uint32_t fcs = rs.frameChunkSize;
  if (fcs == 0 || fcs > kMaxFrameChunkSize) return -1;
  const bool big = bf.big();

  // The buffers hold `depth` frames: never place more, whatever the caller asks.
  const uint64_t depth = rs.framesPerBuffer ? rs.framesPerBuffer : 1;
  if (zeroFrames > depth) zeroFrames = depth;
  if (frames > depth) frames = depth;
  const uint64_t pos = uint64_t(rs.frameDataPosition) + f0 * fcs;
  const uint64_t words = frames * (fcs / 2);
  const int32_t result = words > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(words);

  const KeptWindows kept(bf);
  // The window is about to be written into the buffers (now or when settled):
  // samples placed for the writer go into them first, and they alone hold
  // the samples from here on.
  drop_image(rs, kept.image_of(bf, rs));
  KeptWindow* kw = kept.of(bf, rs);
  WindowLayout L;
  {
    const KeptView before(kw, true);
    layout_of(L, rs, zeroFrames + frames, before ? before.table() : nullptr, before ? before.window().channels : 0);
    // The previous window stays pending only where this one covers it: a
    // shorter window leaves the rest of the previous one in the buffers.
    if (before && before.window().pending) {
      bool covered = L.whole && before.window().channels <= L.channels;
      for (uint32_t c = 0; covered && c < before.window().channels; ++c)
        covered = before.reach(c) <= uint64_t(L.blocks[c].bytes) * (zeroFrames + frames);
      if (!covered) {
        const LockedBuffers bufs(rs);
        settle(before, *kw, bufs, big);
      }
    }
    if (kw) kw->pending = 0;
  }
  if (kw && L.whole && keep_window(bf, *kw, L, pos, uint32_t(frames), uint32_t(zeroFrames), fcs)) return result;

  // Otherwise the frames are split into the buffers now, each block cut to
  // what the frame and the buffer hold.
  const LockedBuffers bufs(rs);
  size_t fill[kMaxChannels] = {};
  for (uint32_t c = 0; c < L.channels && c < bufs.channels(); ++c) {
    if (!bufs.data(c)) continue;
    const uint64_t bytes = uint64_t(L.blocks[c].bytes) * zeroFrames;
    fill[c] = bytes < bufs.size(c) ? size_t(bytes) : bufs.size(c);
    if (fill[c]) std::memset(bufs.data(c), 0, fill[c]);
  }
  const uint32_t batch = frames && frames < batch_frames(fcs) ? uint32_t(frames) : batch_frames(fcs);
  ScratchBlock stage(size_t(batch) * fcs + 256, false);
  if (!stage) return -1;
  uint64_t at = pos;
  for (uint64_t done = 0; done < frames;) {
    const uint32_t n = uint32_t(frames - done < batch ? frames - done : batch);
    const uint32_t want = n * fcs;
    const uint32_t got = at <= uint64_t(INT32_MAX) ? container::read_at(bf, uint32_t(at), stage.data(), want) : 0;
    if (got < want) std::memset(stage.data() + got, 0, want - got);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* frame = stage.data() + size_t(i) * fcs;
      for (uint32_t c = 0; c < L.channels && c < bufs.channels(); ++c) {
        const uint64_t bytes = L.blocks[c].bytes;
        const uint64_t off = L.blocks[c].offset;
        uint8_t* dst = bufs.data(c);
        if (!dst) continue;
        const size_t room = bufs.size(c) - fill[c];
        const uint64_t take = bytes < room ? bytes : room;
        // A frame smaller than the channels' blocks leaves zeros behind it.
        const uint64_t present = off >= fcs ? 0 : (take < fcs - off ? take : fcs - off);
        copy_words16(dst + fill[c], frame + off, size_t(present / 2), big);
        std::memset(dst + fill[c] + present, 0, size_t(take - present));
        fill[c] += size_t(take);
      }
    }
    at += want;
    done += n;
  }
  return result;
}

// Copies `count` samples starting at sample `first` of a channel's read
// buffer; 0 when the range is not inside the buffer.  Samples of a pending
// window come from its frames, the rest from the buffer.
int32_t hand_out(BioFile& bf, RecordSlot& rs, uint16_t channel, int16_t* out, uint64_t first, uint64_t count) {
  ChannelSlot* cs = channel_at(rs, channel);
  // No buffer holds 2^32 samples: a start beyond that (a rate changed after
  // the buffers were made) is refused before the byte offsets could wrap.
  if (!cs || !out || rs.frameSeconds == 0 || !cs->frameBuf || count > uint64_t(INT32_MAX) ||
      first > UINT32_MAX)
    return 0;
  uint64_t from = first * kSampleBytes;
  const uint64_t to = (first + count) * kSampleBytes;
  auto* dst = reinterpret_cast<uint8_t*>(out);
  const KeptWindows kept(bf);
  WriteImage* wi = kept.image_of(bf, rs);
  if (wi && wi->pending) settle_image(rs, wi);
  const KeptView v(kept.of(bf, rs));
  uint64_t reach = 0;
  if (v && channel < v.window().channels && v.channel(channel).buffer == cs->frameBuf) {
    // The window was read for this very buffer, whose size it noted.
    if (to > v.channel(channel).room) return 0;
    reach = v.reach(channel);
  }
  // Samples behind the window's reach are the buffer's.
  BlockLock buf(to > reach ? cs->frameBuf : nullptr);
  if (to > reach && (!buf || to > buf.size())) return 0;
  if (from < reach) {
    const uint64_t split = to < reach ? to : reach;
    copy_from_window(v, channel, dst, from, split, bf.big());
    dst += split - from;
    from = split;
  }
  if (from < to) std::memcpy(dst, buf.data() + from, size_t(to - from));
  return int32_t(count);
}

}  // namespace

namespace frames {

KeptWindows::KeptWindows(BioFile& bf) : pin_(bf.workBuffer) {}

namespace {
// The work buffer holds the kept windows of every record, then their write images.
constexpr size_t kImagesAt = sizeof(KeptWindow) * kMaxRecords;
constexpr size_t kWorkAreaBytes = kImagesAt + sizeof(WriteImage) * kMaxRecords;
static_assert(kWorkAreaBytes <= kWorkBufferSize, "the kept windows and write images fit the work buffer");
static_assert(kImagesAt % alignof(WriteImage) == 0, "the write images are aligned");
}  // namespace

// The record's index in the handle, or -1 when the work area is not there
// or the slot is not one of the handle's records.
ptrdiff_t KeptWindows::record_index(const BioFile& bf, const RecordSlot& rs) const {
  if (!pin_ || pin_.size() < kWorkAreaBytes) return -1;
  const ptrdiff_t r = &rs - bf.records;
  return r >= 0 && r < ptrdiff_t(kMaxRecords) ? r : -1;
}

KeptWindow* KeptWindows::of(const BioFile& bf, const RecordSlot& rs) const {
  const ptrdiff_t r = record_index(bf, rs);
  return r < 0 ? nullptr : reinterpret_cast<KeptWindow*>(pin_.data()) + r;
}

WriteImage* KeptWindows::image_of(const BioFile& bf, const RecordSlot& rs) const {
  const ptrdiff_t r = record_index(bf, rs);
  return r < 0 ? nullptr : reinterpret_cast<WriteImage*>(pin_.data() + kImagesAt) + r;
}

void settle_window(BioFile& bf, RecordSlot& rs) {
  const KeptWindows kept(bf);
  KeptWindow* kw = kept.of(bf, rs);
  if (!kw || !kw->pending) return;
  const KeptView v(kw);
  if (v) {
    const LockedBuffers bufs(rs);
    settle(v, *kw, bufs, bf.big());
  }
  kw->pending = 0;
}

namespace {
void drop(KeptWindow* kw) {
  if (!kw) return;
  release_block(kw->block);
  kw->pending = 0;
}
}  // namespace

void release_window(BioFile& bf, RecordSlot& rs) { drop(KeptWindows(bf).of(bf, rs)); }

void release_windows(BioFile& bf) {
  const KeptWindows kept(bf);
  for (RecordSlot& rs : bf.records) {
    drop(kept.of(bf, rs));
    release_image(bf, rs);
  }
}

}  // namespace frames
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
  release_window(*bf, *rs);
  release_image(*bf, *rs);
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
  return hand_out(*bf, *rs, channel, output, uint64_t(rs->windowStart % rs->frameSeconds) * rate,
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
  return hand_out(*bf, *rs, channel, output,
                  (uint64_t(rs->windowStart % rs->frameSeconds) + offsetSeconds) * rate,
                  rate * lengthSeconds);
}

}  // extern "C"
