// The tool's commands end to end: demo recordings, EDF+ export checked
// against what the library reads, import-edf followed by export-edf giving
// back the original samples, and the command line's exit codes.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "edf.h"
#include "tool_helpers.h"

using namespace rzt;
namespace edf = tool::edf;

namespace {

// Every channel's samples of record 0, read through the library frame by frame.
struct LibraryRead {
  std::vector<uint32_t> rates;
  std::vector<std::string> labels;
  std::vector<std::vector<int16_t>> samples;
  uint32_t frames = 0, frameSeconds = 0;
  uint32_t start[6] = {};
};

LibraryRead library_read(const std::string& path) {
  LibraryRead out;
  Bio h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  EXPECT_TRUE(h);
  if (!h) return out;
  EXPECT_EQ(DARARARReadRecordInfo(h, 0), 1);
  EXPECT_EQ(DARARARReadChannelInfo(h, 0), 1);
  EXPECT_EQ(DARARARReadFrameInfo(h, 0), 1);
  const uint32_t channels = DARARARGetWaveInfo(h, 0, RZ_WAVE_CHANNEL_COUNT);
  out.frames = DARARARGetWaveInfo(h, 0, RZ_WAVE_TOTAL_FRAMES);
  out.frameSeconds = DARARARGetWaveInfo(h, 0, RZ_WAVE_FRAME_SECONDS);
  for (uint16_t i = 0; i < 6; ++i) out.start[i] = DARARARGetWaveInfo(h, 0, uint16_t(10 + i));
  out.samples.resize(channels);
  for (uint16_t c = 0; c < channels; ++c) {
    out.rates.push_back(DARARARGetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, c));
    char label[64] = {};
    DARARARGetFrameChText(h, 0, RZ_CHANNEL_LABEL, c, label);
    out.labels.push_back(label);
  }
  DARARARCreateReadFrameBuf(h, 0, out.frameSeconds);
  for (uint32_t f = 0; f < out.frames; ++f) {
    EXPECT_GE(DARARARReadFrameWaveEx(h, 0, int32_t(f * out.frameSeconds), out.frameSeconds), 0);
    for (uint16_t c = 0; c < channels; ++c) {
      std::vector<int16_t> v(size_t(out.rates[c]) * out.frameSeconds);
      EXPECT_EQ(DARARARGetFrameWaveEx(h, 0, c, v.data(), 0, out.frameSeconds), int32_t(v.size()));
      out.samples[c].insert(out.samples[c].end(), v.begin(), v.end());
    }
  }
  return out;
}

class ConvertTest : public FileTest {};

