// libFuzzer target: the plot command on any bytes, a page of signals and the hypnogram in turn; the SVG goes
// to /dev/null.
#include <cstddef>
#include <cstdint>

#include "command_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_tool::run_on_bytes(data, size, {"plot", "FILE", "-o", "/dev/null"});
  fuzz_tool::run_on_bytes(data, size, {"plot", "FILE", "--hypnogram", "-o", "/dev/null"});
  return 0;
}
