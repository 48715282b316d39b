// Handles on different threads: eight threads each write a recording of their
// own and read it back while the others do the same.  Built with
// ThreadSanitizer in CI, this shows that the library's shared state (the
// memory-block registry, the fault seam, the error ring) is safe to share.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/recording.h"

using namespace rzt;

class ConcurrencyTest : public FileTest {};

TEST_F(ConcurrencyTest, EightThreadsWriteAndReadTheirOwnRecordings) {
  constexpr int kThreads = 8;
  constexpr uint16_t kFrames = 12;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Layout L;
      L.big = t % 2 == 1;
      L.rates = {250, 125, 50};
      L.baseRate = 250;
      const std::string file = path("thread" + std::to_string(t) + ".vzp");
      {
        Bio h = begin_recording(*this, file, L, 4);
        for (uint32_t f = 0; f < kFrames; f += 4) {
          if (write_frames(h, L, f, 4) != 4) ++wrong;
          DARARARUpdateWaveInfo(h, (f + 4) * L.baseRate);
        }
        HGLOBAL texts = RAZIVERACreateTextBuffer(4);
        RAZIVERASetTextBuffer(h, texts, -1, 8, uint16_t(t), "thread");
        if (DARARARCreateTextInfo(h, texts, 3100, 1) == 0) ++wrong;
        GlobalFree(texts);
        if (DARARAREndRecordWave(h) == 0) ++wrong;
      }
      Bio r = open_for_review(file, kFrames);
      if (DARARARGetWaveInfo(r, 0, RZ_WAVE_TOTAL_FRAMES) != kFrames) ++wrong;
      if (DARARARReadFrameWave(r, 0, 0) <= 0) ++wrong;
      std::vector<int16_t> out(kFrames * L.baseRate + 1024);
      for (uint16_t c = 0; c < L.rates.size(); ++c) {
        const uint32_t n = kFrames * L.rates[c];
        if (DARARARGetFrameWave(r, 0, c, out.data()) != int32_t(n)) ++wrong;
        for (uint32_t i = 0; i < n; ++i)
          if (out[i] != sample_value(c, i)) {
            ++wrong;
            break;
          }
      }
      char text[256];
      if (DARARARReadTextInfo(r, nullptr, 0, 3100) != 1 ||
          RAZIVERAGetTextIDBuffer(r, nullptr, uint16_t(t), text) == 0)
        ++wrong;
      // Failed opens record error codes on the shared ring meanwhile.
      RAZIVERAOpenBioFile(path("missing").c_str(), RZ_OPEN_READ, 1);
      RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr);
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}
