// Channel definitions: items, the FrameChInfo chunk as written in both byte
// orders, the reader with its derived forms and repairs, the in-place update
// and damaged chunks.
#include <cstring>
#include <string>

#include "channels/channel_info.h"
#include "recording_fixture.h"

using namespace rzt;

namespace {

constexpr size_t kHead = 48 + 128;  // FrameChInfo behind record 0's WaveInfo
constexpr size_t kEntry0 = kHead + 32;

class ChannelInfoTest : public RecordingTest {
 protected:
  // Three channels: 0 by rate with filter form B, 1 by period with form A,
  // 2 with nothing set.  Wave information first, then the channel chunk.
  Bio described(const std::string& name, bool big) {
    Bio h = start(name, big, 3);
    const uint32_t ch0[][2] = {{4, 250}, {12, 300}, {3, 0x10007}, {6, 6}, {7, 7}, {8, 8},
                               {9, 9},   {10, 10},  {13, 100000}, {14, 14}};
    for (const auto& it : ch0) EXPECT_EQ(DARARARSetFrameChInfo(h, 0, uint16_t(it[0]), 0, it[1]), 1u);
    const uint32_t ch1[][2] = {{5, 4000}, {11, 1000}, {2, 12}, {13, 99999}};
    for (const auto& it : ch1) EXPECT_EQ(DARARARSetFrameChInfo(h, 0, uint16_t(it[0]), 1, it[1]), 1u);
    EXPECT_EQ(DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_VALUE13, 2, uint32_t(-5)), 1u);
    EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 0, "EEG C3   "), 1u);
    EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, 0, "uV"), 1u);
    EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 1, "ABCDEFGHIJKLMNOPQRST"), 1u);
    EXPECT_GT(DARARARCreateWaveInfo(h), 0u);
    return h;
  }
  // Loads record 0 of a stored file into a fresh handle.
  Bio reader(const std::string& name, uint16_t mode) {
    Bio r = open(name, mode);
    EXPECT_EQ(DARARARReadRecordInfo(r, 0), 1);
    return r;
  }
};

// One entry as the writer lays it out: numbers at 0..68, texts, spaces.
Bytes entry_image(const uint32_t (&numbers)[18], const char* text1, const char* text2, bool big) {
  Bytes e(256, 0);
  for (size_t i = 0; i < 18; ++i) put32(e, i * 4, numbers[i], big);
  std::memcpy(e.data() + 72, text1, std::strlen(text1));
  std::memcpy(e.data() + 88, text2, std::strlen(text2));
  std::memset(e.data() + 108, ' ', 20);
  return e;
}

}  // namespace

TEST(FilterConversion, SinglePrecisionFactorsTruncatedTowardZero) {
  const int32_t cases[][2] = {{0, 0}, {300, 530}, {530, 300}, {1000, 159}, {-300, -530},
                              {1, 159154}, {100000, 1}, {INT32_MAX, 0}, {INT32_MIN, 0}};
  for (const auto& c : cases) EXPECT_EQ(rz::convert_filter(c[0]), c[1]) << c[0];
}

TEST_F(ChannelInfoTest, ItemsSetOneFieldAndTheirFormFlag) {
  Bio h = start("a.vzp", false, 2);
  const struct { uint16_t item; uint32_t value, got, flags; } cases[] = {
      {4, 250, 250, 2},   {5, 4000, 4000, 3},     {11, uint32_t(-20), uint32_t(-20), 1},
      {12, 300, 300, 3},  {2, 0x10005, 5, 3},     {3, 0x2FFFF, 0xFFFF, 3},
      {20, 70000, 4464, 3}, {21, 1, 1, 3},        {22, 2, 2, 3},
      {23, 23, 23, 3},    {29, 29, 29, 3},        {15, 44100, 44100, 3},
      {1, 0x80, 0x80, 0x80},  // flags themselves
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DARARARSetFrameChInfo(h, 0, c.item, 1, c.value), 1u) << c.item;
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, c.item, 1), c.got) << c.item;
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_FLAGS, 1), c.flags) << c.item;
  }
  EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_PERIOD, 1), 4000u)
      << "setting the rate leaves the period";
  for (uint16_t item : {0, 16, 19, 30, 31, 500}) {
    EXPECT_EQ(DARARARSetFrameChInfo(h, 0, item, 0, 1), 0u) << item;
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, item, 0), 0u) << item;
  }
  EXPECT_EQ(DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 2, 1), 0u) << "channel not below the count";
  EXPECT_EQ(DARARARSetFrameChInfo(h, 1, RZ_CHANNEL_SAMPLE_RATE, 0, 1), 0u) << "record not started";
  EXPECT_EQ(DARARARGetFrameChInfo(nullptr, 0, RZ_CHANNEL_SAMPLE_RATE, 0), 0u);
}