TEST_F(ConvertTest, ExportHoldsWhatTheLibraryReads) {
  for (bool big : {false, true}) {
    const std::string rec = path(big ? "b.vzp" : "l.vzp"), out = path(big ? "b.edf" : "l.edf");
    write_short_demo(rec, 150, 4, big);
    const ToolRun r = run_tool({"export-edf", rec, out});
    ASSERT_EQ(r.code, 0) << r.err;
    const LibraryRead lib = library_read(rec);
    const EdfRead e = edf_read(out);
    EXPECT_EQ(e.header.reserved, "EDF+C");
    EXPECT_EQ(e.header.records, int64_t(lib.frames));
    EXPECT_EQ(e.header.duration(), double(lib.frameSeconds));
    EXPECT_EQ(e.header.start.year, int(lib.start[0]));
    EXPECT_EQ(e.header.start.month, int(lib.start[1]));
    EXPECT_EQ(e.header.start.day, int(lib.start[2]));
    EXPECT_EQ(e.header.start.hour, int(lib.start[3]));
    EXPECT_EQ(e.header.start.minute, int(lib.start[4]));
    ASSERT_EQ(e.header.signals.size(), lib.samples.size() + 1);
    EXPECT_TRUE(e.header.signals.back().is_annotation());
    for (size_t c = 0; c < lib.samples.size(); ++c) {
      EXPECT_EQ(e.header.signals[c].label, lib.labels[c]);
      EXPECT_EQ(e.header.signals[c].samplesPerRecord, lib.rates[c] * lib.frameSeconds);
      ASSERT_EQ(e.samples[c], lib.samples[c]) << "channel " << c;
    }
    // The event channel's codes, each an annotation at its sample's time.
    const size_t events = lib.samples.size() - 1;
    ASSERT_EQ(lib.labels[events], "EVENT");
    std::multimap<int64_t, std::string> codes;
    for (size_t k = 0; k < lib.samples[events].size(); ++k)
      if (lib.samples[events][k])
        codes.insert(
            {int64_t(k * 1000 / lib.rates[events]), "EVENT " + std::to_string(lib.samples[events][k])});
    ASSERT_FALSE(codes.empty());
    size_t fromChannel = 0, named = 0;
    for (const edf::Annotation& a : e.notes) {
      if (a.text.rfind("EVENT ", 0) == 0) {
        ++fromChannel;
        bool found = false;
        const auto range = codes.equal_range(std::llround(a.onset * 1000));
        for (auto it = range.first; it != range.second; ++it) found = found || it->second == a.text;
        EXPECT_TRUE(found) << a.onset << " " << a.text;
      } else {
        ++named;
      }
    }
    EXPECT_EQ(fromChannel, codes.size());
    EXPECT_EQ(named, codes.size()) << "every event is also in the table with its name";
  }
}

