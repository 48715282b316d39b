// Event tables: built in memory, written into the open record, read back and
// their data rewritten in place - byte-exact in both byte orders, and bounded
// against damaged files.
#include <string>
#include <vector>

#include "container/byteorder.h"
#include "events/event_table.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

// Data bytes of entry n: distinct per entry and byte; salt makes new data
// differ from the old in every byte.
Bytes data_for(int n, size_t len, uint8_t salt = 0) {
  Bytes d(len);
  for (size_t i = 0; i < len; ++i) d[i] = uint8_t(n * 37 + i * 3 + salt + 1);
  return d;
}

Bytes event_entry(uint32_t size, uint32_t value, const Bytes& data, bool big) {
  Bytes e = words({size, value}, big);
  e.insert(e.end(), data.begin(), data.end());
  return e;
}

// Body of an EventTable chunk behind its 12-byte head.
Bytes event_body(uint32_t count, const std::vector<Bytes>& entries, bool big) {
  Bytes b = words({0, count, 0}, big);
  for (const Bytes& e : entries) b.insert(b.end(), e.begin(), e.end());
  return b;
}

uint32_t block_word(HGLOBAL h, uint16_t record, uint32_t off) {
  rz::Pinned<rz::BioFile> bf(h);
  rz::BlockLock t(bf->records[record].eventTable);
  return t ? rz::load_u32(t.data(), off, rz::kHostBigEndian) : 0xDEADBEEF;
}

class EventTableTest : public FileTest {
 protected:
  // Record 0 with a table of `count` entries, entry n holding value 100 + n
  // and data_for(n), then ended.  Returns the chunk's offset.
  uint32_t write_table(bool big, int32_t count, uint32_t dataSize) {
    Bio h = create("e.vzp", big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(DARARARCreateEventTable(h, 0, 7, count, dataSize), 1);
    const size_t len = rz::event_table::entry_size_for(dataSize) - 8;
    for (int n = 1; n <= count; ++n) {  // one byte more: data is never null
      const Bytes d = data_for(n, len + 1);
      EXPECT_EQ(DARARARSetEventTableInfo(h, 0, uint16_t(n), 100u + n, d.data()), 1);
    }
    const uint32_t start = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
    EXPECT_GT(DARARARCreateEventInfo(h), 0);
    EXPECT_GT(DARARAREndRecordWave(h), 0);
    return start;
  }
};

}  // namespace

TEST_F(EventTableTest, ChunkIsByteExactInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Bio h = create("e.vzp", big);
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 7, 5, 30), 1);
    for (int n = 1; n <= 5; ++n)
      ASSERT_EQ(DARARARSetEventTableInfo(h, 0, uint16_t(n), 0x01020300u + n, data_for(n, 32).data()), 1);
    rz::Pinned<rz::BioFile> bf(h);
    const uint32_t start = bf->writePos;
    EXPECT_EQ(DARARARCreateEventInfo(h), int32_t(start + 224));
    EXPECT_EQ(bf->recordSize[0], 16u + 224u);
    h.close();

    Bytes expected = words({224, 200, 7, 0, 5, 0}, big);
    for (int n = 1; n <= 5; ++n) {
      const Bytes e = event_entry(40, 0x01020300u + n, data_for(n, 32), big);
      expected.insert(expected.end(), e.begin(), e.end());
    }
    const Bytes file = read_file(path("e.vzp"));
    EXPECT_EQ(Bytes(file.begin() + start, file.end()), expected);

    Bio r = open("e.vzp", 1);
    EXPECT_EQ(DARARARReadEventInfo(r, 0), 5);
    uint32_t value = 0;
    Bytes got(32);
    EXPECT_EQ(DARARARGetEventTableInfo(r, 0, 5, &value, got.data()), 1);
    EXPECT_EQ(value, 0x01020305u);
    EXPECT_EQ(got, data_for(5, 32));
  }
}

