// Event tables: built in memory, written into the open record, read back and
// their data rewritten in place - byte-exact in both byte orders, and bounded
// against damaged files.
#include <cstring>
#include <string>
#include <vector>

#include "container/container.h"
#include "events/event_table.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

// Data bytes of entry `n` of a table: distinct per entry and per byte.
Bytes data_for(int n, size_t len, uint8_t salt = 0) {
  Bytes d(len);
  for (size_t i = 0; i < len; ++i) d[i] = uint8_t(n * 37 + i * 3 + salt + 1);
  return d;
}

// Body of a crafted EventTable chunk behind its 12-byte head.
Bytes event_body(uint32_t count, const std::vector<Bytes>& entries, bool big) {
  Bytes b = words({0, count, 0}, big);
  for (const Bytes& e : entries) b.insert(b.end(), e.begin(), e.end());
  return b;
}

Bytes event_entry(uint32_t size, uint32_t value, const Bytes& data, bool big) {
  Bytes e = words({size, value}, big);
  e.insert(e.end(), data.begin(), data.end());
  return e;
}

class EventTableTest : public FileTest {
 protected:
  // A file whose record 0 holds a table of `count` entries of `dataSize`,
  // entry n with value 100 + n and data_for(n); the record is ended.
  uint32_t write_table(const std::string& name, bool big, int32_t count, uint32_t dataSize,
                       uint16_t id = 7) {
    Bio h = create(name, big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(DARARARCreateEventTable(h, 0, id, count, dataSize), 1);
    const uint32_t es = rz::event_table::entry_size_for(dataSize);
    for (int n = 1; n <= count; ++n) {
      const Bytes d = data_for(n, es - 8 + 1);  // never empty: null data is refused
      EXPECT_EQ(DARARARSetEventTableInfo(h, 0, uint16_t(n), 100u + uint32_t(n), d.data()), 1);
    }
    const uint32_t start = RAZIVERAGetInfo(h, 10);
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
    for (int n = 1; n <= 5; ++n) {
      const Bytes d = data_for(n, 32);
      ASSERT_EQ(DARARARSetEventTableInfo(h, 0, uint16_t(n), 0x01020300u + uint32_t(n), d.data()),
                1);
    }
    rz::Pinned<rz::BioFile> bf(h);
    const uint32_t start = bf->writePos;
    const uint32_t recordBefore = bf->recordSize[0];
    EXPECT_EQ(DARARARCreateEventInfo(h), int32_t(start + 224));
    EXPECT_EQ(bf->writePos, start + 224);
    EXPECT_EQ(bf->recordSize[0], recordBefore + 224);
    h.close();

    Bytes expected = words({224, 200, 7, 0, 5, 0}, big);
    for (int n = 1; n <= 5; ++n) {
      const Bytes e = event_entry(40, 0x01020300u + uint32_t(n), data_for(n, 32), big);
      expected.insert(expected.end(), e.begin(), e.end());
    }
    const Bytes file = read_file(path("e.vzp"));
    ASSERT_EQ(file.size(), start + 224u);
    EXPECT_EQ(Bytes(file.begin() + start, file.end()), expected);

    Bio r = open("e.vzp", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadEventInfo(r, 0), 5);
    for (int n = 1; n <= 5; ++n) {
      uint32_t value = 0;
      Bytes got(32, 0xEE);
      EXPECT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(n), &value, got.data()), 1);
      EXPECT_EQ(value, 0x01020300u + uint32_t(n));
      EXPECT_EQ(got, data_for(n, 32));
    }
  }
}

