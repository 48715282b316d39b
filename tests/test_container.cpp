// The container: base header, records, the record scan, the chunk search and
// the append rule, in both byte orders.
#include <cstring>
#include <string>
#include <vector>

#include "container/container.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

class ContainerTest : public FileTest {};

TEST_F(ContainerTest, NewFileWithOneEmptyRecordIsThe64ByteExample) {
  {
    Bio h = create("a.vzp");
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(DARARAREndRecordWave(h), 64);
  }
  const Bytes b = read_file(path("a.vzp"));
  ASSERT_EQ(b.size(), 64u);
  EXPECT_EQ(text_at(b, 0, 32), "VOZO-SPG00011000LS0001          ");
  EXPECT_EQ(get32(b, 32), 32u);
  EXPECT_EQ(get32(b, 36), 10u);
  EXPECT_EQ(get32(b, 40), 1u);
  EXPECT_EQ(get32(b, 44), 0u);
  for (size_t i = 48; i < 64; ++i) EXPECT_EQ(b[i], 0) << i;

  Bio r = open("a.vzp", 1);
  ASSERT_TRUE(r);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->recordOffset[0], 32u);
  EXPECT_EQ(bf->recordSize[0], 32u);
  for (uint32_t type : {10u, 100u, 120u, 140u, 0u}) {
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, type, 0, nullptr), 0) << type;
  }
}

TEST_F(ContainerTest, BaseHeaderSpellsCodesAndLetters) {
  const struct {
    uint16_t code, order, letter;
    const char* text;
  } cases[] = {{0, 0, 0, "00LS"}, {1, 1, 1, "01BJ"}, {2, 2, 2, "---E"}, {7, 9, 3, "----"}};
  for (const auto& c : cases) {
    char out[32];
    rz::container::base_header::compose(out, c.code, c.order, c.letter);
    EXPECT_EQ(std::string(out + 14, 4), c.text);
    EXPECT_EQ(std::string(out, 14), "VOZO-SPG000110");
    EXPECT_EQ(std::string(out + 18, 14), "0000          ");
  }
}

TEST_F(ContainerTest, TwoRecordsAreFoundOnReopening) {
  {
    Bio h = create("a.vzp");
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(DARARAREndRecordWave(h), 64);
    EXPECT_EQ(DARARARStartRecordWave(h), 1);
    EXPECT_EQ(DARARAREndRecordWave(h), 96);
  }
  const Bytes b = read_file(path("a.vzp"));
  EXPECT_EQ(text_at(b, 18, 4), "0002");
  EXPECT_EQ(get32(b, 72), 2u) << "second record is number 2";
  Bio r = open("a.vzp", 1);
  ASSERT_TRUE(r);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->recordCount, 2);
  EXPECT_EQ(bf->recordOffset[1], bf->recordOffset[0] + bf->recordSize[0]);
  EXPECT_EQ(bf->recordSize[1], 32u);
}

TEST_F(ContainerTest, EndingARecordTwiceAddsASecondTerminator) {
  Bio h = create("a.vzp");
  DARARARStartRecordWave(h);
  EXPECT_EQ(DARARAREndRecordWave(h), 64);
  EXPECT_EQ(DARARAREndRecordWave(h), 80);
  h.close();
  EXPECT_EQ(get32(read_file(path("a.vzp")), 32), 48u);
}

TEST_F(ContainerTest, ANeverEndedFirstRecordIsSizedFromTheFileLength) {
  FileImage img;
  img.start_record();
  img.chunk(100, 0, Bytes(116, 0));
  img.chunk(140, 0, Bytes(500, 0));
  img.save(path("a.vzp"));
  Bio r = open("a.vzp", 1);
  ASSERT_TRUE(r);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->recordSize[0], img.bytes().size() - 32);
  EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_FRAME_INFO, 0, nullptr), 32 + 16 + 128);
}

