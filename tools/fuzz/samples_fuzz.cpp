// libFuzzer target: the samples command on any bytes, the first channel's first minute as CSV to /dev/null.
#include <cstddef>
#include <cstdint>

#include "command_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_tool::run_on_bytes(data, size,
                          {"samples", "FILE", "--channels", "1", "--duration", "60", "-o", "/dev/null"});
  return 0;
}
