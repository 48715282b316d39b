// Handles that are null, closed, made up or of another kind are refused by
// every export with its failure value, and never crash.
#include <vector>

#include "support/test_support.h"

using namespace rzt;

class BadHandleTest : public FileTest {
 protected:
  std::vector<HGLOBAL> bad_handles() {
    Bio closed = create("closed.vzp");
    HGLOBAL dead = closed.release();
    RAZIVERACloseBioFile(dead);
    small_ = GlobalAlloc(GHND, 128);
    return {nullptr, dead, reinterpret_cast<HGLOBAL>(uintptr_t(0x12345678)), small_,
            reinterpret_cast<HGLOBAL>(&local_)};
  }
  void TearDown() override {
    if (small_) GlobalFree(small_);
    FileTest::TearDown();
  }
  HGLOBAL small_ = nullptr;
  int local_ = 0;
};

TEST_F(BadHandleTest, HandleContainerAndFrameExportsReturnTheirFailureValue) {
  for (HGLOBAL h : bad_handles()) {
    SCOPED_TRACE(testing::Message() << "handle " << h);
    EXPECT_EQ(RAZIVERAUpdateDirectory(h), 0);
    EXPECT_EQ(RAZIVERAGetFileHandle(h), nullptr);
    EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_FORMAT_VERSION), 0u);
    EXPECT_EQ(RAZIVERASetInfo(h, RZ_INFO_FORMAT_VERSION, 1), 0u);
    EXPECT_EQ(DARARARCreateBaseHeader(h), 0);
    EXPECT_EQ(DARARARStartRecordWave(h), -1);
    EXPECT_EQ(DARARAREndRecordWave(h), 0);
    uint32_t head[16];
    EXPECT_EQ(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_WAVE_INFO, 0, head), 0);
    EXPECT_EQ(DARARARReadUpdateTotalFrame(h, 0), -1);
    // The frame exports, which pin their handle for the call.
    int16_t samples[64] = {};
    EXPECT_EQ(DARARARReadFrameInfo(h, 0), 0);
    EXPECT_EQ(DARARARCreateReadFrameBuf(h, 0, 10), 0);
    EXPECT_EQ(DARARARReadFrameWave(h, 0, 0), -1);
    EXPECT_EQ(DARARARReadFrameWaveEx(h, 0, -1, 2), -1);
    EXPECT_EQ(DARARARGetFrameWave(h, 0, 0, samples), 0);
    EXPECT_EQ(DARARARGetFrameWaveEx(h, 0, 0, samples, 0, 1), 0);
    EXPECT_EQ(DARARARCreateFrameBuf(h, 10), 0);
    EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 0, 2, samples), 0);
    EXPECT_EQ(DARARARSaveFrameWave(h, 1), 0);
    if (h) {
      EXPECT_EQ(RAZIVERACloseBioFile(h), h);
    } else {
      EXPECT_EQ(RAZIVERACloseBioFile(h), nullptr);
    }
  }
  EXPECT_NE(GlobalLock(small_), nullptr) << "the foreign block was left alone";
  GlobalUnlock(small_);
}
