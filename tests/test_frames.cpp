// Frames: placing samples and event codes into the write buffers, saving
// them with their time stamps, and reading them back through windows.
#include <cstring>
#include <vector>

#include "channels/frames.h"
#include "frame/biofile.h"
#include "platform/faults.h"
#include "support/recording.h"

using namespace rzt;
namespace faults = rz::plat::faults;

class FramesTest : public FileTest {
 protected:
  // Four channels of mixed rates in 2-second frames, for the randomised
  // comparisons of two handles.
  static Layout mixed_layout(bool big) {
    Layout L;
    L.rates = {100, 40, 10, 20};
    L.baseRate = 200;
    L.frameSeconds = 2;
    L.big = big;
    return L;
  }
  // A small reproducible generator: values in [0, n).
  struct Dice {
    uint32_t state;
    uint32_t operator()(uint32_t n) {
      state = state * 1103515245u + 12345u;
      return (state >> 8) % n;
    }
  };

  // Position of record 0's FrameInfo chunk in a file.
  uint32_t frame_info_pos(HGLOBAL h) {
    return uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_INFO, 0, nullptr));
  }
};

TEST_F(FramesTest, SlowChannelsPickEveryStepthInterleavedRow) {
  // 500 Hz base, eight interleaved channels (stride 16 bytes); channel 2 at
  // 100 Hz takes every fifth row: its input advances 40 values per sample.
  Layout L;
  L.rates = {500, 250, 100, 500, 500, 500, 500, 500};
  Bio h = begin_recording(*this, path("a.vzp"), L, 1);
  std::vector<int16_t> input(500 * 8);
  for (size_t i = 0; i < input.size(); ++i) input[i] = int16_t(i);
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 2, 16, input.data() + 2), 1);
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 0, 16, input.data()), 1);
  EXPECT_EQ(DARARARSaveFrameWave(h, 1), 1);
  const uint32_t frame0 = frame_info_pos(h) + 32;
  h.close();
  const Bytes b = read_file(path("a.vzp"));
  const size_t ch0 = frame0 + 24, ch2 = ch0 + 1000 + 500;
  for (uint32_t k = 0; k < 500; ++k) ASSERT_EQ(int16_t(get16(b, ch0 + 2 * k)), int16_t(k * 8)) << k;
  for (uint32_t k = 0; k < 100; ++k) ASSERT_EQ(int16_t(get16(b, ch2 + 2 * k)), int16_t(2 + k * 40)) << k;
}

TEST_F(FramesTest, ExModesChooseTheStep) {
  Layout L;
  L.rates = {100};
  L.baseRate = 500;
  Bio h = begin_recording(*this, path("a.vzp"), L, 1);
  std::vector<int16_t> input(1000);
  for (size_t i = 0; i < input.size(); ++i) input[i] = int16_t(i);
  rz::Pinned<rz::BioFile> bf(h);
  // Placed samples wait in the write image; the buffer gets them when settled.
  auto out = [&](int k) {
    rz::frames::settle_image(*bf, bf->records[0]);
    rz::BlockLock buf(bf->records[0].channels[0].frameBuf);
    return reinterpret_cast<int16_t*>(buf.data())[k];
  };
  EXPECT_EQ(DARARARSetFramePointWaveEx(h, RZ_POINT_BASE_STEP, 0, 1, 0, 2, input.data()), 1);
  EXPECT_EQ(out(3), 15) << "mode 0: base rate / channel rate";
  EXPECT_EQ(DARARARSetFramePointWaveEx(h, RZ_POINT_EVERY, 0, 1, 0, 2, input.data()), 1);
  EXPECT_EQ(out(3), 3) << "mode 1: every value";
  EXPECT_EQ(DARARARSetFramePointWaveEx(h, RZ_POINT_SOURCE_STEP, 0, 1, 0, 2, input.data()), 1);
  EXPECT_EQ(out(3), 3) << "mode 2 without a source rate behaves like mode 1";
  EXPECT_EQ(DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SOURCE_RATE, 0, 300), 1u);
  EXPECT_EQ(DARARARSetFramePointWaveEx(h, RZ_POINT_SOURCE_STEP, 0, 1, 0, 2, input.data()), 1);
  EXPECT_EQ(out(3), 9) << "mode 2: source rate / channel rate";
  EXPECT_EQ(DARARARSetFramePointWaveEx(h, 7, 0, 1, 0, 2, input.data()), 1);
  EXPECT_EQ(out(3), 3) << "other modes: every value";
}

TEST_F(FramesTest, SetPointOperationsRefuseWhatTheBuffersCannotHold) {
  Layout L;
  L.rates = {100, 0};
  Bio h = begin_recording(*this, path("a.vzp"), L, 4);
  std::vector<int16_t> input(500 * 8 * 2);
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 4, 0, 4, input.data()), 4);
  EXPECT_EQ(DARARARSetFramePointWave(h, 3, 2, 0, 4, input.data()), 0) << "past the buffer's frames";
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 2, 4, input.data()), 0) << "no such channel";
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 1, 4, input.data()), 0) << "a rate of 0";
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 0, 4, nullptr), 0);
  EXPECT_EQ(DARARARSetFramePointEvent(h, 0, 5, 0, 2, 1, input.data()), 0);
  EXPECT_EQ(DARARARSetFramePointEvent(h, 0, 1, 1, 2, 1, input.data()), 0);
  EXPECT_EQ(DARARARSaveFrameWave(h, 5), 0) << "more frames than the buffers hold";
  EXPECT_EQ(DARARARSaveFrameWave(h, 4), 4);
}

