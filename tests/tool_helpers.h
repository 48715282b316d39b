// Helpers for the command-line tool's tests: running a command in the test
// process, and small recordings written through the tool.
#pragma once

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "demo.h"
#include "source.h"
#include "support/test_support.h"
#include "verify.h"

namespace rzt {

struct ToolRun {
  int code;
  std::string out, err;
};

inline ToolRun run_tool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  tool::Console con{out, err, false};
  const int code = tool::run_tool(args, con);
  return {code, out.str(), err.str()};
}

// A file opened for writing, closed (and so flushed) when it goes out of scope.
using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
inline FilePtr open_for_writing(const std::string& path) {
  return FilePtr(std::fopen(path.c_str(), "wb"), &std::fclose);
}

// A short demo night: `seconds` long, `channels` signal channels.
inline void write_short_demo(const std::string& path, uint32_t seconds, uint32_t channels, bool big) {
  tool::DemoOptions o;
  o.hours = seconds / 3600.0;
  o.channels = channels;
  o.big = big;
  std::ostringstream out, err;
  tool::Console con{out, err, false};
  ASSERT_EQ(tool::write_demo(path, o, con), 0) << err.str();
}

// What verify finds in a file's bytes.
inline std::vector<tool::Finding> verify_bytes(const Bytes& b) {
  tool::MemorySource src(b.data(), b.size());
  tool::Findings f;
  tool::verify_source(src, f);
  return f.list();
}

inline std::string describe(const std::vector<tool::Finding>& list) {
  std::string s;
  for (const tool::Finding& f : list) s += "  @" + std::to_string(f.offset) + ": " + f.text + "\n";
  return s;
}

}  // namespace rzt
