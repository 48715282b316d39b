// The score table: item codes, text, the chunk on an open and on an ended
// record, and review round trips - byte-exact in both byte orders.
#include <cstring>
#include <string>
#include <vector>

#include "container/byteorder.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

constexpr char kText[] = "Scored by rater 2";

uint32_t entry_value(uint32_t i) { return 0xF0000000u | (i * 0x010203u); }

// A table of 10 entries filled through the accessors, every field telling
// itself apart on disk.
void fill_table(HGLOBAL h) {
  ASSERT_EQ(DARARARCreateScoreTable(h, 9, 10), 1);
  const struct { uint16_t item; int32_t index; uint32_t value; } sets[] = {
      {3, 0, 4}, {2, 0, 10}, {4, 0, 3}, {5, 0, 0}, {6, 0, uint32_t(-1)}, {7, 0, 0xA1B2C3D4u},
      {8, 0, 0x12345678u}, {15, 0, 0x1516}, {16, 0, 0x2627}, {17, 0, 0x0101}, {17, 1, 0x0202},
      {17, 2, 0x0303}, {17, 3, 0x0404}, {17, 4, 0x0505}, {17, 5, 0x0606}};
  for (const auto& s : sets) ASSERT_EQ(DARARARSetScoreTableInfo(h, s.item, s.index, s.value), 1);
  for (int32_t i = 0; i < 10; ++i)
    ASSERT_EQ(DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, i, entry_value(uint32_t(i))), 1);
  ASSERT_EQ(DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, kText), 1);
}

// The chunk fill_table gives.
Bytes expected_chunk(bool big, uint32_t id = 9) {
  Bytes b = words({168, 3000, id, 0, 4, 10, 10, 4, 1, 0, 0xA1B2C3D4u, 0x02020101u, 0x04040303u,
                   0x06060505u, 0x26271516u, 0x5678u}, big);
  b.resize(b.size() + 64, 0);
  std::memcpy(b.data() + 64, kText, sizeof kText);
  for (uint32_t i = 0; i < 10; ++i) put32(b, b.size(), entry_value(i), big);
  return b;
}

// Offset of the first size-0 head met walking the chunks of the record at
// `record`, or 0.
size_t first_terminator(const Bytes& b, size_t record, bool big) {
  const size_t end = record + get32(b, record, big);
  for (size_t off = record + 16; off + 4 <= b.size() && off < end; off += get32(b, off, big))
    if (get32(b, off, big) == 0) return off;
  return 0;
}

uint32_t block_word(HGLOBAL h, uint32_t off) {
  rz::Pinned<rz::BioFile> bf(h);
  rz::BlockLock t(bf->scoreTable);
  return t ? rz::load_u32(t.data(), off, rz::kHostBigEndian) : 0xDEADBEEF;
}

class ScoreTableTest : public FileTest {
 protected:
  // Record 0 holding the filled table's chunk, then ended; the chunk's offset.
  uint32_t write_scored(bool big) {
    Bio h = create("s.vzp", big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    fill_table(h);
    const uint32_t start = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
    EXPECT_GT(DARARARCreateScoreInfo(h, 0), 0);
    EXPECT_GT(DARARAREndRecordWave(h), 0);
    return start;
  }
};

}  // namespace

// The chunk takes the terminator's place on an ended record and goes at the
// end of an open one.  An ended record keeps exactly one terminator whatever
// recordClosed says; an open one gets one when the caller takes it for ended.
TEST_F(ScoreTableTest, ChunkPlacementAndTerminatorInBothByteOrders) {
  const struct { bool ended; uint16_t recordClosed; bool terminated; } cases[] = {
      {false, 0, false}, {true, 1, true}, {true, 0, true}, {false, 1, true}};
  for (bool big : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "big " << big << " ended " << c.ended
                                        << " recordClosed " << c.recordClosed);
      Bio h = create("s.vzp", big);
      ASSERT_EQ(DARARARStartRecordWave(h), 0);
      if (c.ended) {
        ASSERT_EQ(DARARAREndRecordWave(h), 64);
      }
      fill_table(h);
      const int32_t end = DARARARCreateScoreInfo(h, c.recordClosed);
      EXPECT_EQ(end, 48 + 168 + (c.terminated ? 16 : 0));
      rz::Pinned<rz::BioFile> bf(h);
      EXPECT_EQ(bf->recordSize[0] + 32, uint32_t(end));
      EXPECT_EQ(bf->writePos, uint32_t(end));
      const Bytes file = read_file(path("s.vzp"));
      ASSERT_EQ(file.size(), size_t(end));
      EXPECT_EQ(slice(file, 48, 168), expected_chunk(big));
      // setting15 and setting16 share one word, converted as a whole.
      EXPECT_EQ(slice(file, 48 + 56, 4),
                big ? Bytes({0x26, 0x27, 0x15, 0x16}) : Bytes({0x16, 0x15, 0x27, 0x26}));
      EXPECT_EQ(get32(file, 32, big), uint32_t(end - 32)) << "the record header follows";
      EXPECT_EQ(first_terminator(file, 32, big), c.terminated ? size_t(end - 16) : 0u);
    }
  }
}