TEST_F(FramesTest, EventCodesComeOutOnePerSampleInInputOrder) {
  Layout L;
  L.rates = {10};
  L.baseRate = 100;
  Bio h = begin_recording(*this, path("a.vzp"), L, 1);
  rz::Pinned<rz::BioFile> bf(h);
  auto outputs = [&] {
    rz::frames::settle_image(*bf, bf->records[0]);
    rz::BlockLock buf(bf->records[0].channels[0].frameBuf);
    const auto* p = reinterpret_cast<const int16_t*>(buf.data());
    return std::vector<int16_t>(p, p + 10);
  };
  std::vector<int16_t> input(100, 0);
  input[11] = 7;  // three codes inside output sample 1's window of ten inputs
  input[13] = 8;
  input[19] = 9;
  input[55] = 4;
  EXPECT_EQ(DARARARSetFramePointEvent(h, 0, 1, 0, 2, 1, input.data()), 1);
  EXPECT_EQ(outputs(), (std::vector<int16_t>{0, 7, 8, 9, 0, 4, 0, 0, 0, 0}));
  std::fill(input.begin(), input.end(), 0);
  EXPECT_EQ(DARARARSetFramePointEvent(h, 0, 1, 0, 2, 1, input.data()), 1);
  EXPECT_EQ(outputs(), std::vector<int16_t>(10, 0));

  // 2000 codes within the first output sample: 1024 are queued, the rest
  // dropped; ten samples show the first ten, in order.
  std::vector<int16_t> flood(20000, 0);
  for (int i = 0; i < 2000; ++i) flood[size_t(i)] = int16_t(i + 1);
  EXPECT_EQ(DARARARSetFramePointEvent(h, 0, 1, 0, 2, 200, flood.data()), 1);
  EXPECT_EQ(outputs(), (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(FramesTest, TimeStampsWrapOnceAtMidnight) {
  Layout L;
  L.rates = {1};
  L.baseRate = 1;
  L.hour = 23;
  L.minute = 59;
  L.second = 30;
  Bio h = begin_recording(*this, path("a.vzp"), L, 40);
  EXPECT_EQ(DARARARSaveFrameWave(h, 40), 40);
  const uint32_t info = frame_info_pos(h);
  h.close();
  const Bytes b = read_file(path("a.vzp"));
  const uint32_t fcs = 24 + 2;
  auto stamp = [&](uint32_t number) {
    const size_t f = info + 32 + (number - 1) * fcs;
    EXPECT_EQ(get32(b, f + 8), number);
    return std::vector<uint16_t>{get16(b, f + 16), get16(b, f + 18), get16(b, f + 20)};
  };
  EXPECT_EQ(stamp(1), (std::vector<uint16_t>{23, 59, 30}));
  EXPECT_EQ(stamp(30), (std::vector<uint16_t>{23, 59, 59}));
  EXPECT_EQ(stamp(31), (std::vector<uint16_t>{0, 0, 0}));
  EXPECT_EQ(stamp(40), (std::vector<uint16_t>{0, 0, 9}));

  // Hours 48 and above lose 24 only once.
  Layout D;
  D.rates = {1};
  D.baseRate = 1;
  D.frameSeconds = 3600;
  D.hour = 0;
  Bio d = begin_recording(*this, path("d.vzp"), D, 50);
  EXPECT_EQ(DARARARSaveFrameWave(d, 50), 50);
  const uint32_t dinfo = frame_info_pos(d);
  d.close();
  const Bytes db = read_file(path("d.vzp"));
  EXPECT_EQ(get16(db, dinfo + 32 + 48 * (24 + 7200) + 16), 24) << "frame 49 starts 48 h in";
}

TEST_F(FramesTest, SavesContinueNumberingAndKeepTheHeadCurrent) {
  Layout L;
  Bio h = begin_recording(*this, path("a.vzp"), L, 10);
  const uint32_t info = frame_info_pos(h);
  const uint32_t fcs = 24 + (500 + 250 + 100) * 2;
  EXPECT_EQ(DARARARGetWaveInfo(h, 0, RZ_WAVE_FRAME_SIZE), fcs);
  EXPECT_EQ(write_frames(h, L, 0, 10), 10);
  EXPECT_EQ(write_frames(h, L, 10, 10), 10);
  const Bytes before = read_file(path("a.vzp"));
  EXPECT_EQ(DARARARSaveFrameWave(h, 0), 0) << "saving no frame";
  EXPECT_EQ(read_file(path("a.vzp")), before) << "the head is rewritten unchanged";
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), info + 32 + 20 * fcs);
  h.close();
  const Bytes b = read_file(path("a.vzp"));
  EXPECT_EQ(get32(b, info), 32 + 20 * fcs);
  EXPECT_EQ(get32(b, info + 4), 140u);
  EXPECT_EQ(get32(b, info + 16), 1u);
  EXPECT_EQ(get32(b, info + 20), fcs);
  EXPECT_EQ(get32(b, info + 24), 20u);
  for (uint32_t n = 1; n <= 20; ++n) {
    const size_t f = info + 32 + (n - 1) * fcs;
    ASSERT_EQ(get32(b, f), fcs);
    ASSERT_EQ(get32(b, f + 4), 145u);
    ASSERT_EQ(get32(b, f + 8), n);
  }
}

TEST_F(FramesTest, BigEndianFilesReverseEverySampleAndHeadField) {
  for (bool big : {false, true}) {
    Layout L;
    L.rates = {4, 2};
    L.baseRate = 4;
    L.big = big;
    L.hour = 1;
    L.minute = 2;
    L.second = 3;
    const std::string name = big ? "b.vzp" : "l.vzp";
    Bio h = begin_recording(*this, path(name), L, 2);
    EXPECT_EQ(write_frames(h, L, 0, 2), 2);
    const uint32_t info = frame_info_pos(h);
    h.close();
    const Bytes b = read_file(path(name));
    const uint32_t fcs = 24 + 12;
    EXPECT_EQ(get32(b, info, big), 32 + 2 * fcs);
    EXPECT_EQ(get32(b, info + 4, big), 140u);
    const size_t f1 = info + 32 + fcs;
    EXPECT_EQ(get32(b, f1 + 8, big), 2u);
    EXPECT_EQ(get16(b, f1 + 16, big), 1);
    EXPECT_EQ(get16(b, f1 + 18, big), 2);
    EXPECT_EQ(get16(b, f1 + 20, big), 4);
    for (uint32_t k = 0; k < 4; ++k)
      EXPECT_EQ(int16_t(get16(b, f1 + 24 + 2 * k, big)), sample_value(0, 4 + k)) << k;
    for (uint32_t k = 0; k < 2; ++k)
      EXPECT_EQ(int16_t(get16(b, f1 + 32 + 2 * k, big)), sample_value(1, 2 + k)) << k;
  }
}

// A recording of mixed rates written in buffers of several depths and read
// back through windows: every sample equals what was put in.
TEST_F(FramesTest, EightChannelRoundTripInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Layout L;
    L.rates = {500, 500, 250, 250, 100, 100, 50, 500};
    L.baseRate = 500;
    L.frameSeconds = 2;
    L.big = big;
    const std::string name = big ? "rb.vzp" : "rl.vzp";
    Bio h = begin_recording(*this, path(name), L, 16);
    uint32_t written = 0;
    const uint16_t depths[] = {1, 16, 7, 3, 16, 10};
    for (int round = 0; written < 300; ++round) {
      uint16_t n = depths[round % 6];
      if (written + n > 300) n = uint16_t(300 - written);
      ASSERT_EQ(write_frames(h, L, written, n), n);
      written += n;
    }
    EXPECT_GT(DARARAREndRecordWave(h), 0);
    h.close();

    const uint32_t window = 30;
    Bio r = open_for_review(path(name), window);
    ASSERT_TRUE(r);
    EXPECT_EQ(DARARARGetWaveInfo(r, 0, RZ_WAVE_TOTAL_FRAMES), 300u);
    std::vector<int16_t> out(window * 500);
    for (uint32_t start = 0; start + window <= 600; start += window) {
      ASSERT_GT(DARARARReadFrameWave(r, 0, start), 0);
      for (uint16_t c = 0; c < L.rates.size(); ++c) {
        const uint32_t rate = L.rates[c];
        ASSERT_EQ(DARARARGetFrameWave(r, 0, c, out.data()), int32_t(window * rate));
        for (uint32_t k = 0; k < window * rate; ++k) {
          ASSERT_EQ(out[k], sample_value(c, uint64_t(start) * rate + k))
              << "channel " << c << " second " << start << " sample " << k;
        }
      }
    }
  }
}

