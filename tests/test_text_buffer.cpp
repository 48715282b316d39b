// Text buffers: creating them, storing and fetching entries by index and by
// id, in the handle's own buffer and in the caller's.
#include <cstring>
#include <string>

#include "container/textbuffer.h"
#include "support/test_support.h"

using namespace rzt;

class TextBufferTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    h_ = create("t.vzp");
  }
  // The raw block of a buffer, as only the library sees it.
  struct View {
    explicit View(HGLOBAL b) : b_(b), p_(static_cast<uint8_t*>(GlobalLock(b))) {}
    ~View() { GlobalUnlock(b_); }
    rz::TextBufferHead& head() { return *reinterpret_cast<rz::TextBufferHead*>(p_); }
    rz::TextEntry& entry(size_t i) {
      return reinterpret_cast<rz::TextEntry*>(p_ + rz::kTextBufferHeadSize)[i];
    }
    HGLOBAL b_;
    uint8_t* p_;
  };
  uint32_t get(HGLOBAL buffer, int32_t index, std::string* text) {
    char dest[256];
    std::memset(dest, 'x', sizeof dest);
    const uint32_t r = RAZIVERAGetTextBuffer(h_, buffer, index, dest);
    *text = dest;
    return r;
  }
  Bio h_;
};

TEST_F(TextBufferTest, ANewBufferIsEmptyAndSizedForCapacityPlusASpareEntry) {
  EXPECT_EQ(RAZIVERACreateTextBuffer(0), nullptr);
  for (uint16_t cap : {1, 65535}) {
    HGLOBAL b = RAZIVERACreateTextBuffer(cap);
    ASSERT_NE(b, nullptr) << cap;
    {
      View v(b);
      EXPECT_EQ(v.head().size, uint32_t(cap) * 264 + 272);
      EXPECT_EQ(v.head().capacity, cap);
      EXPECT_EQ(v.head().count, 0);
      EXPECT_EQ(GlobalSize(b), size_t(v.head().size) + 64);
    }
    EXPECT_EQ(GlobalFree(b), nullptr) << "the caller releases its own buffer";
  }
}

TEST_F(TextBufferTest, StoringFollowsTheDeclaredLengthNotTheText) {
  const std::string q(300, 'q');
  const struct {
    int32_t index;
    uint16_t len, id;
    std::string text;
    uint16_t result;
    int32_t at;
    uint32_t length;
    std::string stored;
  } cases[] = {
      {-1, 5, 1, "abcdefgh", 1, 0, 8, "abcde"},     // cut to len, room raised to 8
      {-1, 0, 2, "ignored", 2, 1, 0, ""},           // len 0: no text, room 0
      {-1, 12, 3, "ab", 3, 2, 12, "ab"},            // shorter text: room still from len
      {7, 4, 4, "wxyz", 8, 7, 4, "wxyz"},           // a gap: count jumps to 8
      {1, 3, 5, "new", 8, 1, 4, "new"},             // below count: replaced, count stays
      {-1, 255, 9, q, 9, 8, 256, q.substr(0, 255)}, // the longest text
  };
  HGLOBAL b = RAZIVERACreateTextBuffer(16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, c.index, c.len, c.id, c.text.c_str()), c.result);
    std::string text;
    EXPECT_EQ(get(b, c.at, &text), (c.length << 16) | c.id);
    EXPECT_EQ(text, c.stored);
  }
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, 8, 256, 6, q.c_str()), 0) << "too long";
  std::string text;
  EXPECT_EQ(get(b, 8, &text), (256u << 16) | 9u) << "and nothing changed";
  View v(b);
  for (size_t i = 5; i < 256; ++i) ASSERT_EQ(v.entry(0).text[i], 0) << "zero behind the text";
  EXPECT_EQ(v.entry(3).length, 0u) << "entries of the gap stay empty";
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, -1, 1, 1, nullptr), 0);
  EXPECT_EQ(RAZIVERASetTextBuffer(nullptr, b, -1, 1, 1, "a"), 0)
      << "the handle is needed even with a buffer of the caller's";
  GlobalFree(b);
}

TEST_F(TextBufferTest, IndexesAtOrPastTheCapacityStoreNothingAndKeepTheCount) {
  HGLOBAL b = RAZIVERACreateTextBuffer(2);
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, -1, 4, 1, "one"), 1);
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, -1, 4, 2, "two"), 2);
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, -1, 4, 3, "three"), 2) << "full: nothing appended";
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, 2, 4, 3, "spare"), 2);
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, 60000, 4, 3, "far"), 2);
  {
    View v(b);
    EXPECT_EQ(v.head().count, 2);
    EXPECT_EQ(v.entry(2).length, 0u) << "the spare entry is never written";
    EXPECT_EQ(v.entry(2).text[0], 0);
    v.head().count = 60000;  // damaged by its owner: taken as the capacity
    v.entry(2).id = 77;
  }
  char dest[256];
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, b, 77, dest), 0u);
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, b, -1, 4, 1, "a"), 2);
  GlobalFree(b);

  HGLOBAL small = GlobalAlloc(GHND, 64);  // too small for the capacity it claims
  View(small).head().capacity = 100;
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, small, 0, 4, 1, "a"), 0);
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, small, 0, dest), 0u);
  GlobalFree(small);
}

