// The tool's views of a recording: the sleep report (opened in a real browser
// when one is installed, its figures checked against the library's score and
// event tables), plot pages (rendered by an SVG renderer), info --json (read
// by Python against the text description), and the selections of samples and
// export-edf (against the library's own reads, across a frame boundary and
// past the end).  Damaged input is an error, never a crash.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "conventions.h"
#include "edf.h"
#include "items.h"
#include "source.h"
#include "support/recording.h"
#include "tool_helpers.h"

using namespace rzt;
namespace item = tool::item;
namespace convention = tool::convention;

namespace {

const char kChromium[] = "/usr/bin/chromium";
const char kSvgRenderer[] = "/usr/bin/rsvg-convert";
const char kPython[] = "/usr/bin/python3";

std::string text_of(const std::string& path) {
  const Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

// The exit code of a shell command line (its output thrown away).
int shell(const std::string& line) {
  const int status = std::system((line + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string checks_script() {
  const std::string here = __FILE__;
  return here.substr(0, here.find_last_of('/')) + "/tool_checks.py";
}

// The number after "key": in a JSON text (the first occurrence after `from`).
double json_number(const std::string& json, const std::string& key, size_t from = 0) {
  const size_t at = json.find("\"" + key + "\":", from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no " << key;
    return -1;
  }
  return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

// An attribute's value in an element text.
std::string attribute(const std::string& element, const std::string& name) {
  const size_t at = element.find(" " + name + "=\"");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  return element.substr(start, element.find('"', start) - start);
}

// The figures a sleep report states, worked out here from the library's
// score table and event table.
struct Figures {
  double tstMinutes = 0, efficiency = 0, ahi = 0;
  double stageMinutes[6] = {};  // by hypnogram value 0 to 5
};

Figures library_figures(const std::string& path) {
  Figures f;
  Bio h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  EXPECT_TRUE(h);
  const int32_t epochs = DARARARReadScoreInfo(h, 0, 0);
  uint32_t epochSeconds = 0;
  DARARARGetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, &epochSeconds);
  EXPECT_GT(epochs, 0);
  uint32_t sleepEpochs = 0;
  for (int32_t i = 0; i < epochs; ++i) {
    uint32_t stage = 0;
    EXPECT_EQ(DARARARGetScoreTableInfo(h, RZ_SCORE_ENTRY_ALL, i, &stage), 1);
    if (stage < 6) f.stageMinutes[stage] += epochSeconds / 60.0;
    sleepEpochs += stage == convention::kN1 || stage == convention::kN2 || stage == convention::kN3 ||
                   stage == convention::kRem;
  }
  f.tstMinutes = sleepEpochs * epochSeconds / 60.0;
  f.efficiency = 100.0 * sleepEpochs / epochs;
  uint32_t breathing = 0;
  const int32_t events = DARARARReadEventInfo(h, 0);
  for (int32_t i = 1; i <= events; ++i) {
    uint32_t onset = 0;
    uint8_t data[RZ_EVENT_DATA_MAX] = {};
    EXPECT_EQ(DARARARGetEventTableInfo(h, 0, uint16_t(i), &onset, data), 1);
    const std::string text(reinterpret_cast<const char*>(data + convention::kAnnotationText));
    breathing += text.find("apnea") != std::string::npos || text == "Hypopnea";
  }
  f.ahi = breathing / (f.tstMinutes / 60);
  return f;
}

class ViewsTest : public FileTest {
 protected:
  // A recording of known samples: channels of 4 and 2 Hz in frames of 2 s,
  // 10 s from 10:00:00, and what the library reads of each channel.
  void write_known(const std::string& name) {
    layout.rates = {4, 2};
    layout.frameSeconds = 2;
    layout.baseRate = 4;
    {
      Bio h = begin_recording(*this, path(name), layout, kFrames);
      ASSERT_EQ(write_frames(h, layout, 0, kFrames), kFrames);
      ASSERT_GT(DARARAREndRecordWave(h), 0u);
    }
    Bio r = open_for_review(path(name), kSeconds);
    ASSERT_GE(DARARARReadFrameWaveEx(r, 0, 0, kSeconds), 0);
    for (uint16_t c = 0; c < 2; ++c) {
      library[c].resize(kSeconds * layout.rates[c]);
      ASSERT_EQ(DARARARGetFrameWaveEx(r, 0, c, library[c].data(), 0, kSeconds), int32_t(library[c].size()));
    }
  }
  // The CSV rows of `samples` as numbers.
  static std::vector<std::vector<double>> rows(const std::string& csv) {
    std::vector<std::vector<double>> out;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
      std::vector<double> row;
      std::istringstream cells(line);
      for (std::string cell; std::getline(cells, cell, ',');)
        row.push_back(std::strtod(cell.c_str(), nullptr));
      out.push_back(row);
    }
    return out;
  }
  static constexpr uint16_t kFrames = 5;
  static constexpr uint32_t kSeconds = 10;
  Layout layout;
  std::vector<int16_t> library[2];
};

TEST_F(ViewsTest, TheReportStatesTheLibrarysFiguresAndABrowserDrawsIt) {
  const std::string night = path("night.vzp"), page = path("report.html");
  write_short_demo(night, 1800, 8, false);
  const ToolRun run = run_tool({"report", night, "-o", page});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string html = text_of(page);
  // Self-contained: nothing to fetch.
  EXPECT_EQ(html.find("src="), std::string::npos);
  EXPECT_EQ(html.find("href="), std::string::npos);
  const size_t block = html.find("id=\"sleep-figures\">");
  ASSERT_NE(block, std::string::npos);
  const std::string json = html.substr(block, html.find("</script>", block) - block);
  const Figures want = library_figures(night);
  EXPECT_NEAR(json_number(json, "tst_min"), want.tstMinutes, 1e-9);
  EXPECT_NEAR(json_number(json, "sleep_efficiency_percent"), want.efficiency, 1e-9);
  EXPECT_NEAR(json_number(json, "ahi"), want.ahi, 1e-9);
  const std::pair<const char*, uint32_t> stages[] = {{"W", convention::kWake},
                                                     {"N1", convention::kN1},
                                                     {"N2", convention::kN2},
                                                     {"N3", convention::kN3},
                                                     {"REM", convention::kRem}};
  for (const auto& s : stages)
    EXPECT_NEAR(json_number(json, "minutes", json.find(std::string("\"") + s.first + "\":{")),
                want.stageMinutes[s.second], 1e-9)
        << s.first;

  if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "no " << kChromium << ": the page was not drawn";
  const std::string shot = path("report.png");
  const std::string draw = std::string(kChromium) +
                           " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                           " --disable-background-networking --disable-component-update --disable-sync"
                           " --proxy-server=127.0.0.1:9 '--host-resolver-rules=MAP * ~NOTFOUND' --hide-scrollbars"
                           " --user-data-dir=" +
                           path("profile") + " --window-size=1000,1200 --screenshot=" + shot + " file://" + page;
  int drawn = shell(draw);
  // The headless browser now and then dies of a signal of its own at start-up
  // on a busy machine (status 128 + signal); that says nothing about the page.
  if (drawn > 128) {
    std::fprintf(stderr, "the browser died (status %d); drawing again\n", drawn);
    drawn = shell(draw);
  }
  ASSERT_EQ(drawn, 0);
  EXPECT_EQ(shell(std::string(kPython) + " " + checks_script() + " png-not-blank " + shot), 0);
}

TEST_F(ViewsTest, ANightWithoutHypnogramIsReportedAsFarAsItGoes) {
  write_known("plain.vzp");
  const ToolRun report = run_tool({"report", path("plain.vzp"), "-o", path("plain.html")});
  ASSERT_EQ(report.code, 0) << report.err;
  const std::string html = text_of(path("plain.html"));
  EXPECT_NE(html.find("id=\"no-hypnogram\""), std::string::npos);
  EXPECT_NE(html.find("{\"scored\":false"), std::string::npos);
  EXPECT_EQ(run_tool({"plot", path("plain.vzp"), "--hypnogram", "-o", path("h.svg")}).code, 0);
}

TEST_F(ViewsTest, PlotDrawsTheSamplesOfTheWindow) {
  write_known("known.vzp");
  const std::string svg = path("page.svg");
  // 3 s to 7 s crosses the frame boundaries at 4 s and 6 s.
  const ToolRun run = run_tool({"plot", path("known.vzp"), "--from", "3", "--duration", "4", "-o", svg});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string text = text_of(svg);
  size_t at = 0;
  for (uint32_t c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    at = text.find("<polyline class=\"trace\"", at);
    ASSERT_NE(at, std::string::npos);
    const std::string trace = text.substr(at, text.find("/>", at) - at);
    ++at;
    const size_t first = 3 * layout.rates[c], count = 4 * layout.rates[c];
    const auto window = library[c].begin() + long(first);
    const auto mm = std::minmax_element(window, window + long(count));
    EXPECT_EQ(attribute(trace, "data-first-sample"), std::to_string(first));
    EXPECT_EQ(attribute(trace, "data-count"), std::to_string(count));
    EXPECT_EQ(attribute(trace, "data-first"), std::to_string(*window));
    EXPECT_EQ(attribute(trace, "data-last"), std::to_string(window[long(count) - 1]));
    EXPECT_EQ(attribute(trace, "data-min"), std::to_string(*mm.first));
    EXPECT_EQ(attribute(trace, "data-max"), std::to_string(*mm.second));
    const std::string points = attribute(trace, "points");
    EXPECT_EQ(size_t(std::count(points.begin(), points.end(), ' ') + 1), count);
  }
  if (access(kSvgRenderer, X_OK) != 0) GTEST_SKIP() << "no " << kSvgRenderer;
  EXPECT_EQ(shell(std::string(kSvgRenderer) + " " + svg + " -o " + path("page.png")), 0);
  ASSERT_EQ(run_tool({"plot", path("known.vzp"), "--hypnogram", "-o", path("night.svg")}).code, 0);
  EXPECT_EQ(shell(std::string(kSvgRenderer) + " " + path("night.svg") + " -o " + path("night.png")), 0);
}

TEST_F(ViewsTest, SamplesAreTheLibrarysReadsOfTheRange) {
  write_known("known.vzp");
  const std::string file = path("known.vzp");
  struct Case {
    std::vector<std::string> args;
    double from, to;  // the rows expected
  };
  // Across the frame boundary at 4 s; past the end (cut at 10 s).
  for (const Case& c :
       {Case{{"--from", "3", "--duration", "2"}, 3, 5}, Case{{"--from", "8", "--to", "15"}, 8, 10},
        Case{{"--from", "10:00:03.5", "--to", "10:00:04.5"}, 3.5, 4.5}}) {
    SCOPED_TRACE(c.args[1]);
    std::vector<std::string> args = {"samples", file, "--channels", "CH1,2",
                                     "--rate",  "4",  "-o",         path("s.csv")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = run_tool(args);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string csv = text_of(path("s.csv"));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,CH1,CH2");
    const auto got = rows(csv);
    ASSERT_EQ(got.size(), size_t((c.to - c.from) * 4));
    for (size_t i = 0; i < got.size(); ++i) {
      const size_t k = size_t(c.from * 4) + i;
      EXPECT_DOUBLE_EQ(got[i][0], k / 4.0);
      EXPECT_EQ(got[i][1], library[0][k]) << k;
      EXPECT_EQ(got[i][2], library[1][k / 2]) << k;  // 2 Hz repeated at 4 Hz
    }
    EXPECT_EQ(run.err.find("past the end") != std::string::npos, c.to == kSeconds);
  }
  EXPECT_EQ(run_tool({"samples", file, "--from", "10", "-o", path("s.csv")}).code, 1) << "starts at the end";
  EXPECT_EQ(run_tool({"samples", file}).code, 2) << "two rates without --rate";
  EXPECT_EQ(run_tool({"samples", file, "--rate", "3"}).code, 2) << "not a multiple of the rates";
  EXPECT_EQ(run_tool({"samples", file, "--channels", "CH9"}).code, 2);
  EXPECT_EQ(run_tool({"samples", file, "--from", "1", "--to", "2", "--duration", "1"}).code, 2);
}

TEST_F(ViewsTest, ExportEdfOfASelectionHoldsItsFramesAndStartsAtThem) {
  write_known("known.vzp");
  struct Case {
    std::vector<std::string> range;
    uint32_t firstFrame, frames;
  };
  // 3 s to 7 s widens to frames 1 to 3 (2 s to 8 s); from 7 s past the end
  // gives frames 3 and 4.
  for (const Case& c :
       {Case{{"--from", "3", "--to", "7"}, 1, 3}, Case{{"--from", "7", "--duration", "30"}, 3, 2}}) {
    SCOPED_TRACE(c.firstFrame);
    std::vector<std::string> args = {"export-edf", path("known.vzp"), path("part.edf"), "--channels", "ch2"};
    args.insert(args.end(), c.range.begin(), c.range.end());
    const ToolRun run = run_tool(args);
    ASSERT_EQ(run.code, 0) << run.err;
    const EdfRead e = edf_read(path("part.edf"));
    ASSERT_EQ(e.header.signals.size(), 2u) << "CH2 and the annotations";
    EXPECT_EQ(e.header.signals[0].label.substr(0, 3), "CH2");
    EXPECT_EQ(e.header.records, int64_t(c.frames));
    EXPECT_EQ(e.header.start.second, int(c.firstFrame * layout.frameSeconds));
    const std::vector<int16_t>& got = e.samples[0];
    const size_t per = layout.rates[1] * layout.frameSeconds;
    EXPECT_EQ(got, std::vector<int16_t>(library[1].begin() + long(c.firstFrame * per),
                                        library[1].begin() + long((c.firstFrame + c.frames) * per)));
  }
}

TEST_F(ViewsTest, InfoJsonSaysWhatInfoPrints) {
  if (access(kPython, X_OK) != 0) GTEST_SKIP() << "no " << kPython;
  // A demo night (event and score tables, notes) and its EDF round trip
  // (calibrations, no score table).
  write_short_demo(path("night.vzp"), 120, 3, true);
  ASSERT_EQ(run_tool({"export-edf", path("night.vzp"), path("night.edf")}).code, 0);
  ASSERT_EQ(run_tool({"import-edf", path("night.edf"), path("again.vzp")}).code, 0);
  for (const char* name : {"night.vzp", "again.vzp"})
    EXPECT_EQ(shell(std::string(kPython) + " " + checks_script() + " info-json " + RZ_TOOL_PROGRAM + " " +
                    path(name)),
              0)
        << name;
}

TEST_F(ViewsTest, DamagedOrMisnamedInputIsAnErrorNeverACrash) {
  write_short_demo(path("night.vzp"), 60, 2, false);
  Bytes cut = read_file(path("night.vzp"));
  cut.resize(cut.size() * 2 / 3);
  write_file(path("cut.vzp"), cut);
  write_file(path("junk.vzp"), Bytes{'V', 'O', 'Z', 'O', 0, 1, 2});
  const std::string out = path("out");
  const std::vector<std::vector<std::string>> commands = {{"report", "-o", out},
                                                          {"plot", "-o", out},
                                                          {"plot", "--hypnogram", "-o", out},
                                                          {"samples", "--channels", "1", "-o", out},
                                                          {"info", "--json"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> junk = {command[0], path("junk.vzp")};
    junk.insert(junk.end(), command.begin() + 1, command.end());
    const ToolRun bad = run_tool(junk);
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("junk.vzp"), std::string::npos) << bad.err;
    std::vector<std::string> truncated = {command[0], path("cut.vzp")};
    truncated.insert(truncated.end(), command.begin() + 1, command.end());
    const ToolRun partial = run_tool(truncated);
    // info reports the damage as a failure; the views show what is there.
    EXPECT_EQ(partial.code, command[0] == "info" ? 1 : 0) << partial.err;
    EXPECT_NE(partial.err.find("truncated"), std::string::npos) << partial.err;
  }
  // An output that is the input is refused, and the input kept.
  const Bytes before = read_file(path("night.vzp"));
  EXPECT_EQ(run_tool({"report", path("night.vzp"), "-o", path("night.vzp")}).code, 1);
  EXPECT_EQ(run_tool({"plot", path("night.vzp"), "-o", path("./night.vzp")}).code, 1);
  EXPECT_EQ(read_file(path("night.vzp")), before);
  EXPECT_EQ(run_tool({"plot", path("night.vzp"), "--hypnogram", "--from", "3"}).code, 2);
}

}  // namespace