TEST_F(ScoreTableTest, ZeroBytesEndingAnOpenRecordAreNotTakenForItsTerminator) {
  Bio h = create("s.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 8), 1);  // entries all zero
  ASSERT_EQ(DARARARCreateScoreInfo(h, 0), 48 + 160);
  ASSERT_EQ(DARARARCreateScoreTable(h, 2, 8), 1);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 0), 48 + 320) << "appended, not 16 bytes back";
  EXPECT_EQ(get32(read_file(path("s.vzp")), 48 + 160 + 8), 2u);
}

// A damaged chunk chain hides how the record ends: 16 zero bytes at its end
// are taken for its terminator, anything else is data and stays.
TEST_F(ScoreTableTest, WhenTheWalkCannotTellNoDataIsOverwritten) {
  const struct { bool ended; uint16_t recordClosed; size_t growth; } cases[] = {
      {true, 1, 168}, {true, 0, 168}, {false, 1, 168 + 16}, {false, 0, 168}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ended " << c.ended << " recordClosed " << c.recordClosed);
    FileImage img;
    img.start_record();
    img.chunk(7, 0, Bytes(20, 0xAB), 1000);  // its size runs past the record
    if (c.ended) img.end_record();
    img.save(path("u.vzp"));
    Bio h = open("u.vzp", 3);
    fill_table(h);
    const int32_t end = DARARARCreateScoreInfo(h, c.recordClosed);
    h.close();
    const Bytes file = read_file(path("u.vzp"));
    const size_t old = img.bytes().size();
    ASSERT_EQ(file.size(), old + c.growth);
    EXPECT_EQ(size_t(end), file.size());
    const size_t at = c.ended ? old - 16 : old;
    EXPECT_EQ(slice(file, 48, 32), slice(img.bytes(), 48, 32)) << "the chunk in front stays";
    EXPECT_EQ(slice(file, at, 168), expected_chunk(false));
    if (c.recordClosed || c.ended) {
      EXPECT_EQ(slice(file, at + 168, 16), Bytes(16, 0));
    }
  }
}

