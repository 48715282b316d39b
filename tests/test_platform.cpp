// The platform layer: movable blocks with a registry of live handles, the
// positioned file layer and the fault seam the failure tests rely on.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/faults.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace rz;
namespace faults = rz::plat::faults;

class PlatformTest : public rzt::FileTest {};

TEST_F(PlatformTest, BlocksAreZeroFilledLockableAndDieWhenFreed) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 100u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << "byte " << i;
  EXPECT_NE(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalUnlock(h), 1) << "still locked once";
  EXPECT_EQ(GlobalUnlock(h), 0);
  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalLock(h), nullptr) << "a freed handle must not lock";
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalFree(h), h) << "freeing twice reports the handle back";
}

TEST_F(PlatformTest, LiveBlocksAreCountedWithTheirSizes) {
  size_t bytes0 = 0;
  const size_t blocks0 = plat::mem_live(&bytes0);
  HGLOBAL a = plat::mem_alloc(plat::kMemFlags, 100);
  HGLOBAL b = plat::mem_alloc(plat::kMemMoveable, 28);
  size_t bytes = 0;
  EXPECT_EQ(plat::mem_live(&bytes), blocks0 + 2);
  EXPECT_EQ(bytes, bytes0 + 128);
  plat::mem_free(a);
  EXPECT_EQ(plat::mem_live(nullptr), blocks0 + 1);
  plat::mem_free(b);
  EXPECT_EQ(plat::mem_live(&bytes), blocks0);
  EXPECT_EQ(bytes, bytes0);
}

TEST_F(PlatformTest, MadeUpHandlesNeverLock) {
  for (uintptr_t v : {uintptr_t(1), uintptr_t(8), uintptr_t(0x1000), uintptr_t(-1)}) {
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(v)), nullptr) << v;
  }
  int local = 0;
  EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(&local)), nullptr);
}

TEST_F(PlatformTest, HandlesAreNotReusedAfterFree) {
  HGLOBAL a = GlobalAlloc(GHND, 16);
  GlobalFree(a);
  HGLOBAL b = GlobalAlloc(GHND, 16);
  EXPECT_NE(a, b) << "a stale handle must not alias a new block";
  // b may sit where a was: the stale handle still names nothing.
  EXPECT_EQ(GlobalLock(a), nullptr);
  EXPECT_EQ(GlobalSize(a), 0u);
  EXPECT_EQ(GlobalFree(a), a);
  EXPECT_EQ(GlobalSize(b), 16u) << "freeing the stale handle left the new block alone";
  GlobalFree(b);
}

TEST_F(PlatformTest, LargeBlocksAreZeroAgainAfterReuseAndCounted) {
  constexpr size_t kLarge = (size_t(6) << 20) + 3;  // an odd size above a page multiple
  size_t bytes0 = 0;
  const size_t blocks0 = plat::mem_live(&bytes0);
  // Round 0 dirties scattered pages (a handle's pattern), round 1 every byte;
  // the block of the next round, which may reuse those pages, is zero anyway.
  for (int round = 0; round < 3; ++round) {
    HGLOBAL h = plat::mem_alloc(plat::kMemFlags, kLarge);
    ASSERT_NE(h, nullptr);
    size_t bytes = 0;
    EXPECT_EQ(plat::mem_live(&bytes), blocks0 + 1);
    EXPECT_EQ(bytes, bytes0 + kLarge);
    size_t size = 0;
    auto* p = static_cast<uint8_t*>(plat::mem_lock_sized(h, kLarge, &size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size, kLarge);
    const uint8_t* dirty = std::find_if(p, p + kLarge, [](uint8_t b) { return b != 0; });
    ASSERT_EQ(dirty, p + kLarge) << "round " << round << " byte " << (dirty - p);
    if (round == 0) {
      for (size_t i = 100; i < kLarge; i += 5 * 4096 + 7) p[i] = 0x5A;
      p[kLarge - 1] = 0x5A;
    } else {
      std::memset(p, 0xA5, kLarge);
    }
    plat::mem_unlock(h);
    EXPECT_EQ(plat::mem_lock_sized(h, kLarge + 1, &size), nullptr) << "too small for the caller";
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(plat::mem_free(h));
  }
  EXPECT_EQ(plat::mem_live(nullptr), blocks0);
}

// A block whose owner noted how much of it was written is cleared only there
// when its memory comes back as the next block of its size; a block a caller
// locked through GlobalLock may have been written anywhere and is cleared
// whole, whatever its owner notes.
TEST_F(PlatformTest, ReusedMemoryIsClearedWhereverItCanHaveBeenWritten) {
  constexpr size_t kLarge = size_t(5) << 20;
  constexpr size_t kNoted = 3 * 4096 + 5;
  uint8_t* last = nullptr;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    HGLOBAL h = plat::mem_alloc(plat::kMemFlags, kLarge);
    ASSERT_NE(h, nullptr);
    const bool exposed = round == 2;
    auto* p = static_cast<uint8_t*>(exposed ? GlobalLock(h) : plat::mem_lock(h));
    ASSERT_NE(p, nullptr);
    if (round > 0 && p != last) GTEST_SKIP() << "the memory was not reused";
    last = p;
    ASSERT_EQ(std::find_if(p, p + kLarge, [](uint8_t b) { return b != 0; }), p + kLarge);
    std::memset(p, 0x5A, kNoted);
    if (exposed) p[kLarge - 1] = 0x5A;  // behind what the owner will note
    plat::mem_unlock(h);
    plat::mem_note_written(h, kNoted);
    EXPECT_TRUE(plat::mem_free(h));
  }
}