TEST_F(FramesTest, WindowsStartWhereAsked) {
  Layout L;
  L.rates = {10, 5};
  L.baseRate = 10;
  Bio h = begin_recording(*this, path("a.vzp"), L, 200);
  ASSERT_EQ(write_frames(h, L, 0, 200), 200);
  h.close();
  const uint32_t fcs = 24 + 30;

  Bio r = open_for_review(path("a.vzp"), 10);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->records[0].framesPerBuffer, 12);
  EXPECT_EQ(DARARARReadFrameWave(r, 0, 100), int32_t(12 * fcs / 2));
  EXPECT_EQ(bf->records[0].bufferFirstFrame, 100u);
  EXPECT_EQ(bf->records[0].bufferEndFrame, 112u);
  std::vector<int16_t> out(200);
  EXPECT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 100);
  for (uint32_t k = 0; k < 100; ++k) ASSERT_EQ(out[k], sample_value(0, 1000 + k));
  EXPECT_EQ(DARARARGetFrameWaveEx(r, 0, 1, out.data(), 2, 3), 15);
  for (uint32_t k = 0; k < 15; ++k) ASSERT_EQ(out[k], sample_value(1, 510 + k));
  EXPECT_EQ(DARARARGetFrameWave(r, 0, 2, out.data()), 0) << "no such channel";
  EXPECT_EQ(DARARARGetFrameWaveEx(r, 0, 0, out.data(), 0, 1000), 0) << "beyond the buffer";

  // Windows that begin before the recording.
  EXPECT_EQ(DARARARReadFrameWaveEx(r, 0, -3, 10), int32_t(7 * fcs / 2));
  EXPECT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 100);
  for (uint32_t k = 0; k < 30; ++k) ASSERT_EQ(out[k], 0) << k;
  for (uint32_t k = 30; k < 100; ++k) ASSERT_EQ(out[k], sample_value(0, k - 30)) << k;
  EXPECT_EQ(DARARARReadFrameWaveEx(r, 0, -5, 3), int32_t(fcs / 2));
  EXPECT_EQ(DARARARGetFrameWaveEx(r, 0, 0, out.data(), 0, 6), 60);
  for (uint32_t k = 0; k < 50; ++k) ASSERT_EQ(out[k], 0) << k;
  for (uint32_t k = 50; k < 60; ++k) ASSERT_EQ(out[k], sample_value(0, k - 50)) << k;

  // Frames beyond the end of the file read as zeros.
  EXPECT_EQ(DARARARReadFrameWave(r, 0, 195), int32_t(12 * fcs / 2));
  EXPECT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 100);
  for (uint32_t k = 0; k < 50; ++k) ASSERT_EQ(out[k], sample_value(0, 1950 + k));
  for (uint32_t k = 50; k < 100; ++k) ASSERT_EQ(out[k], 0) << k;
}

