// Helpers for the command-line tool's tests: running a command in the test
// process or the built program in a process of its own, and small
// recordings written through the tool.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "demo.h"
#include "edf.h"
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

// The built razivera program, run as a user runs it.  Its standard output
// and error go to files in `io` (a directory of their own, so that they are
// never mistaken for what the program writes).
struct Program {
  std::string io;
  uint64_t fileSizeLimit = 0;  // RLIMIT_FSIZE of the program: a disk that fills up
  std::string stdoutPath() const { return io + "/stdout"; }

  pid_t start(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {RZ_TOOL_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string out = stdoutPath(), err = io + "/stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || dup2(o, STDOUT_FILENO) < 0 || dup2(e, STDERR_FILENO) < 0) _exit(127);
      // As a shell starts a command in the foreground, whatever ran the tests.
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
      if (fileSizeLimit) {
        // A write beyond the limit then fails with EFBIG, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }

  ToolRun wait(pid_t pid, int* signal = nullptr) const {
    int status = 0;
    waitpid(pid, &status, 0);
    if (signal) *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    const Bytes out = read_file(stdoutPath()), err = read_file(io + "/stderr");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(out.begin(), out.end()),
            std::string(err.begin(), err.end())};
  }

  ToolRun run(const std::vector<std::string>& args) const { return wait(start(args)); }
};

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

// An EDF file read whole: header, samples per signal, annotations.
struct EdfRead {
  tool::edf::Header header;
  std::vector<std::vector<int16_t>> samples;
  std::vector<tool::edf::Annotation> notes;
};

inline EdfRead edf_read(const std::string& path) {
  EdfRead out;
  tool::FileSource src;
  EXPECT_TRUE(src.open(path));
  tool::edf::Reader reader;
  tool::edf::Error e;
  if (!reader.open(src, e)) {
    ADD_FAILURE() << path << ": " << e.text;
    return out;
  }
  out.header = reader.header();
  out.samples.resize(out.header.signals.size());
  for (uint64_t r = 0; r < reader.records(); ++r) {
    EXPECT_TRUE(reader.read_record(r, e));
    for (size_t s = 0; s < out.header.signals.size(); ++s) {
      if (out.header.signals[s].is_annotation()) {
        bool has = false;
        double onset = 0;
        std::string why;
        EXPECT_TRUE(tool::edf::parse_tals(reader.bytes(s), reader.byte_count(s), out.notes, has, onset, why))
            << why;
        EXPECT_TRUE(has);
        EXPECT_EQ(onset, double(r) * out.header.duration());
        continue;
      }
      std::vector<int16_t> v(out.header.signals[s].samplesPerRecord);
      reader.samples(s, v.data());
      out.samples[s].insert(out.samples[s].end(), v.begin(), v.end());
    }
  }
  return out;
}

}  // namespace rzt
