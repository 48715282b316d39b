// What the command fuzz targets share: the fuzzer's bytes as a file on disk
// (the commands read files through the library, by name), and a run of one
// command on it with its output thrown away.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace fuzz_tool {

// A file of this process for the bytes under test, in $TMPDIR (libFuzzer
// ends the process without running exit handlers: CI points TMPDIR at a
// directory it removes).
inline const std::string& input_path() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/razivera-fuzz-" + std::to_string(getpid()) + ".vzp";
  }();
  return path;
}

// Writes the bytes to input_path() and runs `razivera args...` on it (the
// word FILE in args stands for it).
inline void run_on_bytes(const uint8_t* data, size_t size, std::vector<std::string> args) {
  std::FILE* f = std::fopen(input_path().c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  for (std::string& a : args)
    if (a == "FILE") a = input_path();
  std::ostringstream out, err;
  tool::Console con{out, err, false};
  tool::run_tool(args, con);
}

}  // namespace fuzz_tool
