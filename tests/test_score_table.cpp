// The score table: item codes, text, the chunk on an open and on an ended
// record, and review round trips - byte-exact in both byte orders.
#include <cstring>
#include <string>
#include <vector>

#include "container/container.h"
#include "events/score_table.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

constexpr char kText[] = "Scored by rater 2";

uint32_t entry_value(uint32_t i) { return 0xF0000000u | (i * 0x010203u); }

// Fills a new table of `count` entries through the accessors with values
// that make every field tell itself apart on disk.
void fill_table(HGLOBAL h, uint16_t id = 9, uint32_t count = 10) {
  ASSERT_EQ(DARARARCreateScoreTable(h, id, count), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 3, 0, 4), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 2, 0, count), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 4, 0, 3), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 5, 0, 0), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 6, 0, uint32_t(-1)), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 7, 0, 0xA1B2C3D4u), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 8, 0, 0x12345678u), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 15, 0, 0x1516), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(h, 16, 0, 0x2627), 1);
  for (int32_t i = 0; i < 6; ++i)
    ASSERT_EQ(DARARARSetScoreTableInfo(h, 17, i, 0x0101u * uint32_t(i + 1)), 1);
  for (uint32_t i = 0; i < count; ++i)
    ASSERT_EQ(DARARARSetScoreTableInfo(h, 10, int32_t(i), entry_value(i)), 1);
  ASSERT_EQ(DARARARSetScoreTableText(h, 20, 0, kText), 1);
}

// The chunk fill_table gives.
Bytes expected_chunk(bool big, uint32_t id = 9, uint32_t count = 10) {
  Bytes b = words({128 + 4 * count, 3000, id, 0, 4, count, count, 4, 1, 0, 0xA1B2C3D4u,
                   0x02020101u, 0x04040303u, 0x06060505u, 0x26271516u, 0x5678u},
                  big);
  Bytes text(64, 0);
  std::memcpy(text.data(), kText, sizeof kText);
  b.insert(b.end(), text.begin(), text.end());
  for (uint32_t i = 0; i < count; ++i) put32(b, b.size(), entry_value(i), big);
  return b;
}

Bytes slice(const Bytes& b, size_t at, size_t n) {
  if (at + n > b.size()) return {};
  return Bytes(b.begin() + long(at), b.begin() + long(at + n));
}

// Walks record chunk heads from `record` (its header's offset) and returns
// the offset of the first size-0 head, or 0.
size_t first_terminator(const Bytes& b, size_t record, bool big) {
  const size_t end = record + get32(b, record, big);
  for (size_t off = record + 16; off + 4 <= b.size() && off < end;) {
    const uint32_t size = get32(b, off, big);
    if (size == 0) return off;
    off += size;
  }
  return 0;
}

class ScoreTableTest : public FileTest {};

}  // namespace

TEST_F(ScoreTableTest, ChunkOnAnOpenRecordIsByteExactInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Bio h = create("s.vzp", big);
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    fill_table(h);
    rz::Pinned<rz::BioFile> bf(h);
    const uint32_t start = bf->writePos;
    EXPECT_EQ(DARARARCreateScoreInfo(h, 0), int32_t(start + 168));
    EXPECT_EQ(bf->recordSize[0], 16u + 168u);
    EXPECT_EQ(bf->writePos, start + 168);
    Bytes file = read_file(path("s.vzp"));
    ASSERT_EQ(file.size(), start + 168u) << "no terminator: the record stays open";
    EXPECT_EQ(slice(file, start, 168), expected_chunk(big));
    EXPECT_EQ(get32(file, 32, big), 16u + 168u) << "the record header says its length";
    // setting15 and setting16 share one word, converted as a whole.
    EXPECT_EQ(slice(file, start + 56, 4),
              big ? Bytes({0x26, 0x27, 0x15, 0x16}) : Bytes({0x16, 0x15, 0x27, 0x26}));

    EXPECT_EQ(DARARAREndRecordWave(h), int32_t(start + 168 + 16));
    h.close();
    file = read_file(path("s.vzp"));
    EXPECT_EQ(first_terminator(file, 32, big), start + 168);
    Bio r = open("s.vzp", 1);
    EXPECT_EQ(RAZIVERAFindIndexPtr(r, 0, 3000, 9, nullptr), int32_t(start));
  }
}