TEST_F(EventTableTest, EntryOperationsAcceptOneToCountAndRefuseTheRest) {
  Bio h = create("e.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 3, 6), 1);  // entry size 16
  const Bytes d = data_for(1, 8);
  const struct {
    uint16_t record, index;
    const void* data;
    int32_t result;
  } cases[] = {
      {0, 0, d.data(), 0},        // entries count from 1
      {0, 1, d.data(), 1},
      {0, 3, d.data(), 1},        // the last entry
      {0, 4, d.data(), 0},
      {0, 0xFFFF, d.data(), 0},
      {0, 2, nullptr, 0},
      {1, 1, d.data(), 0},        // no such record
      {40, 1, d.data(), 0},       // beyond the 32 slots
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "record " << c.record << " index " << c.index);
    EXPECT_EQ(DARARARSetEventTableInfo(h, c.record, c.index, 9, c.data), c.result);
    uint32_t value = 77;
    uint8_t out[8] = {0xAB};
    if (c.data) {
      EXPECT_EQ(DARARARGetEventTableInfo(h, c.record, c.index, &value, out), c.result);
      EXPECT_EQ(value, c.result ? 9u : 0u);
      if (!c.result) {
        EXPECT_EQ(out[0], 0) << "a refused get leaves an empty buffer";
      }
    }
  }
  uint32_t value = 5;
  EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 1, nullptr, Bytes(8).data()), 0);
  EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 1, &value, nullptr), 0);
  EXPECT_EQ(value, 5u) << "nothing written without both pointers";
  EXPECT_EQ(DARARARGetEventTableInfo(nullptr, 0, 1, &value, Bytes(8).data()), 0);
}

TEST_F(EventTableTest, CreationRefusalsLeaveThePreviousTable) {
  Bio h = create("e.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 2, 4), 1);
  const uint32_t v = 0x11;
  ASSERT_EQ(DARARARSetEventTableInfo(h, 0, 2, v, "abcd"), 1);
  const struct {
    uint16_t record, id;
    int32_t count;
    uint32_t dataSize;
  } refused[] = {
      {0, 0, 3, 4},      // id 0
      {1, 1, 3, 4},      // record not started
      {0, 1, -1, 4},     // negative count
      {0, 1, 3, 1017},   // entry above 1024 bytes
      {0, 1, 0x7FFFFFFF, 1016},  // a chunk no file position can hold
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(::testing::Message() << "id " << c.id << " count " << c.count);
    EXPECT_EQ(DARARARCreateEventTable(h, c.record, c.id, c.count, c.dataSize), 0);
    uint32_t value = 0;
    char out[4];
    EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 2, &value, out), 1);
    EXPECT_EQ(value, v);
  }
  EXPECT_EQ(DARARARCreateEventTable(nullptr, 0, 1, 1, 4), 0);

  // The largest entry there is: 1016 data bytes.
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 1016), 1);
  const Bytes big = data_for(3, 1016);
  ASSERT_EQ(DARARARSetEventTableInfo(h, 0, 1, 1, big.data()), 1);
  const uint32_t start = RAZIVERAGetInfo(h, 10);
  EXPECT_EQ(DARARARCreateEventInfo(h), int32_t(start + 24 + 1024));

  // An allocation that fails leaves the record without a table.
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateEventTable(h, 0, 1, 1, 4), 0);
  uint32_t value = 0;
  char out[4];
  EXPECT_EQ(DARARARGetEventTableInfo(h, 0, 1, &value, out), 0);
}

TEST_F(EventTableTest, DataSizeZeroGivesValueOnlyEntries) {
  const uint32_t start = write_table("e.vzp", false, 3, 0);
  const Bytes file = read_file(path("e.vzp"));
  EXPECT_EQ(get32(file, start), 24u + 3 * 8);
  EXPECT_EQ(get32(file, start + 24), 8u);
  EXPECT_EQ(get32(file, start + 28), 101u);
  Bio r = open("e.vzp", 1);
  ASSERT_EQ(DARARARReadEventInfo(r, 0), 3);
  uint32_t value = 0;
  uint8_t out[4] = {0x55, 0x55, 0x55, 0x55};
  EXPECT_EQ(DARARARGetEventTableInfo(r, 0, 3, &value, out), 1);
  EXPECT_EQ(value, 103u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0x55) << "no data bytes delivered";
}

