// libFuzzer target: the export-edf command on any bytes; the EDF file goes to
// /dev/null, a stream, so that no run leaves a file behind.
#include <cstddef>
#include <cstdint>

#include "command_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_tool::run_on_bytes(data, size, {"export-edf", "FILE", "/dev/null"});
  return 0;
}