TEST_F(ScoreTableTest, OnAnEndedRecordTheChunkTakesTheTerminatorsPlace) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = create("s.vzp", big);
      ASSERT_EQ(DARARARStartRecordWave(h), 0);
      ASSERT_EQ(DARARAREndRecordWave(h), 64);
      ASSERT_EQ(DARARARStartRecordWave(h), 1);
      ASSERT_EQ(DARARAREndRecordWave(h), 96);
      fill_table(h);
      EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 96 + 168);
      rz::Pinned<rz::BioFile> bf(h);
      EXPECT_EQ(bf->recordSize[1], 32u + 168u);
    }
    const Bytes file = read_file(path("s.vzp"));
    ASSERT_EQ(file.size(), 96u + 168u);
    EXPECT_EQ(slice(file, 80, 168), expected_chunk(big)) << "where the terminator stood";
    EXPECT_EQ(slice(file, 248, 16), Bytes(16, 0)) << "a new terminator behind";
    EXPECT_EQ(get32(file, 64, big), 32u + 168u);
    EXPECT_EQ(get32(file, 32, big), 32u) << "record 0 untouched";
    EXPECT_EQ(first_terminator(file, 64, big), 248u);
  }
}

TEST_F(ScoreTableTest, AnEditingHandleAddsTheChunkBehindTheLastRecord) {
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    ASSERT_EQ(DARARAREndRecordWave(h), 64);
  }
  const Bytes before = read_file(path("s.vzp"));
  {
    Bio h = open("s.vzp", 3);
    ASSERT_TRUE(h);
    EXPECT_EQ(RAZIVERAGetInfo(h, 10), 0u);
    fill_table(h);
    EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 64 + 168);
    EXPECT_EQ(RAZIVERAGetInfo(h, 10), 64u + 168u);
  }
  const Bytes after = read_file(path("s.vzp"));
  ASSERT_EQ(after.size(), 64u + 168u);
  EXPECT_EQ(slice(after, 0, 32), slice(before, 0, 32)) << "the base header stays";
  EXPECT_EQ(slice(after, 48, 168), expected_chunk(false));
  Bio r = open("s.vzp", 1);
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
}

TEST_F(ScoreTableTest, ARecordEndsWithExactlyOneTerminatorWhateverTheCallerSays) {
  const struct {
    bool ended;
    uint16_t recordClosed;
    bool terminated;  // the record ends with its terminator afterwards
  } cases[] = {
      {false, 0, false},  // open, stays open for the end of the record
      {true, 1, true},
      {true, 0, true},    // ended records stay ended: the chunk replaces the terminator
      {false, 1, true},   // the caller takes it for ended: it gets its terminator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ended " << c.ended << " recordClosed " << c.recordClosed);
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    if (c.ended) {
      ASSERT_EQ(DARARAREndRecordWave(h), 64);
    }
    fill_table(h);
    const int32_t end = DARARARCreateScoreInfo(h, c.recordClosed);
    EXPECT_EQ(end, 48 + 168 + (c.terminated ? 16 : 0));
    h.close();
    const Bytes file = read_file(path("s.vzp"));
    ASSERT_EQ(file.size(), size_t(end));
    EXPECT_EQ(slice(file, 48, 168), expected_chunk(false));
    EXPECT_EQ(get32(file, 32), uint32_t(end - 32));
    EXPECT_EQ(first_terminator(file, 32, false), c.terminated ? size_t(end - 16) : 0u);
  }
}

