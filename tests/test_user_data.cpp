// User information, the six typed user data items and the user text list:
// exact chunk bytes and bit-for-bit round trips in both byte orders, and
// damaged chunks read without harm.
#include <cstring>
#include <string>
#include <vector>

#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/test_support.h"

using namespace rzt;
namespace faults = rz::plat::faults;

namespace {

constexpr size_t kChunkAt = 48;  // behind the base header and the record header

// One element type: its chunk type, width, and its creator and reader taking
// the caller's array as raw memory.
struct Kind {
  const char* name;
  uint32_t type;
  uint32_t width;
  int32_t (*create)(HGLOBAL, uint16_t, uint32_t, const void*);
  int32_t (*read)(HGLOBAL, uint32_t, uint16_t, void*, int32_t);
};

template <class T, int32_t (*C)(HGLOBAL, uint16_t, uint32_t, const T*),
          int32_t (*R)(HGLOBAL, uint32_t, uint16_t, T*, int32_t)>
Kind kind(const char* name, uint32_t type) {
  return {name, type, sizeof(T),
          [](HGLOBAL h, uint16_t id, uint32_t n, const void* d) { return C(h, id, n, static_cast<const T*>(d)); },
          [](HGLOBAL h, uint32_t r, uint16_t id, void* b, int32_t m) { return R(h, r, id, static_cast<T*>(b), m); }};
}

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> k = {
      kind<uint8_t, DARARARCreateUserByte, DARARARReadUserByte>("bytes", 2100),
      kind<uint16_t, DARARARCreateUserWord, DARARARReadUserWord>("words", 2110),
      kind<int16_t, DARARARCreateUserShort, DARARARReadUserShort>("shorts", 2120),
      kind<uint32_t, DARARARCreateUserDword, DARARARReadUserDword>("dwords", 2130),
      kind<int32_t, DARARARCreateUserLong, DARARARReadUserLong>("longs", 2140),
      kind<float, DARARARCreateUserFloat, DARARARReadUserFloat>("floats", 2200),
  };
  return k;
}

// Element bit patterns: every byte distinct, top bits set; for the floats a
// signalling NaN with payload, a quiet negative NaN with payload, -0, the
// smallest subnormal and 1.0.
const uint32_t kPatterns[] = {0x7FA00001u, 0xFFC12345u, 0x80000000u, 0x00000001u, 0x3F800000u};

void put(Bytes& b, size_t off, uint32_t v, uint32_t width, bool big) {
  if (b.size() < off + width) b.resize(off + width);
  for (uint32_t i = 0; i < width; ++i) b[off + i] = uint8_t(v >> (8 * (big ? width - 1 - i : i)));
}

// The caller's array of n elements of the kind, in host memory.
Bytes host_array(const Kind& k, size_t n) {
  Bytes b(n * k.width);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = kPatterns[i % 5] ^ uint32_t(i << 8);
    switch (k.width) {
      case 1: b[i] = uint8_t(v); break;
      case 2: { const uint16_t x = uint16_t(v); std::memcpy(&b[2 * i], &x, 2); break; }
      default: std::memcpy(&b[4 * i], &v, 4); break;
    }
  }
  return b;
}

uint32_t element(const Bytes& host, size_t i, uint32_t width) {
  uint32_t v = 0;
  if (width == 1) return host[i];
  if (width == 2) { uint16_t x; std::memcpy(&x, &host[2 * i], 2); return x; }
  std::memcpy(&v, &host[4 * i], 4);
  return v;
}

// The chunk an item of these elements must be, byte for byte.
Bytes expected_chunk(const Kind& k, uint16_t id, const Bytes& host, bool big) {
  const size_t n = host.size() / k.width;
  const uint32_t room = uint32_t((n * k.width + 3) & ~size_t{3});
  Bytes b = words({24 + room, k.type, id, 0, uint32_t(n), 0}, big);
  for (size_t i = 0; i < n; ++i) put(b, 24 + i * k.width, element(host, i, k.width), k.width, big);
  b.resize(24 + room, 0);  // filler: zero
  return b;
}

}  // namespace

