// Injected faults: every family of writer under a failing or short write, the
// event and score tables under failing allocations, and sweeps that fail each
// allocation, write, read and seek of a whole recording session in turn.
// Whatever fails, the handle stays consistent, closes, and whatever the file
// then holds opens (or is refused) and reads without fault.
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/biofile.h"
#include "harness.h"
#include "platform/faults.h"
#include "seeds.h"
#include "support/recording.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

struct Positions {
  uint32_t writePos;
  uint32_t recordSize;
};

Positions positions(HGLOBAL h) {
  rz::Pinned<rz::BioFile> bf(h);
  const uint32_t r = bf->recordCount ? bf->recordCount - 1u : 0u;
  return {bf->writePos, bf->recordSize[r]};
}

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// The handle's own account of the file agrees with itself and with the disk:
// records follow one another, the last ends at the write position, and the
// disk holds every byte the handle counts.
std::string inconsistency(HGLOBAL h, const std::string& path) {
  rz::Pinned<rz::BioFile> bf(h);
  if (!bf) return "handle cannot be locked";
  if (bf->recordCount > rz::kMaxRecords) return "record count above 32";
  for (uint32_t r = 0; r + 1 < bf->recordCount; ++r)
    if (uint64_t(bf->recordOffset[r]) + bf->recordSize[r] > bf->recordOffset[r + 1])
      return "record " + std::to_string(r) + " overlaps the next";
  if (bf->recordCount && bf->writePos) {
    const uint32_t last = bf->recordCount - 1u;
    if (uint64_t(bf->recordOffset[last]) + bf->recordSize[last] != bf->writePos)
      return "write position is not the last record's end";
  }
  if (file_size(path) < bf->writePos) return "write position beyond the file";
  return {};
}

}  // namespace

class FaultTest : public FileTest {};

namespace {

// Every writer of a chunk, run once on a handle that has a record started and
// described, so that each has something to write.
struct Writer {
  const char* name;
  std::function<void(HGLOBAL)> prepare;
  std::function<void(HGLOBAL)> write;
};

std::vector<Writer> chunk_writers() {
  static const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  static const uint32_t values[2] = {1, 2};
  const auto none = [](HGLOBAL) {};
  return {
      {"wave information", none, [](HGLOBAL h) { DARARARCreateWaveInfo(h); }},
      {"channel definitions", none, [](HGLOBAL h) { DARARARCreateFrameChInfo(h); }},
      {"user channel values", none, [](HGLOBAL h) { DARARARCreateUserChInfo(h); }},
      {"non-linear table",
       [](HGLOBAL h) { DARARARSetNonLinearInfo(h, 0, RZ_NONLINEAR_COUNT, 0, 0, 2, 0, nullptr); },
       [](HGLOBAL h) { DARARARCreateNonLineaInfo(h, 0); }},
      {"text list", [](HGLOBAL h) { RAZIVERASetTextBuffer(h, nullptr, -1, 4, 1, "abc"); },
       [](HGLOBAL h) { DARARARCreateTextInfo(h, nullptr, 3100, 1); }},
      {"user text", [](HGLOBAL h) { RAZIVERASetTextBuffer(h, nullptr, -1, 4, 1, "abc"); },
       [](HGLOBAL h) { DARARARCreateUserText(h, nullptr, 1, 1); }},
      {"user information", none, [](HGLOBAL h) { DARARARCreateUserInfo(h, 0, 4000, 1, values, 2); }},
      {"user bytes", none, [](HGLOBAL h) { DARARARCreateUserByte(h, 1, 6, bytes); }},
      {"user floats", none,
       [](HGLOBAL h) { DARARARCreateUserFloat(h, 1, 1, reinterpret_cast<const float*>(values)); }},
      {"event table", [](HGLOBAL h) { DARARARCreateEventTable(h, 0, 1, 2, 4); },
       [](HGLOBAL h) { DARARARCreateEventInfo(h); }},
      // The frames saved behind a frame area whose head was not written.
      {"frame area", none,
       [](HGLOBAL h) {
         DARARARCreateFrameBuf(h, 1);
         DARARARSaveFrameWave(h, 1);
       }},
      {"frames", [](HGLOBAL h) { DARARARCreateFrameBuf(h, 2); },
       [](HGLOBAL h) { DARARARSaveFrameWave(h, 2); }},
  };
}

// A new file with record 0 started and described: two channels of 4 and 2 Hz.
Bio described(const std::string& file) {
  Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_CREATE, 1));
  EXPECT_TRUE(h);
  EXPECT_EQ(DARARARCreateBaseHeader(h), 1);
  EXPECT_EQ(DARARARStartRecordWave(h), 0);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, 2);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, 1);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, 4);
  DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 0, 4);
  DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 1, 2);
  return h;
}

}  // namespace