TEST_F(ScoreTableTest, ZeroBytesEndingAnOpenRecordAreNotTakenForItsTerminator) {
  Bio h = create("s.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 8), 1);  // entries all zero
  ASSERT_EQ(DARARARCreateScoreInfo(h, 0), 48 + 160);
  ASSERT_EQ(DARARARCreateScoreTable(h, 2, 8), 1);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 0), 48 + 320) << "appended, not 16 bytes back";
  EXPECT_EQ(DARARAREndRecordWave(h), 48 + 320 + 16);
  h.close();
  const Bytes file = read_file(path("s.vzp"));
  EXPECT_EQ(get32(file, 48 + 8), 1u);
  EXPECT_EQ(get32(file, 48 + 160), 160u);
  EXPECT_EQ(get32(file, 48 + 168), 2u);
  EXPECT_EQ(first_terminator(file, 32, false), 48u + 320u);
}

TEST_F(ScoreTableTest, ItemCodes) {
  Bio h = create("s.vzp");
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 10), 1);
  enum Op { Set, Get };
  const struct {
    Op op;
    uint16_t item;
    int32_t index;
    uint32_t value;  // Set: the value; Get: what `out` receives
    int32_t result;
  } steps[] = {
      {Get, 1, 0, 10, 1},
      {Set, 1, 0, 3, 0},  // no item sets count
      {Get, 1, 0, 10, 1},
      {Set, 4, 0, 3, 1},         {Get, 4, 0, 3, 1},
      {Set, 4, 0, 10, 0},        {Get, 4, 0, 3, 1},
      {Set, 4, 0, uint32_t(-1), 1}, {Get, 4, 0, 0, 0},
      {Set, 5, 0, uint32_t(-7), 1}, {Get, 5, 0, 0, 0},  // accepted, reads as not set
      {Set, 6, 0, 9, 1},         {Get, 6, 0, 9, 1},
      {Set, 6, 0, 0, 1},         {Get, 6, 0, 0, 1},     // entry 0 is set, not cleared
      {Set, 2, 0, 10, 1},        {Get, 2, 0, 10, 1},
      {Set, 2, 0, 11, 0},        {Get, 2, 0, 10, 1},
      {Set, 2, 0, uint32_t(-3), 1}, {Get, 2, 0, uint32_t(-3), 1},  // compared signed
      {Set, 3, 0, 0, 0},         {Set, 3, 0, uint32_t(-1), 0},
      {Set, 3, 0, 5, 1},         {Get, 3, 0, 5, 1},
      {Set, 7, 0, 9, 1},         {Get, 7, 0, 9, 0},     // delivered, answered 0
      {Set, 8, 0, 0xABCD1234u, 1}, {Get, 8, 0, 0x1234, 0},
      {Set, 10, 9, 0xFF123456u, 1}, {Get, 10, 9, 0x123456, 1}, {Get, 11, 9, 0xFF123456u, 1},
      {Set, 10, 10, 1, 0},       {Set, 10, -1, 1, 0},
      {Get, 10, 10, 0, 0},       {Get, 11, -1, 0, 0},
      {Set, 15, 0, 0x9876ABCDu, 1}, {Set, 16, 0, 0x4321, 1},
      {Get, 15, 0, 0xABCD, 0},   {Get, 16, 0, 0x4321, 0},
      {Set, 17, 5, 7, 1},        {Get, 17, 5, 7, 0},    {Get, 17, 4, 0, 0},
      {Set, 17, 4, 0x10004, 1},  {Get, 17, 4, 4, 0},    {Get, 17, 5, 7, 0},
      {Set, 17, 6, 1, 0},        {Set, 17, -1, 1, 0},   {Get, 17, 6, 0, 0},
      {Set, 0, 0, 1, 0},  {Set, 9, 0, 1, 0},  {Set, 11, 0, 1, 0}, {Set, 12, 0, 1, 0},
      {Set, 13, 0, 1, 0}, {Set, 14, 0, 1, 0}, {Set, 18, 0, 1, 0}, {Set, 20, 0, 1, 0},
      {Get, 0, 0, 0, 0},  {Get, 9, 0, 0, 0},  {Get, 12, 0, 0, 0}, {Get, 14, 0, 0, 0},
      {Get, 18, 0, 0, 0}, {Get, 20, 0, 0, 0}, {Get, 0xFFFF, 0, 0, 0},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::Message() << "step " << n++ << (s.op == Set ? " set" : " get")
                                      << " item " << s.item << " index " << s.index);
    if (s.op == Set) {
      EXPECT_EQ(DARARARSetScoreTableInfo(h, s.item, s.index, s.value), s.result);
    } else {
      uint32_t out = 0xDEADBEEF;
      EXPECT_EQ(DARARARGetScoreTableInfo(h, s.item, s.index, &out), s.result);
      EXPECT_EQ(out, s.value);
    }
  }
  // The words behind the items, as the block holds them.
  rz::Pinned<rz::BioFile> bf(h);
  rz::BlockLock t(bf->scoreTable);
  auto word = [&](uint32_t off) { return rz::load_u32(t.data(), off, rz::kHostBigEndian); };
  EXPECT_EQ(word(44 + 8), 0x00070004u) << "words17 4 and 5 share one word";
  EXPECT_EQ(word(56), 0x4321ABCDu);
  EXPECT_EQ(word(60), 0x1234u);
  EXPECT_EQ(word(28), 0u);
  EXPECT_EQ(word(32), uint32_t(-6));
}

