// Wave information: the frame-count rule, the items, the WaveInfo chunk as
// written in both byte orders, its in-place update and its reader.
#include <cstring>
#include <string>

#include "metadata/wave_info.h"
#include "platform/faults.h"
#include "recording_fixture.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

class WaveInfoTest : public RecordingTest {
 protected:
  // Record 0 described: 3 channels, 30-s frames, 10001 samples at 100 Hz,
  // started 5 December 2023 at 0:40:59 on 50 Hz mains.
  Bio described(const std::string& name, bool big) {
    Bio h = start(name, big, 3);
    const uint32_t items[][2] = {{1, 0x12345}, {3, 30}, {10, 2023}, {11, 12}, {12, 5}, {13, 0},
                                 {14, 40},     {15, 59}, {20, 10001}, {21, 100}, {22, 50}};
    for (const auto& it : items) EXPECT_EQ(DARARARSetWaveInfo(h, 0, uint16_t(it[0]), it[1]), 1);
    EXPECT_EQ(DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, "Night one"), 1);
    return h;
  }
};

constexpr size_t kChunk = 48;  // first chunk of record 0: header 32, record head 16

}  // namespace

TEST(FrameCount, RoundsSamplesUpToSecondsAndDropsThePartialFrame) {
  const struct { uint32_t samples, rate, seconds, frames; } cases[] = {
      {10001, 100, 30, 3},  // 101 s
      {9000, 100, 30, 3},   {8901, 100, 30, 3}, {8900, 100, 30, 2}, {0, 100, 30, 0},
      {500, 0, 30, 0},      {500, 100, 0, 0},   // no divisor, no fault
      {0xFFFFFFFFu, 1, 1, 0xFFFFFFFFu},         // no 32-bit wrap of samples + rate - 1
      {0xFFFFFFFEu, 1000, 30, 143165},
  };
  for (const auto& c : cases)
    EXPECT_EQ(rz::frame_count(c.samples, c.rate, c.seconds), c.frames) << c.samples << "/" << c.rate;
}

TEST_F(WaveInfoTest, ItemsAreKeptFieldByFieldAndOtherCodesRefused) {
  Bio h = described("a.vzp", false);
  const uint32_t expected[][2] = {{1, 0x2345}, {2, 3},   {3, 30},     {10, 2023}, {11, 12},
                                  {12, 5},     {13, 0},  {14, 40}, {15, 59},    {20, 10001}, {21, 100},
                                  {22, 50},    {4, 0},   {5, 0},      {8, 0},     {30, 0}};
  for (const auto& e : expected) EXPECT_EQ(DARARARGetWaveInfo(h, 0, uint16_t(e[0])), e[1]) << e[0];
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE1, 7), 1);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE2, 8), 1);
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_USER_VALUE2), 8u);
  for (uint16_t item : {0, 4, 5, 6, 7, 8, 9, 16, 19, 23, 24, 27, 29, 30, 31, 200}) {
    EXPECT_EQ(DARARARSetWaveInfo(h, 0, item, 1), 0) << item;
    if (item != 4 && item != 5 && item != 8 && item != 30) {
      EXPECT_EQ(DARARARGetWaveInfo(h, 0, item), 0u) << item;
    }
  }
  EXPECT_EQ(DARARARSetWaveInfo(h, 1, RZ_WAVE_RECORD_CODE, 1), 0) << "record not started";
  EXPECT_EQ(DARARARGetWaveInfo(h, 1, RZ_WAVE_CHANNEL_COUNT), 0u);
  EXPECT_EQ(DARARARSetWaveInfo(nullptr, 0, RZ_WAVE_RECORD_CODE, 1), 0);

  // The record has 256 channel slots: a larger count is refused.
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, 257), 0);
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT), 3u);
  EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, 256), 1);

  {
    rz::Pinned<rz::BioFile> bf(h);
    bf->records[0].eventTable = rz::plat::mem_alloc(rz::plat::kMemFlags, 16);  // closed with the handle
  }
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_HAS_EVENT_TABLE), 1u);
}

