#include "scenario.h"

#include <stdio.h>
#include <string.h>

enum {
  kChannels = 3,
  kBaseRate = 100,
  kDepth = 4,        /* frames per buffer */
  kFrames = 12,      /* written to the first file, in three buffers */
  kCopyFrames = 4,   /* added to the continuation */
  kEventChannel = 2, /* its samples are event codes */
  kWindow = 6,       /* seconds per read window */
  kTextType = 500,
  kUserInfoType = 900,
};

static const uint32_t kRates[kChannels] = {100, 50, 10};
static const char *const kLabels[kChannels] = {"EEG C3-A2", "EMG chin", "Markers"};

static int g_failures;

static void expect_eq(long long got, long long want, const char *what, int line) {
  if (got == want) return;
  ++g_failures;
  fprintf(stderr, "scenario.c:%d: %s is %lld, expected %lld\n", line, what, got, want);
}

static void expect_str(const char *got, const char *want, const char *what, int line) {
  if (strcmp(got, want) == 0) return;
  ++g_failures;
  fprintf(stderr, "scenario.c:%d: %s is \"%s\", expected \"%s\"\n", line, what, got, want);
}

#define EXPECT_EQ(got, want) expect_eq((long long)(got), (long long)(want), #got, __LINE__)
#define EXPECT_STR(got, want) expect_str((got), (want), #got, __LINE__)
#define EXPECT_TRUE(cond) expect_eq((cond) ? 1 : 0, 1, #cond, __LINE__)

/* Sample i (at the channel's own rate) of a waveform channel. */
static int16_t wave_sample(unsigned channel, unsigned i) {
  return (int16_t)(uint16_t)((channel + 1u) * 7919u + i * 31u);
}

/* The event code of output sample k of frame f: one in every third sample. */
static int16_t event_code(unsigned frame, unsigned k) {
  return (int16_t)(k % 3 == 0 ? 1000 + frame * 10 + k : 0);
}

/* The code the edit in place writes over frame 5, sample 3 of the marker
 * channel. */
enum { kEditedFrame = 5, kEditedSample = 3, kEditedCode = 0x4321 };

/* Fills `frames` buffered frames from frame `first` on: interleaved base-rate
 * input for the waveform channels, and a separate event input in which each
 * output sample's window of ten inputs holds at most one code. */
static void fill_frames(const RzApi *a, HGLOBAL h, unsigned first, uint16_t frames) {
  static int16_t input[kDepth * kBaseRate * kChannels];
  static int16_t events[kDepth * kBaseRate];
  memset(input, 0, sizeof input);
  memset(events, 0, sizeof events);
  for (unsigned c = 0; c < kChannels; ++c) {
    const unsigned step = kBaseRate / kRates[c];
    for (unsigned row = 0; row < frames * (unsigned)kBaseRate; ++row)
      input[row * kChannels + c] = wave_sample(c, first * kRates[c] + row / step);
  }
  const unsigned step = kBaseRate / kRates[kEventChannel];
  for (unsigned f = 0; f < frames; ++f)
    for (unsigned k = 0; k < kRates[kEventChannel]; ++k)
      events[f * kBaseRate + k * step + 3] = event_code(first + f, k);

  EXPECT_EQ(a->DARARARSetFramePointWave(h, 0, frames, 0, 2 * kChannels, input), frames);
  EXPECT_EQ(a->DARARARSetFramePointWaveEx(h, RZ_POINT_BASE_STEP, 0, frames, 1, 2 * kChannels, input + 1),
            frames);
  EXPECT_EQ(a->DARARARSetFramePointEvent(h, 0, frames, kEventChannel, 2, 1, events), frames);
}

