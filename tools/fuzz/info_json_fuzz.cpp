// libFuzzer target: the info command's JSON description on any bytes.
#include <cstddef>
#include <cstdint>

#include "command_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_tool::run_on_bytes(data, size, {"info", "FILE", "--json"});
  return 0;
}