TEST_F(ScoreTableTest, AccessorsWithoutATableOrHandle) {
  Bio h = create("s.vzp");
  uint32_t out = 5;
  char text[63] = "x";
  EXPECT_EQ(DARARARSetScoreTableInfo(h, 2, 0, 1), 0);
  EXPECT_EQ(DARARARGetScoreTableInfo(h, 1, 0, &out), 0);
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(DARARARSetScoreTableText(h, 20, 0, "a"), 0);
  EXPECT_EQ(DARARARGetScoreTableText(h, 20, 0, text), 0);
  EXPECT_EQ(text[0], '\0');
  out = 5;
  EXPECT_EQ(DARARARGetScoreTableInfo(nullptr, 1, 0, &out), 0);
  EXPECT_EQ(out, 5u);
  EXPECT_EQ(DARARARGetScoreTableInfo(h, 1, 0, nullptr), 0);
  EXPECT_EQ(DARARARCreateScoreTable(nullptr, 1, 1), 0);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 0), 0) << "no table";

  // Count 0 is refused and the table in place stays; so is a count whose
  // chunk no file position could hold.
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 3), 1);
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 0), 0);
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 0x7FFFFFFFu), 0);
  EXPECT_EQ(DARARARGetScoreTableInfo(h, 1, 0, &out), 1);
  EXPECT_EQ(out, 3u);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 0), 0) << "no record";

  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateScoreTable(h, 1, 4), 0);
  EXPECT_EQ(DARARARGetScoreTableInfo(h, 1, 0, &out), 0) << "a failed allocation leaves none";
}

