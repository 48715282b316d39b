// Non-linear tables: the point accessors, the NonLinearInfo chunk as written
// in both byte orders, reading it back, and damaged chunks.
#include <cstring>
#include <string>

#include "frame/biofile.h"
#include "recording_fixture.h"

using namespace rzt;

namespace {

constexpr size_t kChunk = 48;  // first chunk of record 0
const std::string kLong = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

class NonLinearTest : public RecordingTest {
 protected:
  // Sets `count` points on channel c: value1 = -i, value2 = 1000 + i.
  void fill(HGLOBAL h, uint16_t c, uint16_t count, const std::string& text) {
    for (uint16_t i = 0; i < count; ++i)
      EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, c, i, -int32_t(i), 1000u + i, text.c_str()),
                1);
    EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, c, 0, count, 0, nullptr), 1);
  }
};

}  // namespace

TEST_F(NonLinearTest, PointsAndCountAreKeptWithinTheTable) {
  constexpr uint16_t kNoSuchItem = 3;
  Bio h = start("a.vzp", false, 2);
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 0, 0, 16, 0, nullptr), 0)
      << "16 points, count at most 15";
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 0, 0, -1, 0, nullptr), 0);
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 0, 15, 1, 2, "last"), 1) << "point 15 exists";
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 0, 16, 1, 2, "x"), 0);
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, kNoSuchItem, 0, 0, 1, 2, "x"), 0);
  EXPECT_EQ(DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 2, 0, 1, 0, nullptr), 0)
      << "channel not below the count";
  fill(h, 0, 3, kLong);
  EXPECT_EQ(DARARARGetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 0, 0, nullptr, nullptr, nullptr), 3);

  uint32_t v1 = 7, v2 = 7;
  char text[28] = "untouched";
  EXPECT_EQ(DARARARGetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 0, 3, &v1, &v2, text), 0) << "beyond the count";
  EXPECT_EQ(v1, 7u);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(DARARARGetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 0, 2, &v1, &v2, text), 3);
  EXPECT_EQ(v1, uint32_t(-2));
  EXPECT_EQ(v2, 1002u);
  EXPECT_EQ(std::string(text), kLong.substr(0, 27)) << "cut to the 28-byte field";
  EXPECT_EQ(DARARARGetNonLinearInfo(h, 0, kNoSuchItem, 0, 0, &v1, &v2, text), 0);
}

TEST_F(NonLinearTest, ChunkIsWrittenByteForByteInBothOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start("a.vzp", big, 2);
      fill(h, 1, 2, kLong);
      DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_POINT, 1, 1, 5, 6, "ab");
      EXPECT_EQ(DARARARCreateNonLineaInfo(h, 1), int32_t(kChunk + 96));
      EXPECT_EQ(DARARARCreateNonLineaInfo(h, 0), 0) << "no points, no chunk";
      EXPECT_EQ(DARARARCreateNonLineaInfo(h, 2), 0) << "no such channel";
    }
    const Bytes b = read_file(path("a.vzp"));
    ASSERT_EQ(b.size(), kChunk + 96);
    Bytes want = words({96, 2600, 2, 0, 2, 0, 0, 0, 0, 1000}, big);
    want.insert(want.end(), kLong.begin(), kLong.begin() + 24);  // no terminator
    const Bytes p1 = words({5, 6}, big);
    want.insert(want.end(), p1.begin(), p1.end());
    want.insert(want.end(), {'a', 'b'});
    want.resize(96);
    EXPECT_EQ(slice(b, kChunk, 96), want);
  }
}

TEST_F(NonLinearTest, RoundTripLoadsTheChannelTheChunkNames) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start("a.vzp", big, 3);
      fill(h, 2, 15, kLong);
      fill(h, 0, 1, "zero");
      EXPECT_EQ(DARARARCreateNonLineaInfo(h, 2), int32_t(kChunk + 512));
      EXPECT_GT(DARARARCreateNonLineaInfo(h, 0), 0);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    Bio r = open("a.vzp", 1);
    DARARARSetWaveInfo(r, 0, RZ_WAVE_CHANNEL_COUNT, 3);
    EXPECT_EQ(DARARARReadNonLinearInfo(r, 0x10000, 0), 15) << "channel number 0: the first chunk";
    EXPECT_EQ(DARARARGetNonLinearInfo(r, 0, RZ_NONLINEAR_COUNT, 2, 0, nullptr, nullptr, nullptr), 15);
    uint32_t v1 = 0, v2 = 0;
    char text[28];
    EXPECT_EQ(DARARARGetNonLinearInfo(r, 0, RZ_NONLINEAR_POINT, 2, 14, &v1, &v2, text), 15);
    EXPECT_EQ(v1, uint32_t(-14));
    EXPECT_EQ(v2, 1014u);
    EXPECT_EQ(std::string(text), kLong.substr(0, 23));
    EXPECT_EQ(DARARARReadNonLinearInfo(r, 0, 1), 1);
    EXPECT_EQ(DARARARGetNonLinearInfo(r, 0, RZ_NONLINEAR_POINT, 0, 0, &v1, &v2, text), 1);
    EXPECT_STREQ(text, "zero");
    EXPECT_EQ(DARARARReadNonLinearInfo(r, 0, 2), 0) << "channel 1 wrote no chunk";
    EXPECT_EQ(DARARARReadNonLinearInfo(r, 1, 0), 0) << "no such record";
  }
}

TEST_F(NonLinearTest, DamagedChunksAreBoundedAndNeverOverrun) {
  // A chunk of `points` stored points claiming `count`, with id `id`; then a
  // chunk of points no table may take.
  auto craft = [&](uint32_t id, uint32_t count, uint32_t points, size_t cut) {
    FileImage img;
    img.start_record();
    Bytes body = words({0, count, 0, 0, 0}, false);
    for (uint32_t i = 0; i < points; ++i) {
      const Bytes p = words({i + 1, 0, 0, 0, 0, 0, 0, 0}, false);
      body.insert(body.end(), p.begin(), p.end());
    }
    img.chunk(2600, id, body);
    img.chunk(7, 0, Bytes(600, 0x77));
    img.end_record();
    if (cut) img.bytes().resize(cut);
    img.save(path("d.vzp"));
  };
  const struct { const char* what; uint32_t id, count, points; size_t cut; uint16_t loaded; } cases[] = {
      {"count above the table", 3, 40, 40, 0, 16},
      {"count above the table, 16 bits", 3, 0x10002, 2, 0, 2},
      {"id beyond the channels", 300, 2, 2, 0, 0},
      {"id 256 is the last channel", 256, 2, 2, 0, 2},
      {"id 0", 0, 2, 2, 0, 0},
      {"file ends inside the points", 3, 4, 4, 48 + 32 + 2 * 32 + 10, 2},
      {"count above the points the chunk holds", 3, 4, 2, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    craft(c.id, c.count, c.points, c.cut);
    Bio r = open("d.vzp", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadNonLinearInfo(r, 0, 0), c.loaded);
    rz::Pinned<rz::BioFile> bf(r);
    if (c.id >= 1 && c.id <= 256) {
      const rz::ChannelSlot& cs = bf->records[0].channels[c.id - 1];
      EXPECT_EQ(cs.nonLinearCount, c.loaded);
      if (c.loaded) {
        EXPECT_EQ(cs.nonLinearPoints[c.loaded - 1].value1, c.loaded);
      }
    }
    EXPECT_EQ(bf->records[1].channels[0].nonLinearCount, 0) << "nothing past the record's slots";
  }
}