TEST_F(ScoreTableTest, ItemCodes) {
  Bio h = create("s.vzp");
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 10), 1);
  enum Op { Set, Get };
  const struct {
    Op op;
    uint16_t item;
    int32_t index;
    uint32_t value;  // set: the value; get: what `out` receives
    int32_t result;
  } steps[] = {
      {Get, 1, 0, 10, 1},          {Set, 1, 0, 3, 0},            {Get, 1, 0, 10, 1},
      {Set, 4, 0, 3, 1},           {Get, 4, 0, 3, 1},            {Set, 4, 0, 10, 0},
      {Get, 4, 0, 3, 1},           {Set, 4, 0, uint32_t(-1), 1}, {Get, 4, 0, 0, 0},
      {Set, 5, 0, uint32_t(-7), 1}, {Get, 5, 0, 0, 0},           {Set, 6, 0, 0, 1},
      {Get, 6, 0, 0, 1},           {Set, 2, 0, 10, 1},           {Set, 2, 0, 11, 0},
      {Get, 2, 0, 10, 1},          {Set, 2, 0, uint32_t(-3), 1}, {Get, 2, 0, uint32_t(-3), 1},
      {Set, 3, 0, 0, 0},           {Set, 3, 0, uint32_t(-1), 0}, {Set, 3, 0, 5, 1},
      {Get, 3, 0, 5, 1},           {Set, 7, 0, 9, 1},            {Get, 7, 0, 9, 0},
      {Set, 8, 0, 0xABCD1234u, 1}, {Get, 8, 0, 0x1234, 0},       {Set, 10, 9, 0xFF123456u, 1},
      {Get, 10, 9, 0x123456, 1},   {Get, 11, 9, 0xFF123456u, 1}, {Set, 10, 10, 1, 0},
      {Set, 10, -1, 1, 0},         {Get, 10, 10, 0, 0},          {Get, 11, -1, 0, 0},
      {Set, 15, 0, 0x9876ABCDu, 1}, {Set, 16, 0, 0x4321, 1},     {Get, 15, 0, 0xABCD, 0},
      {Get, 16, 0, 0x4321, 0},     {Set, 17, 5, 7, 1},           {Get, 17, 5, 7, 0},
      {Get, 17, 4, 0, 0},          {Set, 17, 4, 0x10004, 1},     {Get, 17, 5, 7, 0},
      {Set, 17, 6, 1, 0},          {Set, 17, -1, 1, 0},          {Get, 17, 6, 0, 0},
      {Set, 0, 0, 1, 0},  {Set, 9, 0, 1, 0},  {Set, 11, 0, 1, 0}, {Set, 14, 0, 1, 0},
      {Set, 18, 0, 1, 0}, {Set, 20, 0, 1, 0}, {Get, 0, 0, 0, 0},  {Get, 9, 0, 0, 0},
      {Get, 12, 0, 0, 0}, {Get, 18, 0, 0, 0}, {Get, 20, 0, 0, 0}, {Get, 0xFFFF, 0, 0, 0},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::Message() << "step " << n++ << " item " << s.item);
    if (s.op == Set) {
      EXPECT_EQ(DARARARSetScoreTableInfo(h, s.item, s.index, s.value), s.result);
    } else {
      uint32_t out = 0xDEADBEEF;
      EXPECT_EQ(DARARARGetScoreTableInfo(h, s.item, s.index, &out), s.result);
      EXPECT_EQ(out, s.value);
    }
  }
  EXPECT_EQ(block_word(h, 52), 0x00070004u) << "words17 4 and 5 share one word";
  EXPECT_EQ(block_word(h, 56), 0x4321ABCDu);
  EXPECT_EQ(block_word(h, 32), uint32_t(-6)) << "stored, yet read back as not set";
}

TEST_F(ScoreTableTest, TextAndRefusals) {
  Bio h = create("s.vzp");
  uint32_t out = 5;
  char text[63] = "x";
  EXPECT_EQ(DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING2, 0, 1), 0) << "no table";
  EXPECT_EQ(DARARARGetScoreTableInfo(h, RZ_SCORE_COUNT, 0, &out), 0);
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 0, text), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 0), 0);

  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 1), 1);
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 0), 0) << "count 0 keeps the table";
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 0x7FFFFFFFu), 0);
  const std::string t62(62, 'q');
  EXPECT_EQ(DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, t62.c_str()), 1);
  EXPECT_EQ(DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, std::string(63, 'r').c_str()), 0);
  EXPECT_EQ(DARARARSetScoreTableText(h, 19, 0, "ab"), 0);
  EXPECT_EQ(DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 5, text), 62);
  EXPECT_EQ(std::string(text), t62);
  EXPECT_EQ(DARARARGetScoreTableText(h, 19, 0, text), 0);
  EXPECT_EQ(text[0], '\0');
  // A shorter text leaves the bytes behind its NUL as they were.
  ASSERT_EQ(DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, "ab"), 1);
  const uint32_t start = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
  ASSERT_GT(DARARARCreateScoreInfo(h, 0), 0);
  Bytes area(t62.begin(), t62.end());
  area.resize(64, 0);
  area[0] = 'a', area[1] = 'b', area[2] = 0;
  EXPECT_EQ(slice(read_file(path("s.vzp")), start + 64, 64), area);

  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 4), 0);
  EXPECT_EQ(DARARARGetScoreTableInfo(h, RZ_SCORE_COUNT, 0, &out), 0) << "a failed allocation leaves none";
}