TEST_F(ContainerTest, BigEndianRecordHeadersAreReversedAndTheTextIsNot) {
  {
    Bio h = create("b.vzp", true);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(DARARAREndRecordWave(h), 64);
  }
  const Bytes b = read_file(path("b.vzp"));
  EXPECT_EQ(text_at(b, 0, 32), "VOZO-SPG00011000BS0001          ");
  EXPECT_EQ(get32(b, 32, true), 32u);
  EXPECT_EQ(get32(b, 36, true), 10u);
  EXPECT_EQ(get32(b, 40, true), 1u);
  Bio r = open("b.vzp", 1);
  ASSERT_TRUE(r);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->recordSize[0], 32u);
}

// A record with chunks 100 (id 0), 2600 (ids 1, 2, 3), 3000 (id 7).
static FileImage chunky(bool big) {
  FileImage img(big);
  img.start_record();
  img.chunk(100, 0, Bytes(116, 0xAA));
  for (uint32_t id = 1; id <= 3; ++id) img.chunk(2600, id, words({id * 11, 0, 0, 0, 0}, big));
  img.chunk(3000, 7, words({0, 5, 6, 7}, big));
  img.end_record();
  return img;
}

TEST_F(ContainerTest, ChunkSearchFindsByTypeAndIdInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    chunky(big).save(path("c.vzp"));
    Bio r = open("c.vzp", 1);
    ASSERT_TRUE(r);
    const int32_t first = RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 0, nullptr);
    EXPECT_EQ(first, 48 + 128) << "id 0 takes the first chunk of the type";
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 1, nullptr), first);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 3, nullptr), first + 2 * 32);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 4, nullptr), 0);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_SCORE_TABLE, 7, nullptr), first + 3 * 32);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_USER_CH_INFO, 0, nullptr), 0) << "stops at the terminator";
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 1, RZ_CHUNK_WAVE_INFO, 0, nullptr), 0) << "no such record";

    uint32_t head[16];
    std::memset(head, 0xCC, sizeof head);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 2, head), first + 32);
    EXPECT_EQ(head[0], 32u) << "head words come back in machine order";
    EXPECT_EQ(head[1], 2600u);
    EXPECT_EQ(head[2], 2u);
    EXPECT_EQ(head[3], 22u);

    rz::Pinned<rz::BioFile> bf(r);
    uint8_t buf[16];
    uint32_t pos = 99;
    EXPECT_NE(rz::container::find_chunk(*bf, 0, 3000, 0, buf, sizeof buf, &pos), 0u);
    EXPECT_EQ(pos, 4u) << "position among the record's chunks";
    EXPECT_EQ(rz::load_u32(buf, 4, big), 3000u) << "the buffer keeps file order";
  }
}

TEST_F(ContainerTest, ChunkSearchSurvivesDamagedSizes) {
  FileImage img;
  img.start_record();
  img.chunk(100, 0, Bytes(4, 0), 0xFFFFFFF0u);  // size runs past 4 GiB
  img.end_record();
  img.save(path("d.vzp"));
  Bio r = open("d.vzp", 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_NONLINEAR_INFO, 0, nullptr), 0);

  // A chain of tiny chunks ends at the 1000-chunk limit, not in a loop.
  FileImage loop;
  loop.start_record();
  for (int i = 0; i < 1200; ++i) loop.chunk(7, 0, {});
  loop.end_record();
  loop.save(path("e.vzp"));
  Bio e = open("e.vzp", 1);
  ASSERT_TRUE(e);
  EXPECT_EQ(RAZIVERAFindIndexPtr(e, 0, 8, 0, nullptr), 0);
  rz::Pinned<rz::BioFile> bf(e);
  uint8_t buf[12];
  uint32_t pos = 0;
  rz::container::find_chunk(*bf, 0, 8, 0, buf, sizeof buf, &pos);
  EXPECT_EQ(pos, 999u);

  // A size that steps over the terminator lands on the next record's header:
  // the search stops at its record's end instead of taking that header for a
  // chunk of the record.
  FileImage over;
  over.start_record();
  over.chunk(7, 0, Bytes(4, 0), 16 + rz::container::chunk_head::kHeadSize + 4);
  over.end_record();
  over.start_record();
  over.end_record();
  over.save(path("f.vzp"));
  Bio f = open("f.vzp", 1);
  ASSERT_TRUE(f);
  EXPECT_EQ(RAZIVERAFindIndexPtr(f, 0, RZ_CHUNK_RECORD, 0, nullptr), 0);
}