class UserDataTest : public FileTest {
 protected:
  Bio start(const std::string& name, bool big) {
    Bio h = create(name, big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    return h;
  }
  // A file with one record holding the given chunks (head: size, type, id,
  // then body), and a handle reading it.
  struct Chunk {
    uint32_t type, id;
    Bytes body;
    uint32_t size;
  };
  Bio craft(const std::vector<Chunk>& chunks, bool big = false) {
    FileImage img(big);
    img.start_record();
    for (const Chunk& c : chunks) img.chunk(c.type, c.id, c.body, c.size);
    img.end_record();
    img.save(path("c.vzp"));
    return open("c.vzp", 1);
  }
};

TEST_F(UserDataTest, EveryElementTypeIsWrittenByteForByteInBothOrders) {
  for (const Kind& k : kinds()) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(testing::Message() << k.name << (big ? " big-endian" : " little-endian"));
      const Bytes host = host_array(k, 5);
      const Bytes keep = host;
      const Bytes want = expected_chunk(k, 0x1234, host, big);
      Bio h = start("a.vzp", big);
      EXPECT_EQ(k.create(h, 0x1234, 5, host.data()), int32_t(kChunkAt + want.size()));
      EXPECT_EQ(host, keep) << "the caller's array is only read";
      const Bytes b = read_file(path("a.vzp"));
      EXPECT_EQ(b.size(), kChunkAt + want.size());
      EXPECT_EQ(slice(b, kChunkAt, want.size()), want);
      rz::Pinned<rz::BioFile> bf(h);
      EXPECT_EQ(bf->recordSize[0], 16 + want.size());
    }
  }
}

TEST_F(UserDataTest, DataRoomIsRaisedToFourBytesWithZeroFiller) {
  const struct {
    size_t kind;
    uint32_t count, room;
  } cases[] = {{0, 0, 0}, {0, 1, 4}, {0, 4, 4}, {0, 5, 8},  {1, 2, 4},
               {1, 3, 8}, {2, 1, 4}, {3, 3, 12}, {5, 0, 0}};
  for (const auto& c : cases) {
    const Kind& k = kinds()[c.kind];
    SCOPED_TRACE(testing::Message() << k.name << " x" << c.count);
    Bio h = start("a.vzp", false);
    const Bytes host = host_array(k, c.count);
    EXPECT_EQ(k.create(h, 1, c.count, host.data()), int32_t(kChunkAt + 24 + c.room));
    const Bytes b = read_file(path("a.vzp"));
    EXPECT_EQ(get32(b, kChunkAt), 24 + c.room);
    EXPECT_EQ(get32(b, kChunkAt + 16), c.count);
  }
}

TEST_F(UserDataTest, EveryElementTypeRoundTripsBitForBit) {
  for (const Kind& k : kinds()) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(testing::Message() << k.name << (big ? " big-endian" : " little-endian"));
      const Bytes host = host_array(k, 7);
      {
        Bio h = start("a.vzp", big);
        const Bytes other = host_array(k, 2);
        k.create(h, 3, 2, other.data());
        k.create(h, 9, 7, host.data());
        DARARAREndRecordWave(h);
      }
      Bio r = open("a.vzp", 1);
      ASSERT_TRUE(r);
      EXPECT_EQ(DARARARGetUserDataNum(r, 0, uint16_t(k.type), 9), 7u);
      EXPECT_EQ(DARARARGetUserDataNum(r, 0, uint16_t(k.type), 0), 2u) << "id 0: the first";

      Bytes got(host.size() + 8, 0xEE);
      EXPECT_EQ(k.read(r, 0, 9, got.data(), 100), 7);
      EXPECT_EQ(slice(got, 0, host.size()), host);
      EXPECT_EQ(got[host.size()], 0xEE) << "nothing behind the elements, filler included";

      std::fill(got.begin(), got.end(), 0xEE);
      EXPECT_EQ(k.read(r, 0, 9, got.data(), 3), 3) << "maxCount below the count: the first ones";
      EXPECT_EQ(slice(got, 0, 3 * k.width), slice(host, 0, 3 * k.width));
      EXPECT_EQ(got[3 * k.width], 0xEE);

      EXPECT_EQ(k.read(r, 0, 9, got.data(), 0), 0);
      EXPECT_EQ(k.read(r, 0, 9, got.data(), -5), 0);
      EXPECT_EQ(k.read(r, 0, 4, got.data(), 10), 0) << "no such id";
      EXPECT_EQ(k.read(r, 1, 9, got.data(), 10), 0) << "no such record";
      EXPECT_EQ(k.read(r, 0, 9, nullptr, 10), 0);
    }
  }
}

