// libFuzzer target: the fuzzer's bytes as a recording file, run through one
// of the harness's targets (chosen at build time with RZFUZZ_TARGET = Read,
// Edit or Copy).  A broken promise aborts, so that the fuzzer keeps the input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"

#ifndef RZFUZZ_TARGET
#error "RZFUZZ_TARGET must name the harness target: Read, Edit or Copy"
#endif

namespace {

constexpr rzfuzz::Target kTarget = rzfuzz::Target::RZFUZZ_TARGET;

// One scratch folder per fuzzing process, in memory where the system has one,
// removed when the process ends normally.
std::string g_dir;

void remove_scratch() {
  std::remove((g_dir + "/input.vozo").c_str());
  std::remove((g_dir + "/copy.vozo").c_str());
  rmdir(g_dir.c_str());
}

const std::string& scratch() {
  if (g_dir.empty()) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_dir = std::string(base) + "/rzfuzz-" + rzfuzz::target_name(kTarget) + "-" +
            std::to_string(getpid());
    if (mkdir(g_dir.c_str(), 0700) != 0) std::abort();
    std::atexit(remove_scratch);
  }
  return g_dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = rzfuzz::run(kTarget, data, size, scratch());
  if (!failure.empty()) {
    std::fprintf(stderr, "rzfuzz %s: %s\n", rzfuzz::target_name(kTarget), failure.c_str());
    std::abort();
  }
  return 0;
}