TEST_F(ChannelInfoTest, TextsAreCutToTheirFields) {
  Bio h = start("a.vzp", false, 1);
  const std::string longText(100, 't');
  EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 0, longText.c_str()), 1u);
  EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, 0, longText.c_str()), 1u);
  char buf[64];
  EXPECT_EQ(DARARARGetFrameChText(h, 0, RZ_CHANNEL_LABEL, 0, buf), 63);
  EXPECT_EQ(std::string(buf), longText.substr(0, 63));
  EXPECT_EQ(DARARARGetFrameChText(h, 0, RZ_CHANNEL_UNIT, 0, buf), 31);
  EXPECT_EQ(std::string(buf), longText.substr(0, 31));
  std::strcpy(buf, "stale");
  EXPECT_EQ(DARARARGetFrameChText(h, 0, 3, 0, buf), 0);
  EXPECT_STREQ(buf, "") << "emptied first";
  EXPECT_EQ(DARARARSetFrameChText(h, 0, 3, 0, "x"), 0u);
  EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 0, nullptr), 0u);
  EXPECT_EQ(DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 1, "x"), 0u);
}

TEST_F(ChannelInfoTest, ChunkIsWrittenByteForByteInBothOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      EXPECT_EQ(DARARARCreateFrameChInfo(h), int32_t(kEntry0 + 3 * 256));
    }
    const Bytes b = read_file(path("a.vzp"));
    ASSERT_EQ(b.size(), kEntry0 + 3 * 256);
    EXPECT_EQ(slice(b, kHead, 32), words({32 + 3 * 256, 120, 0, 0, 3, 256, 0, 0}, big));
    // value9 is stored before value8; the sampling and filter fields hold the
    // form the flags name.
    const uint32_t e0[18] = {256, 125, 1, 0, 0, 2, 7, 1, 250, 6, 7, 9, 8, 10, 300, 100000, 14, 0};
    const uint32_t e1[18] = {256, 125, 2, 0, 12, 1, 0, 1, 4000, 0, 0, 0, 0, 0, 1000, 99999, 0, 0};
    const uint32_t e2[18] = {256, 125, 3, 0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, uint32_t(-5), 0, 0};
    EXPECT_EQ(slice(b, kEntry0, 256), entry_image(e0, "EEG C3   ", "uV", big));
    EXPECT_EQ(slice(b, kEntry0 + 256, 256), entry_image(e1, "ABCDEFGHIJKLMNO", "", big));
    EXPECT_EQ(slice(b, kEntry0 + 512, 256), entry_image(e2, "", "", big));
  }
}

TEST_F(ChannelInfoTest, ARecordWithoutChannelsGetsTheHeadAlone) {
  {
    Bio h = start("a.vzp", false);
    EXPECT_EQ(DARARARCreateFrameChInfo(h), 0);
    EXPECT_EQ(write_pos(h), 48u + 32u);
    EXPECT_GT(DARARAREndRecordWave(h), 0);
  }
  EXPECT_EQ(slice(read_file(path("a.vzp")), 48, 32), words({32, 120, 0, 0, 0, 256, 0, 0}, false));
  Bio r = open("a.vzp", 1);
  {
    rz::Pinned<rz::BioFile> bf(r);
    bf->records[0].baseRate = 77;
  }
  EXPECT_EQ(DARARARReadChannelInfo(r, 0), 1);
  EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_BASE_RATE), 0u) << "no channels, no base rate";
  Bio none(RAZIVERAOpenBioFile(path("b.vzp").c_str(), RZ_OPEN_CREATE, 1));
  EXPECT_EQ(DARARARCreateFrameChInfo(none), 0) << "no record";
}