TEST_F(ScoreTableTest, TextUpTo62Characters) {
  Bio h = create("s.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateScoreTable(h, 1, 1), 1);
  const std::string t62(62, 'q'), t63(63, 'r');
  char out[63];
  EXPECT_EQ(DARARARSetScoreTableText(h, 20, 0, t62.c_str()), 1);
  EXPECT_EQ(DARARARGetScoreTableText(h, 20, 123, out), 62);
  EXPECT_EQ(std::string(out), t62);
  EXPECT_EQ(DARARARSetScoreTableText(h, 20, 0, t63.c_str()), 0);
  EXPECT_EQ(DARARARSetScoreTableText(h, 19, 0, "ab"), 0);
  EXPECT_EQ(DARARARGetScoreTableText(h, 20, 0, out), 62) << "refusals change nothing";
  EXPECT_EQ(DARARARGetScoreTableText(h, 19, 0, out), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(DARARARSetScoreTableText(h, 20, 0, nullptr), 0);

  // A shorter text leaves the bytes behind its NUL as they were.
  ASSERT_EQ(DARARARSetScoreTableText(h, 20, 7, "ab"), 1);
  EXPECT_EQ(DARARARGetScoreTableText(h, 20, 0, out), 2);
  const uint32_t start = RAZIVERAGetInfo(h, 10);
  ASSERT_GT(DARARARCreateScoreInfo(h, 0), 0);
  h.close();
  Bytes text = Bytes(t62.begin(), t62.end());
  text[0] = 'a';
  text[1] = 'b';
  text[2] = 0;
  text.push_back(0);
  text.push_back(0);
  EXPECT_EQ(slice(read_file(path("s.vzp")), start + 64, 64), text);
}

TEST_F(ScoreTableTest, ReviewRewritesExactlyTheChangedWordsAndKeepsTheText) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    uint32_t start = 0;
    {
      Bio h = create("s.vzp", big);
      ASSERT_EQ(DARARARStartRecordWave(h), 0);
      fill_table(h);
      start = RAZIVERAGetInfo(h, 10);
      ASSERT_GT(DARARARCreateScoreInfo(h, 0), 0);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    const Bytes before = read_file(path("s.vzp"));
    {
      Bio r = open("s.vzp", 3);
      ASSERT_TRUE(r);
      ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
      char text[63];
      EXPECT_EQ(DARARARGetScoreTableText(r, 20, 0, text), sizeof kText - 1);
      EXPECT_STREQ(text, kText);
      uint32_t out = 0;
      EXPECT_EQ(DARARARGetScoreTableInfo(r, 4, 0, &out), 1);
      EXPECT_EQ(out, 3u);
      EXPECT_EQ(DARARARGetScoreTableInfo(r, 16, 0, &out), 0);
      EXPECT_EQ(out, 0x2627u);
      EXPECT_EQ(DARARARGetScoreTableInfo(r, 11, 9, &out), 1);
      EXPECT_EQ(out, entry_value(9));
      ASSERT_EQ(DARARARSetScoreTableInfo(r, 7, 0, 0x5E6F7A8Bu), 1);
      ASSERT_EQ(DARARARSetScoreTableInfo(r, 10, 4, 0x0A0B0C0Du), 1);
      EXPECT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
    }
    const Bytes after = read_file(path("s.vzp"));
    std::vector<size_t> expected;
    for (size_t i = 0; i < 4; ++i) expected.push_back(start + 40 + i);
    for (size_t i = 0; i < 4; ++i) expected.push_back(start + 128 + 16 + i);
    EXPECT_EQ(diff_offsets(before, after), expected);
    EXPECT_EQ(get32(after, start + 40, big), 0x5E6F7A8Bu);
    EXPECT_EQ(get32(after, start + 128 + 16, big), 0x0A0B0C0Du);
  }
}

TEST_F(ScoreTableTest, UpdateCutsTheTableToTheStoredChunkAndSparesTheNextChunk) {
  uint32_t start = 0, next = 0;
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    fill_table(h);
    start = RAZIVERAGetInfo(h, 10);
    ASSERT_GT(DARARARCreateScoreInfo(h, 0), 0);
    next = RAZIVERAGetInfo(h, 10);
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 4), 1);
    ASSERT_GT(DARARARCreateEventInfo(h), 0);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  const Bytes before = read_file(path("s.vzp"));
  ASSERT_EQ(get32(before, next), 36u);

  Bio r = open("s.vzp", 3);
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
  // A larger table made anew: the stored chunk does not grow.
  ASSERT_EQ(DARARARCreateScoreTable(r, 9, 20), 1);
  ASSERT_EQ(DARARARSetScoreTableInfo(r, 2, 0, 20), 1);
  for (int32_t i = 0; i < 20; ++i)
    ASSERT_EQ(DARARARSetScoreTableInfo(r, 10, i, 0x33000000u + uint32_t(i)), 1);
  EXPECT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
  uint32_t out = 0;
  EXPECT_EQ(DARARARGetScoreTableInfo(r, 1, 0, &out), 1);
  EXPECT_EQ(out, 10u);
  EXPECT_EQ(DARARARGetScoreTableInfo(r, 2, 0, &out), 1);
  EXPECT_EQ(out, 10u);
  {
    rz::Pinned<rz::BioFile> bf(r);
    rz::BlockLock t(bf->scoreTable);
    EXPECT_EQ(rz::load_u32(t.data(), 0, rz::kHostBigEndian), 168u) << "size word follows count";
  }
  Bytes after = read_file(path("s.vzp"));
  for (size_t off : diff_offsets(before, after)) {
    EXPECT_GE(off, start);
    EXPECT_LT(off, next) << "only inside the stored chunk";
  }
  EXPECT_EQ(get32(after, start), 168u);
  EXPECT_EQ(get32(after, start + 128 + 36), 0x33000009u);

  // The cut table now writes a consistent chunk.
  const int32_t end = DARARARCreateScoreInfo(r, 1);
  ASSERT_GT(end, 0);
  after = read_file(path("s.vzp"));
  const size_t added = size_t(end) - 168 - 16;
  EXPECT_EQ(get32(after, added), 168u);
  EXPECT_EQ(get32(after, added + 20), 10u);

  // A smaller table: count and setting2 cut, and a zero word closes the
  // entries inside the chunk.
  const Bytes mid = read_file(path("s.vzp"));
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 9), 10);
  ASSERT_EQ(DARARARCreateScoreTable(r, 9, 4), 1);
  ASSERT_EQ(DARARARUpdateScoreInfo(r, 9), 1);
  after = read_file(path("s.vzp"));
  EXPECT_EQ(get32(after, start + 20), 4u);
  EXPECT_EQ(get32(after, start + 128 + 16), 0u);
  EXPECT_EQ(get32(after, start + 128 + 20), get32(mid, start + 128 + 20)) << "entry 5 stays";
}