TEST_F(FaultTest, EveryWriterLeavesPositionsUnadvancedOnAFailedOrShortWrite) {
  std::vector<Writer> writers = chunk_writers();
  const auto none = [](HGLOBAL) {};
  writers.push_back({"record end", none, [](HGLOBAL h) { DARARAREndRecordWave(h); }});
  writers.push_back({"score table", [](HGLOBAL h) { DARARARCreateScoreTable(h, 1, 3); },
                     [](HGLOBAL h) { DARARARCreateScoreInfo(h, 1); }});
  struct Fault {
    const char* what;
    int32_t keep;
  };
  const Fault kinds[] = {{"failed", -1}, {"short", 3}, {"nothing written", 0}};
  for (const Writer& w : writers) {
    for (const Fault& f : kinds) {
      SCOPED_TRACE(std::string(w.name) + ", " + f.what);
      const std::string file = path(std::string(w.name) + f.what);
      Bio h = described(file);
      ASSERT_TRUE(h);
      w.prepare(h);
      const Positions before = positions(h);
      faults::arm(faults::Op::Write, 1, f.keep, true);
      w.write(h);
      faults::reset();
      const Positions after = positions(h);
      EXPECT_EQ(after.writePos, before.writePos);
      EXPECT_EQ(after.recordSize, before.recordSize);
      EXPECT_EQ(inconsistency(h, file), "");
      // The disk recovers: the next chunk goes where the failed one began.
      const uint32_t next = DARARARCreateWaveInfo(h);
      EXPECT_EQ(next, before.writePos + 128);
      EXPECT_EQ(inconsistency(h, file), "");
    }
  }
}

TEST_F(FaultTest, AChunkWhoseWriteFailsLeavesNothingWhereItsHeadBelonged) {
  // A chunk goes out in one write.  Were its head written apart and lost, its
  // entries, data or frames would stand where the head belonged, and a walk of
  // the record would end there, losing every chunk behind them.  Whatever the
  // writer, the file is the one the session makes without it.
  for (const Writer& w : chunk_writers()) {
    // A batch of frames whose write fails is tried again frame by frame: the
    // frames then stand whole, and the frame tests hold them to it.
    if (std::string(w.name) == "frames") continue;
    SCOPED_TRACE(w.name);
    const auto session = [&](const std::string& file, bool failing) {
      Bio h = described(file);
      w.prepare(h);
      if (failing) {
        faults::arm(faults::Op::Write, 1);
        w.write(h);
        faults::reset();
      }
      EXPECT_GT(DARARARCreateWaveInfo(h), 0u);
      EXPECT_GT(DARARAREndRecordWave(h), 0);
    };
    session(path("clean.vzp"), false);
    session(path("failed.vzp"), true);
    EXPECT_EQ(diff_offsets(read_file(path("clean.vzp")), read_file(path("failed.vzp"))),
              std::vector<size_t>{});
    Bio r(RAZIVERAOpenBioFile(path("failed.vzp").c_str(), RZ_OPEN_READ, 1));
    EXPECT_EQ(DARARARReadRecordInfo(r, 0), 1) << "the chunk behind the failed one is found";
  }
}

