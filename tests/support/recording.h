// Writing and reading whole recordings through the public API, for the frame,
// copy and end-to-end tests: a channel layout, deterministic sample values and
// the calls an acquisition application makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace rzt {

struct Layout {
  std::vector<uint32_t> rates{500, 250, 100};
  uint32_t frameSeconds = 1;
  uint32_t baseRate = 500;
  bool big = false;
  uint16_t hour = 10, minute = 0, second = 0;
};

// The value a test recording holds at sample i of channel c (at the channel's
// own rate), spread over the whole 16-bit range.
inline int16_t sample_value(uint32_t c, uint64_t i) {
  return int16_t(uint16_t((c + 1) * 7919u + i * 31u) ^ uint16_t(c * 0x1111u));
}

// Starts a file with one record described by `layout`, its wave and channel
// information written and its frame area begun with `depth` frames per buffer.
Bio begin_recording(FileTest& t, const std::string& path, const Layout& layout, uint16_t depth);

// Fills `frames` frames (buffer frames 0..frames-1) from interleaved base-rate
// input, channel c holding sample_value(c, ...) from frame `firstFrame` on, and
// saves them.  Returns what the save returned.
uint16_t write_frames(HGLOBAL h, const Layout& layout, uint32_t firstFrame, uint16_t frames);

// Opens a file in mode 1 and reads record 0's description and frame info.
Bio open_for_review(const std::string& path, uint32_t windowSeconds);

}  // namespace rzt
