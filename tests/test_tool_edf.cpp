// EDF and EDF+: the header's fields where the format puts them, numbers that
// read back as written, annotation lists, data records of little-endian
// samples, and a reader that refuses damaged files with the offset.
#include <cstring>
#include <random>

#include "edf.h"
#include "tool_helpers.h"

using namespace rzt;
namespace edf = tool::edf;

namespace {

edf::Header sample_header() {
  edf::Header h;
  h.patient = "DEMO-1 F 02-AUG-1951 Jane_Doe";
  h.recording = "Startdate 14-MAR-2024 X X razivera";
  h.start = {2024, 3, 14, 22, 30, 5};
  h.reserved = "EDF+C";
  h.records = 3;
  edf::Signal eeg;
  eeg.label = "C4-M1";
  eeg.transducer = "AgAgCl electrode";
  eeg.dimension = "uV";
  eeg.physicalMin = -3276.8;
  eeg.physicalMax = 3276.7;
  eeg.prefiltering = "HP:0.3Hz LP:35Hz";
  eeg.samplesPerRecord = 4;
  edf::Signal spo2;
  spo2.label = "SpO2";
  spo2.dimension = "%";
  spo2.physicalMin = 0;
  spo2.physicalMax = 100;
  spo2.digitalMin = 0;
  spo2.digitalMax = 1000;
  spo2.samplesPerRecord = 1;
  edf::Signal notes;
  notes.label = edf::kAnnotationLabel;
  notes.physicalMin = -1;
  notes.physicalMax = 1;
  notes.samplesPerRecord = 30;
  h.signals = {eeg, spo2, notes};
  return h;
}

std::string header_bytes(const edf::Header& h) {
  std::string bytes, error;
  EXPECT_TRUE(edf::format_header(h, bytes, error)) << error;
  return bytes;
}

bool parse(const std::string& bytes, edf::Header& h, edf::Error& e) {
  tool::MemorySource src(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return edf::parse_header(src, h, e);
}

TEST(Edf, HeaderFieldsStandWhereTheFormatPutsThem) {
  const std::string b = header_bytes(sample_header());
  ASSERT_EQ(b.size(), 4u * 256);
  const auto field = [&](size_t off, size_t len) { return b.substr(off, len); };
  EXPECT_EQ(field(0, 8), "0       ");
  EXPECT_EQ(field(8, 29), "DEMO-1 F 02-AUG-1951 Jane_Doe");
  EXPECT_EQ(field(88, 35), "Startdate 14-MAR-2024 X X razivera ");
  EXPECT_EQ(field(168, 16), "14.03.2422.30.05");
  EXPECT_EQ(field(184, 8), "1024    ");
  EXPECT_EQ(field(192, 6), "EDF+C ");
  EXPECT_EQ(field(236, 20), "3       1       3   ");
  // Each signal field is stored for all three signals in turn.
  EXPECT_EQ(field(256, 48), "C4-M1           SpO2            EDF Annotations ");
  EXPECT_EQ(field(304, 17), "AgAgCl electrode ");
  EXPECT_EQ(field(544, 24), "uV      %               ");
  EXPECT_EQ(field(568, 24), "-3276.8 0       -1      ");
  EXPECT_EQ(field(592, 24), "3276.7  100     1       ");
  EXPECT_EQ(field(616, 24), "-32768  0       -32768  ");
  EXPECT_EQ(field(640, 24), "32767   1000    32767   ");
  EXPECT_EQ(field(664, 17), "HP:0.3Hz LP:35Hz ");
  EXPECT_EQ(field(904, 24), "4       1       30      ");
  EXPECT_EQ(field(928, 96), std::string(96, ' '));
}

TEST(Edf, HeaderReadsBackAsWritten) {
  struct Case {
    int year;
    const char* date;  // the header's start date field
  };
  for (const Case c :
       {Case{2024, "14.03.24"}, Case{1999, "14.03.99"}, Case{2090, "14.03.yy"}, Case{1970, "14.03.yy"}}) {
    edf::Header h = sample_header();
    h.start.year = c.year;
    h.recording = "Startdate " + edf::plus_startdate(h.start) + " X X razivera";
    const std::string b = header_bytes(h);
    EXPECT_EQ(b.substr(168, 8), c.date);
    edf::Header back;
    edf::Error e;
    ASSERT_TRUE(parse(b, back, e)) << e.text;
    EXPECT_EQ(back.start.year, c.year);
    EXPECT_EQ(back.start.month, 3);
    EXPECT_EQ(back.start.second, 5);
    EXPECT_EQ(back.patient, h.patient);
    EXPECT_TRUE(back.edf_plus());
    EXPECT_FALSE(back.discontinuous());
    ASSERT_EQ(back.signals.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(back.signals[i].label, h.signals[i].label);
      EXPECT_EQ(back.signals[i].dimension, h.signals[i].dimension);
      EXPECT_EQ(back.signals[i].physicalMin, h.signals[i].physicalMin);
      EXPECT_EQ(back.signals[i].physicalMax, h.signals[i].physicalMax);
      EXPECT_EQ(back.signals[i].digitalMin, h.signals[i].digitalMin);
      EXPECT_EQ(back.signals[i].samplesPerRecord, h.signals[i].samplesPerRecord);
    }
    EXPECT_TRUE(back.signals[2].is_annotation());
  }
}

TEST(Edf, DurationsAreExactFractions) {
  for (const auto& c : std::vector<std::tuple<const char*, uint64_t, uint64_t>>{{"1       ", 1, 1},
                                                                                {"30      ", 30, 1},
                                                                                {"0.5     ", 1, 2},
                                                                                {"0.25    ", 1, 4},
                                                                                {"1.000   ", 1, 1},
                                                                                {"2.4     ", 12, 5}}) {
    std::string b = header_bytes(sample_header());
    std::memcpy(&b[244], std::get<0>(c), 8);
    edf::Header h;
    edf::Error e;
    ASSERT_TRUE(parse(b, h, e)) << std::get<0>(c) << e.text;
    EXPECT_EQ(h.durationNum, std::get<1>(c)) << std::get<0>(c);
    EXPECT_EQ(h.durationDen, std::get<2>(c)) << std::get<0>(c);
  }
}

TEST(Edf, DamagedHeadersAreRefusedAtTheirField) {
  struct Case {
    const char* name;
    size_t at;
    const char* put;
    uint64_t offset;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"version", 0, "1", 0, "not an EDF file"},
      {"no signals", 252, "0   ", 252, "signal count"},
      {"header size", 184, "768     ", 184, "header size"},
      {"start date", 168, "1.3.2024", 168, "start date"},
      {"start time", 176, "25.00.00", 176, "start time"},
      {"record count", 236, "many    ", 236, "data record count"},
      {"duration", 244, "1e3     ", 244, "data record duration"},
      {"physical minimum", 568, "low     ", 568, "physical minimum \"low\""},
      {"digital maximum", 640 + 8, "40000   ", 648, "not a 16-bit number"},
      {"digital range", 616 + 8, "2000    ", 256, "empty calibration range"},
      {"samples", 904, "0       ", 904, "samples per data record \"0\""},
      {"two-digit year without Startdate", 174, "yy", 88, "gives no Startdate"},
  };
  for (const Case& c : cases) {
    std::string b = header_bytes(sample_header());
    std::memcpy(&b[c.at], c.put, std::strlen(c.put));
    if (std::string(c.name) == "two-digit year without Startdate") std::memcpy(&b[88], "Startdate X", 11);
    edf::Header h;
    edf::Error e;
    EXPECT_FALSE(parse(b, h, e)) << c.name;
    EXPECT_EQ(e.offset, c.offset) << c.name << ": " << e.text;
    EXPECT_NE(e.text.find(c.says), std::string::npos) << c.name << ": " << e.text;
  }
  edf::Header h;
  edf::Error e;
  EXPECT_FALSE(parse(header_bytes(sample_header()).substr(0, 600), h, e));
  EXPECT_EQ(e.offset, 256u);
  EXPECT_FALSE(parse("0", h, e));
}

TEST(Edf, NumbersTakeTheShortestTextThatReadsBack) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0, "0"},       {-32768, "-32768"},    {100, "100"}, {-3276.8, "-3276.8"},
      {0.1, "0.1"},   {1.0 / 3, "0.333333"}, {-0.0, "0"},  {12345678, "12345678"},
      {123456789, ""}};
  for (const auto& c : cases) EXPECT_EQ(edf::number_text(c.first, 8), c.second) << c.first;
  edf::Header h = sample_header();
  h.signals[0].physicalMax = 1e12;
  std::string bytes, error;
  EXPECT_FALSE(edf::format_header(h, bytes, error));
  EXPECT_NE(error.find("physical maximum"), std::string::npos) << error;
  h = sample_header();
  h.signals[0].label = "a label of seventeen";
  EXPECT_FALSE(edf::format_header(h, bytes, error));
  EXPECT_NE(error.find("label"), std::string::npos) << error;
}