TEST_F(ContainerTest, AThirtyThirdRecordIsRefusedAndWritesNothing) {
  Bio h = create("a.vzp");
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(DARARARStartRecordWave(h), i);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  const uint32_t before = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
  EXPECT_EQ(DARARARStartRecordWave(h), -1);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), before);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), 32u);
  h.close();
  EXPECT_EQ(read_file(path("a.vzp")).size(), before);
  Bio r = open("a.vzp", 1);
  EXPECT_EQ(RAZIVERAGetInfo(r, RZ_INFO_RECORD_COUNT), 32u);
}

TEST_F(ContainerTest, BaseHeaderGoesToOffsetZeroAndNeverOverStoredRecords) {
  {
    Bio h = create("a.vzp");
    DARARARStartRecordWave(h);
    DARARAREndRecordWave(h);
  }
  const Bytes before = read_file(path("a.vzp"));
  Bio h = open("a.vzp", 3);
  ASSERT_TRUE(h);
  EXPECT_EQ(DARARARCreateBaseHeader(h), 0) << "the file holds a record";
  h.close();
  EXPECT_EQ(read_file(path("a.vzp")), before);

  Bio n(RAZIVERAOpenBioFile(path("n.vzp").c_str(), RZ_OPEN_CREATE, 1));
  EXPECT_EQ(DARARARCreateBaseHeader(n), 1);
  EXPECT_EQ(DARARARCreateBaseHeader(n), 1) << "rewritten in place, not appended";
  EXPECT_EQ(RAZIVERAGetInfo(n, RZ_INFO_WRITE_POS), 32u);
  n.close();
  EXPECT_EQ(read_file(path("n.vzp")).size(), 32u);
}

TEST_F(ContainerTest, EditingHandlesAppendBehindTheLastRecord) {
  {
    Bio h = create("a.vzp");
    DARARARStartRecordWave(h);
    DARARAREndRecordWave(h);
  }
  const Bytes before = read_file(path("a.vzp"));
  {
    Bio h = open("a.vzp", 3);
    ASSERT_TRUE(h);
    EXPECT_EQ(DARARAREndRecordWave(h), 0) << "nothing started through this handle";
    rz::Pinned<rz::BioFile> bf(h);
    EXPECT_EQ(rz::container::current_record(*bf), -1);
    EXPECT_EQ(DARARARStartRecordWave(h), 1);
    EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), 64u + 16u);
    EXPECT_EQ(DARARAREndRecordWave(h), 96);
  }
  const Bytes after = read_file(path("a.vzp"));
  ASSERT_EQ(after.size(), 96u);
  EXPECT_EQ(text_at(after, 18, 4), "0002");
  EXPECT_TRUE(std::equal(before.begin() + 22, before.end(), after.begin() + 22))
      << "the stored record is untouched";
  Bio r = open("a.vzp", 1);
  EXPECT_EQ(RAZIVERAGetInfo(r, RZ_INFO_RECORD_COUNT), 2u);
}

TEST_F(ContainerTest, FailedWritesAreReportedAndNotCounted) {
  Bio h(RAZIVERAOpenBioFile(path("a.vzp").c_str(), RZ_OPEN_CREATE, 1));
  faults::arm(faults::Op::Write, 1, 10);
  EXPECT_EQ(DARARARCreateBaseHeader(h), 0);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_HEADER_VALID), 1u) << "headerValid is set all the same";
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), 0u);
  ASSERT_EQ(DARARARCreateBaseHeader(h), 1);

  faults::arm(faults::Op::Write, 1);
  EXPECT_EQ(DARARARStartRecordWave(h), -1) << "a failed start is a failure, not the last index";
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT), 0u);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), 32u);
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  faults::arm(faults::Op::Write, 1);  // the terminator
  EXPECT_EQ(DARARAREndRecordWave(h), 48) << "header rewritten, terminator not counted";
  faults::arm(faults::Op::Write, 2);  // the header rewrite
  EXPECT_EQ(DARARAREndRecordWave(h), 0);
}

