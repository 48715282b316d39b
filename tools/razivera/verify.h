// A structural check of a whole recording file: the header, the record
// lengths, every chunk's size within its record and against its own layout,
// the frame area (32 + frames x frame size, frame numbers and time stamps in
// sequence) and the channel counts.  Every size and count comes from the file
// and is bounded before use, so no input can make the check crash.
#pragma once

#include <cstdint>

#include "source.h"
#include "structure.h"

namespace tool {

struct VerifySummary {
  uint32_t records = 0;
  uint32_t chunks = 0;
  uint32_t channels = 0;  // the most any record describes
  uint64_t frames = 0;    // frames whose heads were checked
};

// Checks everything; each problem goes to `findings`.
VerifySummary verify_source(ByteSource& src, Findings& findings);

}  // namespace tool
