// Overwriting one stored 16-bit sample (an event code) of one channel in one
// frame, in place, without reading the frame.
#include "channels/frames.h"
#include "container/container.h"

using namespace rz;

extern "C" RZ_PUBLIC int32_t RZAPI DARARARChangeEventData(HGLOBAL h, uint16_t record, uint32_t value,
                                                          uint16_t channel, uint32_t frame,
                                                          uint32_t sample) {
  BioLock bf(h);
  if (!bf) return -1;
  RecordSlot* rs = record_at(*bf, record);
  if (!rs || !channel_at(*rs, channel)) return -1;
  // A frame area this handle is writing starts with its 32-byte FrameInfo head
  // and holds the frames saved so far; one read back holds totalFrames frames
  // from frameDataPosition on.
  const uint64_t frame0 = uint64_t(rs->frameDataPosition) + (rs->writingFrames ? frames::info::kSize : 0);
  const uint32_t frames = rs->writingFrames ? rs->framesWritten : rs->totalFrames;
  if (frame >= frames) return -1;
  uint64_t within = 0;
  for (uint32_t c = 0; c < channel; ++c)
    within += frames::channel_bytes(rs->channels[c].sampleRate, rs->frameSeconds);
  const uint64_t samples = uint64_t(rs->channels[channel].sampleRate) * rs->frameSeconds;
  if (sample >= samples) return -1;
  within += uint64_t(sample) * frames::kSampleBytes;
  // The sample must lie inside its frame: a damaged frame size cannot send the
  // write into the next frame or past the area.
  if (frames::wave::kHeadSize + within + 2 > rs->frameChunkSize) return -1;
  const uint64_t pos = frame0 + frames::wave::kHeadSize + uint64_t(frame) * rs->frameChunkSize + within;
  if (pos > uint64_t(INT32_MAX)) return -1;
  // Nor outside the stored frame area: a frame count or record length taken
  // from a damaged file cannot send the write into the chunks behind the
  // area or into the next record.  The area this handle is writing ends with
  // its record; one read back ends where its FrameInfo head's size says,
  // within its record.
  uint64_t areaBegin = frame0;
  uint64_t areaEnd = container::record_end(*bf, record);
  if (!rs->writingFrames) {
    uint8_t head[frames::info::kSize];
    const uint32_t at =
        container::find_chunk(*bf, record, container::kFrameInfo, 0, head, sizeof head);
    if (at == 0) return -1;
    areaBegin = uint64_t{at} + frames::info::kSize;
    areaEnd = container::stored_chunk_end(*bf, record, at,
                                       load_u32(head, frames::info::kSizeWord, bf->big()));
  }
  if (pos < areaBegin || pos + 2 > areaEnd) return -1;
  uint8_t bytes[2];
  store_u16(bytes, 0, uint16_t(value), bf->big());
  if (!container::rewrite_at(*bf, uint32_t(pos), bytes, 2)) return -1;
  return int32_t(pos);
}
