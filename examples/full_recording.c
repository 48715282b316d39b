/* A realistic overnight-style recording written and read back through every
 * family of the API: header and records, wave information, channel
 * definitions with user values and a non-linear table, texts, user
 * information and typed user data, an event table, waveform frames with an
 * event channel, an event-code correction, a hypnogram as the score table,
 * and finally a continuation in a second file.  C and the public header only. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "razivera.h"

#define SECONDS 120u
#define BASE_RATE 200u
#define CHANNELS 5u

static const uint32_t kRates[CHANNELS] = {200, 200, 100, 50, 10};
static const uint16_t kTypes[CHANNELS] = {RZ_SIGNAL_EEG, RZ_SIGNAL_EOG, RZ_SIGNAL_ECG, RZ_SIGNAL_RESP,
                                           RZ_SIGNAL_EVENT};

static int fail(const char *what) {
  fprintf(stderr, "full_recording: %s failed\n", what);
  return 1;
}

static int16_t wave_value(unsigned c, unsigned long i) {
  return (int16_t)(1000.0 * sin((double)i * (0.01 + 0.02 * c)) + 50 * (int)c);
}

static int write_recording(const char *path) {
  HGLOBAL h = RAZIVERAOpenBioFile(path, RZ_OPEN_CREATE, 10);
  if (!h) return fail("create");
  RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, RZ_BYTE_ORDER_LITTLE);
  if (!DARARARCreateBaseHeader(h) || DARARARStartRecordWave(h) != 0) return fail("header/record");

  DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, CHANNELS);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, 1);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, BASE_RATE);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_TOTAL_SAMPLES, SECONDS * BASE_RATE);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_MAINS_FREQUENCY, 50);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_START_YEAR, 2026);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_START_MONTH, 12);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_START_DAY, 5);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_START_HOUR, 22);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_START_MINUTE, 30);
  DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, "Night study, bed 3");
  if (!DARARARCreateWaveInfo(h)) return fail("wave information");

  for (uint16_t c = 0; c < CHANNELS; ++c) {
    char label[16];
    DARARARGetSignalTypeName(kTypes[c], label);
    DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c, kRates[c]);
    DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_FILTER_B, c, 300); /* filter setting, form B */
    DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_USER24, c, 5 + c);
    DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, label);
    DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, c, "uV");
  }
  if (!DARARARCreateFrameChInfo(h) || !DARARARCreateUserChInfo(h)) return fail("channels");
  DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 3, 0, 2, 0, NULL);
  DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 3, 0, 0, 0, "zero");
  DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 3, 1, 4095, 1000, "full scale");
  if (!DARARARCreateNonLineaInfo(h, 3)) return fail("non-linear table");

  RAZIVERASetTextBuffer(h, NULL, -1, 12, 1, "Technician A");
  RAZIVERASetTextBuffer(h, NULL, -1, 16, 2, "Lights off 22:30");
  if (!DARARARCreateTextInfo(h, NULL, 500, 2) || !DARARARCreateUserText(h, NULL, 1, 2))
    return fail("texts");
  const uint32_t info[3] = {7, 8, 9};
  const float gains[2] = {0.5f, 1.25f};
  const int16_t offsets[3] = {-3, 0, 3};
  if (!DARARARCreateUserInfo(h, 0, 600, 1, info, 3) || !DARARARCreateUserFloat(h, 1, 2, gains) ||
      !DARARARCreateUserShort(h, 2, 3, offsets))
    return fail("user data");

  if (!DARARARCreateEventTable(h, 0, 1, 2, 30)) return fail("event table");
  DARARARSetEventTableInfo(h, 0, 1, 300, "Arousal                       ");
  DARARARSetEventTableInfo(h, 0, 2, 900, "Desaturation                  ");
  if (!DARARARCreateEventInfo(h)) return fail("event information");

  if (!DARARARCreateFrameBuf(h, 10)) return fail("frame area");
  int16_t *input = malloc(sizeof(int16_t) * BASE_RATE * 10 * CHANNELS);
  if (!input) return fail("memory");
  for (unsigned block = 0; block < SECONDS / 10; ++block) {
    for (unsigned row = 0; row < BASE_RATE * 10; ++row) {
      const unsigned long t = block * BASE_RATE * 10ul + row;
      for (unsigned c = 0; c < CHANNELS; ++c)
        input[row * CHANNELS + c] = wave_value(c, t * kRates[c] / BASE_RATE);
      input[row * CHANNELS + 4] = (t % 2000 == 7) ? (int16_t)(1 + t / 2000) : 0;
    }
    for (uint16_t c = 0; c < CHANNELS - 1; ++c)
      DARARARSetFramePointWave(h, 0, 10, c, 2 * CHANNELS, input + c);
    DARARARSetFramePointEvent(h, 0, 10, 4, 2 * CHANNELS, 1, input + 4);
    if (DARARARSaveFrameWave(h, 10) != 10) return fail("save");
    DARARARUpdateWaveInfo(h, (block + 1) * 10 * BASE_RATE);
  }
  free(input);
  if (!DARARAREndRecordWave(h)) return fail("end record");

  if (!DARARARCreateScoreTable(h, 1, SECONDS / 30)) return fail("score table");
  DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, 30); /* epoch length */
  const uint32_t stages[4] = {0, 1, 2, 2};
  for (int32_t e = 0; e < 4; ++e) DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, e, stages[e]);
  DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "Scored by technician A");
  if (!DARARARCreateScoreInfo(h, 1)) return fail("score information");
  RAZIVERACloseBioFile(h);
  return 0;
}

