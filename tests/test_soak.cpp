// Soak: thousands of handle and text-buffer lifetimes, and failed opens, leave
// no memory block, file descriptor or heap allocation behind (ASan's leak
// check runs over the whole suite in CI).
#include <dirent.h>

#include <string>

#include "platform/platform.h"
#include "support/recording.h"

using namespace rzt;

namespace {

size_t open_descriptors() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

}  // namespace

// Every handle holds a few megabytes of zero-filled slots, which
// AddressSanitizer maps afresh for each one: there the leak check gets
// hundreds of handle lifetimes, the plain build thousands.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kHandleCycles = 500;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kHandleCycles = 500;
#else
constexpr int kHandleCycles = 5000;
#endif
#else
constexpr int kHandleCycles = 5000;
#endif

class SoakTest : public FileTest {};

TEST_F(SoakTest, ThousandsOfLifetimesLeaveNothingBehind) {
  Layout L;
  L.rates = {10, 5};
  L.baseRate = 10;
  const std::string file = path("soak.vzp");
  {
    Bio h = begin_recording(*this, file, L, 2);
    write_frames(h, L, 0, 2);
    DARARARUpdateWaveInfo(h, 20);
    DARARARCreateEventTable(h, 0, 1, 2, 8);
    DARARARCreateEventInfo(h);
    DARARAREndRecordWave(h);
    DARARARCreateScoreTable(h, 1, 4);
    DARARARCreateScoreInfo(h, 0);
  }
  const size_t blocks = rz::plat::mem_live(nullptr);
  const size_t descriptors = open_descriptors();
  for (int cycle = 0; cycle < kHandleCycles; ++cycle) {
    HGLOBAL h = RAZIVERAOpenBioFile(file.c_str(), cycle % 3 == 0 ? 3 : 1, 1);
    ASSERT_NE(h, nullptr);
    if (cycle % 10 == 0) {
      // A review that takes every kind of block the handle owns.
      DARARARReadRecordInfo(h, 0);
      DARARARReadChannelInfo(h, 0);
      DARARARReadFrameInfo(h, 0);
      DARARARCreateReadFrameBuf(h, 0, 2);
      DARARARReadFrameWave(h, 0, 0);
      DARARARReadEventInfo(h, 0);
      DARARARReadEventInfo(h, 0);  // the second read replaces the first table
      DARARARReadScoreInfo(h, 0, 0);
      DARARARCreateScoreTable(h, 2, 8);
      // Opens that fail after taking their blocks give them all back.
      EXPECT_EQ(RAZIVERAOpenBioFile(path("missing.vzp").c_str(), RZ_OPEN_READ, 1), nullptr);
      EXPECT_EQ(RAZIVERAOpenBioFile(file.c_str(), 9, 1), nullptr);
    }
    // Text buffers the caller owns: thousands in either build.
    for (int k = 0; k < 8; ++k) {
      HGLOBAL texts = RAZIVERACreateTextBuffer(uint16_t(1 + (cycle * 8 + k) % 300));
      ASSERT_NE(texts, nullptr);
      EXPECT_EQ(RAZIVERASetTextBuffer(h, texts, -1, 4, 1, "abc"), 1);
      ASSERT_EQ(GlobalFree(texts), nullptr);
    }
    ASSERT_EQ(RAZIVERACloseBioFile(h), nullptr);
    if (cycle % 500 == 0) {
      ASSERT_EQ(rz::plat::mem_live(nullptr), blocks) << "cycle " << cycle;
      ASSERT_EQ(open_descriptors(), descriptors) << "cycle " << cycle;
    }
  }
  EXPECT_EQ(rz::plat::mem_live(nullptr), blocks);
  EXPECT_EQ(open_descriptors(), descriptors);
  RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr);
}