// A window read keeps the frames as the file holds them and the get calls
// hand samples out of them; the buffers get the window only when something
// else needs them.  Whatever the order of reads and gets - windows before the
// recording, shorter windows after longer ones (whose samples the buffers
// still hold behind the new window), gets beyond the window - every get must
// hand out what it would from buffers holding each window since its read.
// The second handle settles every window into its buffers at once.  Frames
// of three seconds let a hand-out begin and end inside one frame's block.
TEST_F(FramesTest, GetsFromAKeptWindowMatchBuffersFilledAtTheRead) {
  for (const uint32_t frameSeconds : {2u, 3u}) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(big ? "big-endian" : "little-endian");
      SCOPED_TRACE(frameSeconds);
      Layout L = mixed_layout(big);
      L.frameSeconds = frameSeconds;
      const std::string name = std::to_string(frameSeconds) + (big ? "kb.vzp" : "kl.vzp");
      {
        Bio h = begin_recording(*this, path(name), L, 40);
        ASSERT_EQ(write_frames(h, L, 0, 40), 40);
        ASSERT_EQ(write_frames(h, L, 40, 20), 20);
      }
      Bio kept = open_for_review(path(name), 9);
      Bio settled = open_for_review(path(name), 9);
      rz::Pinned<rz::BioFile> bf(settled);
      const uint32_t depth = bf->records[0].framesPerBuffer;
      ASSERT_EQ(depth, 9 / frameSeconds + 2);
      std::vector<int16_t> a(4096), b(a.size());  // beyond the longest hand-out (slack included)
      Dice next{12345};
      for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const uint32_t what = next(8);
        if (what < 3) {
          int32_t start, length = int32_t(next(3 * depth)) + 1;
          if (what == 0) {
            start = int32_t(next(2 * 64));
            ASSERT_EQ(DARARARReadFrameWave(kept, 0, uint32_t(start)), DARARARReadFrameWave(settled, 0, uint32_t(start)));
          } else {
            start = int32_t(next(2 * 70)) - 20;
            ASSERT_EQ(DARARARReadFrameWaveEx(kept, 0, start, uint32_t(length)),
                      DARARARReadFrameWaveEx(settled, 0, start, uint32_t(length)));
          }
          rz::frames::settle_window(*bf, bf->records[0]);
          continue;
        }
        const uint16_t c = uint16_t(next(6));
        std::fill(a.begin(), a.end(), int16_t(0x5A5A));
        std::fill(b.begin(), b.end(), int16_t(0x5A5A));
        int32_t na, nb;
        if (what == 3) {
          na = DARARARGetFrameWave(kept, 0, c, a.data());
          nb = DARARARGetFrameWave(settled, 0, c, b.data());
        } else {
          const uint32_t offset = next(2 * depth + 2), length = next(2 * depth + 2);
          na = DARARARGetFrameWaveEx(kept, 0, c, a.data(), offset, length);
          nb = DARARARGetFrameWaveEx(settled, 0, c, b.data(), offset, length);
        }
        ASSERT_EQ(na, nb) << "channel " << c;
        ASSERT_EQ(a, b) << "channel " << c;
      }
    }
  }
}

