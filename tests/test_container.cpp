// The container: base header, records, the record scan, the chunk search and
// the append rule, in both byte orders.
#include <algorithm>
#include <cstring>
#include <random>
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

// The chunk search as the format's walk reads it, one head at a time from the
// file's bytes: the offset of the first match, `buf` the first `len` bytes of
// the last head read (zero past the file's end; untouched when none was).
static uint32_t walked_search(const Bytes& file, uint64_t begin, uint64_t end, bool big, uint32_t type,
                              uint32_t id, Bytes& buf) {
  const auto read = [&](uint64_t pos, void* head, size_t n) -> size_t {
    std::fill(buf.begin(), buf.end(), 0);
    const size_t got = pos < file.size() ? std::min<size_t>(buf.size(), file.size() - pos) : 0;
    if (got) std::memcpy(buf.data(), file.data() + pos, got);
    std::memcpy(head, buf.data(), n);
    return std::min(got, n);
  };
  auto walk = rz::container::walk_chunks(read, begin, end, big);
  rz::container::ChunkHeadView c;
  while (walk.next(c))
    if (c.type == type && (id == 0 || c.id == id)) return uint32_t(c.offset);
  return 0;
}

// Heads are read a block at a time; whatever the chunks' sizes, wherever a
// head falls against a block's edge, however the chain is damaged and however
// long the head the caller asks for, the search finds what the walk finds
// and hands back the same bytes.
TEST_F(ContainerTest, ChunkSearchFindsWhatTheWalkFindsAcrossBlocks) {
  std::mt19937 rng(19);
  const uint32_t kBlock = rz::container::HeadBlock::kBlockSize;
  const uint32_t bodies[] = {0, 4, 20, 116, kBlock - 30, kBlock - 12, kBlock - 4, kBlock, kBlock + 100, 3 * kBlock};
  for (int round = 0; round < 60; ++round) {
    const bool big = round % 2 == 1;
    SCOPED_TRACE("round " + std::to_string(round));
    FileImage img(big);
    img.start_record();
    const int chunks = 1 + int(rng() % 12);
    for (int i = 0; i < chunks; ++i) {
      const uint32_t body = bodies[rng() % (sizeof bodies / sizeof bodies[0])] + rng() % 8;
      img.chunk(100 + rng() % 4, rng() % 3, Bytes(body, uint8_t(rng())));
    }
    img.end_record();
    Bytes& b = img.bytes();
    // Damage in some rounds: a size word stepping elsewhere, a record length
    // past the file's end, a file cut inside a head.
    switch (round % 5) {
      case 2: {
        const size_t at = 48 + 12 * (rng() % 4);
        if (at + 4 <= b.size()) put32(b, at, rng() % 9000, big);
        break;
      }
      case 3: put32(b, 32, uint32_t(b.size()) + 500, big); break;
      case 4: b.resize(b.size() - 1 - rng() % 40); break;
      default: break;
    }
    img.save(path("c.vzp"));
    Bio r = open("c.vzp", 1);
    ASSERT_TRUE(r);
    rz::Pinned<rz::BioFile> bf(r);
    const uint64_t begin = bf->recordOffset[0];
    const uint64_t end = begin + bf->recordSize[0];
    for (uint32_t len : {12u, 64u, 128u, kBlock + 8}) {
      for (uint32_t type = 99; type <= 104; ++type) {
        for (uint32_t id = 0; id <= 3; ++id) {
          Bytes expected(len, 0xEE), got(len, 0xEE);
          const uint32_t want = walked_search(b, begin, end, big, type, id, expected);
          EXPECT_EQ(rz::container::find_chunk(*bf, 0, type, id, got.data(), len), want)
              << "type " << type << " id " << id << " len " << len;
          EXPECT_TRUE(got == expected) << "head bytes, type " << type << " id " << id << " len " << len;
        }
      }
    }
  }
}

// The search keeps nothing from one lookup to the next: a file written by
// another handle while it is read, and a chunk chain rewritten in place
// between two lookups, are found as they stand now.
TEST_F(ContainerTest, ChunkSearchSeesTheFileAsItStandsAtEachLookup) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio w = create("grow.vzp", big);
      ASSERT_EQ(DARARARStartRecordWave(w), 0);
      const uint8_t bytes[3] = {1, 2, 3};
      const int32_t first = DARARARCreateUserByte(w, 5, 3, bytes);
      ASSERT_GT(first, 0);
      Bio r = open("grow.vzp", 1);
      ASSERT_TRUE(r);
      const int32_t at5 = RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_USER_BYTE, 5, nullptr);
      EXPECT_GT(at5, 0);
      EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_USER_BYTE, 6, nullptr), 0);
      // The writer appends a chunk far behind the first block of heads.
      std::vector<uint8_t> large(3 * rz::container::HeadBlock::kBlockSize, 7);
      ASSERT_GT(DARARARCreateUserByte(w, 9, uint32_t(large.size()), large.data()), 0);
      ASSERT_GT(DARARARCreateUserByte(w, 6, 3, bytes), 0);
      const int32_t at6 = RAZIVERAFindIndexPtr(w, 0, RZ_CHUNK_USER_BYTE, 6, nullptr);
      EXPECT_GT(at6, at5) << "the writer finds what it has just appended";
      // The reader learns the record's new length and then finds the chunk.
      DARARARReadUpdateTotalFrame(r, 0);
      EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, RZ_CHUNK_USER_BYTE, 6, nullptr), at6);
      uint8_t got[3] = {};
      EXPECT_EQ(DARARARReadUserByte(r, 0, 6, got, 3), 3);
      EXPECT_EQ(got[2], 3);
    }

    // A chain rewritten between two lookups of an open handle.
    FileImage img(big);
    img.start_record();
    const size_t a = img.chunk(100, 1, Bytes(20, 0));
    const size_t b = img.chunk(101, 2, words({11, 0, 0}, big));
    img.chunk(102, 3, words({22, 0, 0}, big));
    img.end_record();
    img.save(path("edit.vzp"));
    Bio r = open("edit.vzp", 1);
    ASSERT_TRUE(r);
    uint32_t head[16] = {};
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 101, 0, head), int32_t(b));
    EXPECT_EQ(head[3], 11u);
    put32(img.bytes(), b + 8, 9, big);     // chunk 101 takes id 9
    put32(img.bytes(), b + 12, 33, big);   // and a new first word
    img.save(path("edit.vzp"));
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 101, 2, nullptr), 0) << "its old id is gone";
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 101, 9, head), int32_t(b));
    EXPECT_EQ(head[3], 33u) << "the head comes back as the file now holds it";
    put32(img.bytes(), a, uint32_t(b - a) + 24, big);  // the first chunk now steps over 101
    img.save(path("edit.vzp"));
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 101, 0, nullptr), 0);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 102, 3, nullptr), int32_t(b + 24));
    put32(img.bytes(), a, 0, big);  // a terminator where the first chunk was
    img.save(path("edit.vzp"));
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 102, 0, nullptr), 0);
  }
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

// Sample runs are converted several values at a time: every length (turns of
// four wide registers, single wide and narrow registers, whole words and the
// values left over), unaligned starts, a copy and in place.
TEST(ByteOrder, SixteenBitRunsSwapEveryValueAtAnyLengthAndAlignment) {
  for (size_t count = 0; count < 150; ++count) {
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