TEST_F(WaveInfoTest, TextsAreCutToTheirFieldsAndItemTwoIsThePath) {
  Bio h = start("a.vzp", false);
  const std::string longText(40, 'x');
  EXPECT_EQ(DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, longText.c_str()), 1);
  char buf[300];
  EXPECT_EQ(DARARARGetWaveText(h, 0, RZ_WAVE_TEXT, buf), 32);
  EXPECT_EQ(std::string(buf), longText.substr(0, 32));
  EXPECT_EQ(DARARARGetWaveText(h, 0, RZ_WAVE_TEXT_PATH, buf), int16_t(path("a.vzp").size()));
  EXPECT_EQ(std::string(buf), path("a.vzp"));
  for (uint16_t item : {0, 3}) {
    std::strcpy(buf, "stale");
    EXPECT_EQ(DARARARGetWaveText(h, 0, item, buf), 0);
    EXPECT_STREQ(buf, "") << "emptied first";
  }
  std::strcpy(buf, "stale");
  EXPECT_EQ(DARARARGetWaveText(h, 5, RZ_WAVE_TEXT, buf), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(DARARARSetWaveText(h, 0, RZ_WAVE_TEXT_PATH, "x"), 0);
  EXPECT_EQ(DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, nullptr), 0);
}

TEST_F(WaveInfoTest, ChunkIsWrittenByteForByteInBothOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      EXPECT_EQ(DARARARCreateWaveInfo(h), kChunk + 128);
      EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 3u) << "101 s in 30-s frames";
      rz::Pinned<rz::BioFile> bf(h);
      EXPECT_EQ(bf->records[0].waveInfoPosition, kChunk);
      EXPECT_EQ(bf->recordSize[0], 16u + 128u);
    }
    const Bytes b = read_file(path("a.vzp"));
    ASSERT_EQ(b.size(), kChunk + 128);
    Bytes want(128, 0);
    const uint32_t numbers[] = {128, 100, 0, 0, 0x2345, 3, 3, 0, 2023, 12, 5, 0, 40, 59};
    for (size_t i = 0; i < 14; ++i) put32(want, i * 4, numbers[i], big);
    std::memcpy(want.data() + 56, "05/12/2023 00.40.59", 19);
    want[76] = 50;  // little-endian in every file
    std::memcpy(want.data() + 96, "Night one", 9);
    EXPECT_EQ(slice(b, kChunk, 128), want);
  }
}

TEST_F(WaveInfoTest, RoundTripThroughAFileReopenedForReading) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      DARARARSetWaveInfo(h, 0, RZ_WAVE_MAINS_FREQUENCY, 60);
      DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, std::string(32, 'w').c_str());
      char buf[40];
      EXPECT_EQ(DARARARGetWaveText(h, 0, RZ_WAVE_TEXT, buf), 32) << "32 characters in memory";
      ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    Bio r = open("a.vzp", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadRecordInfo(r, 0x10000), 1) << "only the low 16 bits count";
    const uint32_t expected[][2] = {{1, 0x2345}, {2, 3},  {4, 3},  {10, 2023}, {11, 12}, {12, 5},
                                    {13, 0},     {14, 40}, {15, 59}, {22, 60},
                                    {3, 0},      {20, 0},  {21, 0}};  // not in this chunk
    for (const auto& e : expected) EXPECT_EQ(DARARARGetWaveInfo(r, 0, uint16_t(e[0])), e[1]) << e[0];
    char buf[40];
    EXPECT_EQ(DARARARGetWaveText(r, 0, RZ_WAVE_TEXT, buf), 31);
    EXPECT_EQ(std::string(buf), std::string(31, 'w'));
    EXPECT_EQ(DARARARReadRecordInfo(r, 1), 0);
  }
}

