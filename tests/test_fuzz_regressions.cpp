// The fuzz harness as ordinary tests: every input the fuzzers ever broke the
// library with, and each damaged recording a fix was made for, is replayed
// through its target (fuzz/regressions/<target>/), the seed recordings through
// all three.  The harness holds every editor to the bytes of the chunk it
// names, so a kept input stands for the fix it was made for; what the harness
// cannot see (which channels get a read buffer) has a test of its own here.
#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "format/layout.h"
#include "frame/biofile.h"
#include "harness.h"
#include "seeds.h"
#include "support/recording.h"

using namespace rzt;

namespace {

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    out.push_back(dir + "/" + name);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

constexpr rzfuzz::Target kTargets[] = {rzfuzz::Target::Read, rzfuzz::Target::Edit,
                                       rzfuzz::Target::Copy};

}  // namespace

class FuzzRegressionTest : public FileTest {
 protected:
  std::string run(rzfuzz::Target t, const Bytes& b) {
    return rzfuzz::run(t, b.data(), b.size(), path(""));
  }
};

TEST_F(FuzzRegressionTest, KeptFindingsKeepTheirPromises) {
  size_t replayed = 0;
  for (rzfuzz::Target t : kTargets) {
    for (const std::string& file : files_in(std::string(RZ_FUZZ_REGRESSIONS) + "/" + rzfuzz::target_name(t))) {
      SCOPED_TRACE(file);
      EXPECT_EQ(run(t, read_file(file)), "");
      ++replayed;
    }
  }
  EXPECT_GE(replayed, 19u);
}

TEST_F(FuzzRegressionTest, SeedRecordingsReadEditAndCopyCleanly) {
  const std::vector<std::string> seeds = rzfuzz::make_seeds(path(""));
  ASSERT_EQ(seeds.size(), 4u);
  for (const std::string& seed : seeds) {
    SCOPED_TRACE(seed);
    const Bytes b = read_file(seed);
    // The seeds are whole recordings: their frames and tables read back.
    Bio h(RAZIVERAOpenBioFile(seed.c_str(), RZ_OPEN_READ, 1));
    ASSERT_TRUE(h);
    EXPECT_EQ(DARARARReadRecordInfo(h, 0), 1);
    EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 4u);
    EXPECT_EQ(DARARARReadEventInfo(h, 0), 3);
    EXPECT_EQ(DARARARReadUserDword(h, 0, 4, std::vector<uint32_t>(2).data(), 2), 2);
    h.close();
    for (rzfuzz::Target t : kTargets) EXPECT_EQ(run(t, b), "") << rzfuzz::target_name(t);
  }
}

TEST_F(FuzzRegressionTest, ReadBuffersOnlyForChannelBlocksTheFrameHolds) {
  // Channel 1's stored rate raised to 16 MHz: its block no longer fits the
  // stored frame, so neither it nor channel 2 behind it gets a read buffer,
  // while channel 0 still reads exactly.
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big" : "little");
    Layout L;
    L.big = big;
    const std::string file = path("f.vzp");
    {
      Bio h = begin_recording(*this, file, L, 2);
      EXPECT_EQ(write_frames(h, L, 0, 2), 2);
      EXPECT_GT(DARARARUpdateWaveInfo(h, 2 * L.baseRate), 0u);
    }
    Bytes b = read_file(file);
    uint32_t chInfo = 0;
    {
      Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
      chInfo = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_CH_INFO, 0, nullptr));
    }
    ASSERT_GT(chInfo, 0u);
    const uint32_t entry1 = chInfo + rz::frame_ch_info::kHeadSize + rz::frame_ch_entry::kSize;
    put32(b, entry1 + rz::frame_ch_entry::kSampling, 16000000, big);
    write_file(file, b);

    Bio h = open_for_review(file, 2);
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 1), 16000000u);
    {
      rz::Pinned<rz::BioFile> bf(h);
      const rz::RecordSlot& rs = bf->records[0];
      EXPECT_NE(rs.channels[0].frameBuf, nullptr);
      EXPECT_EQ(rs.channels[1].frameBuf, nullptr);
      EXPECT_EQ(rs.channels[2].frameBuf, nullptr);
    }
    EXPECT_GT(DARARARReadFrameWave(h, 0, 0), 0);
    std::vector<int16_t> out(4 * 500 + 512);
    EXPECT_EQ(DARARARGetFrameWave(h, 0, 0, out.data()), 1000);
    for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(out[i], sample_value(0, i)) << i;
    EXPECT_EQ(DARARARGetFrameWave(h, 0, 1, out.data()), 0);
    EXPECT_EQ(DARARARGetFrameWave(h, 0, 2, out.data()), 0);
  }
}