TEST_F(ScoreTableTest, ReadWithIdZeroGivesATableWithIdZero) {
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    fill_table(h, 9);
    ASSERT_GT(DARARARCreateScoreInfo(h, 0), 0);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  Bio r = open("s.vzp", 3);
  EXPECT_EQ(DARARARReadScoreInfo(r, 0, 5), 0) << "no chunk with id 5";
  EXPECT_EQ(DARARARReadScoreInfo(r, 1, 0), 0) << "no record 1";
  uint32_t out = 0;
  EXPECT_EQ(DARARARGetScoreTableInfo(r, 1, 0, &out), 0) << "nothing read, no table";
  ASSERT_EQ(DARARARReadScoreInfo(r, 0, 0), 10);
  {
    rz::Pinned<rz::BioFile> bf(r);
    EXPECT_EQ(bf->scoreRecord, 0);
    EXPECT_EQ(bf->scoreId, 0);
  }
  const int32_t end = DARARARCreateScoreInfo(r, 1);
  ASSERT_GT(end, 0);
  r.close();
  const Bytes file = read_file(path("s.vzp"));
  EXPECT_EQ(slice(file, size_t(end) - 16 - 168, 168), expected_chunk(false, 0));
}

TEST_F(ScoreTableTest, AStoredChunkWithoutEntriesUpdatesAnExistingTable) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    FileImage img(big);
    img.start_record();
    img.chunk(7, 1, Bytes(20, 0));  // another chunk in front of it
    Bytes body = words({0, 6, 0, 0, 0, 0, 0, 0x1234, 0, 0, 0, 0, 0}, big);
    body.resize(116, 0);
    std::memcpy(body.data() + 52, "stored", 7);
    img.chunk(3000, 4, body);
    img.end_record();
    img.save(path("z.vzp"));
    Bio r = open("z.vzp", 3);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadScoreInfo(r, 0, 4), 0) << "without a table nothing changes";
    {
      rz::Pinned<rz::BioFile> bf(r);
      EXPECT_EQ(bf->scoreTable, nullptr);
      EXPECT_EQ(bf->scoreId, 0);
    }
    ASSERT_EQ(DARARARCreateScoreTable(r, 8, 3), 1);
    ASSERT_EQ(DARARARSetScoreTableInfo(r, 10, 2, 77), 1);
    EXPECT_EQ(DARARARReadScoreInfo(r, 0, 4), 0);
    uint32_t out = 0;
    EXPECT_EQ(DARARARGetScoreTableInfo(r, 1, 0, &out), 1);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(DARARARGetScoreTableInfo(r, 3, 0, &out), 1);
    EXPECT_EQ(out, 6u) << "the stored settings";
    EXPECT_EQ(DARARARGetScoreTableInfo(r, 7, 0, &out), 0);
    EXPECT_EQ(out, 0x1234u);
    char text[63];
    EXPECT_EQ(DARARARGetScoreTableText(r, 20, 0, text), 6);
    rz::Pinned<rz::BioFile> bf(r);
    EXPECT_EQ(bf->scoreId, 4);
    rz::BlockLock t(bf->scoreTable);
    EXPECT_EQ(rz::load_u32(t.data(), 0, rz::kHostBigEndian), 128u);
    EXPECT_EQ(rz::load_u32(t.data(), 8, rz::kHostBigEndian), 8u) << "keeps its id";
    EXPECT_EQ(rz::load_u32(t.data(), 128 + 8, rz::kHostBigEndian), 77u) << "and its entries";
  }
}