TEST_F(UserDataTest, StoredCountsAreUnsignedAndNeverReadPastTheChunk) {
  const Bytes four = words({11, 22, 33, 44}, false);
  Bio r = craft({{2130, 1, cat({words({0, 0x80000000u, 0}, false), four}), 0},
                 {2130, 2, cat({words({0, 0xFFFFFFFFu, 0}, false), four}), 0},
                 {2130, 3, cat({words({0, 3, 0}, false), four}), 12 + 12 + 8},
                 {2130, 4, cat({words({0, 3, 0}, false), four}), 8}});
  ASSERT_TRUE(r);
  uint32_t got[8] = {};
  EXPECT_EQ(DARARARReadUserDword(r, 0, 1, got, 3), 3) << "a count of 2^31 is lowered, not negative";
  EXPECT_EQ(got[2], 33u);
  EXPECT_EQ(DARARARReadUserDword(r, 0, 2, got, 4), 4);
  EXPECT_EQ(DARARARReadUserDword(r, 0, 2, got, 8), 0) << "more than the chunk holds";
  EXPECT_EQ(DARARARReadUserDword(r, 0, 3, got, 8), 0) << "the chunk holds 2 of its 3";
  EXPECT_EQ(DARARARReadUserDword(r, 0, 3, got, 2), 2);
  EXPECT_EQ(DARARARReadUserDword(r, 0, 4, got, 1), 0) << "a chunk smaller than its head";
  EXPECT_EQ(DARARARGetUserDataNum(r, 0, 2130, 2), 0xFFFFFFFFu) << "the count as stored";

  uint32_t values[4] = {7, 7, 7, 7};
  EXPECT_EQ(DARARARReadUserInfo(r, 0, 2130, 1, nullptr), 0) << "a count the chunk cannot hold";
  EXPECT_EQ(DARARARReadUserInfo(r, 0, 2130, 1, values), 0);
  EXPECT_EQ(values[0], 7u);
}

TEST_F(UserDataTest, AnItemCutShortByTheEndOfTheFileReadsAsShort) {
  FileImage img;
  img.start_record();  // never ended: the record runs to the end of the file
  img.chunk(2110, 1, cat({words({0, 6, 0}, false), Bytes(4, 0x5A)}), 24 + 12);
  img.save(path("c.vzp"));
  Bio r = open("c.vzp", 1);
  ASSERT_TRUE(r);
  uint16_t got[6] = {};
  EXPECT_EQ(DARARARReadUserWord(r, 0, 1, got, 6), 0);
  EXPECT_EQ(DARARARReadUserWord(r, 0, 1, got, 2), 2);
  EXPECT_EQ(got[1], 0x5A5A);
}

TEST_F(UserDataTest, WritersRefuseWhatTheyCannotWholly) {
  Bio h = create("a.vzp");
  const uint32_t one = 1;
  EXPECT_EQ(DARARARCreateUserDword(h, 1, 1, &one), 0) << "no record started";
  DARARARStartRecordWave(h);
  EXPECT_EQ(DARARARCreateUserDword(h, 1, 1, nullptr), 0) << "no data";
  EXPECT_EQ(DARARARCreateUserDword(h, 1, 0xFFFFFFFFu, &one), 0) << "a chunk past 2 GiB";
  EXPECT_EQ(DARARARCreateUserInfo(h, 0, 900, 1, &one, 0x3FFFFFFFu), 0);
  EXPECT_EQ(DARARARCreateUserDword(nullptr, 1, 1, &one), 0);
  EXPECT_EQ(DARARARReadUserDword(nullptr, 0, 1, nullptr, 1), 0);
  EXPECT_EQ(DARARARGetUserDataNum(nullptr, 0, 2130, 0), 0u);
  faults::arm(faults::Op::Alloc, 1);
  EXPECT_EQ(DARARARCreateUserWord(h, 1, 1, reinterpret_cast<const uint16_t*>(&one)), 0)
      << "no scratch copy: nothing written";
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), kChunkAt);
  EXPECT_EQ(read_file(path("a.vzp")).size(), kChunkAt);
}