static void describe_record(const RzApi *a, HGLOBAL h) {
  const struct { uint16_t item; uint32_t value; } wave[] = {
      {1, 7},  {2, kChannels}, {3, 1},  {21, kBaseRate}, {22, 50},     {10, 2024}, {11, 3},
      {12, 14}, {13, 22},      {14, 30}, {15, 5},         {25, 0xA5A5}, {26, 0x5A5A},
  };
  for (size_t i = 0; i < sizeof wave / sizeof wave[0]; ++i)
    EXPECT_EQ(a->DARARARSetWaveInfo(h, 0, wave[i].item, wave[i].value), 1);
  EXPECT_EQ(a->DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, "Night one"), 1);
  for (uint16_t c = 0; c < kChannels; ++c) {
    EXPECT_EQ(a->DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c, kRates[c]), 1);
    EXPECT_EQ(a->DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_USER20, c, 0x100u + c), 1);
    EXPECT_EQ(a->DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_USER24, c, 0x12345u * (c + 1u)), 1);
    EXPECT_EQ(a->DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, kLabels[c]), 1);
    EXPECT_EQ(a->DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, c, "uV"), 1);
  }
  for (uint16_t p = 0; p < 3; ++p)
    EXPECT_EQ(a->DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 1, p, -10 * (int32_t)p, 100u + p, "point"),
              1);
  EXPECT_EQ(a->DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 1, 0, 3, 0, NULL), 1);

  EXPECT_TRUE(a->DARARARCreateWaveInfo(h) > 0);
  EXPECT_TRUE(a->DARARARCreateFrameChInfo(h) > 0);
  EXPECT_TRUE(a->DARARARCreateUserChInfo(h) > 0);
  EXPECT_TRUE(a->DARARARCreateNonLineaInfo(h, 1) > 0);
}

static void write_texts_and_user_data(const RzApi *a, HGLOBAL h) {
  HGLOBAL texts = a->RAZIVERACreateTextBuffer(4);
  EXPECT_TRUE(texts != NULL);
  EXPECT_EQ(a->RAZIVERASetTextBuffer(h, texts, -1, 8, 1, "Lights off"), 1);
  EXPECT_EQ(a->RAZIVERASetTextBuffer(h, texts, -1, 12, 2, "Lamp on"), 2);
  EXPECT_EQ(a->RAZIVERASetTextBuffer(h, texts, -1, 4, 3, "End"), 3);
  EXPECT_EQ(a->RAZIVERASetTextIDBuffer(h, texts, 3, "Up"), 0);
  char dest[256];
  EXPECT_EQ(a->RAZIVERAGetTextBuffer(h, texts, 0, dest), (8u << 16) | 1u);
  EXPECT_STR(dest, "Lights o");
  EXPECT_TRUE(a->DARARARCreateTextInfo(h, texts, kTextType, 3) > 0);
  EXPECT_TRUE(a->DARARARCreateUserText(h, texts, 77, 2) > 0);
  GlobalFree(texts);

  const uint32_t info[4] = {1, 2, 3, 0xDEADBEEFu};
  EXPECT_TRUE(a->DARARARCreateUserInfo(h, 0, kUserInfoType, 1, info, 4) > 0);
  const uint8_t bytes[5] = {1, 2, 3, 254, 255};
  const uint16_t words[3] = {0x0102, 0xFFFE, 7};
  const int16_t shorts[3] = {-1, 300, -32768};
  const uint32_t dwords[2] = {0x01020304u, 0xFFFFFFFFu};
  const int32_t longs[2] = {-2, 0x7FFFFFFF};
  const float floats[3] = {1.5f, -2.25f, 1e-3f};
  EXPECT_TRUE(a->DARARARCreateUserByte(h, 1, 5, bytes) > 0);
  EXPECT_TRUE(a->DARARARCreateUserWord(h, 1, 3, words) > 0);
  EXPECT_TRUE(a->DARARARCreateUserShort(h, 1, 3, shorts) > 0);
  EXPECT_TRUE(a->DARARARCreateUserDword(h, 1, 2, dwords) > 0);
  EXPECT_TRUE(a->DARARARCreateUserLong(h, 1, 2, longs) > 0);
  EXPECT_TRUE(a->DARARARCreateUserFloat(h, 1, 3, floats) > 0);

  EXPECT_EQ(a->DARARARCreateEventTable(h, 0, 3, 2, 8), 1);
  EXPECT_EQ(a->DARARARSetEventTableInfo(h, 0, 1, 0x11, "ABCDEFGH"), 1);
  EXPECT_EQ(a->DARARARSetEventTableInfo(h, 0, 2, 0x22, "12345678"), 1);
  EXPECT_TRUE(a->DARARARCreateEventInfo(h) > 0);
}

