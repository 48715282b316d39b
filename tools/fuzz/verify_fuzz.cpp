// libFuzzer target: the structural check (and the walk under it) on any bytes.
#include <cstddef>
#include <cstdint>

#include "source.h"
#include "verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tool::MemorySource src(data, size);
  tool::Findings findings;
  tool::verify_source(src, findings);
  // A finding names a place in the file, or just behind its end where a
  // cut-short head or terminator would have been.
  constexpr uint64_t kBehindEnd = 64;
  for (const tool::Finding& f : findings.list())
    if (f.offset > size + kBehindEnd) __builtin_trap();
  return 0;
}