TEST_F(ConvertTest, ImportThenExportGivesBackTheOriginal) {
  // Half-second data records: two make one frame; seven leave the last frame
  // half empty.  Calibration, units and texts travel with the samples.
  edf::Header h;
  h.patient = "P-17 M 01-JAN-1960 John_Roe";
  h.recording = "Startdate 02-FEB-2023 A1 tech amp Night_one";
  h.start = {2023, 2, 2, 23, 59, 50};
  h.reserved = "EDF+C";
  h.records = 7;
  h.durationNum = 1;
  h.durationDen = 2;
  const uint32_t per[3] = {128, 50, 5};
  const char* labels[3] = {"EEG Fpz-Cz", "Resp oro-nasal", "Temp rectal"};
  for (int s = 0; s < 3; ++s) {
    edf::Signal sig;
    sig.label = labels[s];
    sig.dimension = s == 2 ? "degC" : "uV";
    sig.physicalMin = s == 2 ? 33.5 : -500;
    sig.physicalMax = s == 2 ? 41.25 : 500;
    sig.digitalMin = -2048;
    sig.digitalMax = 2047;
    sig.transducer = s == 0 ? "Ag-AgCl electrodes" : "";
    sig.prefiltering = s == 0 ? "HP:0.5Hz LP:100Hz" : "";
    sig.samplesPerRecord = per[s];
    h.signals.push_back(sig);
  }
  edf::Signal notes;
  notes.label = edf::kAnnotationLabel;
  notes.physicalMin = -1;
  notes.physicalMax = 1;
  notes.samplesPerRecord = 40;
  h.signals.push_back(notes);
  const std::vector<edf::Annotation> marks = {
      {0.75, 0, "Lights off"}, {1.5, 30, "Sleep stage W"}, {3.25, 1.5, "Arousal"}};
  std::string error;
  {
    edf::Writer w;
    const FilePtr file = open_for_writing(path("in.edf"));
    ASSERT_TRUE(w.open(file.get(), h, error)) << error;
    for (int r = 0; r < 7; ++r) {
      for (int s = 0; s < 3; ++s) {
        std::vector<int16_t> v(per[s]);
        for (size_t k = 0; k < v.size(); ++k) v[k] = int16_t((r * 1000 + s * 300 + int(k) * 7) % 4096 - 2048);
        w.put_samples(size_t(s), v.data(), v.size());
      }
      std::string tal = edf::timekeeping_tal(r * 0.5);
      for (const edf::Annotation& a : marks)
        if (a.onset >= r * 0.5 && a.onset < r * 0.5 + 0.5) tal += edf::annotation_tal(a);
      w.put_bytes(3, tal);
      ASSERT_TRUE(w.write_record(error));
    }
    ASSERT_TRUE(w.finish(error));
  }
  const EdfRead original = edf_read(path("in.edf"));
  for (bool big : {false, true}) {
    const std::string rec = path("x.vzp");
    std::vector<std::string> args = {"import-edf", path("in.edf"), rec};
    if (big) args.push_back("--big-endian");
    const ToolRun imp = run_tool(args);
    ASSERT_EQ(imp.code, 0) << imp.err;
    EXPECT_NE(imp.err.find("completed with 1 data record(s) of zeros"), std::string::npos) << imp.err;
    EXPECT_EQ(describe(verify_bytes(read_file(rec))), "");
    const LibraryRead lib = library_read(rec);
    EXPECT_EQ(lib.frames, 4u);
    EXPECT_EQ(lib.frameSeconds, 1u);
    EXPECT_EQ(lib.rates, (std::vector<uint32_t>{256, 100, 10}));
    EXPECT_EQ(lib.labels, (std::vector<std::string>{"EEG Fpz-Cz", "Resp oro-nasal", "Temp rectal"}));
    EXPECT_EQ(lib.start[0], 2023u);
    EXPECT_EQ(lib.start[5], 50u);

    const ToolRun exp = run_tool({"export-edf", rec, path("out.edf")});
    ASSERT_EQ(exp.code, 0) << exp.err;
    const EdfRead back = edf_read(path("out.edf"));
    EXPECT_EQ(back.header.records, 4);
    EXPECT_EQ(back.header.patient, h.patient);
    EXPECT_EQ(back.header.recording, h.recording);
    EXPECT_EQ(back.header.start.second, 50);
    for (size_t s = 0; s < 3; ++s) {
      const edf::Signal& a = h.signals[s];
      const edf::Signal& b = back.header.signals[s];
      EXPECT_EQ(b.label, a.label);
      EXPECT_EQ(b.dimension, a.dimension);
      EXPECT_EQ(b.physicalMin, a.physicalMin);
      EXPECT_EQ(b.physicalMax, a.physicalMax);
      EXPECT_EQ(b.digitalMin, a.digitalMin);
      EXPECT_EQ(b.digitalMax, a.digitalMax);
      EXPECT_EQ(b.transducer, a.transducer);
      EXPECT_EQ(b.prefiltering, a.prefiltering);
      EXPECT_EQ(b.samplesPerRecord, 2 * a.samplesPerRecord);
      // The original samples, then the half frame of zeros.
      std::vector<int16_t> expected = original.samples[s];
      expected.resize(expected.size() + a.samplesPerRecord, 0);
      EXPECT_EQ(back.samples[s], expected) << "signal " << s;
    }
    ASSERT_EQ(back.notes.size(), marks.size());
    for (size_t i = 0; i < marks.size(); ++i) {
      EXPECT_EQ(back.notes[i].text, marks[i].text);
      EXPECT_DOUBLE_EQ(back.notes[i].onset, marks[i].onset);
      EXPECT_DOUBLE_EQ(back.notes[i].duration, marks[i].duration);
    }
  }
}

TEST_F(ConvertTest, ExportImportExportIsByteForByteStable) {
  write_short_demo(path("d.vzp"), 100, 3, false);
  ASSERT_EQ(run_tool({"export-edf", path("d.vzp"), path("1.edf")}).code, 0);
  for (bool big : {false, true}) {
    std::vector<std::string> args = {"import-edf", path("1.edf"), path("d2.vzp")};
    if (big) args.push_back("--big-endian");
    ASSERT_EQ(run_tool(args).code, 0);
    ASSERT_EQ(run_tool({"export-edf", path("d2.vzp"), path("2.edf")}).code, 0);
    EXPECT_EQ(diff_offsets(read_file(path("1.edf")), read_file(path("2.edf"))).size(), 0u) << big;
  }
}