// The set-point calls place samples straight into the frames the save writes
// (the write image).  Whatever the order of set-point calls of every kind,
// saves, gets and window reads on the record being written, and byte-order
// changes between them, the file and every call's result must be what the
// buffers and a stage give: the second handle is refused an image throughout.
TEST_F(FramesTest, AWriteImageWritesWhatTheBuffersAndAStageWould) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const Layout L = mixed_layout(big);
    constexpr uint16_t kDepth = 6;
    const std::string a = big ? "ib.vzp" : "il.vzp", b = big ? "sb.vzp" : "sl.vzp";
    Bio image = begin_recording(*this, path(a), L, kDepth);
    Bio staged = begin_recording(*this, path(b), L, kDepth);
    rz::Pinned<rz::BioFile> ibf(image), sbf(staged);
    auto image_of = [](rz::BioFile& bf) {
      return rz::frames::KeptWindows(bf).image_of(bf, bf.records[0]);
    };
    Dice next{big ? 777u : 4242u};
    const size_t n = L.rates.size();
    std::vector<int16_t> input(size_t(kDepth + 2) * L.frameSeconds * L.baseRate * n);
    std::vector<int16_t> outA(4096), outB(outA.size());
    bool imaged = false;
    for (int step = 0; step < 2000; ++step) {
      SCOPED_TRACE(step);
      rz::frames::WriteImage* refused = image_of(*sbf);
      ASSERT_NE(refused, nullptr);
      ASSERT_EQ(refused->block, nullptr);
      refused->refused = 1;
      for (int16_t& v : input) v = int16_t(next(5) == 0 ? next(65536) : 0);
      const uint32_t what = next(20);
      const uint16_t c = uint16_t(next(uint32_t(n) + 1));  // one past the channels now and then
      const uint16_t index = uint16_t(next(kDepth + 1)), count = uint16_t(next(kDepth + 1));
      if (what < 6) {
        const uint16_t placed =
            DARARARSetFramePointWave(image, index, count, c, uint32_t(2 * n), input.data() + c % n);
        ASSERT_EQ(placed, DARARARSetFramePointWave(staged, index, count, c, uint32_t(2 * n), input.data() + c % n));
        // Placed samples wait in the image, not in the buffers.
        if (placed) {
          ASSERT_TRUE(image_of(*ibf)->block && image_of(*ibf)->pending);
        }
      } else if (what < 9) {
        ASSERT_EQ(DARARARSetFramePointWaveEx(image, RZ_POINT_EVERY, index, count, c, 2, input.data()),
                  DARARARSetFramePointWaveEx(staged, RZ_POINT_EVERY, index, count, c, 2, input.data()));
      } else if (what < 11) {
        ASSERT_EQ(DARARARSetFramePointEvent(image, index, count, c, int32_t(2 * n), 1, input.data()),
                  DARARARSetFramePointEvent(staged, index, count, c, int32_t(2 * n), 1, input.data()));
      } else if (what < 15) {
        ASSERT_EQ(DARARARSaveFrameWave(image, count), DARARARSaveFrameWave(staged, count));
      } else if (what < 18) {
        std::fill(outA.begin(), outA.end(), int16_t(0x5A5A));
        std::fill(outB.begin(), outB.end(), int16_t(0x5A5A));
        const uint32_t offset = next(2 * kDepth), length = next(2 * kDepth);
        ASSERT_EQ(DARARARGetFrameWaveEx(image, 0, c, outA.data(), offset, length),
                  DARARARGetFrameWaveEx(staged, 0, c, outB.data(), offset, length));
        ASSERT_EQ(outA, outB) << "channel " << c;
      } else if (what < 19) {
        const int32_t start = int32_t(next(20)) - 4;
        ASSERT_EQ(DARARARReadFrameWaveEx(image, 0, start, count), DARARARReadFrameWaveEx(staged, 0, start, count));
      } else {
        const uint32_t order = next(2);
        ASSERT_EQ(RAZIVERASetInfo(image, RZ_INFO_BYTE_ORDER, order), RAZIVERASetInfo(staged, RZ_INFO_BYTE_ORDER, order));
      }
      imaged = imaged || image_of(*ibf)->block != nullptr;
    }
    EXPECT_TRUE(imaged) << "the first handle wrote through an image";
    EXPECT_GT(DARARAREndRecordWave(image), 0);
    EXPECT_GT(DARARAREndRecordWave(staged), 0);
    EXPECT_EQ(image_of(*ibf)->block, nullptr) << "an ended record keeps no image";
    image.close();
    staged.close();
    EXPECT_EQ(read_file(path(a)), read_file(path(b)));
  }
}

// A writer whose image cannot be had (no memory for it) writes through its
// buffers and a stage, and the file holds every sample.
TEST_F(FramesTest, AWriterWithoutMemoryForItsImageStillSavesEverySample) {
  Layout L;
  Bio h = begin_recording(*this, path("a.vzp"), L, 4);
  faults::arm(faults::Op::Alloc, 1);  // the image, made at the first set-point call
  ASSERT_EQ(write_frames(h, L, 0, 4), 4);
  faults::reset();
  rz::Pinned<rz::BioFile> bf(h);
  EXPECT_EQ(rz::frames::KeptWindows(*bf).image_of(*bf, bf->records[0])->block, nullptr);
  ASSERT_EQ(write_frames(h, L, 4, 4), 4);
  h.close();
  Bio r = open_for_review(path("a.vzp"), 8);
  ASSERT_GT(DARARARReadFrameWave(r, 0, 0), 0);
  std::vector<int16_t> out(8 * 500);
  for (uint16_t c = 0; c < L.rates.size(); ++c) {
    ASSERT_EQ(DARARARGetFrameWave(r, 0, c, out.data()), int32_t(8 * L.rates[c]));
    for (uint32_t k = 0; k < 8 * L.rates[c]; ++k) ASSERT_EQ(out[k], sample_value(c, k)) << c << " " << k;
  }
}

// A set-point call into buffers that hold a window (the write buffers of a
// record being written, made read buffers) overwrites its frames of the
// window, and the rest of the window stays.
TEST_F(FramesTest, ASetPointCallAfterAWindowReadWritesIntoTheWindow) {
  Layout L;
  L.rates = {100};
  L.baseRate = 100;
  Bio h = begin_recording(*this, path("a.vzp"), L, 10);
  ASSERT_EQ(write_frames(h, L, 0, 10), 10);
  ASSERT_EQ(DARARARReadFrameInfo(h, 0), 1);
  DARARARCreateReadFrameBuf(h, 0, 5);
  ASSERT_GT(DARARARReadFrameWave(h, 0, 2), 0);
  std::vector<int16_t> placed(100);
  for (size_t k = 0; k < placed.size(); ++k) placed[k] = int16_t(7000 + k);
  ASSERT_EQ(DARARARSetFramePointWaveEx(h, RZ_POINT_EVERY, 1, 1, 0, 2, placed.data()), 1);
  std::vector<int16_t> out(500);
  ASSERT_EQ(DARARARGetFrameWave(h, 0, 0, out.data()), 500);
  for (uint32_t k = 0; k < 500; ++k) {
    const int16_t expected = k >= 100 && k < 200 ? placed[k - 100] : sample_value(0, 200 + k);
    ASSERT_EQ(out[k], expected) << k;
  }
}