TEST_F(ContainerTest, ReadUpdateTotalFrameFollowsAGrowingFile) {
  FileImage img;
  img.start_record();
  Bytes wave(116, 0);
  img.chunk(100, 0, wave);
  img.save(path("g.vzp"));
  Bio r = open("g.vzp", 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(DARARARReadUpdateTotalFrame(r, 0), 0);
  EXPECT_EQ(DARARARReadUpdateTotalFrame(r, 1), -1);

  // The writer grows the record and updates its frame count.
  put32(img.bytes(), 48 + 24, 42);
  img.chunk(140, 0, Bytes(1000, 0));
  img.save(path("g.vzp"));
  EXPECT_EQ(DARARARReadUpdateTotalFrame(r, 0), 42);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->recordSize[0], img.bytes().size() - 32) << "the rescan saw the growth";
  EXPECT_EQ(bf->records[0].totalFrames, 42u);
}

TEST_F(ContainerTest, ReadUpdateTotalFrameKeepsAWritersOwnRecordTable) {
  Bio h = create("w.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  uint8_t wave[128] = {};
  rz::Packed p(wave, sizeof wave, false);
  p.u32(0, 128);
  p.u32(4, 100);
  p.u32(24, 9);
  rz::Pinned<rz::BioFile> bf(h);
  ASSERT_TRUE(rz::container::append(*bf, 0, wave, sizeof wave));
  // Junk behind writePos must not be taken into the writer's record length.
  Bytes junk(300, 0x55);
  ASSERT_TRUE(rz::container::write_at(*bf, bf->writePos, junk.data(), 300));
  EXPECT_EQ(DARARARReadUpdateTotalFrame(h, 0), 9);
  EXPECT_EQ(bf->recordSize[0], 16u + 128u);
}

TEST_F(ContainerTest, AppendRefusesWithoutAStartedRecord) {
  Bio h = create("a.vzp");
  rz::Pinned<rz::BioFile> bf(h);
  EXPECT_EQ(rz::container::current_record(*bf), -1);
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  EXPECT_EQ(rz::container::current_record(*bf), 0);
  EXPECT_TRUE(rz::container::append(*bf, 0, "abcd", 4));
  EXPECT_EQ(bf->writePos, 52u);
  EXPECT_EQ(bf->recordSize[0], 20u);
  faults::arm(faults::Op::Write, 1, 2);
  EXPECT_FALSE(rz::container::append(*bf, 0, "efgh", 4));
  EXPECT_EQ(bf->writePos, 52u);
  EXPECT_EQ(bf->recordSize[0], 20u);
}

// Sample runs are converted several values at a time: every length (whole
// wide and narrow registers, whole words and the values left over), unaligned
// starts, a copy and in place.
TEST(ByteOrder, SixteenBitRunsSwapEveryValueAtAnyLengthAndAlignment) {
  for (size_t count = 0; count < 45; ++count) {
    for (size_t shift : {0, 1, 3}) {
      SCOPED_TRACE(testing::Message() << count << " values, offset " << shift);
      std::vector<uint8_t> src(shift + 2 * count + 4, 0xEE), dst(src.size(), 0xEE);
      for (size_t i = 0; i < 2 * count; ++i) src[shift + i] = uint8_t(i + 1);
      rz::copy_words16(dst.data() + shift, src.data() + shift, count, !rz::kHostBigEndian);  // the other order
      std::vector<uint8_t> inPlace = src;
      rz::reverse_words16(inPlace.data(), shift, count);
      for (size_t i = 0; i < 2 * count; ++i) {
        const uint8_t want = src[shift + (i ^ 1)];
        ASSERT_EQ(dst[shift + i], want) << i;
        ASSERT_EQ(inPlace[shift + i], want) << i;
      }
      for (size_t i = shift + 2 * count; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xEE) << "written past the run";
      rz::copy_words16(dst.data() + shift, src.data() + shift, count, rz::kHostBigEndian);
      ASSERT_EQ(std::memcmp(dst.data() + shift, src.data() + shift, 2 * count), 0);
    }
  }
}