TEST_F(EventTableTest, EntriesAreNumberedOneToCountAndRefusalsTouchNothing) {
  Bio h = create("e.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 3, 6), 1);  // 16-byte entries
  const Bytes d = data_for(1, 8);
  const struct { uint16_t record, index; int32_t result; } cases[] = {
      {0, 0, 0}, {0, 1, 1}, {0, 3, 1}, {0, 4, 0}, {0, 0xFFFF, 0}, {1, 1, 0}, {40, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "record " << c.record << " index " << c.index);
    EXPECT_EQ(DARARARSetEventTableInfo(h, c.record, c.index, 9, d.data()), c.result);
    uint32_t value = 77;
    uint8_t out[8] = {0xAB};
    EXPECT_EQ(DARARARGetEventTableInfo(h, c.record, c.index, &value, out), c.result);
    EXPECT_EQ(value, c.result ? 9u : 0u);
    EXPECT_EQ(out[0], c.result ? d[0] : 0);
  }
  EXPECT_EQ(DARARARSetEventTableInfo(h, 0, 1, 9, nullptr), 0);

  // Refused creations leave the table in place.
  const struct { uint16_t record, id; int32_t count; uint32_t dataSize; } refused[] = {
      {0, 0, 3, 4}, {1, 1, 3, 4}, {0, 1, -1, 4}, {0, 1, 3, 1017}, {0, 1, 0x7FFFFFFF, 1016}};
  for (const auto& c : refused)
    EXPECT_EQ(DARARARCreateEventTable(h, c.record, c.id, c.count, c.dataSize), 0) << c.count;
  uint32_t value = 0;
  uint8_t out[8];
  EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 3, &value, out), 1);

  // The largest entry: 1016 data bytes.
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 1016), 1);
  const uint32_t start = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
  EXPECT_EQ(DARARARCreateEventInfo(h), int32_t(start + 24 + 1024));

  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 4), 0);
  EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 1, &value, out), 0) << "the old table is gone";
}

TEST_F(EventTableTest, TablesOfAnyEntrySizeReadBackExactly) {
  for (uint32_t dataSize : {0u, 10u, 29u, 33u, 1016u}) {
    SCOPED_TRACE(dataSize);
    const uint32_t es = rz::event_table::entry_size_for(dataSize);
    const uint32_t start = write_table(true, 4, dataSize);
    const Bytes before = read_file(path("e.vzp"));
    EXPECT_EQ(get32(before, start, true), 24 + 4 * es);
    Bio r = open("e.vzp", 3);
    ASSERT_EQ(DARARARReadEventInfo(r, 0), 4);
    for (int n = 1; n <= 4; ++n) {
      uint32_t value = 0;
      Bytes got(es - 8 + 1, 0x55);
      ASSERT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(n), &value, got.data()), 1);
      EXPECT_EQ(value, 100u + n);
      EXPECT_EQ(Bytes(got.begin(), got.end() - 1), data_for(n, es - 8));
      EXPECT_EQ(got.back(), es == 8 ? 0 : 0x55) << "exactly the entry's data bytes";
    }
    EXPECT_EQ(block_word(r, 0, 0), 24 + 4 * es);
    EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
    r.close();
    EXPECT_EQ(read_file(path("e.vzp")), before) << "an unchanged table rewrites as it stood";
  }
  // Count 0: a 24-byte chunk that reads back as an empty table.
  const uint32_t start = write_table(false, 0, 30);
  EXPECT_EQ(get32(read_file(path("e.vzp")), start), 24u);
  Bio r = open("e.vzp", 1);
  EXPECT_EQ(DARARARReadEventInfo(r, 0), 0);
  EXPECT_EQ(block_word(r, 0, 0), 24u);
}

TEST_F(EventTableTest, ReviewRewritesDataButNotValues) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const uint32_t start = write_table(big, 5, 30);
    const Bytes before = read_file(path("e.vzp"));
    {
      Bio r = open("e.vzp", 3);
      ASSERT_EQ(DARARARReadEventInfo(r, 0), 5);
      ASSERT_EQ(DARARARSetEventTableInfo(r, 0, 3, 999, data_for(3, 32, 0x80).data()), 1);
      EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
    }
    const Bytes after = read_file(path("e.vzp"));
    const size_t data3 = start + 24 + 2 * 40 + 8;
    std::vector<size_t> expected;
    for (size_t i = 0; i < 32; ++i) expected.push_back(data3 + i);
    EXPECT_EQ(diff_offsets(before, after), expected) << "entry 3's data, not its value";

    Bio ro = open("e.vzp", 1);
    ASSERT_EQ(DARARARReadEventInfo(ro, 0), 5);
    ASSERT_EQ(DARARARSetEventTableInfo(ro, 0, 1, 1, data_for(9, 32).data()), 1);
    EXPECT_EQ(DARARARUpdateEventInfo(ro, 0), 0);
    ro.close();
    EXPECT_EQ(read_file(path("e.vzp")), after) << "a read-only handle writes nothing";
  }
}

