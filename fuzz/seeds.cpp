#include "seeds.h"

#include <cstdint>
#include <vector>

#include "razivera.h"

namespace rzfuzz {
namespace {

// Small rates keep the seeds small: a frame of one second holds 14 samples.
constexpr uint32_t kRates[] = {8, 4, 2};
constexpr uint16_t kChannels = 3;
constexpr uint32_t kBaseRate = 8;
constexpr uint16_t kFramesPerSave = 2;

void describe(HGLOBAL h, uint16_t r) {
  DARARARSetWaveInfo(h, r, RZ_WAVE_CHANNEL_COUNT, kChannels);
  DARARARSetWaveInfo(h, r, RZ_WAVE_FRAME_SECONDS, 1);
  DARARARSetWaveInfo(h, r, RZ_WAVE_BASE_RATE, kBaseRate);
  DARARARSetWaveInfo(h, r, RZ_WAVE_MAINS_FREQUENCY, 50);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_YEAR, 2024);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_MONTH, 3);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_DAY, 14);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_HOUR, 23);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_MINUTE, 59);
  DARARARSetWaveInfo(h, r, RZ_WAVE_START_SECOND, 58);
  DARARARSetWaveInfo(h, r, RZ_WAVE_USER_VALUE1, 7);
  DARARARSetWaveText(h, r, RZ_WAVE_TEXT, "seed recording");
  const char* labels[] = {"EEG C3-A2", "EOG", "Resp"};
  for (uint16_t c = 0; c < kChannels; ++c) {
    // Channel 1 keeps its sampling as a period; the writer lays out frames
    // from the rate, so both are given.
    DARARARSetFrameChInfo(h, r, RZ_CHANNEL_SAMPLE_RATE, c, kRates[c]);
    if (c == 1) DARARARSetFrameChInfo(h, r, RZ_CHANNEL_SAMPLE_PERIOD, c, 1000000 / kRates[c]);
    DARARARSetFrameChInfo(h, r, c == 2 ? RZ_CHANNEL_FILTER_B : RZ_CHANNEL_FILTER_A, c, 300);
    DARARARSetFrameChInfo(h, r, RZ_CHANNEL_VALUE6, c, 100 + c);
    DARARARSetFrameChInfo(h, r, RZ_CHANNEL_SOURCE_RATE, c, kBaseRate);
    DARARARSetFrameChText(h, r, RZ_CHANNEL_LABEL, c, labels[c]);
    DARARARSetFrameChText(h, r, RZ_CHANNEL_UNIT, c, "uV");
    for (uint16_t item = RZ_CHANNEL_USER20; item <= RZ_CHANNEL_USER29; ++item)
      DARARARSetFrameChInfo(h, r, item, c, item * 3u + c);
  }
}

void write_metadata(HGLOBAL h, uint16_t r) {
  DARARARCreateWaveInfo(h);
  DARARARCreateFrameChInfo(h);
  DARARARCreateUserChInfo(h);
  DARARARSetNonLinearInfo(h, r, RZ_NONLINEAR_COUNT, 0, 0, 2, 0, nullptr);
  DARARARSetNonLinearInfo(h, r, RZ_NONLINEAR_POINT, 0, 0, -100, 0, "low");
  DARARARSetNonLinearInfo(h, r, RZ_NONLINEAR_POINT, 0, 1, 100, 4095, "high");
  DARARARCreateNonLineaInfo(h, 0);

  RAZIVERASetTextBuffer(h, nullptr, -1, 8, 101, "lights");
  RAZIVERASetTextBuffer(h, nullptr, -1, 12, 102, "montage A");
  DARARARCreateTextInfo(h, nullptr, 3100, 2);
  DARARARCreateUserText(h, nullptr, 7, 2);

  const uint32_t values[] = {1, 0xFFFFFFFFu, 0x12345678u};
  DARARARCreateUserInfo(h, r, 4000, 1, values, 3);
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  const uint16_t words[] = {1, 0xFFFF, 0x1234};
  const int16_t shorts[] = {-1, 2, -3};
  const uint32_t dwords[] = {0xDEADBEEFu, 2};
  const int32_t longs[] = {-5, 6};
  const float floats[] = {1.5f, -0.25f};
  DARARARCreateUserByte(h, 1, 5, bytes);
  DARARARCreateUserWord(h, 2, 3, words);
  DARARARCreateUserShort(h, 3, 3, shorts);
  DARARARCreateUserDword(h, 4, 2, dwords);
  DARARARCreateUserLong(h, 5, 2, longs);
  DARARARCreateUserFloat(h, 6, 2, floats);

  DARARARCreateEventTable(h, r, 1, 3, 12);
  const uint8_t data[12] = {'e', 'v', 'e', 'n', 't', 0, 1, 2, 3, 4, 5, 6};
  for (uint16_t i = 1; i <= 3; ++i) DARARARSetEventTableInfo(h, r, i, 10u * i, data);
  DARARARCreateEventInfo(h);
}

// Interleaved base-rate input, one column per channel.
void save_frames(HGLOBAL h, uint32_t firstFrame) {
  std::vector<int16_t> input(size_t(kFramesPerSave) * kBaseRate * kChannels);
  for (size_t i = 0; i < input.size(); ++i) input[i] = int16_t(firstFrame * 1000 + i * 37);
  for (uint16_t c = 0; c < kChannels; ++c)
    DARARARSetFramePointWave(h, 0, kFramesPerSave, c, 2u * kChannels, input.data() + c);
  DARARARSaveFrameWave(h, kFramesPerSave);
}

}  // namespace

SessionResult write_recording(const std::string& path, bool big, bool ended,
                              const std::function<void(HGLOBAL)>& beforeClose) {
  SessionResult result;
  HGLOBAL h = RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_CREATE, kFramesPerSave);
  if (!h) return result;
  result.opened = true;
  RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, big ? 1 : 0);
  DARARARCreateBaseHeader(h);
  const uint16_t records = ended ? 2 : 1;
  for (uint16_t r = 0; r < records; ++r) {
    DARARARStartRecordWave(h);
    describe(h, r);
    write_metadata(h, r);
    DARARARCreateFrameBuf(h, kFramesPerSave);
    for (uint32_t save = 0; save < 2; ++save) {
      save_frames(h, save * kFramesPerSave);
      DARARARUpdateWaveInfo(h, (save + 1) * kFramesPerSave * kBaseRate);
    }
    if (ended) DARARAREndRecordWave(h);
  }
  if (ended) {
    DARARARCreateScoreTable(h, 1, 6);
    DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, 30);
    DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING2, 0, 6);
    for (int32_t i = 0; i < 6; ++i) DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, i, uint32_t(i % 3));
    DARARARSetScoreTableInfo(h, RZ_SCORE_WORDS17, 1, 9);
    DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "seed scoring");
    DARARARCreateScoreInfo(h, 0);
  } else {
    RAZIVERAUpdateDirectory(h);
  }
  if (beforeClose) beforeClose(h);
  result.handle = RAZIVERACloseBioFile(h);
  result.closed = result.handle == nullptr;
  return result;
}

std::vector<std::string> make_seeds(const std::string& dir) {
  std::vector<std::string> out;
  for (bool big : {false, true}) {
    for (bool ended : {true, false}) {
      const std::string path = dir + "/seed-" + (big ? "big" : "little") + (ended ? "-ended" : "-open") + ".vozo";
      if (write_recording(path, big, ended).closed) out.push_back(path);
    }
  }
  return out;
}

}  // namespace rzfuzz