TEST_F(FaultTest, AFailedRecordStartLeavesEveryStoredRecordAsItWas) {
  // A record start whose header cannot be written (a handle that may only
  // read, a full disk) changes neither the handle's record table nor its write
  // position; every writer and the record end called after it then have no
  // record to add to, and the stored records keep every byte.
  const std::string stored = path("stored.vzp");
  {
    Bio h = described(stored);
    ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
    ASSERT_EQ(DARARARStartRecordWave(h), 1);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  struct Case {
    const char* what;
    uint16_t mode;  // 4: the handle that wrote and ended record 0 goes on
    bool diskFull;
  };
  const Case cases[] = {{"opened for reading", 1, false},
                        {"opened for editing, disk full", 3, true},
                        {"still writing, disk full", 4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = c.mode == 4 ? path("writing.vzp") : stored;
    Bio h;
    if (c.mode == 4) {
      h = described(file);
      ASSERT_GT(DARARARCreateWaveInfo(h), 0u);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    } else {
      h = Bio(RAZIVERAOpenBioFile(file.c_str(), c.mode, 1));
    }
    ASSERT_TRUE(h);
    const Bytes before = read_file(file);
    const auto table = [&] {
      rz::Pinned<rz::BioFile> bf(h);
      const uint32_t last = bf->recordCount - 1u;
      return std::vector<uint32_t>{bf->recordCount, bf->recordOffset[last], bf->recordSize[last],
                                   bf->writePos};
    };
    const std::vector<uint32_t> kept = table();
    if (c.diskFull) faults::arm(faults::Op::Write, 1, -1, true);
    EXPECT_EQ(DARARARStartRecordWave(h), -1);
    faults::reset();
    EXPECT_EQ(table(), kept) << "record count, last offset and size, write position";
    for (const Writer& w : chunk_writers()) {
      w.prepare(h);
      w.write(h);
    }
    DARARARUpdateWaveInfo(h, 8);
    DARARAREndRecordWave(h);
    EXPECT_EQ(table(), kept);
    EXPECT_EQ(diff_offsets(before, read_file(file)), std::vector<size_t>{});
    if (c.diskFull) {
      // With the disk back, the next record goes behind the last stored one.
      EXPECT_EQ(DARARARStartRecordWave(h), int32_t(kept[0]));
      EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), before.size() + 16);
    }
  }
}

TEST_F(FaultTest, FailedTableAllocationsLeaveNoTable) {
  // Creating or reading an event or score table whose block cannot be had
  // leaves the record or handle without any table, never with the old one or
  // a half-made one.
  const std::string file = path("tables.vzp");
  ASSERT_TRUE(rzfuzz::write_recording(file, false, true).closed);
  struct Case {
    const char* what;
    std::function<int32_t(HGLOBAL)> make;
    std::function<bool(HGLOBAL)> hasTable;
  };
  const auto eventTable = [](HGLOBAL h) { return DARARARGetWaveInfo(h, 0, RZ_WAVE_HAS_EVENT_TABLE) == 1; };
  const auto scoreTable = [](HGLOBAL h) {
    uint32_t count = 0;
    return DARARARGetScoreTableInfo(h, RZ_SCORE_COUNT, 0, &count) == 1;
  };
  const Case cases[] = {
      {"event table created", [](HGLOBAL h) { return DARARARCreateEventTable(h, 0, 2, 5, 8); }, eventTable},
      {"event table read", [](HGLOBAL h) { return DARARARReadEventInfo(h, 0); }, eventTable},
      {"score table created", [](HGLOBAL h) { return DARARARCreateScoreTable(h, 2, 9); }, scoreTable},
      {"score table read", [](HGLOBAL h) { return DARARARReadScoreInfo(h, 1, 0); }, scoreTable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bio h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_READ, 1));
    ASSERT_TRUE(h);
    // A table already there, which the new one would replace.
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 2, 4), 1);
    ASSERT_EQ(DARARARCreateScoreTable(h, 1, 4), 1);
    ASSERT_TRUE(c.hasTable(h));
    faults::arm(faults::Op::Alloc, 1);
    EXPECT_EQ(c.make(h), 0);
    faults::reset();
    EXPECT_FALSE(c.hasTable(h));
    // The next attempt, with memory to be had, works again.
    EXPECT_GT(c.make(h), 0);
    EXPECT_TRUE(c.hasTable(h));
  }
}

// ---- Sweeps over a whole recording session ------------------------------------------

