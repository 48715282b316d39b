// The benchmark program: our flags first (recording length, window count,
// iterations, working directory), then Google Benchmark's own.
#include "bench_support.h"

namespace rzb {
void register_acquisition();
void register_review();
void register_describe();
#ifdef RZB_HAVE_BIOSIG
void register_peer();
#endif
}  // namespace rzb

int main(int argc, char** argv) {
  if (!rzb::parse_settings(&argc, argv)) return 2;
  rzb::register_acquisition();
  rzb::register_review();
  rzb::register_describe();
#ifdef RZB_HAVE_BIOSIG
  rzb::register_peer();
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    rzb::remove_workdir();
    return 2;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rzb::remove_workdir();
  return rzb::any_failed() ? 1 : 0;
}
