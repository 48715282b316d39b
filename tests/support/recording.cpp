#include "support/recording.h"

namespace rzt {

Bio begin_recording(FileTest& /*t*/, const std::string& path, const Layout& layout, uint16_t depth) {
  Bio h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_CREATE, depth));
  EXPECT_TRUE(h);
  if (!h) return h;
  EXPECT_EQ(RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, layout.big ? 1 : 0), 1u);
  EXPECT_EQ(DARARARCreateBaseHeader(h), 1);
  EXPECT_EQ(DARARARStartRecordWave(h), 0);
  const uint16_t channels = uint16_t(layout.rates.size());
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, channels), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, layout.frameSeconds), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, layout.baseRate), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_START_HOUR, layout.hour), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_START_MINUTE, layout.minute), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_START_SECOND, layout.second), 1);
  for (uint16_t c = 0; c < channels; ++c) {
    EXPECT_EQ(DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c, layout.rates[c]), 1u);
    const std::string label = "CH" + std::to_string(c + 1);
    EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, label.c_str()), 1u);
  }
  EXPECT_GT(DARARARCreateWaveInfo(h), 0u);
  EXPECT_GT(DARARARCreateFrameChInfo(h), 0);
  EXPECT_GT(DARARARCreateFrameBuf(h, 0), 0);
  return h;
}

uint16_t write_frames(HGLOBAL h, const Layout& layout, uint32_t firstFrame, uint16_t frames) {
  const size_t n = layout.rates.size();
  const uint64_t rows = uint64_t(frames) * layout.frameSeconds * layout.baseRate;
  std::vector<int16_t> input(rows * n);
  for (size_t c = 0; c < n; ++c) {
    const uint64_t step = layout.baseRate / layout.rates[c];
    const uint64_t first = uint64_t(firstFrame) * layout.frameSeconds * layout.rates[c];
    for (uint64_t j = 0; j < rows; ++j) input[j * n + c] = sample_value(uint32_t(c), first + j / step);
  }
  for (size_t c = 0; c < n; ++c) {
    EXPECT_EQ(DARARARSetFramePointWave(h, 0, frames, uint16_t(c), uint32_t(2 * n), input.data() + c),
              frames);
  }
  return DARARARSaveFrameWave(h, frames);
}

Bio open_for_review(const std::string& path, uint32_t windowSeconds) {
  Bio r(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  EXPECT_TRUE(r);
  if (!r) return r;
  EXPECT_EQ(DARARARReadRecordInfo(r, 0), 1);
  EXPECT_EQ(DARARARReadChannelInfo(r, 0), 1);
  EXPECT_EQ(DARARARReadFrameInfo(r, 0), 1);
  EXPECT_EQ(DARARARCreateReadFrameBuf(r, 0, windowSeconds), 0);
  return r;
}

}  // namespace rzt