TEST_F(ScoreTableTest, DamagedChunksAreBoundedBeforeAnythingIsAllocated) {
  const struct {
    const char* what;
    uint32_t count;
    uint32_t entries;     // entries the file holds
    uint32_t chunkSize;   // 0: true size
    uint32_t recordSize;  // 0: true size
    int32_t expected;
  } cases[] = {
      {"count above the entries", 0xFFFFFFFFu, 3, 0, 0, 3},
      {"chunk smaller than its head", 2, 2, 100, 0, 0},
      {"chunk past its record", 5, 5, 0xFFFFFF00u, 0, 5},
      {"a hostile record and count", 0x20000000u, 2, 0x7FFFF000u, 0x7FFFFF00u, 0},
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
    ASSERT_TRUE(r);
    faults::reset();
    EXPECT_EQ(DARARARReadScoreInfo(r, 0, 0), c.expected);
    EXPECT_LE(faults::calls(faults::Op::Alloc), c.expected ? 1u : 0u);
    if (c.expected) {
      uint32_t out = 0;
      EXPECT_EQ(DARARARGetScoreTableInfo(r, 11, c.expected - 1, &out), 1);
      EXPECT_EQ(out, 100u + uint32_t(c.expected) - 1);
      // The rewrite stays inside the chunk as well.
      const Bytes before = read_file(path("d.vzp"));
      EXPECT_EQ(DARARARUpdateScoreInfo(r, 0), 1);
      const Bytes after = read_file(path("d.vzp"));
      for (size_t off : diff_offsets(before, after)) EXPECT_LT(off, 48u + 128 + 4 * c.entries);
    } else {
      EXPECT_EQ(DARARARUpdateScoreInfo(r, 0), 0);
    }
  }
}

TEST_F(ScoreTableTest, WritingRefusalsAndFailuresLeaveTheFileAsItWas) {
  {
    Bio h = create("s.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    ASSERT_EQ(DARARAREndRecordWave(h), 64);
  }
  const Bytes before = read_file(path("s.vzp"));

  Bio ro = open("s.vzp", 1);
  fill_table(ro);
  EXPECT_EQ(DARARARCreateScoreInfo(ro, 1), 0) << "read-only";
  EXPECT_EQ(DARARARUpdateScoreInfo(ro, 0), 0);
  ro.close();

  Bio h = open("s.vzp", 3);
  EXPECT_EQ(DARARARUpdateScoreInfo(h, 0), 0) << "no stored chunk";
  fill_table(h);
  rz::Pinned<rz::BioFile> bf(h);

  // A short write over the terminator: the terminator is put back, nothing
  // is counted.
  faults::arm(faults::Op::Write, 1, 10);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 0);
  EXPECT_EQ(bf->recordSize[0], 32u);
  EXPECT_EQ(read_file(path("s.vzp")), before);

  // No room to stage the chunk: nothing is written.
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateScoreInfo(h, 1), 0);
  EXPECT_EQ(read_file(path("s.vzp")), before);

  // A failed read allocation leaves no table and the last read's record.
  faults::reset();
  ASSERT_EQ(DARARARCreateScoreInfo(h, 1), 64 + 168);
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARReadScoreInfo(h, 0, 9), 0);
  EXPECT_EQ(bf->scoreTable, nullptr);
  EXPECT_EQ(bf->scoreId, 0);
  EXPECT_EQ(DARARARUpdateScoreInfo(h, 9), 0) << "no table";
}
