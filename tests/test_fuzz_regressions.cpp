// The fuzz harness as ordinary tests: every input the fuzzers ever broke the
// library with is replayed through the target that found it, the seed
// recordings through all three, and each fix has a focused test of its own.
#include <dirent.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "format/layout.h"
#include "channels/frames.h"
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
  EXPECT_GE(replayed, 2u);
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

// ---- Focused tests of the fixes ---------------------------------------------------

class DamagedFramesTest : public FileTest {
 protected:
  // A recording of two ended records, each with two frames of channels at 500,
  // 250 and 100 Hz, and a score table behind the last frame area.
  std::string write(bool big) {
    Layout L;
    L.big = big;
    const std::string file = path(big ? "b.vzp" : "l.vzp");
    Bio h = begin_recording(*this, file, L, 2);
    EXPECT_EQ(write_frames(h, L, 0, 2), 2);
    EXPECT_GT(DARARARUpdateWaveInfo(h, 2 * L.baseRate), 0u);
    EXPECT_GT(DARARAREndRecordWave(h), 0);
    EXPECT_EQ(DARARARCreateScoreTable(h, 1, 4), 1);
    EXPECT_GT(DARARARCreateScoreInfo(h, 0), 0);
    return file;
  }
  static uint32_t frame_info(const std::string& file) {
    Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
    return uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_INFO, 0, nullptr));
  }
  static void read_description(HGLOBAL h) {
    EXPECT_EQ(DARARARReadRecordInfo(h, 0), 1);
    EXPECT_EQ(DARARARReadChannelInfo(h, 0), 1);
    EXPECT_EQ(DARARARReadFrameInfo(h, 0), 1);
  }
};

TEST_F(DamagedFramesTest, ChangeEventDataStaysInsideTheStoredFrameArea) {
  // Frame count raised past the frames stored (the score table follows them),
  // and the record length cut short in the middle of frame 1: in both, frame
  // 1 or the frame behind the area must not be written.
  struct Case {
    const char* what;
    bool cutRecord;
    uint32_t frame;
    bool written;
  };
  const Case cases[] = {
      {"last stored frame", false, 1, true},
      {"frame behind the area", false, 2, false},
      {"frame behind the record's end", true, 1, false},
      {"frame inside the shortened record", true, 0, true},
  };
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (big ? " big" : " little"));
      const std::string file = write(big);
      const uint32_t info = frame_info(file);
      const uint32_t fcs = 24 + (500 + 250 + 100) * 2;
      Bytes b = read_file(file);
      put32(b, info + rz::frames::info::kFrameCount, 6, big);
      if (c.cutRecord) put32(b, 32, info + 32 + fcs + fcs / 2 - 32, big);
      write_file(file, b);

      Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ_WRITE, 1));
      ASSERT_TRUE(h);
      read_description(h);
      const int32_t pos = DARARARChangeEventData(h, 0, 0x1234, 2, c.frame, 99);
      h.close();
      const Bytes after = read_file(file);
      if (c.written) {
        const uint32_t expected = info + 32 + c.frame * fcs + 24 + 1500 + 198;
        EXPECT_EQ(pos, int32_t(expected));
        for (size_t off : diff_offsets(b, after)) EXPECT_TRUE(off - expected < 2) << off;
        EXPECT_EQ(get16(after, expected, big), 0x1234);
      } else {
        EXPECT_EQ(pos, -1);
        EXPECT_TRUE(diff_offsets(b, after).empty());
      }
    }
  }
}

TEST_F(DamagedFramesTest, ReadBuffersOnlyForChannelBlocksTheFrameHolds) {
  // Channel 1's stored rate raised to 16 MHz: its block no longer fits the
  // stored frame, so neither it nor channel 2 behind it gets a read buffer,
  // while channel 0 still reads exactly.
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big" : "little");
    const std::string file = write(big);
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

    Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
    read_description(h);
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 1), 16000000u);
    EXPECT_EQ(DARARARCreateReadFrameBuf(h, 0, 2), 0);
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