struct Sweep {
  faults::Op op;
  const char* name;
  int32_t keep;
  bool sticky;
  bool ended;  // the session ends its records and adds a score table
  // Every stride-th call is failed; 1 for writes, so that each write of the
  // session fails once.  Locks come by the hundred: a spread of them meets
  // every writer.
  uint64_t stride;
  bool edit;  // every in-place editor too runs over what every fourth left
};

class SessionSweepTest : public FileTest, public ::testing::WithParamInterface<Sweep> {};

TEST_P(SessionSweepTest, EveryFailingCallLeavesAConsistentHandleAndAReadableFile) {
  const Sweep sweep = GetParam();
  // How many calls of this kind a clean session makes.
  const std::string clean = path("clean.vzp");
  faults::reset();
  ASSERT_TRUE(rzfuzz::write_recording(clean, false, sweep.ended).closed);
  const uint64_t calls = faults::calls(sweep.op);
  ASSERT_GT(calls, 0u);
  for (uint64_t n = 1; n <= calls + 1; n += sweep.stride) {
    // Both byte orders, alternately.
    const bool big = n % 2 == 0;
    SCOPED_TRACE(std::string(sweep.name) + " call " + std::to_string(n) + " of " +
                 std::to_string(calls) + (big ? ", big" : ", little"));
    const std::string file = path("swept.vzp");
    std::string broken;
    faults::arm(sweep.op, n, sweep.keep, sweep.sticky);
    const rzfuzz::SessionResult result = rzfuzz::write_recording(file, big, sweep.ended, [&](HGLOBAL h) {
      // The check itself runs without faults; the close after it meets the
      // fault still to come, if any.
      const uint64_t made = faults::calls(sweep.op);
      faults::reset();
      broken = inconsistency(h, file);
      if (made < n) faults::arm(sweep.op, n - made, sweep.keep, sweep.sticky);
      else if (sweep.sticky) faults::arm(sweep.op, 1, sweep.keep, true);
    });
    faults::reset();
    EXPECT_EQ(broken, "");
    // A close that met the fault itself leaves the handle whole: the next one
    // releases it.
    if (result.handle) {
      EXPECT_EQ(RAZIVERACloseBioFile(result.handle), nullptr);
    }
    // Whatever the session left, every reader (and editor) meets it safely.
    EXPECT_EQ(rzfuzz::read_all(file), "");
    if (sweep.edit && n % 4 == 1) {
      EXPECT_EQ(rzfuzz::edit_all(file), "");
    }
    if (::testing::Test::HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SessionSweepTest,
    ::testing::Values(Sweep{faults::Op::Write, "FailedWrite", -1, false, true, 1, true},
                      Sweep{faults::Op::Write, "ShortWrite", 5, false, false, 1, true},
                      Sweep{faults::Op::Write, "FullDisk", 0, true, true, 1, false},
                      Sweep{faults::Op::Alloc, "FailedAlloc", -1, false, true, 1, false},
                      Sweep{faults::Op::Lock, "FailedLock", -1, false, true, 5, false},
                      Sweep{faults::Op::Seek, "FailedSeek", -1, false, true, 2, false},
                      Sweep{faults::Op::Read, "FailedRead", -1, false, true, 1, false}),
    [](const ::testing::TestParamInfo<Sweep>& info) { return std::string(info.param.name); });

TEST_F(FaultTest, ReadersMeetFailingReadsAndSeeksSafely) {
  // A review of a whole recording whose every n-th read or seek fails or
  // falls short: no fault, whatever the readers then deliver.
  const std::string file = path("review.vzp");
  ASSERT_TRUE(rzfuzz::write_recording(file, true, true).closed);
  faults::reset();
  ASSERT_EQ(rzfuzz::read_all(file), "");
  const uint64_t reads = faults::calls(faults::Op::Read);
  int round = 0;
  for (uint64_t n = 1; n <= reads; n += 1 + reads / 24, ++round) {
    const int32_t keep = round % 2 ? 7 : -1;
    SCOPED_TRACE("read " + std::to_string(n) + " keeps " + std::to_string(keep));
    faults::arm(faults::Op::Read, n, keep);
    EXPECT_EQ(rzfuzz::read_all(file), "");
    faults::reset();
  }
}