TEST_F(ScoreTableTest, ReviewRewritesExactlyTheChangedWordsAndKeepsTheText) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const uint32_t start = write_scored(big);
    const Bytes before = read_file(path("s.vzp"));
    {
      Bio r = open("s.vzp", 3);
      ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
      char text[63];
      EXPECT_EQ(DARARARGetScoreTableText(r, RZ_SCORE_TEXT, 0, text), sizeof kText - 1);
      uint32_t out = 0;
      EXPECT_EQ(DARARARGetScoreTableInfo(r, RZ_SCORE_SETTING16, 0, &out), 0);
      EXPECT_EQ(out, 0x2627u);
      ASSERT_EQ(DARARARSetScoreTableInfo(r, RZ_SCORE_SETTING7, 0, 0x5E6F7A8Bu), 1);
      ASSERT_EQ(DARARARSetScoreTableInfo(r, RZ_SCORE_ENTRY, 4, 0x0A0B0C0Du), 1);
      EXPECT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
    }
    const Bytes after = read_file(path("s.vzp"));
    std::vector<size_t> expected;
    for (size_t off : {start + 40, start + 128 + 16})
      for (size_t i = 0; i < 4; ++i) expected.push_back(off + i);
    EXPECT_EQ(diff_offsets(before, after), expected) << "setting7 and entry 4 only";
    EXPECT_EQ(get32(after, start + 128 + 16, big), 0x0A0B0C0Du);
  }
}

TEST_F(ScoreTableTest, UpdateCutsTheTableToTheStoredChunkAndSparesTheNextChunk) {
  uint32_t start = 0, next = 0;
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    fill_table(h);
    start = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
    next = uint32_t(DARARARCreateScoreInfo(h, 0));
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 4), 1);
    ASSERT_GT(DARARARCreateEventInfo(h), 0);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  const Bytes before = read_file(path("s.vzp"));
  Bio r = open("s.vzp", 3);
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
  ASSERT_EQ(DARARARCreateScoreTable(r, 9, 20), 1);  // larger, made anew
  ASSERT_EQ(DARARARSetScoreTableInfo(r, RZ_SCORE_SETTING2, 0, 20), 1);
  for (int32_t i = 0; i < 20; ++i)
    ASSERT_EQ(DARARARSetScoreTableInfo(r, RZ_SCORE_ENTRY, i, 0x33000000u + i), 1);
  EXPECT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
  uint32_t out = 0;
  EXPECT_EQ(DARARARGetScoreTableInfo(r, RZ_SCORE_COUNT, 0, &out), 1);
  EXPECT_EQ(out, 10u);
  EXPECT_EQ(DARARARGetScoreTableInfo(r, RZ_SCORE_SETTING2, 0, &out), 1);
  EXPECT_EQ(out, 10u);
  EXPECT_EQ(block_word(r, 0), 168u) << "the size word follows the count";
  Bytes after = read_file(path("s.vzp"));
  for (size_t off : diff_offsets(before, after)) EXPECT_TRUE(off >= start && off < next) << off;
  EXPECT_EQ(get32(after, start + 128 + 36), 0x33000009u);

  // The cut table writes a consistent chunk.
  const int32_t end = DARARARCreateScoreInfo(r, 1);
  after = read_file(path("s.vzp"));
  EXPECT_EQ(get32(after, size_t(end) - 16 - 168), 168u);
  EXPECT_EQ(get32(after, size_t(end) - 16 - 168 + 20), 10u);

  // A smaller table: a zero word closes its entries inside the chunk.
  ASSERT_EQ(DARARARCreateScoreTable(r, 9, 4), 1);
  ASSERT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
  const Bytes small = read_file(path("s.vzp"));
  EXPECT_EQ(get32(small, start + 20), 4u);
  EXPECT_EQ(get32(small, start + 128 + 16), 0u);
  EXPECT_EQ(get32(small, start + 128 + 20), 0x33000005u) << "entry 5 stays";
}