TEST(Edf, AnnotationListsAreTimeStampedTexts) {
  EXPECT_EQ(edf::timekeeping_tal(12), std::string("+12\x14\x14\0", 6));
  EXPECT_EQ(edf::annotation_tal({1.5, 30, "Apnea"}), std::string("+1.5\x15"
                                                                 "30\x14"
                                                                 "Apnea\x14\0",
                                                                 15));
  EXPECT_EQ(edf::annotation_tal({0.1, 0,
                                 "a\x14"
                                 "b"}),
            std::string("+0.1\x14"
                        "a b\x14\0",
                        10));
  EXPECT_EQ(edf::onset_text(-0.25), "-0.25");
  EXPECT_EQ(edf::onset_text(3600.000001), "+3600.000001");

  std::string list = edf::timekeeping_tal(30) + edf::annotation_tal({31.2, 0.5, "Arousal"}) +
                     std::string(
                         "+32\x14"
                         "one\x14"
                         "two\x14",
                         12) +
                     std::string(7, '\0');
  std::vector<edf::Annotation> out;
  bool hasOnset = false;
  double onset = 0;
  std::string error;
  ASSERT_TRUE(edf::parse_tals(reinterpret_cast<const uint8_t*>(list.data()), list.size(), out, hasOnset,
                              onset, error))
      << error;
  EXPECT_TRUE(hasOnset);
  EXPECT_EQ(onset, 30);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].text, "Arousal");
  EXPECT_DOUBLE_EQ(out[0].onset, 31.2);
  EXPECT_DOUBLE_EQ(out[0].duration, 0.5);
  EXPECT_EQ(out[1].text, "one");
  EXPECT_EQ(out[2].text, "two");

  for (const std::string& bad :
       {std::string("+1 no mark"), std::string("12\x14x\x14", 5), std::string("+1\x15z\x14x\x14", 7)}) {
    out.clear();
    EXPECT_FALSE(edf::parse_tals(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), out, hasOnset,
                                 onset, error))
        << bad;
  }
}