TEST_F(EventTableTest, CountZeroReadsBackAsAnEmptyTable) {
  const uint32_t start = write_table("e.vzp", false, 0, 30);
  const Bytes file = read_file(path("e.vzp"));
  EXPECT_EQ(Bytes(file.begin() + start, file.begin() + start + 24),
            words({24, 200, 7, 0, 0, 0}, false));
  EXPECT_EQ(get32(file, start + 24), 0u) << "the terminator follows";
  Bio r = open("e.vzp", 1);
  EXPECT_EQ(DARARARReadEventInfo(r, 0), 0);
  rz::Pinned<rz::BioFile> bf(r);
  ASSERT_NE(bf->records[0].eventTable, nullptr);
  rz::BlockLock t(bf->records[0].eventTable);
  EXPECT_EQ(rz::load_u32(t.data(), 0, rz::kHostBigEndian), 24u);
  EXPECT_EQ(rz::load_u32(t.data(), 8, rz::kHostBigEndian), 7u);
}

TEST_F(EventTableTest, ReadReplacesOrDropsTheRecordsTableAndChecksTheIndexFirst) {
  {
    Bio h = create("e.vzp");
    ASSERT_EQ(DARARARStartRecordWave(h), 0);
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 3, 1, 4), 1);
    ASSERT_EQ(DARARARSetEventTableInfo(h, 0, 1, 31, "wxyz"), 1);
    ASSERT_GT(DARARARCreateEventInfo(h), 0);
    ASSERT_EQ(DARARARCreateEventTable(h, 0, 4, 1, 4), 1);
    ASSERT_EQ(DARARARSetEventTableInfo(h, 0, 1, 41, "WXYZ"), 1);
    ASSERT_GT(DARARARCreateEventInfo(h), 0);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
    ASSERT_EQ(DARARARStartRecordWave(h), 1);
    ASSERT_GT(DARARAREndRecordWave(h), 0);
  }
  Bio r = open("e.vzp", 3);
  ASSERT_TRUE(r);
  EXPECT_EQ(DARARARReadEventInfo(r, 0), 1);
  uint32_t value = 0;
  char out[4];
  ASSERT_EQ(DARARARGetEventTableInfo(r, 0, 1, &value, out), 1);
  EXPECT_EQ(value, 31u) << "the first of two chunks";

  for (uint16_t bad : {uint16_t(2), uint16_t(32), uint16_t(40), uint16_t(0xFFFF)})
    EXPECT_EQ(DARARARReadEventInfo(r, bad), 0) << bad;
  EXPECT_EQ(DARARARGetEventTableInfo(r, 0, 1, &value, out), 1)
      << "a refused record index touches no table";

  // The update rewrites the first chunk only.
  const Bytes before = read_file(path("e.vzp"));
  ASSERT_EQ(DARARARSetEventTableInfo(r, 0, 1, 31, "abcd"), 1);
  EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
  const Bytes after = read_file(path("e.vzp"));
  const uint32_t first = RAZIVERAFindIndexPtr(r, 0, 200, 0, nullptr);
  EXPECT_EQ(diff_offsets(before, after),
            (std::vector<size_t>{first + 32, first + 33, first + 34, first + 35}));

  // Record 1 holds no table chunk: the read leaves it without one.
  ASSERT_EQ(DARARARCreateEventTable(r, 1, 9, 1, 4), 1);
  EXPECT_EQ(DARARARReadEventInfo(r, 1), 0);
  EXPECT_EQ(DARARARGetEventTableInfo(r, 1, 1, &value, out), 0);
}

TEST_F(EventTableTest, ReviewRewritesDataButNotValues) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const uint32_t start = write_table("e.vzp", big, 5, 30);
    const Bytes before = read_file(path("e.vzp"));
    {
      Bio r = open("e.vzp", 3);
      ASSERT_TRUE(r);
      ASSERT_EQ(DARARARReadEventInfo(r, 0), 5);
      const Bytes fresh = data_for(3, 32, 0x80);
      ASSERT_EQ(DARARARSetEventTableInfo(r, 0, 3, 999, fresh.data()), 1);
      EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
      uint32_t value = 0;
      Bytes got(32);
      ASSERT_EQ(DARARARGetEventTableInfo(r, 0, 3, &value, got.data()), 1);
      EXPECT_EQ(value, 999u) << "the table in memory keeps the new value";
    }
    const Bytes after = read_file(path("e.vzp"));
    const size_t data3 = start + 24 + 2 * 40 + 8;
    std::vector<size_t> expected;
    for (size_t i = 0; i < 32; ++i) expected.push_back(data3 + i);
    EXPECT_EQ(diff_offsets(before, after), expected) << "data of entry 3 only";
    EXPECT_EQ(get32(after, data3 - 4, big), 103u) << "the stored value stays";
    EXPECT_EQ(Bytes(after.begin() + data3, after.begin() + data3 + 32), data_for(3, 32, 0x80));

    // A handle opened for reading only writes nothing.
    Bio ro = open("e.vzp", 1);
    ASSERT_EQ(DARARARReadEventInfo(ro, 0), 5);
    ASSERT_EQ(DARARARSetEventTableInfo(ro, 0, 1, 1, data_for(9, 32).data()), 1);
    EXPECT_EQ(DARARARUpdateEventInfo(ro, 0), 0);
    ro.close();
    EXPECT_EQ(read_file(path("e.vzp")), after);
  }
}

