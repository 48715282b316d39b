// The built razivera program run on real files as a user runs it: an output
// that is the input is refused, a failed or interrupted write leaves every
// target as it was, standard output carries the EDF file and nothing else,
// damaged and truncated recordings are reported, never a crash, and a file
// that cannot be opened gets a message that says why.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "edf.h"
#include "format/layout.h"
#include "tool_helpers.h"

using namespace rzt;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDemoSeconds = 120;
constexpr uint32_t kDemoChannels = 2;
// The device that is always full (/dev/full).
constexpr unsigned kFullMajor = 1, kFullMinor = 7;

class ProgramTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    fs::create_directory(path("io"));
    fs::create_directory(path("w"));
    program.io = path("io");
  }
  // A file in the directory the program writes into.
  std::string work(const std::string& name) const { return path("w/" + name); }
  // The names in the work directory that the tests did not put there
  // (a temporary file left behind).
  std::vector<std::string> leftovers(const std::vector<std::string>& expected) const {
    std::vector<std::string> extra;
    for (const auto& e : fs::directory_iterator(path("w"))) {
      const std::string name = e.path().filename().string();
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) extra.push_back(name);
    }
    return extra;
  }
  // A short demo night and its EDF export, made by the program.
  void make_inputs() {
    ASSERT_EQ(program
                  .run({"demo", work("acq.vzp"), "--hours", std::to_string(kDemoSeconds / 3600.0),
                        "--channels", std::to_string(kDemoChannels)})
                  .code,
              0);
    ASSERT_EQ(program.run({"export-edf", work("acq.vzp"), work("acq.edf")}).code, 0);
  }
  Program program;
};

TEST_F(ProgramTest, AnOutputThatIsTheInputIsRefusedThroughAnyName) {
  make_inputs();
  const Bytes recording = read_file(work("acq.vzp")), edf = read_file(work("acq.edf"));
  struct Case {
    const char* command;
    std::string input;
    const Bytes* bytes;
  };
  for (const Case& c :
       {Case{"export-edf", work("acq.vzp"), &recording}, Case{"import-edf", work("acq.edf"), &edf}}) {
    fs::create_hard_link(c.input, work("hard"));
    fs::create_symlink(c.input, work("soft"));
    for (const std::string& out : {c.input, work("hard"), work("soft")}) {
      const ToolRun r = program.run({c.command, c.input, out});
      EXPECT_EQ(r.code, 1) << c.command << " " << out;
      EXPECT_NE(r.err.find(out + ": is the input " + c.input), std::string::npos) << r.err;
      EXPECT_EQ(read_file(c.input), *c.bytes) << c.command << " " << out;
    }
    EXPECT_TRUE(fs::is_symlink(work("soft")));
    fs::remove(work("hard"));
    fs::remove(work("soft"));
  }
}

TEST_F(ProgramTest, AFailedWriteLeavesAnExistingFileAsItWasAndNothingBehind) {
  make_inputs();
  const std::string old = work("old");
  const Bytes before = {'k', 'e', 'e', 'p'};
  constexpr uint64_t kRoom = 64 * 1024;  // far less than any of the outputs
  program.fileSizeLimit = kRoom;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"demo", old, "--hours", "0.1"},
                                               {"export-edf", work("acq.vzp"), old},
                                               {"import-edf", work("acq.edf"), old}}) {
    write_file(old, before);
    chmod(old.c_str(), 0640);
    const ToolRun r = program.run(args);
    EXPECT_EQ(r.code, 1) << args[0] << "\n" << r.err;
    EXPECT_EQ(read_file(old), before) << args[0];
    EXPECT_EQ(leftovers({"acq.vzp", "acq.edf", "old"}), std::vector<std::string>()) << args[0];
  }
  // With room, the file is replaced whole and keeps its permissions.
  program.fileSizeLimit = 0;
  ASSERT_EQ(program.run({"export-edf", work("acq.vzp"), old}).code, 0);
  EXPECT_EQ(read_file(old), read_file(work("acq.edf")));
  EXPECT_EQ(fs::status(old).permissions() & fs::perms::all, fs::perms(0640));
}