// A window read that cannot have a block for the frames it keeps splits
// them into the buffers at once; with no memory for even one batch of frames
// it reads nothing and says so.
TEST_F(FramesTest, AWindowReadWithoutMemoryForItsFrames) {
  Layout L;
  L.rates = {100, 20};
  L.baseRate = 100;
  {
    Bio h = begin_recording(*this, path("a.vzp"), L, 20);
    ASSERT_EQ(write_frames(h, L, 0, 20), 20);
  }
  std::vector<int16_t> out(10 * 100);
  {
    Bio r = open_for_review(path("a.vzp"), 5);
    faults::arm(faults::Op::Alloc, 1);  // the kept window's block
    EXPECT_EQ(DARARARReadFrameWave(r, 0, 3), int32_t(7 * (24 + 240) / 2));
    faults::reset();
    ASSERT_EQ(DARARARGetFrameWave(r, 0, 1, out.data()), 100);
    for (uint32_t k = 0; k < 100; ++k) ASSERT_EQ(out[k], sample_value(1, 60 + k)) << k;
  }
  Bio r = open_for_review(path("a.vzp"), 5);
  faults::arm(faults::Op::Alloc, 1, -1, true);
  EXPECT_EQ(DARARARReadFrameWave(r, 0, 3), -1);
  EXPECT_EQ(DARARARReadFrameWaveEx(r, 0, -2, 4), -1);
  faults::reset();
  EXPECT_GT(DARARARReadFrameWave(r, 0, 3), 0) << "the next read has its memory again";
}

// A review session pages through the whole recording: the handle holds the
// same blocks after the last window as after the first (nothing accumulates
// over a night), and closing it releases every one.
TEST_F(FramesTest, AReviewSessionHoldsItsBlocksAndNoMore) {
  Layout L;
  L.rates = {100, 50, 10};
  L.baseRate = 100;
  Bio h = begin_recording(*this, path("a.vzp"), L, 20);
  for (uint32_t f = 0; f < 600; f += 20) ASSERT_EQ(write_frames(h, L, f, 20), 20);
  h.close();
  size_t bytes0 = 0;
  const size_t blocks0 = rz::plat::mem_live(&bytes0);
  {
    Bio r = open_for_review(path("a.vzp"), 30);
    std::vector<int16_t> out(30 * 100);
    ASSERT_GT(DARARARReadFrameWave(r, 0, 0), 0);
    size_t bytes1 = 0;
    const size_t blocks1 = rz::plat::mem_live(&bytes1);
    EXPECT_EQ(blocks1, blocks0 + 1 + 2 + 3 + 1)
        << "handle, work and text buffers, one read buffer per channel, the kept window";
    for (uint32_t start = 30; start < 600; start += 30) {
      ASSERT_GT(DARARARReadFrameWave(r, 0, start), 0);
      for (uint16_t c = 0; c < 3; ++c) ASSERT_EQ(DARARARGetFrameWave(r, 0, c, out.data()), int32_t(30 * L.rates[c]));
      ASSERT_GT(DARARARReadFrameWaveEx(r, 0, int32_t(start) - 45, 30), 0);
      size_t bytes = 0;
      ASSERT_EQ(rz::plat::mem_live(&bytes), blocks1) << start;
      ASSERT_EQ(bytes, bytes1) << start;
    }
  }
  size_t bytes = 0;
  EXPECT_EQ(rz::plat::mem_live(&bytes), blocks0);
  EXPECT_EQ(bytes, bytes0);
}

TEST_F(FramesTest, EveryBlockIsReleasedEvenBelowALoweredRecordCount) {
  Layout L;
  L.rates = {100, 50};
  L.baseRate = 100;
  Bio h = begin_recording(*this, path("a.vzp"), L, 10);
  // Slots of a new record hold their defaults without ever being written.
  EXPECT_EQ(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_FLAGS, 1), 2u) << "flags: filter held as form B";
  ASSERT_EQ(write_frames(h, L, 0, 10), 10);
  h.close();
  size_t bytes0 = 0;
  const size_t blocks0 = rz::plat::mem_live(&bytes0);
  {
    Bio r = open_for_review(path("a.vzp"), 4);
    ASSERT_GT(DARARARReadFrameWave(r, 0, 0), 0);
    ASSERT_EQ(RAZIVERASetInfo(r, RZ_INFO_RECORD_COUNT, 0), 1u);  // record count 0: record 0 still owns its buffers
  }
  size_t bytes = 0;
  EXPECT_EQ(rz::plat::mem_live(&bytes), blocks0);
  EXPECT_EQ(bytes, bytes0);
}

TEST_F(FramesTest, TwoSecondFramesStartInsideTheFirstFrame) {
  Layout L;
  L.rates = {4};
  L.baseRate = 4;
  L.frameSeconds = 2;
  Bio h = begin_recording(*this, path("a.vzp"), L, 20);
  ASSERT_EQ(write_frames(h, L, 0, 20), 20);
  h.close();
  Bio r = open_for_review(path("a.vzp"), 10);
  rz::Pinned<rz::BioFile> bf(r);
  EXPECT_EQ(bf->records[0].framesPerBuffer, 7);
  EXPECT_GT(DARARARReadFrameWave(r, 0, 5), 0);
  EXPECT_EQ(bf->records[0].bufferFirstFrame, 2u);
  EXPECT_EQ(bf->records[0].bufferEndFrame, 9u);
  std::vector<int16_t> out(40);
  EXPECT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 40);
  for (uint32_t k = 0; k < 40; ++k) ASSERT_EQ(out[k], sample_value(0, 20 + k)) << k;
}

