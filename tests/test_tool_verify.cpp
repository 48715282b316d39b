// verify: every file the library and the tool write passes; each kind of
// damage is reported at the offset where it stands; no input makes it crash.
#include <cstring>
#include <functional>
#include <random>

#include "support/recording.h"
#include "tool_helpers.h"

using namespace rzt;

namespace {

// Where the chunks of record 0 of a valid file stand, found through the library.
struct Places {
  uint32_t wave = 0, channels = 0, frames = 0, events = 0, score = 0, texts = 0;
  uint32_t frameSize = 0, end = 0;
};

Places places_of(const std::string& path) {
  Places p;
  Bio h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  EXPECT_TRUE(h);
  uint32_t head[16];
  p.wave = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_WAVE_INFO, 0, nullptr));
  p.channels = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_CH_INFO, 0, nullptr));
  p.frames = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_INFO, 0, head));
  p.frameSize = head[5];
  p.events = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_EVENT_TABLE, 0, nullptr));
  p.score = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_SCORE_TABLE, 0, nullptr));
  p.texts = uint32_t(RAZIVERAFindIndexPtr(h, 0, 1000, 0, nullptr));
  p.end = uint32_t(read_file(path).size());
  return p;
}

bool reports(const std::vector<tool::Finding>& list, uint64_t offset, const std::string& text) {
  for (const tool::Finding& f : list)
    if (f.offset == offset && f.text.find(text) != std::string::npos) return true;
  return false;
}

class VerifyTest : public FileTest {
 protected:
  // A 200-second demo night with three EEG channels and the event channel:
  // every chunk kind the demo writes, in either byte order.
  std::string valid(bool big) {
    std::string p = path(big ? "big.vzp" : "little.vzp");
    write_short_demo(p, 200, 3, big);
    return p;
  }
};

TEST_F(VerifyTest, EveryFileTheLibraryAndTheToolWritePasses) {
  std::vector<std::string> files = {valid(false), valid(true)};
  // A recording through the test suite's own writer, in both orders.
  for (bool big : {false, true}) {
    Layout L;
    L.big = big;
    L.hour = 23, L.minute = 59, L.second = 58;  // frame stamps wrap at midnight
    const std::string p = path(big ? "frames-big.vzp" : "frames.vzp");
    {
      Bio h = begin_recording(*this, p, L, 4);
      ASSERT_EQ(write_frames(h, L, 0, 4), 4);
      ASSERT_EQ(write_frames(h, L, 4, 3), 3);
      ASSERT_GT(DARARAREndRecordWave(h), 0);
    }
    files.push_back(p);
  }
  // Records with nothing in them, and every user data kind.
  {
    Bio h = create("empty.vzp");
    DARARARStartRecordWave(h);
    DARARAREndRecordWave(h);
    DARARARStartRecordWave(h);
    const int16_t shorts[3] = {1, -2, 3};
    const float floats[2] = {1.5f, -2.5f};
    const uint32_t values[4] = {1, 2, 3, 4};
    DARARARCreateUserShort(h, 7, 3, shorts);
    DARARARCreateUserFloat(h, 8, 2, floats);
    DARARARCreateUserInfo(h, 1, 4000, 9, values, 4);
    DARARARCreateUserText(h, nullptr, 3, 0);
    DARARAREndRecordWave(h);
    files.push_back(path("empty.vzp"));
  }
  for (const std::string& f : files) {
    EXPECT_EQ(describe(verify_bytes(read_file(f))), "") << f;
    const ToolRun r = run_tool({"verify", f});
    EXPECT_EQ(r.code, 0) << f << "\n" << r.out;
    EXPECT_NE(r.out.find(": ok - "), std::string::npos) << r.out;
  }
}

