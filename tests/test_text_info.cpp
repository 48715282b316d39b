// Text information lists: exact chunk bytes in both byte orders, reading them
// back, replacing a text in place, and damaged lists read without harm.
#include <cstring>
#include <string>
#include <vector>

#include "container/textbuffer.h"
#include "frame/biofile.h"
#include "support/test_support.h"

using namespace rzt;

namespace {

constexpr uint16_t kType = 500;
constexpr size_t kChunkAt = 48;  // behind the base header and the record header

// One entry as it stands in a chunk: size and id in the given orders, then
// the text in a field of `field` bytes (zero behind the text).
Bytes entry(uint32_t size, uint32_t id, const std::string& text, size_t field, bool sizeBig,
            bool idBig) {
  Bytes b;
  put32(b, 0, size, sizeBig);
  put32(b, 4, id, idBig);
  b.resize(8 + field, 0);
  std::memcpy(b.data() + 8, text.data(), std::min(text.size(), field));
  return b;
}

struct Read {
  uint32_t length, id;
  std::string text;
  bool operator==(const Read& o) const {
    return length == o.length && id == o.id && text == o.text;
  }
};
std::ostream& operator<<(std::ostream& os, const Read& r) {
  return os << "{" << r.length << ", " << r.id << ", \"" << r.text << "\"}";
}

// The first n entries of a buffer as the fetch operation returns them.
std::vector<Read> entries(HGLOBAL h, HGLOBAL buffer, int n) {
  std::vector<Read> out;
  for (int i = 0; i < n; ++i) {
    char dest[256];
    const uint32_t r = RAZIVERAGetTextBuffer(h, buffer, i, dest);
    out.push_back({r >> 16, r & 0xFFFF, dest});
  }
  return out;
}

}  // namespace

class TextInfoTest : public FileTest {
 protected:
  // A new file with one record started and three entries in the handle's
  // own buffer: a short text, an empty one, and one that fills its room.
  Bio start(const std::string& name, bool big) {
    Bio h = create(name, big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 5, 7, "hello"), 1);
    EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 0, 9, "unused"), 2);
    EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 8, 0x0102, "ABCDEFGH"), 3);
    return h;
  }
  // The list written by start(), as bytes, with entry heads in `sizeBig` /
  // `idBig` order and the chunk head in the file's.
  static Bytes expected(bool big, uint32_t type, uint32_t id, bool sizeBig, bool idBig) {
    return cat({words({64, type, id, 0, 3, 0}, big), entry(16, 7, "hello", 8, sizeBig, idBig),
                entry(8, 9, "", 0, sizeBig, idBig), entry(16, 0x0102, "ABCDEFGH", 8, sizeBig, idBig)});
  }
  static Bytes chunk_bytes(const Bytes& file, size_t n) {
    if (file.size() < kChunkAt + n) return {};
    return Bytes(file.begin() + kChunkAt, file.begin() + kChunkAt + long(n));
  }
  // A file crafted with one list of `type` whose body (behind size, type
  // and id) is given, and the handle that reads it.
  Bio craft(const Bytes& body, bool big = false, uint32_t size = 0, uint32_t type = kType) {
    FileImage img(big);
    img.start_record();
    img.chunk(type, 0, body, size);
    img.end_record();
    img.save(path("c.vzp"));
    return open("c.vzp", 1);
  }
};

TEST_F(TextInfoTest, ChunkBytesAreExactInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Bio h = start("a.vzp", big);
    EXPECT_EQ(DARARARCreateTextInfo(h, nullptr, kType, 3), int32_t(kChunkAt + 64));
    EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), kChunkAt + 64);
    const Bytes b = read_file(path("a.vzp"));
    EXPECT_EQ(b.size(), kChunkAt + 64);
    EXPECT_EQ(chunk_bytes(b, 64), expected(big, kType, 0, big, big));
    rz::Pinned<rz::BioFile> bf(h);
    EXPECT_EQ(bf->recordSize[0], 16u + 64u);
  }
}

