// Crash consistency: an acquisition process killed at a random moment loses
// no frame it saved before its last completed wave-information update.  A
// child process records frames as an acquisition application does (save,
// update the wave information, update the directory) and reports each
// completed update through shared memory; the parent kills it with SIGKILL
// and reads the file back.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "support/recording.h"

using namespace rzt;

namespace {

constexpr uint16_t kFramesPerSave = 1;
constexpr uint32_t kMaxFrames = 4000;

// Interleaved base-rate input for frames [first, first + count).
std::vector<int16_t> input_for(const Layout& L, uint32_t first, uint16_t count) {
  const size_t n = L.rates.size();
  const uint64_t rows = uint64_t(count) * L.frameSeconds * L.baseRate;
  std::vector<int16_t> input(rows * n);
  for (size_t c = 0; c < n; ++c) {
    const uint64_t step = L.baseRate / L.rates[c];
    const uint64_t s0 = uint64_t(first) * L.frameSeconds * L.rates[c];
    for (uint64_t j = 0; j < rows; ++j) input[j * n + c] = sample_value(uint32_t(c), s0 + j / step);
  }
  return input;
}

// The child: records until killed (or kMaxFrames), publishing after each
// completed update the number of frames that update made durable.  Plain API
// calls only: no test framework in the child.
[[noreturn]] void acquire(const std::string& file, const Layout& L, std::atomic<uint32_t>* durable) {
  HGLOBAL h = RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_CREATE, kFramesPerSave);
  if (!h) _exit(2);
  RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, L.big ? 1 : 0);
  DARARARCreateBaseHeader(h);
  DARARARStartRecordWave(h);
  const uint16_t channels = uint16_t(L.rates.size());
  DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, channels);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, L.frameSeconds);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, L.baseRate);
  for (uint16_t c = 0; c < channels; ++c) DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c, L.rates[c]);
  DARARARCreateWaveInfo(h);
  DARARARCreateFrameChInfo(h);
  DARARARCreateFrameBuf(h, kFramesPerSave);
  for (uint32_t f = 0; f < kMaxFrames; f += kFramesPerSave) {
    const std::vector<int16_t> input = input_for(L, f, kFramesPerSave);
    for (uint16_t c = 0; c < channels; ++c)
      DARARARSetFramePointWave(h, 0, kFramesPerSave, c, 2u * channels, input.data() + c);
    if (DARARARSaveFrameWave(h, kFramesPerSave) != kFramesPerSave) _exit(3);
    const uint32_t samples = (f + kFramesPerSave) * L.frameSeconds * L.baseRate;
    if (DARARARUpdateWaveInfo(h, samples) != samples) _exit(4);
    durable->store(f + kFramesPerSave);
    if (f % 8 == 0) RAZIVERAUpdateDirectory(h);
  }
  RAZIVERACloseBioFile(h);
  _exit(0);
}

}  // namespace

class CrashTest : public FileTest {};

TEST_F(CrashTest, FramesBeforeTheLastWaveInfoUpdateSurviveAKill) {
  auto* durable = static_cast<std::atomic<uint32_t>*>(
      mmap(nullptr, sizeof(std::atomic<uint32_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(durable, MAP_FAILED);
  std::mt19937 random(20240314u);
  Layout L;
  L.rates = {200, 100, 50};
  L.baseRate = 200;
  uint32_t killedWithFrames = 0;
  for (int round = 0; round < 24; ++round) {
    L.big = round % 2 == 1;
    const std::string file = path("crash" + std::to_string(round) + ".vzp");
    new (durable) std::atomic<uint32_t>(0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) acquire(file, L, durable);
    // Kill points from before the header to well into the recording: wait
    // for a random number of durable frames (so that a loaded machine moves
    // the kill points no earlier), then a random moment inside the cycles.
    const uint32_t target = round % 8 == 0 ? 0 : std::uniform_int_distribution<uint32_t>(1, 40)(random);
    for (int waited = 0; durable->load() < target && waited < 20000; ++waited) usleep(500);
    usleep(std::uniform_int_distribution<unsigned>(0, 3000)(random));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    const uint32_t saved = durable->load();
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(saved) + " frames durable");

    Bio r(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
    if (saved == 0) continue;  // killed before any update: the file may be anything it got to
    ++killedWithFrames;
    ASSERT_TRUE(r);
    ASSERT_EQ(DARARARReadRecordInfo(r, 0), 1);
    ASSERT_EQ(DARARARReadChannelInfo(r, 0), 1);
    ASSERT_EQ(DARARARReadFrameInfo(r, 0), 1);
    EXPECT_GE(DARARARGetWaveInfo(r, 0, RZ_WAVE_TOTAL_FRAMES), saved) << "the stored frame count";
    ASSERT_EQ(DARARARCreateReadFrameBuf(r, 0, L.frameSeconds), 0);
    std::vector<int16_t> out(L.baseRate * L.frameSeconds + 1024);
    for (uint32_t f = 0; f < saved; ++f) {
      ASSERT_GT(DARARARReadFrameWaveEx(r, 0, int32_t(f * L.frameSeconds), L.frameSeconds), 0);
      for (uint16_t c = 0; c < L.rates.size(); ++c) {
        const uint32_t n = L.rates[c] * L.frameSeconds;
        ASSERT_EQ(DARARARGetFrameWaveEx(r, 0, c, out.data(), 0, L.frameSeconds), int32_t(n));
        for (uint32_t i = 0; i < n; ++i)
          ASSERT_EQ(out[i], sample_value(c, uint64_t(f) * n + i)) << "frame " << f << " channel " << c;
      }
    }
  }
  munmap(durable, sizeof(std::atomic<uint32_t>));
  // The kill points must reach into the recording, or the test proves nothing.
  EXPECT_GE(killedWithFrames, 18u);
}
