// Shared by the tests of a record's description (wave information, channel
// definitions, user channel values, non-linear tables): a file with one record
// started, and quick access to the handle's slots.
#pragma once

#include <string>

#include "frame/biofile.h"
#include "support/test_support.h"

namespace rzt {

class RecordingTest : public FileTest {
 protected:
  // A new file (byte order 1 = big) with record 0 started and `channels` set.
  Bio start(const std::string& name, bool big, uint16_t channels = 0) {
    Bio h = create(name, big);
    EXPECT_EQ(DARARARStartRecordWave(h), 0);
    if (channels) {
      EXPECT_EQ(DARARARSetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT, channels), 1);
    }
    return h;
  }
  static uint32_t write_pos(HGLOBAL h) { return RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS); }
};

}  // namespace rzt