static void write_score(const RzApi *a, HGLOBAL h) {
  EXPECT_EQ(a->DARARARCreateScoreTable(h, 9, 6), 1);
  for (int32_t i = 0; i < 6; ++i)
    EXPECT_EQ(a->DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, i, (uint32_t)(i % 4)), 1);
  EXPECT_EQ(a->DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, 5), 1);
  EXPECT_EQ(a->DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "Scored twice"), 1);
  EXPECT_TRUE(a->DARARARCreateScoreInfo(h, 0) > 0);
}

static void edit_in_place(const RzApi *a, const char *path, const char *copyPath) {
  HGLOBAL h = a->RAZIVERAOpenBioFile(path, RZ_OPEN_READ_WRITE, 1);
  EXPECT_TRUE(h != NULL);
  if (!h) return;
  EXPECT_EQ(a->DARARARReadRecordInfo(h, 0), 1);
  EXPECT_EQ(a->DARARARReadChannelInfo(h, 0), 1);
  EXPECT_EQ(a->DARARARReadFrameInfo(h, 0), 1);
  EXPECT_TRUE(a->DARARARChangeEventData(h, 0, kEditedCode, kEventChannel, kEditedFrame, kEditedSample) > 0);
  EXPECT_EQ(a->DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, 0, "mV"), 1);
  EXPECT_EQ(a->DARARARUpdateFrameChInfo(h, 0), kChannels - 1);
  EXPECT_EQ(a->DARARARUpdateTextInfo(h, 0, kTextType, 2, "Lamp"), 1);
  EXPECT_EQ(a->DARARARReadEventInfo(h, 0), 2);
  EXPECT_EQ(a->DARARARSetEventTableInfo(h, 0, 2, 0x22, "abcdefgh"), 1);
  EXPECT_EQ(a->DARARARUpdateEventInfo(h, 0), 0);
  EXPECT_EQ(a->DARARARReadScoreInfo(h, 0, 9), 6);
  EXPECT_EQ(a->DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, 5, 4), 1);
  EXPECT_EQ(a->DARARARUpdateScoreInfo(h, 9), 1);

  HGLOBAL c = a->RAZIVERACopyNewBioFile(h, copyPath, kDepth);
  EXPECT_TRUE(c != NULL);
  if (c) {
    EXPECT_TRUE(a->DARARARCreateFrameBuf(c, 0) > 0);
    fill_frames(a, c, kFrames, kCopyFrames);
    EXPECT_EQ(a->DARARARSaveFrameWave(c, kCopyFrames), kCopyFrames);
    EXPECT_TRUE(a->DARARAREndRecordWave(c) > 0);
    EXPECT_TRUE(a->RAZIVERACloseBioFile(c) == NULL);
  }
  EXPECT_TRUE(a->RAZIVERACloseBioFile(h) == NULL);
}

int rz_write_recording(const RzApi *a, const char *path, const char *copyPath, int big) {
  g_failures = 0;
  HGLOBAL h = a->RAZIVERAOpenBioFile(path, RZ_OPEN_CREATE, kDepth);
  EXPECT_TRUE(h != NULL);
  if (!h) return g_failures;
  EXPECT_EQ(a->RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, (uint16_t)big), 1);
  EXPECT_EQ(a->DARARARCreateBaseHeader(h), 1);
  EXPECT_EQ(a->DARARARStartRecordWave(h), 0);
  describe_record(a, h);
  write_texts_and_user_data(a, h);

  EXPECT_TRUE(a->DARARARCreateFrameBuf(h, 0) > 0);
  for (unsigned first = 0; first < kFrames; first += kDepth) {
    fill_frames(a, h, first, kDepth);
    EXPECT_EQ(a->DARARARSaveFrameWave(h, kDepth), kDepth);
    const uint32_t samples = (first + kDepth) * kBaseRate;
    EXPECT_EQ(a->DARARARUpdateWaveInfo(h, samples), samples);
    EXPECT_EQ(a->RAZIVERAUpdateDirectory(h), 1);
  }
  EXPECT_TRUE(a->DARARAREndRecordWave(h) > 0);
  write_score(a, h);
  EXPECT_TRUE(a->RAZIVERACloseBioFile(h) == NULL);

  edit_in_place(a, path, copyPath);
  return g_failures;
}