TEST_F(VerifyTest, EachDamageIsReportedWhereItStands) {
  struct Case {
    const char* name;
    std::function<void(Bytes&, const Places&, bool)> damage;
    std::function<uint64_t(const Places&)> at;
    const char* says;
  };
  const auto set32 = [](Bytes& b, uint64_t off, uint32_t v, bool big) { put32(b, size_t(off), v, big); };
  const auto set16 = [](Bytes& b, uint64_t off, uint16_t v, bool big) {
    b[off] = uint8_t(big ? v >> 8 : v);
    b[off + 1] = uint8_t(big ? v : v >> 8);
  };
  const std::vector<Case> cases = {
      {"magic", [](Bytes& b, const Places&, bool) { b[3] = 'X'; }, [](const Places&) { return 0; },
       "not a recording file"},
      {"version", [](Bytes& b, const Places&, bool) { std::memcpy(&b[8], "000300", 6); },
       [](const Places&) { return 8; }, "version 300 cannot be opened"},
      {"byte order letter", [](Bytes& b, const Places&, bool) { b[16] = 'X'; },
       [](const Places&) { return 16; }, "neither L nor B"},
      {"count digits", [](Bytes& b, const Places&, bool) { b[20] = 'x'; }, [](const Places&) { return 18; },
       "not four digits"},
      {"more records named than stored", [](Bytes& b, const Places&, bool) { b[21] = '2'; },
       [](const Places& p) { return p.end; }, "record 1 of 2 is missing"},
      {"header padding", [](Bytes& b, const Places&, bool) { b[25] = 0; }, [](const Places&) { return 25; },
       "not all spaces"},
      {"record type", [&](Bytes& b, const Places&, bool big) { set32(b, 36, 11, big); },
       [](const Places&) { return 36; }, "record type 11, expected 10"},
      {"record number", [&](Bytes& b, const Places&, bool big) { set32(b, 40, 5, big); },
       [](const Places&) { return 40; }, "numbered 5, expected 1"},
      {"record never ended", [&](Bytes& b, const Places&, bool big) { set32(b, 32, 16, big); },
       [](const Places&) { return 32; }, "never ended"},
      {"record too short", [&](Bytes& b, const Places&, bool big) { set32(b, 32, 20, big); },
       [](const Places&) { return 32; }, "length 20 is below the 32 bytes"},
      {"record past the file",
       [&](Bytes& b, const Places& p, bool big) { set32(b, 32, p.end - 32 + 1000, big); },
       [](const Places&) { return 32; }, "runs 1000 bytes past the end of the file"},
      {"file cut in the frames", [](Bytes& b, const Places& p, bool) { b.resize(p.frames + 100); },
       [](const Places&) { return 32; }, "past the end of the file"},
      {"bytes after the last record", [](Bytes& b, const Places&, bool) { b.insert(b.end(), 8, 0); },
       [](const Places& p) { return p.end; }, "8 bytes follow the last record"},
      {"terminator not zero", [](Bytes& b, const Places& p, bool) { b[p.end - 2] = 1; },
       [](const Places& p) { return p.end - 16; }, "not 16 zero bytes"},
      {"chunk smaller than its head", [&](Bytes& b, const Places& p, bool big) { set32(b, p.wave, 4, big); },
       [](const Places& p) { return p.wave; }, "smaller than a chunk head"},
      {"last chunk over the terminator",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.score, p.end - 16 - p.score + 64, big); },
       [](const Places& p) { return p.score; }, "runs 64 bytes past the record's terminator"},
      {"channel count", [&](Bytes& b, const Places& p, bool big) { set32(b, p.wave + 20, 300, big); },
       [](const Places& p) { return p.wave + 20; }, "names 300 channels; a record holds at most 256"},
      {"frame count out of range",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.wave + 24, 2764801, big); },
       [](const Places& p) { return p.wave + 24; }, "beyond 2764800"},
      {"start month", [&](Bytes& b, const Places& p, bool big) { set32(b, p.wave + 36, 13, big); },
       [](const Places& p) { return p.wave + 36; }, "start month 13 is out of range"},
      {"power-line frequency", [&](Bytes& b, const Places& p, bool) { set32(b, p.wave + 76, 55, false); },
       [](const Places& p) { return p.wave + 76; }, "55 Hz is neither 50 nor 60"},
      {"channel definitions count",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.channels + 16, 3, big); },
       [](const Places& p) { return p.channels + 16; }, "3 channel definitions for the 4 channels"},
      {"channel entry type",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.channels + 32 + 256 + 4, 99, big); },
       [](const Places& p) { return p.channels + 32 + 256; }, "channel 1: entry head says size 256, type 99"},
      {"no sampling rate",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.channels + 32 + 32, 0, big); },
       [](const Places& p) { return p.channels + 32 + 32; }, "channel 0 has no sampling rate"},
      {"frame length 0", [&](Bytes& b, const Places& p, bool big) { set32(b, p.frames + 16, 0, big); },
       [](const Places& p) { return p.frames + 16; }, "frames of 0 seconds"},
      {"frame size against the channels",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.frames + 20, p.frameSize + 2, big); },
       [](const Places& p) { return p.frames + 20; }, "does not match the channels"},
      {"frame count against the area",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.frames + 24, 201, big); },
       [](const Places& p) { return p.frames; }, "but 32 + 201 frames x"},
      {"frame number",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.frames + 32 + 2 * p.frameSize + 8, 9, big); },
       [](const Places& p) { return p.frames + 32 + 2 * p.frameSize; }, "frame 2, numbered 9 instead of 3"},
      {"frame type", [&](Bytes& b, const Places& p, bool big) { set32(b, p.frames + 32 + 4, 99, big); },
       [](const Places& p) { return p.frames + 32; }, "frame 0, type 99 instead of 145"},
      {"frame time stamp",
       [&](Bytes& b, const Places& p, bool big) { set16(b, p.frames + 32 + p.frameSize + 20, 7, big); },
       [](const Places& p) { return p.frames + 32 + p.frameSize; }, "stamped 22:30:07 instead of 22:30:01"},
      {"event table count", [&](Bytes& b, const Places& p, bool big) { set32(b, p.events + 16, 1000, big); },
       [](const Places& p) { return p.events; }, "EventTable says 1000 entries"},
      {"score setting above the count",
       [&](Bytes& b, const Places& p, bool big) { set32(b, p.score + 24, 9, big); },
       [](const Places& p) { return p.score + 24; }, "score setting 9 is above the entry count 7"},
      {"text list entries", [&](Bytes& b, const Places& p, bool big) { set32(b, p.texts + 24, 9, big); },
       [](const Places& p) { return p.texts; }, "laid out neither as a text list nor as user values"},
  };
  for (bool big : {false, true}) {
    const std::string file = valid(big);
    const Places p = places_of(file);
    ASSERT_TRUE(p.wave && p.channels && p.frames && p.events && p.score && p.texts);
    const Bytes good = read_file(file);
    ASSERT_EQ(verify_bytes(good).size(), 0u);
    for (const Case& c : cases) {
      Bytes b = good;
      c.damage(b, p, big);
      const auto found = verify_bytes(b);
      EXPECT_TRUE(reports(found, c.at(p), c.says))
          << (big ? "big-endian: " : "little-endian: ") << c.name << " at " << c.at(p) << "\n"
          << describe(found);
    }
  }
}