TEST_F(TextBufferTest, FetchingByIndexIsBoundedByTheCapacity) {
  HGLOBAL b = RAZIVERACreateTextBuffer(4);
  RAZIVERASetTextBuffer(h_, b, 0, 8, 5, "eight");
  std::string text;
  EXPECT_EQ(get(b, 0, &text), 0x00080005u);
  EXPECT_EQ(text, "eight");
  EXPECT_EQ(get(b, 3, &text), 0u) << "past the count: an entry never stored is empty";
  EXPECT_EQ(text, "");
  for (int32_t index : {4, 5, -1, INT32_MIN}) {
    EXPECT_EQ(get(b, index, &text), 0u) << index;
    EXPECT_EQ(text, "") << "dest is emptied even when the index is refused";
  }
  char dest[4] = "xyz";
  EXPECT_EQ(RAZIVERAGetTextBuffer(nullptr, b, 0, dest), 0u);
  EXPECT_STREQ(dest, "xyz") << "without a handle dest is left alone";
  EXPECT_EQ(RAZIVERAGetTextBuffer(h_, b, 0, nullptr), 0u);
  GlobalFree(b);
}

TEST_F(TextBufferTest, IdSearchSeesOnlyEntriesBelowTheCountAndTheLowestWins) {
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, nullptr, 3, 4, 7, "late"), 4);
  char dest[256];
  std::strcpy(dest, "stale");
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, nullptr, 0, dest), 0u)
      << "entry 0 was never stored: id 0, room 0";
  EXPECT_STREQ(dest, "");
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, nullptr, 7, dest), (4u << 16) | 7u);
  EXPECT_STREQ(dest, "late");

  RAZIVERASetTextBuffer(h_, nullptr, 1, 4, 7, "dup");
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, nullptr, 7, dest), (4u << 16) | 7u);
  EXPECT_STREQ(dest, "dup") << "two entries with one id: the lower index";

  RAZIVERASetTextBuffer(h_, nullptr, 9, 4, 42, "beyond");  // stored at 9, count 10
  {
    rz::Pinned<rz::BioFile> bf(h_);
    View v(bf->textBuffer);
    v.head().count = 9;
  }
  std::strcpy(dest, "stale");
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, nullptr, 42, dest), 0u) << "entry 9 is past the count";
  EXPECT_STREQ(dest, "");

  {  // without its own buffer a handle refuses a null buffer
    rz::Pinned<rz::BioFile> bf(h_);
    GlobalFree(bf->textBuffer);
    bf->textBuffer = nullptr;
  }
  EXPECT_EQ(RAZIVERASetTextBuffer(h_, nullptr, -1, 4, 1, "a"), 0);
  EXPECT_EQ(RAZIVERAGetTextIDBuffer(h_, nullptr, 0, dest), 0u);
}

TEST_F(TextBufferTest, ReplacingByIdMustFitTheRoomWithItsTerminator) {
  HGLOBAL b = RAZIVERACreateTextBuffer(4);
  RAZIVERASetTextBuffer(h_, b, -1, 12, 3, "original text");  // room 12
  EXPECT_EQ(RAZIVERASetTextIDBuffer(h_, b, 3, "twelve chars"), 0u);
  std::string text;
  get(b, 0, &text);
  EXPECT_EQ(text, "original tex") << "12 characters leave no room for the NUL";
  EXPECT_EQ(RAZIVERASetTextIDBuffer(h_, b, 3, "eleven char"), 0u);
  EXPECT_EQ(get(b, 0, &text), (12u << 16) | 3u) << "length and id unchanged";
  EXPECT_EQ(text, "eleven char");
  EXPECT_EQ(RAZIVERASetTextIDBuffer(h_, b, 3, "x"), 0u);
  View v(b);
  EXPECT_STREQ(v.entry(0).text, "x");
  for (size_t i = 1; i < 256; ++i) ASSERT_EQ(v.entry(0).text[i], 0) << "zero behind the text";
  EXPECT_EQ(RAZIVERASetTextIDBuffer(h_, b, 99, "x"), 0u) << "no such id: nothing";
  EXPECT_EQ(RAZIVERASetTextIDBuffer(h_, b, 3, nullptr), 0u);
  GlobalFree(b);
}