TEST_F(FramesTest, AChannelWithoutABufferIsSavedAsZeros) {
  Layout L;
  L.rates = {10, 10};
  L.baseRate = 10;
  Bio h(RAZIVERAOpenBioFile(path("a.vzp").c_str(), RZ_OPEN_CREATE, 2));
  RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, RZ_BYTE_ORDER_LITTLE);
  DARARARCreateBaseHeader(h);
  DARARARStartRecordWave(h);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, 2);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS, 1);
  DARARARSetWaveInfo(h, 0, RZ_WAVE_BASE_RATE, 10);
  DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 0, 10);
  DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, 1, 10);
  DARARARCreateWaveInfo(h);
  DARARARCreateFrameChInfo(h);
  faults::arm(faults::Op::Alloc, 2);  // channel 1's buffer
  ASSERT_EQ(DARARARCreateFrameBuf(h, 0), 24 + 40);
  faults::reset();
  std::vector<int16_t> in(10, 0x1234);
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 0, 2, in.data()), 1);
  EXPECT_EQ(DARARARSetFramePointWave(h, 0, 1, 1, 2, in.data()), 0);
  EXPECT_EQ(DARARARSaveFrameWave(h, 1), 1);
  const uint32_t info = uint32_t(RAZIVERAFindIndexPtr(h, 0, RZ_CHUNK_FRAME_INFO, 0, nullptr));
  h.close();
  const Bytes b = read_file(path("a.vzp"));
  ASSERT_EQ(b.size(), info + 32 + 64);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(get16(b, info + 32 + 24 + 2 * k), 0x1234);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(get16(b, info + 32 + 44 + 2 * k), 0);
}

TEST_F(FramesTest, AFullDiskCountsOnlyTheFramesOnDisk) {
  Layout L;
  L.rates = {10};
  L.baseRate = 10;
  Bio h = begin_recording(*this, path("a.vzp"), L, 10);
  const uint32_t info = frame_info_pos(h);
  const uint32_t fcs = 44;
  EXPECT_EQ(write_frames(h, L, 0, 10), 10);
  // The batch of ten falls short: the save goes frame by frame instead.
  faults::arm(faults::Op::Write, 1, 100);
  EXPECT_EQ(write_frames(h, L, 10, 10), 10);
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), info + 32 + 20 * fcs);
  // The disk stays full: nothing is counted, nothing claimed.
  faults::arm(faults::Op::Write, 1, -1, true);
  EXPECT_EQ(write_frames(h, L, 20, 10), 0);
  faults::reset();
  EXPECT_EQ(RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS), info + 32 + 20 * fcs);
  EXPECT_EQ(DARARARSaveFrameWave(h, 0), 0);  // rewrites the head
  EXPECT_GT(DARARAREndRecordWave(h), 0);
  h.close();
  const Bytes b = read_file(path("a.vzp"));
  EXPECT_EQ(get32(b, info + 24), 20u) << "the head counts the frames the file holds";
  EXPECT_EQ(get32(b, info), 32 + 20 * fcs);
  EXPECT_EQ(get32(b, info + 32 + 19 * fcs + 8), 20u);
  EXPECT_EQ(get32(b, info + 32 + 20 * fcs), 0u) << "the terminator follows the last frame";
}

// A window is split block by block when every block lies in the frame, and
// cut to the frame otherwise: the part of a block past a short frame reads as
// zeros, in both byte orders.
TEST_F(FramesTest, BlocksPastAShortFrameReadAsZeros) {
  for (const bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    Layout L;
    L.rates = {10, 5};
    L.baseRate = 10;
    L.big = big;
    Bio h = begin_recording(*this, path("a.vzp"), L, 4);
    ASSERT_EQ(write_frames(h, L, 0, 4), 4);
    h.close();
    Bio r = open_for_review(path("a.vzp"), 2);
    std::vector<int16_t> out(10);
    ASSERT_GT(DARARARReadFrameWaveEx(r, 0, 1, 1), 0);
    ASSERT_EQ(DARARARGetFrameWaveEx(r, 0, 1, out.data(), 0, 1), 5);
    for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(out[k], sample_value(1, 5 + k)) << k;

    // The frame said to end three samples into channel 1's block.
    rz::Pinned<rz::BioFile>(r)->records[0].frameChunkSize = 24 + 20 + 6;
    EXPECT_EQ(DARARARReadFrameWaveEx(r, 0, 0, 1), 25);
    ASSERT_EQ(DARARARGetFrameWaveEx(r, 0, 0, out.data(), 0, 1), 10);
    for (uint32_t k = 0; k < 10; ++k) EXPECT_EQ(out[k], sample_value(0, k)) << k;
    ASSERT_EQ(DARARARGetFrameWaveEx(r, 0, 1, out.data(), 0, 1), 5);
    for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(out[k], sample_value(1, k)) << k;
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 0);
  }
}