TEST_F(EventTableTest, UpdateStaysInsideTheStoredChunk) {
  FileImage img;
  img.start_record();
  const size_t at = img.chunk(200, 5, event_body(2, {event_entry(16, 1, data_for(1, 8), false),
                                                     event_entry(16, 2, data_for(2, 8), false)},
                                                 false));
  img.chunk(100, 0, Bytes(116, 0x5A));
  img.end_record();
  img.save(path("e.vzp"));

  Bio r = open("e.vzp", 3);
  ASSERT_EQ(DARARARCreateEventTable(r, 0, 5, 6, 8), 1);  // more entries than stored
  for (uint16_t n = 1; n <= 6; ++n)
    ASSERT_EQ(DARARARSetEventTableInfo(r, 0, n, n, data_for(n, 8, 0x40).data()), 1);
  EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
  const Bytes after = read_file(path("e.vzp"));
  std::vector<size_t> expected;
  for (size_t e = 0; e < 2; ++e)
    for (size_t i = 0; i < 8; ++i) expected.push_back(at + 32 + e * 16 + i);
  EXPECT_EQ(diff_offsets(img.bytes(), after), expected);

  // Entries of another size than the stored ones are not forced into them.
  ASSERT_EQ(DARARARCreateEventTable(r, 0, 5, 2, 20), 1);
  EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
  EXPECT_EQ(read_file(path("e.vzp")), after);
}

TEST_F(EventTableTest, ReadChecksTheRecordFirstAndTakesTheFirstChunk) {
  {
    Bio h = create("e.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    for (uint16_t id : {3, 4}) {
      ASSERT_EQ(DARARARCreateEventTable(h, 0, id, 1, 4), 1);
      ASSERT_EQ(DARARARSetEventTableInfo(h, 0, 1, id * 10u, "wxyz"), 1);
      ASSERT_GT(DARARARCreateEventInfo(h), 0);
    }
    ASSERT_GT(DARARAREndRecordWave(h), 0);
    ASSERT_EQ(DARARARStartRecordWave(h), 1);
  }
  Bio r = open("e.vzp", 3);
  EXPECT_EQ(DARARARReadEventInfo(r, 0), 1);
  EXPECT_EQ(block_word(r, 0, 8), 3u);
  for (uint16_t bad : {2, 32, 40, 0xFFFF}) EXPECT_EQ(DARARARReadEventInfo(r, bad), 0) << bad;
  EXPECT_EQ(block_word(r, 0, 8), 3u) << "a refused record index touches no table";

  ASSERT_EQ(DARARARCreateEventTable(r, 1, 9, 1, 4), 1);
  EXPECT_EQ(DARARARReadEventInfo(r, 1), 0);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->records[1].eventTable, nullptr) << "no stored chunk, no table";
}

TEST_F(EventTableTest, DamagedChunksAreReadOnlyAsFarAsTheyHold) {
  const Bytes d32 = data_for(1, 32);
  const struct {
    const char* what;
    uint32_t count;
    std::vector<uint32_t> sizes;  // stored entry sizes; each entry holds 32 data bytes
    uint32_t chunkSize, recordSize;  // 0: true size
    int32_t expected;
  } cases[] = {
      {"count above the entries", 0xFFFFFFFF, {40, 40}, 0, 0, 2},
      {"entry size below its head", 3, {40, 4, 40}, 0, 0, 1},
      {"entry size above 1024", 2, {40, 2048}, 0, 0, 1},
      {"entry running past the chunk", 2, {40, 48}, 0, 0, 1},
      {"chunk size past the record", 2, {40, 40}, 0xFFFFFF00u, 0, 2},
      {"chunk smaller than its head", 2, {40, 40}, 20, 0, 0},
      {"hostile record and count", 1000000000u, {40, 40}, 0x7FFF0000u, 0x7FFFFF00u, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Bytes> entries;
    for (uint32_t s : c.sizes) entries.push_back(event_entry(s, 7, d32, false));
    FileImage img;
    img.start_record();
    img.chunk(200, 1, event_body(c.count, entries, false), c.chunkSize);
    img.end_record();
    if (c.recordSize) put32(img.bytes(), 32, c.recordSize);
    img.save(path("d.vzp"));
    Bio r = open("d.vzp", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadEventInfo(r, 0), c.expected);
    if (c.expected == 0) continue;
    EXPECT_EQ(block_word(r, 0, 16), uint32_t(c.expected));
    EXPECT_EQ(block_word(r, 0, 0), 24u + 40u * uint32_t(c.expected)) << "sized by what it holds";
    uint32_t value = 0;
    Bytes got(32);
    EXPECT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(c.expected), &value, got.data()), 1);
    EXPECT_EQ(got, d32);
  }
}