TEST_F(EventTableTest, UpdateStopsAtTheEndOfTheStoredChunk) {
  // Two stored entries, then a WaveInfo-typed chunk that must stay intact.
  FileImage img;
  img.start_record();
  const size_t at = img.chunk(
      200, 5,
      event_body(2, {event_entry(16, 1, data_for(1, 8), false),
                     event_entry(16, 2, data_for(2, 8), false)}, false));
  const size_t next = img.chunk(100, 0, Bytes(116, 0x5A));
  img.end_record();
  img.save(path("e.vzp"));

  Bio r = open("e.vzp", 3);
  ASSERT_TRUE(r);
  ASSERT_EQ(DARARARCreateEventTable(r, 0, 5, 6, 8), 1);  // more entries than stored
  for (uint16_t n = 1; n <= 6; ++n)
    ASSERT_EQ(DARARARSetEventTableInfo(r, 0, n, n, data_for(n, 8, 0x40).data()), 1);
  EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
  r.close();
  const Bytes after = read_file(path("e.vzp"));
  std::vector<size_t> expected;
  for (size_t e = 0; e < 2; ++e)
    for (size_t i = 0; i < 8; ++i) expected.push_back(at + 24 + e * 16 + 8 + i);
  EXPECT_EQ(diff_offsets(img.bytes(), after), expected);
  EXPECT_EQ(get32(after, next), 128u);

  // Entries of another size than the stored ones are not forced into them.
  Bio r2 = open("e.vzp", 3);
  ASSERT_EQ(DARARARCreateEventTable(r2, 0, 5, 2, 20), 1);
  ASSERT_EQ(DARARARSetEventTableInfo(r2, 0, 1, 0, data_for(7, 20).data()), 1);
  EXPECT_EQ(DARARARUpdateEventInfo(r2, 0), 0);
  r2.close();
  EXPECT_EQ(read_file(path("e.vzp")), after);
}

TEST_F(EventTableTest, TablesOfAnyEntrySizeReadBackExactly) {
  for (uint32_t dataSize : {1u, 10u, 29u, 33u, 100u, 1016u}) {
    SCOPED_TRACE(dataSize);
    const uint32_t es = rz::event_table::entry_size_for(dataSize);
    const uint32_t start = write_table("e.vzp", true, 4, dataSize);
    const Bytes before = read_file(path("e.vzp"));
    EXPECT_EQ(get32(before, start, true), 24 + 4 * es);
    Bio r = open("e.vzp", 3);
    ASSERT_EQ(DARARARReadEventInfo(r, 0), 4);
    for (int n = 1; n <= 4; ++n) {
      uint32_t value = 0;
      Bytes got(es - 8);
      ASSERT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(n), &value, got.data()), 1);
      EXPECT_EQ(value, 100u + uint32_t(n));
      EXPECT_EQ(got, data_for(n, es - 8));
    }
    rz::Pinned<rz::BioFile> bf(r);
    rz::BlockLock t(bf->records[0].eventTable);
    EXPECT_EQ(rz::load_u32(t.data(), 0, rz::kHostBigEndian), 24 + 4 * es)
        << "the table's size is the stored chunk's";
    // Nothing changed, so an update rewrites every byte as it stood.
    EXPECT_EQ(DARARARUpdateEventInfo(r, 0), 0);
    r.close();
    EXPECT_EQ(read_file(path("e.vzp")), before);
  }
}