TEST_F(ChannelInfoTest, RoundTripGivesEveryItemAndTheDerivedForms) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      ASSERT_GT(DARARARCreateFrameChInfo(h), 0);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    Bio r = reader("a.vzp", 1);
    {
      rz::Pinned<rz::BioFile> bf(r);
      bf->records[0].channels[1].nonLinearCount = 4;
    }
    EXPECT_EQ(DARARARReadChannelInfo(r, 0), 1);
    const struct { uint16_t channel, item; uint32_t value; } cases[] = {
        {0, 2, 1},  {0, 1, 2},    {0, 3, 7},    {0, 4, 250},  {0, 5, 4000}, {0, 6, 6},
        {0, 7, 7},  {0, 8, 8},    {0, 9, 9},    {0, 10, 10},  {0, 12, 300}, {0, 11, 530},
        {0, 13, 0}, {0, 14, 14},  {1, 2, 12},   {1, 1, 1},    {1, 5, 4000}, {1, 4, 250},
        {1, 11, 1000}, {1, 12, 159}, {1, 13, 99999},
        {2, 2, 3},  {2, 4, 250},  {2, 5, 4000}, {2, 13, uint32_t(-5)},  // rate of the entries before
    };
    for (const auto& c : cases)
      EXPECT_EQ(DARARARGetFrameChInfo(r, 0, c.item, c.channel), c.value) << c.channel << "/" << c.item;
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_BASE_RATE), 250u) << "base rate: the highest channel rate";
    char buf[64];
    EXPECT_EQ(DARARARGetFrameChText(r, 0, RZ_CHANNEL_LABEL, 0, buf), 6);
    EXPECT_STREQ(buf, "EEG C3") << "trailing blanks stripped";
    EXPECT_EQ(DARARARGetFrameChText(r, 0, RZ_CHANNEL_LABEL, 1, buf), 15);
    EXPECT_EQ(DARARARGetFrameChText(r, 0, RZ_CHANNEL_UNIT, 0, buf), 2);
    rz::Pinned<rz::BioFile> bf(r);
    EXPECT_EQ(bf->records[0].channels[1].nonLinearCount, 0);
  }
}

TEST_F(ChannelInfoTest, EntriesOfAnotherTypeAreReadAndRepairedInAWritableFile) {
  {
    Bio h = described("a.vzp", true);
    ASSERT_GT(DARARARCreateFrameChInfo(h), 0);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  Bytes damaged = read_file(path("a.vzp"));
  put32(damaged, kEntry0 + 256 + 4, 999, true);
  write_file(path("a.vzp"), damaged);
  {
    Bio r = reader("a.vzp", 1);
    EXPECT_EQ(DARARARReadChannelInfo(r, 0), 1);
    EXPECT_EQ(DARARARGetFrameChInfo(r, 0, RZ_CHANNEL_SAMPLE_PERIOD, 1), 4000u) << "read all the same";
  }
  EXPECT_EQ(read_file(path("a.vzp")), damaged) << "a read-only handle writes nothing";
  {
    Bio r = reader("a.vzp", 3);
    EXPECT_EQ(DARARARReadChannelInfo(r, 0), 1);
  }
  Bytes want = damaged;
  put32(want, kEntry0 + 256 + 4, 125, true);
  EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), want), std::vector<size_t>{});
}

TEST_F(ChannelInfoTest, UpdateRewritesTheDescriptivePartOfEachEntryOnly) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start("a.vzp", big, 2);
      for (uint16_t c : {0, 1}) {
        DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_NUMBER, c, c + 1u);
        DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c, 200);
        DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, "Fp1");
        DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, c, "mV");
      }
      ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
      ASSERT_GT(DARARARCreateFrameChInfo(h), 0);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    // Bytes the update must keep: behind the text terminators, 104..107 and
    // everything from 128 on.
    Bytes b = read_file(path("a.vzp"));
    for (size_t e : {kEntry0, kEntry0 + 256}) {
      std::memset(b.data() + e + 76, 'k', 12);
      std::memset(b.data() + e + 104, 'k', 4);
      std::memset(b.data() + e + 128, 'k', 128);
    }
    write_file(path("a.vzp"), b);

    Bio r = reader("a.vzp", 3);
    ASSERT_EQ(DARARARReadChannelInfo(r, 0), 1);
    EXPECT_EQ(DARARARSetFrameChInfo(r, 0, RZ_CHANNEL_VALUE6, 1, 0x01020304), 1u);
    EXPECT_EQ(DARARARSetFrameChInfo(r, 0, RZ_CHANNEL_FILTER_B, 0, 300), 1u);
    EXPECT_EQ(DARARARSetFrameChText(r, 0, RZ_CHANNEL_UNIT, 0, "microvolt units here"), 1u);
    EXPECT_EQ(DARARARUpdateFrameChInfo(r, 0), 1);
    r.close();

    Bytes want = b;
    put32(want, kEntry0 + 256 + 36, 0x01020304, big);
    put32(want, kEntry0 + 56, 300, big);
    std::memcpy(want.data() + kEntry0 + 88, "microvolt units", 16);  // 15 and the NUL
    EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), want), std::vector<size_t>{});
  }
}