TEST_F(TextInfoTest, TheCountArgumentAndTheBufferCountBothLimitTheEntries) {
  const struct {
    uint16_t count;
    uint32_t written, size;
  } cases[] = {{10, 3, 64}, {2, 2, 48}, {0, 0, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    Bio h = start("a.vzp", false);
    EXPECT_EQ(DARARARCreateTextInfo(h, nullptr, kType, c.count), int32_t(kChunkAt + c.size));
    const Bytes b = read_file(path("a.vzp"));
    EXPECT_EQ(get32(b, kChunkAt), c.size);
    EXPECT_EQ(get32(b, kChunkAt + 16), c.written);
  }
}

TEST_F(TextInfoTest, ReadingBackGivesRoomsIdsAndTerminatedTexts) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start("a.vzp", big);
      DARARARCreateTextInfo(h, nullptr, kType, 3);
      DARARAREndRecordWave(h);
    }
    Bio r = open("a.vzp", 1);
    HGLOBAL b = RAZIVERACreateTextBuffer(8);
    EXPECT_EQ(DARARARReadTextInfo(r, b, 0, kType), 3u);
    EXPECT_EQ(entries(r, b, 3), (std::vector<Read>{{8, 7, "hello"}, {0, 9, ""}, {8, 0x0102, "ABCDEFGH"}}))
        << "a text that fills its room comes back whole and terminated";
    EXPECT_EQ(DARARARGetUserDataNum(r, 0, kType, 0), 3u) << "the entry count";
    GlobalFree(b);
  }
}

TEST_F(TextInfoTest, AMissingListClearsRoomsAndIdsButKeepsTheCount) {
  Bio h = start("a.vzp", false);
  DARARARCreateTextInfo(h, nullptr, kType, 3);
  EXPECT_EQ(DARARARReadTextInfo(h, nullptr, 0, kType + 1), 0u);
  EXPECT_EQ(entries(h, nullptr, 3), (std::vector<Read>{{0, 0, "hello"}, {0, 0, ""}, {0, 0, "ABCDEFGH"}}))
      << "texts stay, rooms and ids are cleared";
  EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 4, 1, "next"), 4) << "count was kept at 3";
  EXPECT_EQ(DARARARReadTextInfo(h, nullptr, 1, kType), 0u) << "no such record";
  EXPECT_EQ(entries(h, nullptr, 4)[3], (Read{4, 1, "next"})) << "and the buffer is untouched";
}

TEST_F(TextInfoTest, EntryHeadsWrittenInTheOtherByteOrderReadBackTrue) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian file" : "little-endian file");
    Bio r = craft(cat({words({0, 2, 0}, big), entry(16, 300, "other", 8, !big, !big),
                       entry(12, 301, "mine", 4, big, big)}),
                  big);
    EXPECT_EQ(DARARARReadTextInfo(r, nullptr, 0, kType), 2u);
    EXPECT_EQ(entries(r, nullptr, 2), (std::vector<Read>{{8, 300, "other"}, {4, 301, "mine"}}));
  }
}

TEST_F(TextInfoTest, AStoredTextOf256CharactersReadsBackAsItsFirst250) {
  Bio r = craft(cat({words({0, 1, 0}, false), entry(264, 4, std::string(256, 'z'), 256, false, false)}));
  EXPECT_EQ(DARARARReadTextInfo(r, nullptr, 0, kType), 1u);
  EXPECT_EQ(entries(r, nullptr, 1)[0], (Read{256, 4, std::string(250, 'z')}));
}