static int review(const char *path, const char *continuation) {
  HGLOBAL h = RAZIVERAOpenBioFile(path, RZ_OPEN_READ_WRITE, 1);
  if (!h) return fail("open for review");
  char text[300];
  DARARARReadRecordInfo(h, 0);
  DARARARReadChannelInfo(h, 0);
  DARARARReadUserChannelInfo(h, 0);
  DARARARGetWaveText(h, 0, RZ_WAVE_TEXT, text);
  printf("%s: %u record(s), \"%s\", started %02u/%02u/%04u %02u:%02u, mains %u Hz\n", path,
         (unsigned)RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), text, (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_START_DAY),
         (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_START_MONTH), (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_START_YEAR),
         (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_START_HOUR), (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_START_MINUTE),
         (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_MAINS_FREQUENCY));
  for (uint16_t c = 0; c < DARARARGetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT); ++c) {
    DARARARGetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, text);
    printf("  channel %u %-6s %3u Hz, filter %d/%d, user29 %u\n", c + 1, text,
           (unsigned)DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c), (int)DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_FILTER_A, c),
           (int)DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_FILTER_B, c), (unsigned)DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_USER29, c));
  }
  uint32_t v1, v2;
  printf("  non-linear points on channel 4: %u", DARARARReadNonLinearInfo(h, 0, 4));
  if (DARARARGetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 3, 1, &v1, &v2, text)) printf(" (last: %u -> %u \"%s\")", v1, v2, text);
  printf("\n");

  HGLOBAL texts = RAZIVERACreateTextBuffer(8);
  printf("  texts: %u, user texts: %u", DARARARReadTextInfo(h, texts, 0, 500),
         DARARARReadUserText(h, texts, 0, 1));
  RAZIVERAGetTextIDBuffer(h, texts, 2, text);
  printf(" (\"%s\")\n", text);
  GlobalFree(texts);
  float gains[2] = {0, 0};
  const int values = DARARARReadUserInfo(h, 0, 600, 1, NULL);
  const int read = DARARARReadUserFloat(h, 0, 1, gains, 2);
  printf("  user info values: %d, %d gains %.2f %.2f\n", values, read, gains[0], gains[1]);

  const int events = DARARARReadEventInfo(h, 0);
  for (uint16_t e = 1; e <= events; ++e) {
    uint32_t at;
    char data[33] = {0};
    DARARARGetEventTableInfo(h, 0, e, &at, data);
    printf("  event %u at %u s: %.12s\n", e, at, data);
  }
  const int scores = DARARARReadScoreInfo(h, 0, 0);
  DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 0, text);
  printf("  hypnogram: %d epochs (\"%s\"):", scores, text);
  for (int32_t e = 0; e < scores; ++e) {
    uint32_t stage;
    DARARARGetScoreTableInfo(h, RZ_SCORE_ENTRY, e, &stage);
    printf(" %u", stage);
  }
  printf("\n");

  DARARARReadFrameInfo(h, 0);
  DARARARCreateReadFrameBuf(h, 0, 30);
  int16_t window[30 * 200];
  unsigned codes = 0;
  long energy = 0;
  for (uint32_t start = 0; start < DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES); start += 30) {
    DARARARReadFrameWave(h, 0, start);
    const int n = DARARARGetFrameWave(h, 0, 4, window);
    for (int i = 0; i < n; ++i) codes += window[i] != 0;
    const int m = DARARARGetFrameWave(h, 0, 0, window);
    for (int i = 0; i < m; ++i) energy += labs(window[i]);
  }
  printf("  %u frames, %u event codes, mean |EEG| %ld\n", (unsigned)DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), codes,
         energy / (long)(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES) * 200));
  if (DARARARChangeEventData(h, 0, 99, 4, 0, 0) < 0) return fail("event correction");

  HGLOBAL next = RAZIVERACopyNewBioFile(h, continuation, 10);
  if (!next) return fail("continuation");
  printf("  continued in %s from offset %u\n", continuation, (unsigned)RAZIVERAGetInfo(next, RZ_INFO_WRITE_POS));
  DARARARCreateFrameBuf(next, 10);
  DARARARSaveFrameWave(next, 10);
  DARARAREndRecordWave(next);
  RAZIVERACloseBioFile(next);
  RAZIVERACloseBioFile(h);
  return 0;
}

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "night.vzp";
  const char *next = argc > 2 ? argv[2] : "night-continued.vzp";
  if (write_recording(path)) return 1;
  return review(path, next);
}