TEST_F(ScoreTableTest, ReadTakesTheIdArgumentAndAnEmptyChunkUpdatesTheTableInPlace) {
  write_scored(false);
  Bio r = open("s.vzp", 3);
  EXPECT_EQ(DARARARReadScoreInfo(r, 0, 5), 0) << "no chunk with id 5";
  EXPECT_EQ(block_word(r, 0), 0xDEADBEEF) << "and no table";
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 0), 10);
  const int32_t end = DARARARCreateScoreInfo(r, 1);
  EXPECT_EQ(slice(read_file(path("s.vzp")), size_t(end) - 16 - 168, 168), expected_chunk(false, 0));

  // A stored chunk without entries.
  FileImage img;
  img.start_record();
  Bytes body = words({0, 6, 0, 0, 0, 0, 0, 0x1234}, false);
  body.resize(116, 0);
  std::memcpy(body.data() + 52, "stored", 7);
  img.chunk(3000, 4, body);
  img.end_record();
  img.save(path("z.vzp"));
  Bio z = open("z.vzp", 3);
  EXPECT_EQ(DARARARReadScoreInfo(z, 0, 4), 0);
  EXPECT_EQ(block_word(z, 0), 0xDEADBEEF) << "without a table nothing changes";
  ASSERT_EQ(DARARARCreateScoreTable(z, 8, 3), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(z, RZ_SCORE_ENTRY, 2, 77), 1);
  EXPECT_EQ(DARARARReadScoreInfo(z, 0, 4), 0);
  uint32_t out = 0;
  EXPECT_EQ(DARARARGetScoreTableInfo(z, RZ_SCORE_SETTING3, 0, &out), 1);
  EXPECT_EQ(out, 6u) << "the stored settings";
  char text[63];
  EXPECT_EQ(DARARARGetScoreTableText(z, RZ_SCORE_TEXT, 0, text), 6);
  EXPECT_EQ(block_word(z, 0), 128u);
  EXPECT_EQ(block_word(z, 8), 8u) << "keeps its id";
  EXPECT_EQ(block_word(z, 20), 0u);
  EXPECT_EQ(block_word(z, 128 + 8), 77u) << "and its entries";
}

TEST_F(ScoreTableTest, DamagedChunksAreBoundedBeforeAnythingIsAllocated) {
  const struct {
    const char* what;
    uint32_t count, entries, chunkSize, recordSize;  // sizes 0: true size
    int32_t expected;
  } cases[] = {
      {"count above the entries", 0xFFFFFFFFu, 3, 0, 0, 3},
      {"chunk smaller than its head", 2, 2, 100, 0, 0},
      {"chunk past its record", 5, 5, 0xFFFFFF00u, 0, 5},
      {"hostile record and count", 0x20000000u, 2, 0x7FFFF000u, 0x7FFFFF00u, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FileImage img;
    img.start_record();
    Bytes body = words({0, 1, c.count}, false);
    body.resize(116, 0);
    for (uint32_t i = 0; i < c.entries; ++i) put32(body, body.size(), 100 + i);
    img.chunk(3000, 1, body, c.chunkSize);
    img.end_record();
    if (c.recordSize) put32(img.bytes(), 32, c.recordSize);
    img.save(path("d.vzp"));
    Bio r = open("d.vzp", 3);
    faults::reset();
    EXPECT_EQ(DARARARReadScoreInfo(r, 0, 0), c.expected);
    EXPECT_EQ(faults::calls(faults::Op::Alloc), c.expected ? 1u : 0u);
    EXPECT_EQ(DARARARUpdateScoreInfo(r, 0), c.expected ? 1 : 0);
    const Bytes after = read_file(path("d.vzp"));
    for (size_t off : diff_offsets(img.bytes(), after)) EXPECT_LT(off, 48u + 128 + 4 * c.entries);
  }
}

TEST_F(ScoreTableTest, FailedWritesLeaveTheFileAsItWas) {
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    ASSERT_EQ(DARARAREndRecordWave(h), 64);
  }
  const Bytes before = read_file(path("s.vzp"));
  Bio ro = open("s.vzp", 1);
  fill_table(ro);
  EXPECT_EQ(DARARARCreateScoreInfo(ro, 1), 0) << "read-only";
  ro.close();

  Bio h = open("s.vzp", 3);
  EXPECT_EQ(DARARARUpdateScoreInfo(h, 0), 0) << "no stored chunk";
  fill_table(h);
  rz::Pinned<rz::BioFile> bf(h);
  faults::arm(faults::Op::Write, 1, 10);  // falls short over the terminator
  EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 0);
  EXPECT_EQ(bf->recordSize[0], 32u);
  EXPECT_EQ(read_file(path("s.vzp")), before) << "the terminator is put back";
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 0);
  EXPECT_EQ(read_file(path("s.vzp")), before);

  faults::reset();
  ASSERT_EQ(DARARARCreateScoreInfo(h, 1), 64 + 168);
  faults::arm(faults::Op::Write, 1);
  EXPECT_EQ(DARARARUpdateScoreInfo(h, 9), 0) << "a failed rewrite is not a success";
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARReadScoreInfo(h, 0, 9), 0);
  EXPECT_EQ(bf->scoreTable, nullptr);
  EXPECT_EQ(bf->scoreId, 0) << "the last read stays";
}