/* ---- Reading back ----------------------------------------------------------
 * The files themselves are compared byte for byte across builds, and the
 * description, texts, user data and tables are read back by the unit tests
 * on every platform; here the frames are read back, so that a build whose
 * files agree but whose samples are wrong (the edit, the continuation) is
 * still caught. */

/* Reads the windows of `frames` frames from frame `first` on and compares
 * every sample of every channel. */
static void check_frames(const RzApi *a, HGLOBAL h, unsigned first, unsigned frames, int edited) {
  static int16_t out[kWindow * kBaseRate];
  EXPECT_EQ(a->DARARARReadFrameInfo(h, 0), 1);
  EXPECT_EQ(a->DARARARCreateReadFrameBuf(h, 0, kWindow), 0);
  for (unsigned start = 0; start < frames; start += kWindow) {
    EXPECT_TRUE(a->DARARARReadFrameWave(h, 0, start) > 0);
    for (uint16_t c = 0; c < kChannels; ++c) {
      const unsigned n = kWindow * kRates[c];
      EXPECT_EQ(a->DARARARGetFrameWave(h, 0, c, out), n);
      unsigned wrong = 0;
      for (unsigned k = 0; k < n; ++k) {
        const unsigned frame = first + start + k / kRates[c], sample = k % kRates[c];
        int16_t want = c == kEventChannel ? event_code(frame, sample)
                                          : wave_sample(c, (first + start) * kRates[c] + k);
        if (edited && c == kEventChannel && frame == kEditedFrame && sample == kEditedSample)
          want = kEditedCode;
        if (start + k / kRates[c] >= frames) want = 0; /* past the last frame */
        if (out[k] != want && wrong++ == 0)
          fprintf(stderr, "channel %u, window at %u s, sample %u: %d, expected %d\n", c, start, k, out[k],
                  want);
      }
      EXPECT_EQ(wrong, 0);
    }
  }
  /* A window that begins before the recording, and a part of it. */
  EXPECT_TRUE(a->DARARARReadFrameWaveEx(h, 0, -2, 4) > 0);
  EXPECT_EQ(a->DARARARGetFrameWaveEx(h, 0, 0, out, 2, 2), 2 * kBaseRate);
  EXPECT_EQ(out[0], wave_sample(0, first * kBaseRate));
  EXPECT_EQ(out[2 * kBaseRate - 1], wave_sample(0, first * kBaseRate + 2 * kBaseRate - 1));
}

int rz_check_recording(const RzApi *a, const char *path, const char *copyPath, int big) {
  g_failures = 0;
  HGLOBAL h = a->RAZIVERAOpenBioFile(path, RZ_OPEN_READ, 1);
  EXPECT_TRUE(h != NULL);
  if (!h) return g_failures;
  EXPECT_EQ(a->RAZIVERAGetInfo(h, RZ_INFO_BYTE_ORDER), big);
  EXPECT_EQ(a->DARARARReadRecordInfo(h, 0), 1);
  EXPECT_EQ(a->DARARARReadChannelInfo(h, 0), 1);
  EXPECT_EQ(a->DARARARReadUpdateTotalFrame(h, 0), kFrames);
  check_frames(a, h, 0, kFrames, 1);
  EXPECT_TRUE(a->RAZIVERACloseBioFile(h) == NULL);

  HGLOBAL c = a->RAZIVERAOpenBioFile(copyPath, RZ_OPEN_READ, 1);
  EXPECT_TRUE(c != NULL);
  if (!c) return g_failures;
  EXPECT_EQ(a->RAZIVERAGetInfo(c, RZ_INFO_BYTE_ORDER), big);
  EXPECT_EQ(a->DARARARReadRecordInfo(c, 0), 1);
  EXPECT_EQ(a->DARARARReadChannelInfo(c, 0), 1);
  check_frames(a, c, kFrames, kCopyFrames, 0);
  EXPECT_TRUE(a->RAZIVERACloseBioFile(c) == NULL);
  return g_failures;
}