TEST_F(EventTableTest, DamagedChunksAreReadOnlyAsFarAsTheyHold) {
  const Bytes d32 = data_for(1, 32);
  const struct {
    const char* what;
    uint32_t count;
    std::vector<uint32_t> entrySizes;  // stored size words; data fills 32 bytes each
    uint32_t chunkSize;                // 0: true size
    int32_t expected;
  } cases[] = {
      {"count above the entries", 0xFFFFFFFF, {40, 40}, 0, 2},
      {"entry size below its head", 3, {40, 4, 40}, 0, 1},
      {"entry size zero", 2, {0, 40}, 0, 0},
      {"entry size above 1024", 2, {40, 2048}, 0, 1},
      {"entry running past the chunk", 2, {40, 48}, 0, 1},
      {"chunk size past the record", 2, {40, 40}, 0xFFFFFF00u, 2},
      {"chunk smaller than its head", 2, {40, 40}, 20, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Bytes> entries;
    for (uint32_t s : c.entrySizes) entries.push_back(event_entry(s, 7, d32, false));
    FileImage img;
    img.start_record();
    img.chunk(200, 1, event_body(c.count, entries, false), c.chunkSize);
    img.end_record();
    img.save(path("d.vzp"));
    Bio r = open("d.vzp", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARReadEventInfo(r, 0), c.expected);
    rz::Pinned<rz::BioFile> bf(r);
    if (c.expected > 0) {
      rz::BlockLock t(bf->records[0].eventTable);
      EXPECT_EQ(rz::load_u32(t.data(), 16, rz::kHostBigEndian), uint32_t(c.expected));
      EXPECT_LE(t.size(), 24u + 64u + uint32_t(c.expected) * 1024u);
      uint32_t value = 0;
      Bytes got(32);
      EXPECT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(c.expected), &value, got.data()), 1);
      EXPECT_EQ(DARARARGetEventTableInfo(r, 0, uint16_t(c.expected + 1), &value, got.data()), 0);
    }
  }
}

TEST_F(EventTableTest, AHostileCountNeverSizesTheBlock) {
  // The record header claims nearly 2 GiB and the chunk a billion entries;
  // the file holds two.
  FileImage img;
  img.start_record();
  img.chunk(200, 1,
            event_body(1000000000u, {event_entry(8, 1, {}, false), event_entry(8, 2, {}, false)},
                       false),
            0x7FFF0000u);
  img.end_record();
  put32(img.bytes(), 32, 0x7FFFFF00u);
  img.save(path("h.vzp"));
  Bio r = open("h.vzp", 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(DARARARReadEventInfo(r, 0), 2) << "the walk ends at the terminator";
  rz::Pinned<rz::BioFile> bf(r);
  rz::BlockLock t(bf->records[0].eventTable);
  EXPECT_LT(t.size(), 200u);
}

TEST_F(EventTableTest, ShortWritesAreNotCounted) {
  Bio h = create("e.vzp");
  ASSERT_EQ(DARARARStartRecordWave(h), 0);
  ASSERT_EQ(DARARARCreateEventTable(h, 0, 1, 3, 4), 1);  // 12-byte entries
  rz::Pinned<rz::BioFile> bf(h);
  const uint32_t start = bf->writePos;
  faults::arm(faults::Op::Write, 4, 5);  // head, entry 1, entry 2 ok; entry 3 short
  EXPECT_EQ(DARARARCreateEventInfo(h), int32_t(start + 24 + 24));
  EXPECT_EQ(bf->recordSize[0], 16u + 24 + 24);

  faults::arm(faults::Op::Write, 1, 0, true);  // a disk that stays full
  EXPECT_EQ(DARARARCreateEventInfo(h), 0);
  EXPECT_EQ(bf->writePos, start + 48);

  faults::reset();
  EXPECT_EQ(DARARARCreateEventInfo(nullptr), 0);
  Bio none = create("n.vzp");
  EXPECT_EQ(DARARARCreateEventInfo(none), 0) << "no record";
  ASSERT_EQ(DARARARStartRecordWave(none), 0);
  EXPECT_EQ(DARARARCreateEventInfo(none), 0) << "no table";
}
