// User channel values: the UserChInfo chunk as written in both byte orders,
// the reader with its user29 default, and damaged chunks.
#include <string>

#include "frame/biofile.h"
#include "recording_fixture.h"

using namespace rzt;

namespace {

constexpr size_t kHead = 48;  // first chunk of record 0

class UserChannelTest : public RecordingTest {
 protected:
  // Two channels: 0 with every value, 1 with user24 only (user29 left 0).
  Bio described(const std::string& name, bool big) {
    Bio h = start(name, big, 2);
    for (uint16_t item = 20; item <= 29; ++item)
      EXPECT_EQ(DARARARSetFrameChInfo(h, 0, item, 0, 0x10000u + item), 1u);
    EXPECT_EQ(DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_USER24, 1, 50), 1u);
    EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE1, 0xA5A5), 1);
    EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE2, 0x5A5A), 1);
    return h;
  }
};

}  // namespace

TEST_F(UserChannelTest, ChunkIsWrittenByteForByteInBothOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      EXPECT_EQ(DARARARCreateUserChInfo(h), int32_t(kHead + 32 + 2 * 128));
    }
    const Bytes b = read_file(path("a.vzp"));
    ASSERT_EQ(b.size(), kHead + 32 + 2 * 128);
    EXPECT_EQ(slice(b, kHead, 32), words({32 + 2 * 128, 2700, 0, 0, 2, 128, 0xA5A5, 0x5A5A}, big));
    Bytes e0 = words({128, 2705, 1, 0, 1, 20, 21, 22, 0x10017, 0x10018, 0x10019, 0x1001A, 0x1001B,
                      0x1001C, 0x1001D}, big);
    Bytes e1 = words({128, 2705, 2, 0, 2, 0, 0, 0, 0, 50, 0, 0, 0, 0, 0}, big);
    e0.resize(128);
    e1.resize(128);
    EXPECT_EQ(slice(b, kHead + 32, 128), e0);
    EXPECT_EQ(slice(b, kHead + 160, 128), e1);
  }
}

TEST_F(UserChannelTest, RoundTripAppliesTheUser29Default) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = described("a.vzp", big);
      ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
      ASSERT_GT(DARARARCreateUserChInfo(h), 0);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    Bio r = open("a.vzp", 1);
    ASSERT_EQ(DARARARReadRecordInfo(r, 0), 1);
    DARARARSetFrameChInfo(r, 0, RZ_CHANNEL_USER21, 1, 9);  // cleared by the reader
    EXPECT_EQ(DARARARReadUserChannelInfo(r, 0), 1);
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_USER_VALUE1), 0xA5A5u);
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_USER_VALUE2), 0x5A5Au);
    const struct { uint16_t channel, item; uint32_t value; } cases[] = {
        {0, 20, 20},      {0, 21, 21},      {0, 22, 22},  // 16-bit values keep their low bits
        {0, 23, 0x10017}, {0, 28, 0x1001C}, {0, 29, 0x1001D},
        {1, 24, 50},      {1, 29, 50000},   {1, 21, 0},
    };
    for (const auto& c : cases)
      EXPECT_EQ(DARARARGetFrameChInfo(r, 0, c.item, c.channel), c.value) << c.channel << "/" << c.item;
    EXPECT_EQ(DARARARReadUserChannelInfo(r, 1), 0) << "no such record";
  }
}

TEST_F(UserChannelTest, ARecordWithoutChannelsCarriesTheRecordValuesAlone) {
  {
    Bio h = start("a.vzp", false);
    DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE1, 3);
    DARARARSetWaveInfo(h, 0, RZ_WAVE_USER_VALUE2, 4);
    EXPECT_EQ(DARARARCreateUserChInfo(h), 0);
    EXPECT_EQ(write_pos(h), kHead + 32);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  Bio r = open("a.vzp", 1);
  EXPECT_EQ(DARARARReadUserChannelInfo(r, 0), 1);
  EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_USER_VALUE1), 3u);
  EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_USER_VALUE2), 4u);
  Bio none(RAZIVERAOpenBioFile(path("b.vzp").c_str(), RZ_OPEN_CREATE, 1));
  EXPECT_EQ(DARARARCreateUserChInfo(none), 0);
  EXPECT_EQ(DARARARReadUserChannelInfo(none, 0), 0);
}

TEST_F(UserChannelTest, DamagedChunksAreBoundedAndNeverOverrun) {
  // Head words 12..31: 0, count, entry size, record values 1 and 2; then the
  // entries with user23 = 100 x (k + 1), the chunk's size claiming `claimed`
  // of them (0: those stored); then, in the next record, a chunk no entry may
  // come from.
  auto craft = [&](uint32_t count, uint32_t entrySize, uint32_t entries, size_t cut,
                   uint32_t claimed) {
    FileImage img;
    img.start_record();
    Bytes body = words({0, count, entrySize, 11, 12}, false);
    for (uint32_t k = 0; k < entries; ++k) {
      Bytes e(entrySize, 0);
      put32(e, 4, 2705);
      put32(e, 32, 100 * (k + 1));
      e.resize(entrySize);
      body.insert(body.end(), e.begin(), e.end());
    }
    img.chunk(2700, 0, body, claimed ? 32 + claimed * entrySize : 0);
    img.end_record();
    img.start_record();
    img.chunk(7, 0, Bytes(600, 0x77));
    img.end_record();
    if (cut) img.bytes().resize(cut);
    img.save(path("d.vzp"));
  };
  const struct { const char* what; uint32_t count, entrySize, entries; size_t cut;
                 uint32_t claimed; int read; uint32_t loaded; } cases[] = {
      {"huge count", 0xFFFFFFFFu, 128, 2, 0, 0, 1, 2},
      {"count beyond the slots", 300, 128, 300, 0, 0, 1, 256},
      {"entry size 0", 2, 0, 0, 0, 0, 0, 0},
      {"entry size too small", 2, 40, 2, 0, 0, 0, 0},
      {"entry size above 256", 2, 1000, 2, 0, 0, 1, 2},
      {"last entry cut off", 2, 128, 2, 48 + 32 + 128 + 50, 0, 1, 1},
      {"chunk size runs into the next record", 6, 128, 2, 0, 6, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    craft(c.count, c.entrySize, c.entries, c.cut, c.claimed);
    Bio r = open("d.vzp", 1);
    ASSERT_TRUE(r);
    {
      rz::Pinned<rz::BioFile> bf(r);
      for (auto& cs : bf->records[0].channels) cs.user23 = 1;
    }
    EXPECT_EQ(DARARARReadUserChannelInfo(r, 0), c.read);
    rz::Pinned<rz::BioFile> bf(r);
    EXPECT_EQ(bf->records[0].userValue1, c.read ? 11u : 0u);
    for (uint32_t k : {0u, 1u, 2u, 255u}) {
      // Entries the chunk holds are loaded; one that was begun but not read
      // whole is left cleared; the rest are untouched.
      const uint32_t want = k < c.loaded ? 100 * (k + 1) : (c.cut && k == c.loaded) ? 0 : 1;
      EXPECT_EQ(bf->records[0].channels[k].user23, want) << k;
    }
    EXPECT_EQ(bf->records[1].channels[0].user23, 0u) << "nothing past the record's slots";
  }
}