TEST_F(ChannelInfoTest, UpdateIsRefusedForReadersMissingRecordsAndMissingChunks) {
  {
    Bio h = described("a.vzp", false);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  const Bytes before = read_file(path("a.vzp"));
  Bio ro = reader("a.vzp", 1);
  EXPECT_EQ(DARARARUpdateFrameChInfo(ro, 0), -1) << "read-only";
  Bio rw = reader("a.vzp", 3);
  EXPECT_EQ(DARARARUpdateFrameChInfo(rw, 0), -1) << "no FrameChInfo";
  EXPECT_EQ(DARARARUpdateFrameChInfo(rw, 1), -1) << "no such record";
  EXPECT_EQ(DARARARUpdateFrameChInfo(nullptr, 0), -1);
  EXPECT_EQ(DARARARReadChannelInfo(rw, 0), 0);
  EXPECT_EQ(read_file(path("a.vzp")), before);
}

TEST_F(ChannelInfoTest, DamagedChunksAreBoundedAndNeverOverrun) {
  // Head words 12..31 as stored: 0, count, entry size, 0, 0; then entries of
  // entrySize bytes with type 125 and a rate of 100 x (k + 1); then another
  // chunk that no entry may be read from or written into.
  auto craft = [&](uint32_t count, uint32_t entrySize, uint32_t entries, size_t cut) {
    FileImage img;
    img.start_record();
    Bytes body = words({0, count, entrySize, 0, 0}, false);
    for (uint32_t k = 0; k < entries; ++k) {
      Bytes e(entrySize, 0xEE);
      for (uint32_t w = 0; w < 18; ++w) put32(e, w * 4, 0);
      put32(e, 0, entrySize);
      put32(e, 4, 125);
      put32(e, 32, 100 * (k + 1));
      body.insert(body.end(), e.begin(), e.end());
    }
    img.chunk(120, 0, body);
    img.chunk(7, 0, Bytes(600, 0x77));
    img.end_record();
    if (cut) img.bytes().resize(cut);  // the file ends inside the chunk
    img.save(path("d.vzp"));
  };
  const struct { const char* what; uint32_t count, entrySize, entries; size_t cut;
                 int read, update; uint32_t loaded; } cases[] = {
      {"huge count", 0xFFFFFFFFu, 256, 2, 0, 1, -1, 2},  // negative for the updater
      {"count beyond the slots", 300, 256, 300, 0, 1, 255, 256},
      {"entry size 0", 2, 0, 0, 0, 0, -1, 0},
      {"entry size too small", 2, 100, 2, 0, 0, -1, 0},
      {"entry size above 256", 2, 4096, 2, 0, 1, 1, 2},
      {"last entry cut off", 2, 256, 2, 48 + 32 + 256 + 100, 1, 1, 1},
      // Entries are read 32 at a time: a file ending in the second batch, and
      // entries too large to batch at all.
      {"cut off after 35 of 40 entries", 40, 256, 40, 48 + 32 + 35 * 256 + 100, 1, 39, 35},
      {"entry size above a batch", 2, 10000, 2, 0, 1, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    craft(c.count, c.entrySize, c.entries, c.cut);
    const Bytes before = read_file(path("d.vzp"));
    Bio r = open("d.vzp", 3);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadChannelInfo(r, 0), c.read);
    {
      rz::Pinned<rz::BioFile> bf(r);
      for (uint32_t k : {0u, 1u, 2u, 3u, 31u, 32u, 34u, 35u, 255u})
        EXPECT_EQ(bf->records[0].channels[k].sampleRate, k < c.loaded ? 100 * (k + 1) : 0u) << k;
      EXPECT_EQ(bf->records[1].channels[0].sampleRate, 0u) << "nothing past the record's slots";
      for (auto& cs : bf->records[0].channels) cs.value14 = 0x51515151;  // what the update writes
    }
    EXPECT_EQ(DARARARUpdateFrameChInfo(r, 0), c.update);
    r.close();
    const Bytes after = read_file(path("d.vzp"));
    ASSERT_EQ(after.size(), before.size());
    for (size_t off : diff_offsets(before, after)) {
      const size_t rel = c.entrySize ? (off - 48 - 32) % c.entrySize : 0;
      EXPECT_TRUE(rel >= 16 && rel < 128 && off < 48 + 32 + c.loaded * c.entrySize)
          << "byte " << off << " outside an entry's descriptive part";
    }
  }
}
