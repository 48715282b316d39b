// libFuzzer target: the report command on any bytes; the page goes to /dev/null, a stream, so that no run
// leaves a file behind.
#include <cstddef>
#include <cstdint>

#include "command_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_tool::run_on_bytes(data, size, {"report", "FILE", "-o", "/dev/null"});
  return 0;
}