TEST_F(PlatformTest, RegistryIsSafeAcrossThreads) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 2000; ++i) {
        HGLOBAL h = plat::mem_alloc(plat::kMemFlags, 32);
        auto* p = static_cast<int*>(plat::mem_lock(h));
        if (!p) { ++failures; continue; }
        p[0] = t;
        plat::mem_unlock(h);
        if (!plat::mem_free(h)) ++failures;
      }
    });
  }
  // Lock-free look-ups of a block that stays live, beside the churn.
  HGLOBAL keep = plat::mem_alloc(plat::kMemFlags, 64);
  threads.emplace_back([&failures, keep] {
    for (int i = 0; i < 8000; ++i) {
      size_t size = 0;
      if (!plat::mem_lock_sized(keep, 64, &size) || size != 64) ++failures;
      plat::mem_unlock(keep);
    }
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(plat::mem_free(keep));
}

TEST_F(PlatformTest, FileLayerReadsWritesAndSeeksFromTheStart) {
  const std::string p = path("f.bin");
  HMMIO f = plat::file_open(p.c_str(), plat::kOpenCreate | plat::kOpenReadWrite);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(plat::file_write(f, "abcdef", 6), 6);
  EXPECT_EQ(plat::file_seek(f, 2), 2);
  char buf[8] = {};
  EXPECT_EQ(plat::file_read(f, buf, 8), 4) << "short at the end of the file";
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(plat::file_read(f, buf, 8), 0);
  EXPECT_LT(plat::file_seek(f, -1), 0);
  plat::file_close(f);
  uint32_t len = 0;
  ASSERT_TRUE(plat::file_length(p.c_str(), &len));
  EXPECT_EQ(len, 6u);
  EXPECT_EQ(plat::file_attributes(path("missing").c_str()), 0xFFFFFFFFu);
  EXPECT_FALSE(plat::file_length(path("missing").c_str(), &len));

  // Read-only and write-only opens refuse the other direction.
  f = plat::file_open(p.c_str(), plat::kOpenRead);
  EXPECT_LT(plat::file_write(f, "x", 1), 0);
  plat::file_close(f);
  f = plat::file_open(p.c_str(), plat::kOpenWrite);
  EXPECT_LT(plat::file_read(f, buf, 1), 0);
  plat::file_close(f);
}

TEST_F(PlatformTest, FaultSeamFailsTheNthCallOrLetsItFallShort) {
  faults::arm(faults::Op::Alloc, 2);
  HGLOBAL a = plat::mem_alloc(plat::kMemFlags, 8);
  HGLOBAL b = plat::mem_alloc(plat::kMemFlags, 8);
  HGLOBAL c = plat::mem_alloc(plat::kMemFlags, 8);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_NE(c, nullptr) << "one-shot by default";
  plat::mem_free(a);
  plat::mem_free(c);

  const std::string p = path("g.bin");
  HMMIO f = plat::file_open(p.c_str(), plat::kOpenCreate | plat::kOpenReadWrite);
  faults::arm(faults::Op::Write, 1, 3);
  EXPECT_EQ(plat::file_write(f, "abcdef", 6), 3);
  faults::arm(faults::Op::Write, 1, -1, true);
  EXPECT_LT(plat::file_write(f, "abcdef", 6), 0);
  EXPECT_LT(plat::file_write(f, "abcdef", 6), 0) << "sticky: the disk stays full";
  faults::reset();
  EXPECT_EQ(plat::file_write(f, "abcdef", 6), 6);
  faults::arm(faults::Op::Seek, 1);
  EXPECT_LT(plat::file_seek(f, 0), 0);
  plat::file_close(f);
  EXPECT_EQ(rzt::read_file(p).size(), 9u);
}

TEST_F(PlatformTest, StringTableHasTheFileTypeAndNoErrorTexts) {
  char buf[64];
  EXPECT_EQ(plat::load_string(1, buf, 64), 20);
  EXPECT_STREQ(buf, "VOZO-PSG File Format");
  EXPECT_EQ(plat::load_string(1, buf, 4), 3);
  EXPECT_STREQ(buf, "VOZ");
  EXPECT_GT(plat::load_string(2, buf, 64), 0);
  std::strcpy(buf, "keep");
  EXPECT_EQ(plat::load_string(1010, buf, 4), 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(plat::load_string(3, buf, 4), 0);
}