TEST_F(FramesTest, DamagedFrameInfoNeverDividesByZeroOrOverruns) {
  Layout L;
  L.rates = {10, 10};
  L.baseRate = 10;
  Bio h = begin_recording(*this, path("a.vzp"), L, 5);
  ASSERT_EQ(write_frames(h, L, 0, 5), 5);
  const uint32_t info = frame_info_pos(h);
  h.close();
  const Bytes good = read_file(path("a.vzp"));
  const struct {
    uint32_t off, value;
  } damage[] = {{16, 0}, {20, 0}, {20, 30}, {20, 0x7FFFFFFF}, {20, 0xFFFFFFFF}, {16, 0xFFFFFFFF}};
  std::vector<int16_t> out(100000);
  for (const auto& d : damage) {
    SCOPED_TRACE(testing::Message() << "offset " << d.off << " = " << d.value);
    Bytes b = good;
    put32(b, info + d.off, d.value);
    write_file(path("d.vzp"), b);
    Bio r(RAZIVERAOpenBioFile(path("d.vzp").c_str(), RZ_OPEN_READ, 1));
    DARARARReadRecordInfo(r, 0);
    DARARARReadChannelInfo(r, 0);
    EXPECT_EQ(DARARARReadFrameWave(r, 0, 0), -1) << "no frame information read yet";
    DARARARReadFrameInfo(r, 0);
    DARARARCreateReadFrameBuf(r, 0, 10);
    DARARARReadFrameWave(r, 0, 3);
    DARARARReadFrameWaveEx(r, 0, -7, 20);
    DARARARGetFrameWave(r, 0, 1, out.data());
    DARARARGetFrameWaveEx(r, 0, 0, out.data(), 1, 2);
  }
}

TEST_F(FramesTest, ChangeEventDataWritesExactlyTwoBytes) {
  Layout L;
  L.rates = {100, 200};
  L.baseRate = 200;
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    L.big = big;
    Bio h = begin_recording(*this, path("a.vzp"), L, 5);
    ASSERT_EQ(write_frames(h, L, 0, 5), 5);
    const uint32_t frame0 = frame_info_pos(h) + 32;
    // A record still being written: the head before frame 0 is allowed for.
    EXPECT_EQ(DARARARChangeEventData(h, 0, 0x11, 1, 4, 0), int32_t(frame0 + 24 + 4 * 624 + 200));
    EXPECT_EQ(DARARARChangeEventData(h, 0, 0x11, 1, 5, 0), -1) << "not yet saved";
    ASSERT_GT(DARARAREndRecordWave(h), 0);
    h.close();

    Bio r = open("a.vzp", 3);
    ASSERT_EQ(DARARARReadRecordInfo(r, 0), 1);
    ASSERT_EQ(DARARARReadChannelInfo(r, 0), 1);
    ASSERT_EQ(DARARARReadFrameInfo(r, 0), 1);
    const Bytes before = read_file(path("a.vzp"));
    EXPECT_EQ(DARARARChangeEventData(r, 0, 0xABCD1234u, 1, 3, 5), int32_t(frame0 + 24 + 3 * 624 + 200 + 10));
    const Bytes after = read_file(path("a.vzp"));
    const auto changed = diff_offsets(before, after);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(get16(after, changed[0], big), 0x1234);
    EXPECT_EQ(DARARARChangeEventData(r, 0, 1, 0, 0, 0), int32_t(frame0 + 24));
    for (auto refused : {std::vector<uint32_t>{1, 0, 2, 0, 0}, {0, 0, 0, 5, 0}, {0, 0, 0, 0, 100},
                         {0, 0, 1, 0, 200}, {0, 0, 1, 0xFFFFFFFF, 0}}) {
      EXPECT_EQ(DARARARChangeEventData(r, uint16_t(refused[0]), 9, uint16_t(refused[2]), refused[3], refused[4]), -1);
    }
    r.close();
    Bio ro = open("a.vzp", 1);
    DARARARReadRecordInfo(ro, 0);
    DARARARReadChannelInfo(ro, 0);
    DARARARReadFrameInfo(ro, 0);
    EXPECT_EQ(DARARARChangeEventData(ro, 0, 1, 0, 0, 0), -1) << "a read-only handle cannot write";
  }
}

TEST_F(FramesTest, AReaderFollowsAGrowingFile) {
  Layout L;
  L.rates = {10};
  L.baseRate = 10;
  Bio w = begin_recording(*this, path("g.vzp"), L, 10);
  ASSERT_EQ(write_frames(w, L, 0, 10), 10);
  EXPECT_EQ(DARARARUpdateWaveInfo(w, 100), 100u);
  EXPECT_EQ(RAZIVERAUpdateDirectory(w), 1);

  Bio r(RAZIVERAOpenBioFile(path("g.vzp").c_str(), RZ_OPEN_READ, 1));
  ASSERT_TRUE(r);
  ASSERT_EQ(DARARARReadRecordInfo(r, 0), 1);
  ASSERT_EQ(DARARARReadChannelInfo(r, 0), 1);
  ASSERT_EQ(DARARARReadFrameInfo(r, 0), 1);
  EXPECT_EQ(DARARARReadUpdateTotalFrame(r, 0), 10);
  DARARARCreateReadFrameBuf(r, 0, 5);
  std::vector<int16_t> out(50);
  for (uint32_t round = 1; round <= 3; ++round) {
    ASSERT_EQ(write_frames(w, L, round * 10, 10), 10);
    EXPECT_EQ(DARARARUpdateWaveInfo(w, (round + 1) * 100), (round + 1) * 100);
    EXPECT_EQ(RAZIVERAUpdateDirectory(w), 1);
    EXPECT_EQ(DARARARReadUpdateTotalFrame(r, 0), int32_t((round + 1) * 10));
    ASSERT_GT(DARARARReadFrameWave(r, 0, round * 10 + 5), 0);
    ASSERT_EQ(DARARARGetFrameWave(r, 0, 0, out.data()), 50);
    for (uint32_t k = 0; k < 50; ++k) ASSERT_EQ(out[k], sample_value(0, (round * 10 + 5) * 10 + k));
  }
}