class EdfFiles : public FileTest {};

TEST_F(EdfFiles, DataRecordsHoldLittleEndianSamplesAndReadBack) {
  const edf::Header h = sample_header();
  std::string error;
  {
    edf::Writer w;
    const FilePtr file = open_for_writing(path("a.edf"));
    ASSERT_TRUE(w.open(file.get(), h, error)) << error;
    for (int r = 0; r < 3; ++r) {
      const int16_t eeg[4] = {int16_t(r), -2, 0x1234, int16_t(-32768 + r)};
      const int16_t spo2[1] = {int16_t(960 + r)};
      w.put_samples(0, eeg, 4);
      w.put_samples(1, spo2, 1);
      w.put_bytes(2, edf::timekeeping_tal(r) + edf::annotation_tal({r + 0.5, 0, "mark"}));
      ASSERT_TRUE(w.write_record(error)) << error;
    }
    ASSERT_TRUE(w.finish(error)) << error;
  }
  const Bytes b = read_file(path("a.edf"));
  const size_t record = 2 * 4 + 2 * 1 + 2 * 30;
  ASSERT_EQ(b.size(), 1024 + 3 * record);
  // Record 1: eeg 1, -2, 0x1234, -32767 least significant byte first, then SpO2.
  const size_t r1 = 1024 + record;
  EXPECT_EQ(get16(b, r1), 1);
  EXPECT_EQ(get16(b, r1 + 2), 0xFFFE);
  EXPECT_EQ(b[r1 + 4], 0x34);
  EXPECT_EQ(b[r1 + 5], 0x12);
  EXPECT_EQ(get16(b, r1 + 6), 0x8001);
  EXPECT_EQ(get16(b, r1 + 8), 961);
  EXPECT_EQ(text_at(b, r1 + 10, 6), std::string("+1\x14\x14\0+", 6));

  tool::FileSource src;
  ASSERT_TRUE(src.open(path("a.edf")));
  edf::Reader reader;
  edf::Error e;
  ASSERT_TRUE(reader.open(src, e)) << e.text;
  EXPECT_EQ(reader.records(), 3u);
  EXPECT_FALSE(reader.count_mismatch());
  for (uint64_t r = 0; r < 3; ++r) {
    ASSERT_TRUE(reader.read_record(r, e));
    int16_t eeg[4], spo2[1];
    reader.samples(0, eeg);
    reader.samples(1, spo2);
    EXPECT_EQ(eeg[0], int16_t(r));
    EXPECT_EQ(eeg[3], int16_t(-32768 + r));
    EXPECT_EQ(spo2[0], int16_t(960 + r));
    std::vector<edf::Annotation> notes;
    bool has = false;
    double onset = -1;
    std::string why;
    ASSERT_TRUE(edf::parse_tals(reader.bytes(2), reader.byte_count(2), notes, has, onset, why));
    EXPECT_EQ(onset, double(r));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].onset, r + 0.5);
  }
  EXPECT_FALSE(reader.read_record(3, e));

  // A count of -1 is taken from the length; a file shorter than its count is refused.
  Bytes unknown = b;
  std::memcpy(&unknown[236], "-1      ", 8);
  unknown.resize(unknown.size() + 5);
  write_file(path("b.edf"), unknown);
  tool::FileSource src2;
  ASSERT_TRUE(src2.open(path("b.edf")));
  edf::Reader r2;
  ASSERT_TRUE(r2.open(src2, e)) << e.text;
  EXPECT_EQ(r2.records(), 3u);
  Bytes cut = b;
  cut.resize(cut.size() - 1);
  tool::MemorySource src3(cut.data(), cut.size());
  edf::Reader r3;
  EXPECT_FALSE(r3.open(src3, e));
  EXPECT_EQ(e.offset, 1024 + 2 * record);
  EXPECT_NE(e.text.find("holds only 2"), std::string::npos) << e.text;
}

}  // namespace