TEST_F(WaveInfoTest, OutOfRangeStoredValuesAreMendedOnReading) {
  const struct { uint32_t frames, readBack; } counts[] = {
      {2764800, 2764800}, {2764801, 0}, {0x80000000u, 0}, {0xFFFFFFFFu, 0}};
  for (bool big : {false, true}) {
    {
      Bio h = described("a.vzp", big);
      ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    Bytes b = read_file(path("a.vzp"));
    b[kChunk + 76] = 55;                        // no such mains frequency
    put32(b, kChunk + 20, 300, big);            // more channels than slots
    for (const auto& c : counts) {
      for (uint16_t mode : {1, 3}) {
        SCOPED_TRACE(testing::Message() << big << " " << c.frames << " mode " << mode);
        put32(b, kChunk + 24, c.frames, big);
        write_file(path("a.vzp"), b);
        {
          Bio r = open("a.vzp", mode);
          EXPECT_EQ(DARARARReadRecordInfo(r, 0), 1);
          EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_TOTAL_FRAMES), c.readBack);
          EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_MAINS_FREQUENCY), 0u);
          EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_CHANNEL_COUNT), 256u);
        }
        // Cleared in the file only where the handle may write.
        Bytes want = b;
        if (mode == 3 && c.readBack == 0) put32(want, kChunk + 24, 0, big);
        EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), want), std::vector<size_t>{});
      }
    }
    // Only where the chunk's size covers the count's word: a shorter chunk
    // leaves those bytes to whatever follows it.
    for (const uint32_t size : {28u, 27u}) {
      put32(b, kChunk, size, big);
      write_file(path("a.vzp"), b);
      EXPECT_EQ(DARARARReadRecordInfo(open("a.vzp", 3), 0), 1);
      EXPECT_EQ(get32(read_file(path("a.vzp")), kChunk + 24, big), size == 28 ? 0u : 0xFFFFFFFFu) << size;
    }
  }
}

TEST_F(WaveInfoTest, UpdateChangesOnlyTheFrameCountAndTheRecordLength) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Bio h = described("a.vzp", big);
    ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
    ASSERT_GT(DARARARCreateFrameChInfo(h), 0);
    DARARARSetWaveInfo(h, 0, RZ_WAVE_RECORD_CODE, 99);  // after creation: stays in memory
    const Bytes before = read_file(path("a.vzp"));
    EXPECT_EQ(DARARARUpdateWaveInfo(h, 90000), 90000u);  // 900 s: 30 frames
    EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 30u);
    EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_SAMPLES), 10001u) << "the argument is not kept";
    Bytes want = before;
    put32(want, 32, 16 + 128 + 32 + 3 * 256, big);
    put32(want, kChunk + 24, 30, big);
    EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), want), std::vector<size_t>{});
  }
}

TEST_F(WaveInfoTest, UpdateWritesNothingWithoutItsOwnChunkOrAWholeReadBack) {
  {
    Bio h = start("a.vzp", false, 2);
    DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, 100);
    const Bytes before = read_file(path("a.vzp"));
    EXPECT_EQ(DARARARUpdateWaveInfo(h, 5000), 0u) << "no chunk written through this handle";
    EXPECT_EQ(read_file(path("a.vzp")), before);
  }
  Bio none(RAZIVERAOpenBioFile(path("b.vzp").c_str(), RZ_OPEN_CREATE, 1));
  EXPECT_EQ(DARARARUpdateWaveInfo(none, 5000), 0u) << "no record";
  EXPECT_EQ(DARARARCreateWaveInfo(none), 0u);
  EXPECT_EQ(read_file(path("b.vzp")).size(), 0u);

  Bio h = described("c.vzp", false);
  ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
  const Bytes before = read_file(path("c.vzp"));
  faults::arm(faults::Op::Read, 1, 100);
  EXPECT_EQ(DARARARUpdateWaveInfo(h, 90000), 0u);
  EXPECT_EQ(read_file(path("c.vzp")), before) << "nothing written from a partial read";
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 3u);

  faults::arm(faults::Op::Write, 1, 10);
  EXPECT_EQ(DARARARUpdateWaveInfo(h, 90000), 0u) << "short write";
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 30u) << "memory keeps the new count";
  EXPECT_EQ(get32(read_file(path("c.vzp")), 32), 144u) << "record length rewritten all the same";
}

TEST_F(WaveInfoTest, AShortCreateLeavesPositionsAndAMissingChunkLeavesTheSlot) {
  Bio h = described("a.vzp", false);
  faults::arm(faults::Op::Write, 1, 100);
  EXPECT_EQ(DARARARCreateWaveInfo(h), 0u);
  EXPECT_EQ(write_pos(h), kChunk);
  {
    rz::Pinned<rz::BioFile> bf(h);
    EXPECT_EQ(bf->recordSize[0], 16u);
    EXPECT_EQ(bf->records[0].waveInfoPosition, 0u);
  }
  faults::reset();
  ASSERT_GT(DARARAREndRecordWave(h), 0);
  h.close();

  Bio r = open("a.vzp", 1);
  DARARARSetWaveInfo(r, 0, RZ_WAVE_RECORD_CODE, 77);
  EXPECT_EQ(DARARARReadRecordInfo(r, 0), 0);
  EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_RECORD_CODE), 77u) << "slot unchanged";
}