TEST_F(UserDataTest, UserInfoKeepsTheCallersArrayAndItsCount) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    uint32_t values[3] = {0x01020304u, 0xA0B0C0D0u, 5};
    const uint32_t keep[3] = {values[0], values[1], values[2]};
    {
      Bio h = start("a.vzp", big);
      EXPECT_EQ(DARARARCreateUserInfo(h, 7, 900, 4, values, 3), int32_t(kChunkAt + 36))
          << "the record argument is not consulted";
      EXPECT_EQ(std::memcmp(values, keep, sizeof keep), 0);
      EXPECT_EQ(DARARARCreateUserInfo(h, 0, 900, 5, values, 0), int32_t(kChunkAt + 36 + 24));
      DARARAREndRecordWave(h);
    }
    const Bytes b = read_file(path("a.vzp"));
    EXPECT_EQ(slice(b, kChunkAt, 60), cat({words({36, 900, 4, 0, 3, 0, 0x01020304u, 0xA0B0C0D0u, 5}, big),
                                          words({24, 900, 5, 0, 0, 0}, big)}));
    Bio r = open("a.vzp", 1);
    EXPECT_EQ(DARARARReadUserInfo(r, 0, 900, 4, nullptr), 3);
    uint32_t got[4] = {0, 0, 0, 0xEE};
    EXPECT_EQ(DARARARReadUserInfo(r, 0, 900, 0, got), 3) << "id 0: the first";
    EXPECT_EQ(std::memcmp(got, keep, sizeof keep), 0);
    EXPECT_EQ(got[3], 0xEEu);
    EXPECT_EQ(DARARARReadUserInfo(r, 0, 900, 5, got), 0) << "an empty array";
    EXPECT_EQ(DARARARReadUserInfo(r, 0, 901, 0, got), 0);
    EXPECT_EQ(DARARARGetUserDataNum(r, 0, 900, 4), 3u);
    EXPECT_EQ(DARARARCreateUserInfo(r, 0, 900, 6, values, 3), 0) << "read-only";
  }
  EXPECT_EQ(read_file(path("a.vzp")).size(), kChunkAt + 60 + 16);
}

class UserTextTest : public UserDataTest {
 protected:
  Bio start_with_texts(const std::string& name, bool big) {
    Bio h = start(name, big);
    EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 5, 0x0102, "hello"), 1);
    EXPECT_EQ(RAZIVERASetTextBuffer(h, nullptr, -1, 4, 3, "abcd"), 2);
    return h;
  }
};

TEST_F(UserTextTest, EntrySizesAreMostSignificantFirstAndIdsLeastWhateverTheFile) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Bio h = start_with_texts("a.vzp", big);
    EXPECT_EQ(DARARARCreateUserText(h, nullptr, 77, 5), int32_t(kChunkAt + 24 + 16 + 12));
    Bytes want = words({52, 2000, 77, 0, 2, 0}, big);
    want = cat({want, words({16}, true), words({0x0102}, false), Bytes{'h', 'e', 'l', 'l', 'o', 0, 0, 0},
                words({12}, true), words({3}, false), Bytes{'a', 'b', 'c', 'd'}});
    EXPECT_EQ(slice(read_file(path("a.vzp")), kChunkAt, 52), want);
    EXPECT_EQ(DARARARGetUserDataNum(h, 0, 2000, 77), 2u);
  }
}