TEST_F(TextInfoTest, DamagedListsReadOnlyWhatLiesInsideTheChunk) {
  const std::string t300(300, 'w');
  const struct {
    const char* what;
    Bytes body;
    uint32_t size;  // chunk size, 0: as built
    uint16_t stored;
    std::vector<Read> first;
  } cases[] = {
      {"size below 8 is stepped over",
       cat({words({0, 2, 0}, false), words({4}, false), entry(12, 2, "abcd", 4, false, false)}), 0, 1,
       {{4, 2, "abcd"}}},
      {"size 0 ends the walk",
       cat({words({0, 3, 0}, false), entry(0, 1, "", 8, false, false)}), 0, 0, {}},
      {"size above 264 keeps a room of 256",
       cat({words({0, 2, 0}, false), entry(308, 5, t300, 300, false, false),
            entry(12, 6, "next", 4, false, false)}),
       0, 2, {{256, 5, std::string(250, 'w')}, {4, 6, "next"}}},
      {"an entry running past the chunk ends the walk",
       cat({words({0, 2, 0}, false), entry(12, 1, "ok", 4, false, false),
            entry(1000, 2, "long", 8, false, false)}),
       0, 1, {{4, 1, "ok"}}},
      {"a negative size ends the walk",
       cat({words({0, 2, 0}, false), entry(0xFFFFFFF8u, 1, "neg", 8, false, false)}), 0, 0, {}},
      {"a chunk smaller than its entries",
       cat({words({0, 1, 0}, false), entry(16, 1, "abcdefgh", 8, false, false)}), 24 + 12, 0, {}},
      {"a chunk size reaching far past the record",
       cat({words({0, 5, 0}, false), entry(12, 3, "end", 4, false, false)}), 0x7FFFFFF0u, 1,
       {{4, 3, "end"}}},
      {"a negative count reads no entry",
       cat({words({0, 0x80000000u, 0}, false), entry(12, 1, "no", 4, false, false)}), 0, 0, {}},
      {"a chunk size below its head",
       cat({words({0, 1, 0}, false), entry(12, 1, "no", 4, false, false)}), 8, 0, {}},
      {"a count above the capacity is lowered to it",
       cat({words({0, 1000, 0}, false), entry(12, 0, "a", 4, false, false), entry(12, 1, "b", 4, false, false),
            entry(12, 2, "c", 4, false, false), entry(12, 3, "d", 4, false, false),
            entry(12, 4, "e", 4, false, false)}),
       0, 4, {{4, 0, "a"}, {4, 1, "b"}, {4, 2, "c"}, {4, 3, "d"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bio r = craft(c.body, false, c.size);
    ASSERT_TRUE(r);
    HGLOBAL b = RAZIVERACreateTextBuffer(4);
    RAZIVERASetTextBuffer(r, b, 3, 4, 99, "old");
    EXPECT_EQ(DARARARReadTextInfo(r, b, 0, kType), c.stored);
    EXPECT_EQ(entries(r, b, int(c.first.size())), c.first);
    char dest[256];
    EXPECT_EQ(RAZIVERAGetTextIDBuffer(r, b, 99, dest), 0u) << "the count was reset";
    GlobalFree(b);
  }
}

TEST_F(TextInfoTest, UpdateReplacesOneTextWithinItsField) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start("a.vzp", big);
      DARARARCreateTextInfo(h, nullptr, kType, 3);
      DARARAREndRecordWave(h);
    }
    const Bytes before = read_file(path("a.vzp"));
    Bio h = open("a.vzp", 3);
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 0x0102, "12345678901"), 2);
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 7, "hi"), 0);
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 9, "no room"), 1) << "room 0: nothing to write";
    Bytes want = before;
    std::memcpy(want.data() + kChunkAt + 24 + 8, "hi\0\0\0\0\0\0", 8);
    std::memcpy(want.data() + kChunkAt + 24 + 16 + 8 + 8, "12345678", 8);
    EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), want), std::vector<size_t>{});

    const Bytes after = read_file(path("a.vzp"));
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 8, "x"), -1) << "no such id";
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType + 1, 7, "x"), -1) << "no such list";
    EXPECT_EQ(DARARARUpdateTextInfo(h, 1, kType, 7, "x"), -1) << "no such record";
    EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 7, nullptr), -1);
    Bio r = open("a.vzp", 1);
    EXPECT_EQ(DARARARUpdateTextInfo(r, 0, kType, 7, "x"), -1) << "read-only";
    EXPECT_EQ(read_file(path("a.vzp")), after);
  }
}

TEST_F(TextInfoTest, UpdateOfADamagedListWritesNothingOutsideItsFields) {
  const std::string t300(300, 'w');
  // An entry of size 308 within the chunk: only the first 256 bytes of its
  // field are the text; the rest stays.
  {
    Bio h = craft(cat({words({0, 2, 0}, false), entry(308, 5, t300, 300, false, false),
                       entry(1000, 6, "past", 8, false, false)}));
  }
  const Bytes before = read_file(path("c.vzp"));
  Bio h = open("c.vzp", 3);
  ASSERT_TRUE(h);
  EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 5, "new"), 0);
  EXPECT_EQ(DARARARUpdateTextInfo(h, 0, kType, 6, "new"), -1) << "runs past the chunk";
  const Bytes after = read_file(path("c.vzp"));
  const size_t field = 32 + 16 + 24 + 8;
  for (size_t off : diff_offsets(before, after)) {
    EXPECT_GE(off, field);
    EXPECT_LT(off, field + 256);
  }
  EXPECT_EQ(text_at(after, field, 4), std::string("new\0", 4));
}

TEST_F(TextInfoTest, NoRecordNoBufferOrNoHandleWriteNothing) {
  Bio h = create("a.vzp");
  EXPECT_EQ(DARARARCreateTextInfo(h, nullptr, kType, 1), 0) << "no record started";
  DARARARStartRecordWave(h);
  EXPECT_EQ(DARARARCreateTextInfo(nullptr, nullptr, kType, 1), 0);
  EXPECT_EQ(DARARARUpdateTextInfo(nullptr, 0, kType, 1, "x"), -1);
  EXPECT_EQ(DARARARReadTextInfo(nullptr, nullptr, 0, kType), 0u);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), kChunkAt);
}