TEST_F(FuzzRegressionTest, InPlaceEditorsNeverLengthenTheFile) {
  // A recording cut short inside a chunk whose head still claims its full
  // size: the editors that rewrite the missing bytes refuse, and the file
  // keeps its length and bytes.
  struct Case {
    const char* what;
    uint32_t type;
    uint32_t cutBehindHead;  // bytes of the chunk kept
    std::function<void(HGLOBAL)> read;
    std::function<int32_t(HGLOBAL)> edit;
    int32_t refused;
  };
  const Case cases[] = {
      {"text list", 3100, 24 + 8 + 2, [](HGLOBAL) {},
       [](HGLOBAL h) { return DARARARUpdateTextInfo(h, 0, 3100, 101, "changed"); }, -1},
      {"event data", 200, 24 + 8 + 5,
       [](HGLOBAL h) {
         EXPECT_EQ(DARARARReadEventInfo(h, 0), 1);
         uint8_t data[12] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
         EXPECT_EQ(DARARARSetEventTableInfo(h, 0, 1, 1, data), 1);
       },
       [](HGLOBAL h) { return DARARARUpdateEventInfo(h, 0); }, 0},
      {"event code", 140, 32 + 24 + 2,
       [](HGLOBAL h) {
         EXPECT_EQ(DARARARReadRecordInfo(h, 0), 1);
         EXPECT_EQ(DARARARReadChannelInfo(h, 0), 1);
         EXPECT_EQ(DARARARReadFrameInfo(h, 0), 1);
       },
       [](HGLOBAL h) { return DARARARChangeEventData(h, 0, 7, 0, 0, 1); }, -1},
  };
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (big ? ", big" : ", little"));
      const std::string file = path("cut.vzp");
      ASSERT_TRUE(rzfuzz::write_recording(file, big, true).closed);
      uint32_t at = 0;
      {
        Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
        at = uint32_t(RAZIVERAFindIndexPtr(h, 0, c.type, 0, nullptr));
      }
      ASSERT_GT(at, 0u);
      Bytes b = read_file(file);
      b.resize(at + c.cutBehindHead);
      write_file(file, b);
      Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ_WRITE, 1));
      ASSERT_TRUE(h);
      c.read(h);
      EXPECT_EQ(c.edit(h), c.refused);
      h.close();
      EXPECT_EQ(read_file(file), b);
    }
  }
}

TEST_F(FuzzRegressionTest, ChannelDefinitionsEndWithTheirRecord) {
  // Record 0's length cut inside its channel definitions (three entries of
  // 256 bytes behind a 32-byte head at 176): only the entries inside the
  // record are read and rewritten, nothing behind its end changes.
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big" : "little");
    const std::string file = path("cut.vzp");
    ASSERT_TRUE(rzfuzz::write_recording(file, big, true).closed);
    Bytes b = read_file(file);
    uint32_t at = 0;
    {
      Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
      at = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_CH_INFO, 0, nullptr));
    }
    ASSERT_GT(at, 0u);
    const uint32_t recordEnd = at + 32 + 2 * 256 + 100;  // inside entry 2
    put32(b, 32, recordEnd - 32, big);
    write_file(file, b);

    Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ_WRITE, 1));
    ASSERT_EQ(DARARARReadRecordInfo(h, 0), 1);
    ASSERT_EQ(DARARARReadChannelInfo(h, 0), 1);
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 1), 4u) << "entry 1 read";
    EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 2), 0u) << "entry 2 not read";
    DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 2, "changed");
    DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, 0, "changed");
    EXPECT_EQ(DARARARUpdateFrameChInfo(h, 0), 1) << "two entries rewritten";
    h.close();
    const Bytes after = read_file(file);
    EXPECT_FALSE(diff_offsets(b, after).empty());
    for (size_t off : diff_offsets(b, after)) EXPECT_LT(off, recordEnd);
    EXPECT_EQ(rzfuzz::edit_all(file), "");
  }
}

TEST_F(FuzzRegressionTest, FrameCountRepairStaysInsideTheWaveInformation) {
  // An out-of-range frame count is cleared in a writable file only where the
  // chunk's size covers it; a chunk whose size stops short leaves the bytes
  // behind it to the chunk they belong to.
  struct Case {
    uint32_t chunkSize;
    bool cleared;
  };
  for (bool big : {false, true}) {
    for (const Case c : {Case{128, true}, Case{28, true}, Case{27, false}, Case{20, false}}) {
      SCOPED_TRACE(std::to_string(c.chunkSize) + (big ? " big" : " little"));
      const std::string file = path("count.vzp");
      ASSERT_TRUE(rzfuzz::write_recording(file, big, true).closed);
      Bytes b = read_file(file);
      put32(b, 48, c.chunkSize, big);
      put32(b, 48 + 24, 9000000, big);
      write_file(file, b);
      Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ_WRITE, 1));
      EXPECT_EQ(DARARARReadRecordInfo(h, 0), 1);
      EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES), 0u);
      h.close();
      EXPECT_EQ(get32(read_file(file), 48 + 24, big), c.cleared ? 0u : 9000000u);
    }
  }
}

TEST_F(FuzzRegressionTest, ScoreTableIsNotAddedBehindARecordThatRunsPastTheFile) {
  // The last record's header claims far more than the file holds: the score
  // table is refused instead of being written behind a hole of zeros.
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big" : "little");
    const std::string file = path("long.vzp");
    ASSERT_TRUE(rzfuzz::write_recording(file, big, true).closed);
    Bytes b = read_file(file);
    const uint32_t record1 = 32 + get32(b, 32, big);
    put32(b, record1, 0x10000000, big);
    write_file(file, b);
    Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ_WRITE, 1));
    ASSERT_TRUE(h);
    ASSERT_EQ(DARARARCreateScoreTable(h, 2, 4), 1);
    EXPECT_EQ(DARARARCreateScoreInfo(h, 0), 0);
    h.close();
    EXPECT_EQ(read_file(file), b);
  }
}