TEST_F(VerifyTest, CraftedChunksOutOfPlace) {
  struct Case {
    const char* name;
    std::function<void(FileImage&)> build;
    const char* says;
  };
  const auto wave = [](FileImage& f, uint32_t channels) {
    Bytes body(128 - 12, 0);
    put32(body, 0, 0, f.big());
    put32(body, 8, channels, f.big());
    f.chunk(100, 0, body);
  };
  const std::vector<Case> cases = {
      {"two wave chunks",
       [&](FileImage& f) {
         wave(f, 0);
         wave(f, 0);
       },
       "a second WaveInfo chunk"},
      {"a frame on its own", [](FileImage& f) { f.chunk(145, 1, Bytes(12, 0)); }, "stands on its own"},
      {"frames without channels",
       [&](FileImage& f) {
         wave(f, 0);
         f.chunk(140, 0, words({0, 1, 24, 0, 0}, f.big()));
       },
       "a frame area without channel definitions"},
      {"user words that do not fit",
       [](FileImage& f) {
         f.chunk(2110, 1, words({0, 3, 0, 0}, f.big()));
       },
       "UserWord is 28 bytes, but 3 elements take 32"},
      {"too many non-linear points",
       [](FileImage& f) {
         f.chunk(2600, 1, words({0, 17, 0, 0, 0, 0}, f.big()));
       },
       "17 non-linear points"},
      {"user text list short of its entries",
       [](FileImage& f) {
         f.chunk(2000, 1, words({0, 2, 0}, f.big()));
       },
       "do not fill its 24 bytes as a text list"},
      {"user channel values for other channels",
       [&](FileImage& f) {
         wave(f, 2);
         Bytes body = words({0, 1, 128, 0, 0, 128, 2705, 1}, f.big());
         body.resize(body.size() + 128 - 12, 0);
         f.chunk(2700, 0, body);
       },
       "user values for 1 channels, the wave information names 2"},
  };
  for (bool big : {false, true}) {
    for (const Case& c : cases) {
      FileImage f(big);
      f.start_record();
      c.build(f);
      f.end_record();
      const auto found = verify_bytes(f.bytes());
      bool seen = false;
      for (const tool::Finding& x : found) seen = seen || x.text.find(c.says) != std::string::npos;
      EXPECT_TRUE(seen) << c.name << (big ? " (big-endian)" : "") << "\n" << describe(found);
    }
  }
}

TEST_F(VerifyTest, BytesThatAreNoRecordingAreReported) {
  // Random damage to recordings is the verify fuzz target's work.
  std::mt19937_64 rng(20240314);
  // Bytes that are no recording at all.
  for (size_t n : {0, 1, 31, 32, 33, 48, 100}) {
    Bytes b(n, 0);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(rng());
    if (n >= 8) std::memcpy(b.data(), "VOZO-SPG", 8);
    EXPECT_FALSE(verify_bytes(b).empty()) << n;
  }
}

TEST_F(VerifyTest, TheCommandListsEachProblemWithFileAndOffsetAndFails) {
  const std::string file = valid(false);
  const Places p = places_of(file);
  Bytes b = read_file(file);
  put32(b, p.wave + 20, 300);
  b[16] = 'X';
  write_file(path("bad.vzp"), b);
  const ToolRun r = run_tool({"verify", path("bad.vzp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find(path("bad.vzp") + ": offset 16 (0x10): byte order letter"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(path("bad.vzp") + ": offset " + std::to_string(p.wave + 20)), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("problems"), std::string::npos);
  const ToolRun missing = run_tool({"verify", path("none.vzp")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find(path("none.vzp") + ": no such file"), std::string::npos) << missing.err;
}

}  // namespace
