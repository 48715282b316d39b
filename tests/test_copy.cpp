// Continuing a recording in a new file.
#include <vector>

#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/recording.h"

using namespace rzt;
namespace faults = rz::plat::faults;

class CopyTest : public FileTest {
 protected:
  // A source with `frames` frames saved in record 0 (left open).
  Bio source(const std::string& name, bool big, uint16_t frames = 5) {
    Layout L;
    L.rates = {10, 5};
    L.baseRate = 10;
    L.big = big;
    Bio h = begin_recording(*this, path(name), L, 10);
    if (frames) {
      EXPECT_EQ(write_frames(h, L, 0, frames), frames);
    }
    return h;
  }
};

TEST_F(CopyTest, ContinuesARecordingInANewFile) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Layout L;
    L.rates = {10, 5};
    L.baseRate = 10;
    L.big = big;
    Bio src = source("src.vzp", big);
    ASSERT_EQ(DARARARCreateEventTable(src, 0, 3, 2, 4), 1);
    const uint32_t value = 77;
    const char data[4] = {'a', 'b', 'c', 'd'};
    ASSERT_EQ(DARARARSetEventTableInfo(src, 0, 1, value, data), 1);
    const int32_t P = RAZIVERAFindIndexPtr(src, 0, RZ_CHUNK_FRAME_INFO, 0, nullptr);
    const Bytes srcBefore = read_file(path("src.vzp"));

    Bio copy(RAZIVERACopyNewBioFile(src, path("new.vzp").c_str(), 0));
    ASSERT_TRUE(copy);
    EXPECT_EQ(read_file(path("src.vzp")), srcBefore) << "the source file is untouched";
    EXPECT_EQ(RAZIVERAGetInfo(copy, RZ_INFO_FORMAT_VERSION), 110u);
    EXPECT_EQ(RAZIVERAGetInfo(copy, RZ_INFO_WRITE_POS), uint32_t(P));
    EXPECT_EQ(RAZIVERAGetInfo(copy, RZ_INFO_RECORD_COUNT), 1u);
    EXPECT_EQ(RAZIVERAGetInfo(copy, RZ_INFO_BYTE_ORDER), big ? 1u : 0u);
    const Bytes fresh = read_file(path("new.vzp"));
    ASSERT_EQ(fresh.size(), size_t(P) + 4);
    EXPECT_EQ(get32(fresh, 32, big), 16u) << "a record still being written";
    EXPECT_EQ(get32(fresh, 36, big), 10u);
    EXPECT_EQ(get32(fresh, 40, big), 1u);
    EXPECT_EQ(get32(fresh, size_t(P)), 0u);
    EXPECT_TRUE(std::equal(fresh.begin() + 48, fresh.begin() + P, srcBefore.begin() + 48));

    // The copy owns its event table: closing the source first leaves it intact.
    src.close();
    uint32_t got = 0;
    char back[4] = {};
    EXPECT_EQ(DARARARGetEventTableInfo(copy, 0, 1, &got, back), 1);
    EXPECT_EQ(got, value);

    // New frames continue the recording in the new file.
    EXPECT_GT(DARARARCreateFrameBuf(copy, 4), 0);
    EXPECT_EQ(write_frames(copy, L, 100, 4), 4);
    EXPECT_GT(DARARAREndRecordWave(copy), 0);
    copy.close();

    Bio r = open_for_review(path("new.vzp"), 4);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_CHANNEL_COUNT), 2u);
    EXPECT_EQ(DARARARGetFrameChInfo(r, 0, RZ_CHANNEL_SAMPLE_RATE, 1), 5u);
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_TOTAL_FRAMES), 4u) << "frames saved through the copy";
    std::vector<int16_t> out(40);
    ASSERT_GT(DARARARReadFrameWave(r, 0, 0), 0);
    ASSERT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 40);
    for (uint32_t k = 0; k < 40; ++k) ASSERT_EQ(out[k], sample_value(0, 1000 + k)) << k;
  }
}

