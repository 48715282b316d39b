// The demo recording: a synthetic night written through the library.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"

namespace tool {

struct DemoOptions {
  double hours = 8;
  uint32_t channels = 16;  // signal channels; the event channel comes on top
  bool big = false;
};

// False, with the reason, when the options ask for more than one file holds.
bool demo_fits(const DemoOptions& o, std::string& why);

// Writes the demo recording at `out`; the exit code.
int write_demo(const std::string& out, const DemoOptions& o, Console& con);

}  // namespace tool