TEST_F(ProgramTest, AFullDeviceIsWrittenAsAStreamAndNeverRemoved) {
  if (geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
  make_inputs();
  const std::string full = work("full");
  const dev_t device = makedev(kFullMajor, kFullMinor);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, device), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"demo", full, "--hours", "0.01"},
                                               {"export-edf", work("acq.vzp"), full},
                                               {"import-edf", work("acq.edf"), full}}) {
    const ToolRun r = program.run(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    struct stat st = {};
    ASSERT_EQ(lstat(full.c_str(), &st), 0) << args[0] << " removed the device";
    EXPECT_TRUE(S_ISCHR(st.st_mode) && st.st_rdev == device);
    EXPECT_EQ(leftovers({"acq.vzp", "acq.edf", "full"}), std::vector<std::string>()) << args[0];
  }
}

TEST_F(ProgramTest, StandardOutputCarriesTheEdfFileAndNothingElse) {
  make_inputs();
  for (const char* out : {"-", "/dev/stdout"}) {
    const ToolRun r = program.run({"export-edf", work("acq.vzp"), out});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(program.stdoutPath()), read_file(work("acq.edf"))) << out;
    EXPECT_NE(r.err.find("data records of 1 s"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(work("-")));
}

TEST_F(ProgramTest, AnEndingSignalLeavesNoFileBehind) {
  // Long enough a night to be stopped while it is written.
  const std::vector<std::pair<int, bool>> cases = {{SIGTERM, false}, {SIGINT, true}};
  for (const auto& [sig, existing] : cases) {
    const std::string out = work("night.vzp");
    const Bytes before = {'o', 'l', 'd'};
    if (existing) write_file(out, before);
    const pid_t pid = program.start({"demo", out, "--hours", "24", "--channels", "8"});
    // Stop it once its temporary file has appeared.
    for (int i = 0; i < 500 && leftovers({"night.vzp"}).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(leftovers({"night.vzp"}).empty()) << "the demo never started writing";
    kill(pid, sig);
    int ended = 0;
    program.wait(pid, &ended);
    EXPECT_EQ(ended, sig);
    EXPECT_EQ(leftovers({"night.vzp"}), std::vector<std::string>());
    if (existing) {
      EXPECT_EQ(read_file(out), before);
    } else {
      EXPECT_FALSE(fs::exists(out));
    }
    fs::remove(out);
  }
}

TEST_F(ProgramTest, ADamagedRateIsAnErrorNotACrash) {
  make_inputs();
  // One byte of the first channel's rate: 200 Hz becomes 100,663,496 Hz.
  constexpr size_t kRateTopByte = 3;
  tool::FileSource src;
  ASSERT_TRUE(src.open(work("acq.vzp")));
  tool::Findings ignored;
  const tool::FileView v = tool::walk_structure(src, ignored);
  Bytes b = read_file(work("acq.vzp"));
  size_t entry = 0;
  for (const tool::ChunkView& c : v.records[0].chunks)
    if (c.type == rz::container::kFrameChInfo) entry = c.offset + rz::frame_ch_info::kHeadSize;
  ASSERT_NE(entry, 0u);
  b[entry + rz::frame_ch_entry::kSampling + kRateTopByte] = 6;
  write_file(work("bad.vzp"), b);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"info", work("bad.vzp")},
                                               {"export-edf", work("bad.vzp"), work("bad.edf")}}) {
    const ToolRun r = program.run(args);
    EXPECT_EQ(r.code, 1) << args[0] << " (status -1: killed by a signal)\n" << r.err;
    EXPECT_NE(r.err.find("rate of 100663496 Hz"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(work("bad.edf")));
}

TEST_F(ProgramTest, ATruncatedRecordIsReportedAndExportedAsFarAsItGoes) {
  make_inputs();
  Bytes b = read_file(work("acq.vzp"));
  const size_t end = b.size() / 2;
  b.resize(end);
  write_file(work("cut.vzp"), b);
  const ToolRun info = program.run({"info", work("cut.vzp")});
  EXPECT_EQ(info.code, 1);
  EXPECT_NE(info.out.find("truncated   the file ends at offset " + std::to_string(end)), std::string::npos)
      << info.out;
  EXPECT_NE(info.err.find("claims " + std::to_string(kDemoSeconds) + " frames"), std::string::npos)
      << info.err;

  const ToolRun ex = program.run({"export-edf", work("cut.vzp"), work("cut.edf")});
  EXPECT_EQ(ex.code, 0) << ex.err;
  EXPECT_NE(ex.err.find("warning: " + work("cut.vzp") + ": record 0 is truncated"), std::string::npos)
      << ex.err;
  const EdfRead whole = edf_read(work("acq.edf")), cut = edf_read(work("cut.edf"));
  ASSERT_EQ(whole.header.records, int64_t(kDemoSeconds));
  EXPECT_GT(cut.header.records, 0);
  EXPECT_LT(cut.header.records, int64_t(kDemoSeconds / 2)) << "more frames than half the file holds: padded";
  ASSERT_EQ(cut.samples.size(), whole.samples.size());
  for (size_t s = 0; s < cut.samples.size(); ++s) {
    ASSERT_LE(cut.samples[s].size(), whole.samples[s].size());
    EXPECT_TRUE(std::equal(cut.samples[s].begin(), cut.samples[s].end(), whole.samples[s].begin())) << s;
  }
}

TEST_F(ProgramTest, AFileThatCannotBeOpenedGetsAMessageThatSaysWhy) {
  make_inputs();
  const Bytes good = read_file(work("acq.vzp"));
  write_file(work("empty.vzp"), {});
  write_file(work("short.vzp"), Bytes(good.begin(), good.begin() + 31));
  write_file(work("junk.vzp"), Bytes(64, 'x'));
  Bytes newer(good.begin(), good.begin() + 4096);
  std::memcpy(&newer[8], "000310", 6);
  write_file(work("newer.vzp"), newer);
  write_file(work("locked.vzp"), good);
  chmod(work("locked.vzp").c_str(), 0);
  fs::create_directory(work("dir.vzp"));
  struct Case {
    const char* file;
    const char* says;
    bool recordingOnly;  // the EDF reader has its own words for what is inside
  };
  const Case cases[] = {
      {"missing.vzp", "no such file", false},
      {"dir.vzp", "is a directory", false},
      {"empty.vzp", "is empty", false},
      {"locked.vzp", "Permission denied", false},
      {"short.vzp", "31 bytes long", true},
      {"junk.vzp", "not a recording file", true},
      {"newer.vzp", "version 310 cannot be opened", true},
  };
  for (const Case& c : cases) {
    if (std::string(c.file) == "locked.vzp" && geteuid() == 0) continue;  // root reads everything
    const std::string f = work(c.file);
    std::vector<std::vector<std::string>> runs = {
        {"info", f}, {"dump", f}, {"verify", f}, {"export-edf", f, work("o.edf")}};
    if (!c.recordingOnly) runs.push_back({"import-edf", f, work("o.vzp")});
    for (const std::vector<std::string>& args : runs) {
      const ToolRun r = program.run(args);
      EXPECT_EQ(r.code, 1) << args[0] << " " << c.file;
      EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << args[0] << " " << c.file << "\n" << r.err;
      EXPECT_EQ(r.out.find("9223372036854775807"), std::string::npos) << r.out;
    }
  }
  EXPECT_FALSE(fs::exists(work("o.edf")) || fs::exists(work("o.vzp")));
}

}  // namespace