TEST_F(CopyTest, HandlesCloseInEitherOrder) {
  Bio src = source("src.vzp", false);
  DARARARCreateEventTable(src, 0, 1, 3, 8);
  Bio copy(RAZIVERACopyNewBioFile(src, path("new.vzp").c_str(), 1));
  ASSERT_TRUE(copy);
  copy.close();
  uint32_t v = 1;
  char d[8];
  EXPECT_EQ(DARARARGetEventTableInfo(src, 0, 1, &v, d), 1) << "the source keeps its own table";
}

TEST_F(CopyTest, RefusesWithoutAFrameAreaOrBeyondTheLimit) {
  {
    Bio src = source("src.vzp", false, 0);
    DARARARSaveFrameWave(src, 0);
  }
  Bio none = create("bare.vzp");
  DARARARStartRecordWave(none);
  EXPECT_EQ(RAZIVERACopyNewBioFile(none, path("n1.vzp").c_str(), 1), nullptr);
  EXPECT_EQ(read_file(path("n1.vzp")).size(), 0u) << "an empty file is left behind";
  Bio empty = create("empty.vzp");
  EXPECT_EQ(RAZIVERACopyNewBioFile(empty, path("n2.vzp").c_str(), 1), nullptr);

  // A description reaching past 512 KiB.
  Bio big = create("big.vzp");
  DARARARStartRecordWave(big);
  std::vector<uint8_t> blob(600000, 1);
  ASSERT_GT(DARARARCreateUserByte(big, 1, uint32_t(blob.size()), blob.data()), 0);
  DARARARSetWaveInfo(big, 0, RZ_WAVE_FRAME_SECONDS, 1);
  ASSERT_GT(DARARARCreateFrameBuf(big, 1), 0);
  EXPECT_EQ(RAZIVERACopyNewBioFile(big, path("n3.vzp").c_str(), 1), nullptr);
  EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), 0) << "no code for these failures";
}

TEST_F(CopyTest, NeverCopiesOverItsOwnSource) {
  Bio src = source("src.vzp", false);
  const Bytes before = read_file(path("src.vzp"));
  EXPECT_EQ(RAZIVERACopyNewBioFile(src, path("src.vzp").c_str(), 1), nullptr);
  EXPECT_EQ(RAZIVERACopyNewBioFile(src, (path("") + "./src.vzp").c_str(), 1), nullptr);
  EXPECT_EQ(read_file(path("src.vzp")), before);
}

TEST_F(CopyTest, AllocationFailuresRecordTheOpenCodes) {
  Bio src = source("src.vzp", false);
  const struct {
    faults::Op op;
    uint64_t nth;
    uint16_t code;
  } cases[] = {{faults::Op::Alloc, 1, 1001}, {faults::Op::Lock, 2, 1002}, {faults::Op::Alloc, 2, 1003}};
  for (const auto& c : cases) {
    faults::arm(c.op, c.nth);
    EXPECT_EQ(RAZIVERACopyNewBioFile(src, path("new.vzp").c_str(), 1), nullptr);
    EXPECT_EQ(RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr), c.code);
    faults::reset();
  }
  EXPECT_EQ(RAZIVERACopyNewBioFile(nullptr, path("new.vzp").c_str(), 1), nullptr);
}

TEST_F(CopyTest, CountDigitsAreTheSourcesUntilARecordStarts) {
  {
    Bio h = create("two.vzp");
    DARARARStartRecordWave(h);
    DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, 1);
    DARARARCreateFrameBuf(h, 1);
    DARARAREndRecordWave(h);
    DARARARStartRecordWave(h);
    DARARAREndRecordWave(h);
  }
  Bio src = open("two.vzp", 1);
  Bio copy(RAZIVERACopyNewBioFile(src, path("new.vzp").c_str(), 1));
  ASSERT_TRUE(copy);
  EXPECT_EQ(text_at(read_file(path("new.vzp")), 18, 4), "0002");
  EXPECT_GT(DARARAREndRecordWave(copy), 0);
  EXPECT_EQ(DARARARStartRecordWave(copy), 1);
  EXPECT_EQ(text_at(read_file(path("new.vzp")), 18, 4), "0002");
}