TEST_F(UserTextTest, BothTextReadersReadAUserText) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    {
      Bio h = start_with_texts("a.vzp", big);
      DARARARCreateUserText(h, nullptr, 77, 1);
      DARARARCreateUserText(h, nullptr, 78, 2);
      DARARAREndRecordWave(h);
    }
    Bio r = open("a.vzp", 1);
    HGLOBAL b = RAZIVERACreateTextBuffer(4);
    char dest[256];
    EXPECT_EQ(DARARARReadUserText(r, b, 0, 78), 2);
    EXPECT_EQ(RAZIVERAGetTextBuffer(r, b, 0, dest), (8u << 16) | 0x0102u);
    EXPECT_STREQ(dest, "hello");
    EXPECT_EQ(RAZIVERAGetTextBuffer(r, b, 1, dest), (4u << 16) | 3u);
    EXPECT_STREQ(dest, "abcd");
    EXPECT_EQ(DARARARReadUserText(r, b, 0, 0), 1) << "id 0: the first";
    EXPECT_EQ(DARARARReadUserText(r, b, 0, 79), 0);

    EXPECT_EQ(DARARARReadTextInfo(r, b, 0, 2000), 1u) << "any id: the first";
    EXPECT_EQ(RAZIVERAGetTextIDBuffer(r, b, 0x0102, dest), (8u << 16) | 0x0102u);
    EXPECT_STREQ(dest, "hello");
    GlobalFree(b);

    Bio e = open("a.vzp", 3);
    EXPECT_EQ(DARARARUpdateTextInfo(e, 0, 2000, 0x0102, "HELLO!!!!"), 0)
        << "the update finds the entry the reader shows";
    EXPECT_EQ(DARARARReadUserText(e, nullptr, 0, 77), 1);
    EXPECT_EQ(RAZIVERAGetTextBuffer(e, nullptr, 0, dest), (8u << 16) | 0x0102u);
    EXPECT_STREQ(dest, "HELLO!!!");
  }
}

TEST_F(UserTextTest, DamagedUserTextsReadOnlyWhatTheyHold) {
  auto ut_entry = [](uint32_t size, uint32_t id, const std::string& text, size_t field) {
    Bytes b = cat({words({size}, true), words({id}, false)});
    b.resize(8 + field, 0);
    std::memcpy(b.data() + 8, text.data(), std::min(field, text.size()));
    return b;
  };
  const std::string z(300, 'z');
  Bio r = craft({
      {2000, 1, cat({words({0, 2, 0}, false), ut_entry(264, 1, z, 256), ut_entry(308, 2, z, 300)}), 0},
      {2000, 2, cat({words({0, 2, 0}, false), ut_entry(12, 1, "ok", 4), words({12, 2}, false)}), 0},
      {2000, 3, cat({words({0, 0xFFFFFFFFu, 0}, false), ut_entry(12, 1, "ok", 4)}), 0},
      {2000, 4, cat({words({0, 2, 0}, false), ut_entry(12, 1, "ok", 4)}), 24 + 8},
  });
  ASSERT_TRUE(r);
  char dest[256];
  EXPECT_EQ(DARARARReadUserText(r, nullptr, 0, 1), 2);
  EXPECT_EQ(RAZIVERAGetTextBuffer(r, nullptr, 0, dest), 256u << 16 | 1u);
  EXPECT_EQ(std::string(dest), std::string(255, 'z')) << "a 256-byte field keeps 255 and the NUL";
  EXPECT_EQ(RAZIVERAGetTextBuffer(r, nullptr, 1, dest), 256u << 16 | 2u) << "room kept within 256";
  EXPECT_EQ(DARARARReadUserText(r, nullptr, 0, 2), 1) << "a size in the wrong order runs past the chunk";
  EXPECT_EQ(DARARARReadUserText(r, nullptr, 0, 3), 0) << "a negative count";
  EXPECT_EQ(DARARARReadUserText(r, nullptr, 0, 4), 0) << "an entry past the chunk's size";
  EXPECT_EQ(DARARARGetUserDataNum(r, 0, 2000, 3), 0xFFFFFFFFu);
}
