// libFuzzer target: the structural check (and the walk under it) on any bytes.
#include <cstddef>
#include <cstdint>

#include "source.h"
#include "verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tool::MemorySource src(data, size);
  tool::Findings findings;
  tool::verify_source(src, findings);
  return 0;
}