TEST_F(ConvertTest, ImportRefusesWhatCannotBeARecording) {
  const auto edf_with = [&](const std::string& name, uint64_t num, uint64_t den, uint32_t samples,
                            bool notesOnly, const std::string& reserved, double secondOnset) {
    edf::Header h;
    h.start = {2020, 1, 1, 0, 0, 0};
    h.reserved = reserved;
    h.recording = "Startdate 01-JAN-2020 X X X";
    h.records = 2;
    h.durationNum = num;
    h.durationDen = den;
    edf::Signal s;
    s.label = notesOnly ? edf::kAnnotationLabel : "EEG";
    s.samplesPerRecord = samples;
    h.signals = {s};
    if (reserved == "EDF+D") {
      edf::Signal n;
      n.label = edf::kAnnotationLabel;
      n.samplesPerRecord = 20;
      h.signals.push_back(n);
    }
    edf::Writer w;
    std::string error;
    const FilePtr file = open_for_writing(path(name));
    EXPECT_TRUE(w.open(file.get(), h, error)) << error;
    for (int r = 0; r < 2; ++r) {
      if (reserved == "EDF+D") w.put_bytes(1, edf::timekeeping_tal(r ? secondOnset : 0));
      EXPECT_TRUE(w.write_record(error));
    }
    EXPECT_TRUE(w.finish(error));
    return path(name);
  };
  struct Case {
    std::string file;
    const char* says;
  };
  const std::vector<Case> cases = {
      {edf_with("rate.edf", 3, 10, 7, false, "", 0),
       "offset 472: signal \"EEG\": 7 samples per 0.3-s data record"},
      {edf_with("notes.edf", 1, 1, 10, true, "EDF+C", 0), "annotations only"},
      {edf_with("gap.edf", 1, 1, 10, false, "EDF+D", 5), "recordings with gaps are not imported"},
  };
  for (const Case& c : cases) {
    const ToolRun r = run_tool({"import-edf", c.file, path("out.vzp")});
    EXPECT_EQ(r.code, 1) << c.file;
    EXPECT_NE(r.err.find(c.file + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("out.vzp")))
        << "a failed import leaves no file behind: " << c.file;
  }
  // A contiguous EDF+D is taken.
  EXPECT_EQ(run_tool({"import-edf", edf_with("d.edf", 1, 1, 10, false, "EDF+D", 1), path("ok.vzp")}).code, 0);
  write_file(path("x.edf"), Bytes(300, 'x'));
  const ToolRun r = run_tool({"import-edf", path("x.edf"), path("out.vzp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("offset 0: not an EDF file"), std::string::npos) << r.err;
}

TEST_F(ConvertTest, InfoAndDumpDescribeTheDemo) {
  write_short_demo(path("d.vzp"), 200, 2, true);
  const ToolRun info = run_tool({"info", path("d.vzp")});
  ASSERT_EQ(info.code, 0) << info.err;
  for (const char* s :
       {"big-endian", "letter S", "2024-03-14 22:30:00", "frames      200 of 1 s", "F4-M1", "C4-M1", "EVENT",
        "(event channel)", "events      ", "Lights off", "texts       list of type 1000",
        "score table (record 0, id 1)", "stages      W 1 (0:00:30), N1 "})
    EXPECT_NE(info.out.find(s), std::string::npos) << s << "\n" << info.out;
  const ToolRun dump = run_tool({"dump", path("d.vzp"), "--hex"});
  ASSERT_EQ(dump.code, 0) << dump.err;
  for (const char* s : {"byte order B (big-endian)", "WaveInfo (100)", "FrameChInfo (120)",
                        "FrameChEntry (125)", "EventTable (200)", "FrameInfo (140)", "200 frames of",
                        "ScoreTable (3000)", "type 1000", "terminator at", "56 4F 5A 4F 2D 53 50 47"})
    EXPECT_NE(dump.out.find(s), std::string::npos) << s << "\n" << dump.out;
  Bytes b = read_file(path("d.vzp"));
  b.resize(b.size() - 20);
  write_file(path("cut.vzp"), b);
  const ToolRun cut = run_tool({"dump", path("cut.vzp")});
  EXPECT_EQ(cut.code, 1);
  EXPECT_NE(cut.out.find("FrameInfo (140)"), std::string::npos);
  EXPECT_NE(cut.err.find(path("cut.vzp") + ": offset 32 (0x20): record 0: its length"), std::string::npos)
      << cut.err;
}

TEST_F(ConvertTest, TheDemoIsTheSameEveryTimeInEitherOrder) {
  write_short_demo(path("a.vzp"), 90, 20, false);
  write_short_demo(path("b.vzp"), 90, 20, false);
  write_short_demo(path("c.vzp"), 90, 20, true);
  EXPECT_EQ(diff_offsets(read_file(path("a.vzp")), read_file(path("b.vzp"))).size(), 0u);
  const LibraryRead little = library_read(path("a.vzp")), big = library_read(path("c.vzp"));
  EXPECT_EQ(little.samples, big.samples);
  EXPECT_EQ(little.labels.size(), 21u);
  EXPECT_EQ(little.labels[16], "EEG 17");
}

TEST_F(ConvertTest, CommandLineExitCodes) {
  write_short_demo(path("d.vzp"), 20, 1, false);
  {
    Bio h = create("empty.vzp");
    DARARARStartRecordWave(h);
    DARARAREndRecordWave(h);
  }
  const std::string d = path("d.vzp"), o = path("o.edf");
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* says;  // in the output or the error stream
  };
  const std::vector<Case> cases = {
      {{}, 2, "usage: razivera COMMAND"},
      {{"--help"}, 0, "commands:"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"info"}, 2, "missing arguments"},
      {{"info", d, d}, 2, "unexpected argument"},
      {{"dump", d, "--hexx"}, 2, "unknown option --hexx"},
      {{"dump", "--hex=1", d}, 2, "--hex takes no value"},
      {{"demo", o, "--hours"}, 2, "--hours needs a value"},
      {{"demo", o, "--hours", "x"}, 2, "--hours wants a number"},
      {{"demo", o, "--channels", "0"}, 2, "--channels wants a number from 1 to 255"},
      {{"demo", o, "--hours=72", "--channels=255"}, 2, "at most 2 GB"},
      {{"demo", o, "--hours", "0.0001"}, 2, "less than a second"},
      {{"export-edf", d, o, "--record", "40"}, 2, "--record wants"},
      {{"export-edf", d}, 2, "OUT.edf [--record N] [--events N]"},
      {{"export-edf", d, o, "--record", "1"}, 1, "has 1 record(s); there is no record 1"},
      {{"export-edf", d, o, "--events", "9"}, 1, "there is no channel 9"},
      {{"export-edf", path("empty.vzp"), o}, 1, "record 0 has no wave information"},
      {{"info", path("missing.vzp")}, 1, "missing.vzp: no such file"},
      {{"import-edf", path("missing.edf"), o}, 1, "missing.edf: no such file"},
      {{"export-edf", d, path("no/such/dir/o.edf")}, 1, "cannot create a file in"},
      {{"export-edf", d, o, "--events", "0"}, 0, "0 annotations"},
  };
  for (const Case& c : cases) {
    const ToolRun r = run_tool(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(r.code, c.code) << line << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << line << "\n" << r.out << r.err;
  }
  for (const tool::CommandSpec& c : tool::commands()) {
    const ToolRun r = run_tool({c.name, "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind(std::string("usage: razivera ") + c.name, 0), 0u) << r.out;
  }
}

}  // namespace
