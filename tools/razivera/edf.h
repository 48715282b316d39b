// EDF and EDF+ files: the header, data records of 16-bit samples (least
// significant byte first), and the time-stamped annotation lists (TALs) of an
// "EDF Annotations" signal.  This part knows nothing of the recording format;
// export-edf and import-edf connect the two.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "source.h"

namespace tool::edf {

constexpr char kAnnotationLabel[] = "EDF Annotations";
constexpr uint32_t kBlockSize = 256;  // the fixed header, and each signal's header
constexpr uint32_t kMaxSignals = 4096;
constexpr int32_t kDigitalFloor = -32768;
constexpr int32_t kDigitalCeiling = 32767;

// Field widths of the fixed header and of the signal headers.
namespace field {
constexpr size_t kVersion = 8, kPatient = 80, kRecording = 80, kDate = 8, kTime = 8, kHeaderBytes = 8,
                 kReserved = 44, kRecords = 8, kDuration = 8, kSignals = 4;
constexpr size_t kLabel = 16, kTransducer = 80, kDimension = 8, kPhysical = 8, kDigital = 8,
                 kPrefiltering = 80, kSamples = 8, kSignalReserved = 32;
}  // namespace field

struct Signal {
  std::string label;
  std::string transducer;
  std::string dimension;
  double physicalMin = kDigitalFloor, physicalMax = kDigitalCeiling;
  int32_t digitalMin = kDigitalFloor, digitalMax = kDigitalCeiling;
  std::string prefiltering;
  uint32_t samplesPerRecord = 0;
  std::string reserved;
  bool is_annotation() const;
};

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool dated() const { return year != 0; }
};

struct Header {
  std::string patient;    // EDF+: code sex birthdate name
  std::string recording;  // EDF+: Startdate dd-MMM-yyyy admincode technician equipment ...
  DateTime start;
  std::string reserved;  // "EDF+C", "EDF+D", or empty for plain EDF
  int64_t records = -1;  // -1 while unknown
  // Data record duration in seconds as the fraction num / den.
  uint64_t durationNum = 1, durationDen = 1;
  std::vector<Signal> signals;

  uint64_t header_bytes() const { return uint64_t(kBlockSize) * (1 + signals.size()); }
  uint64_t record_bytes() const;
  double duration() const { return double(durationNum) / double(durationDen); }
  bool edf_plus() const { return reserved.compare(0, 4, "EDF+") == 0; }
  bool discontinuous() const { return reserved.compare(0, 5, "EDF+D") == 0; }
};

// A problem with an EDF file, at a byte offset.
struct Error {
  uint64_t offset = 0;
  std::string text;
};

// The header's bytes.  false, with the reason, when a field cannot be
// written (a text too long or not printable ASCII, a number too wide).
bool format_header(const Header& h, std::string& bytes, std::string& error);

// Reads and checks the header.  The start date's year comes from the EDF+
// recording field when that gives it.
bool parse_header(ByteSource& src, Header& h, Error& error);

// "dd-MMM-yyyy" of the EDF+ recording field, or "X" when undated.
std::string plus_startdate(const DateTime& t);

// The shortest decimal text of at most `width` characters that reads back as
// v; empty when there is none.
std::string number_text(double v, size_t width);

// ---- Annotations -------------------------------------------------------------

struct Annotation {
  double onset = 0;     // seconds from the start of the file
  double duration = 0;  // seconds, 0 when none
  std::string text;
};

// "+12.25" for an onset, at most microsecond precision.
std::string onset_text(double seconds);
// The time-keeping TAL that opens a data record's annotation signal.
std::string timekeeping_tal(double recordOnset);
// One TAL with one annotation.
std::string annotation_tal(const Annotation& a);
// The text as a TAL may hold it: no NUL, no 0x14 or 0x15.
std::string tal_safe(const std::string& text);

// Parses the TALs of one data record's annotation signal.  Annotations go to
// `out`; the record's time-keeping onset, when there is one, to `recordOnset`.
bool parse_tals(const uint8_t* data, size_t n, std::vector<Annotation>& out, bool& hasOnset,
                double& recordOnset, std::string& error);

// ---- Writing and reading data records -----------------------------------------

// Writes an EDF file front to back, never seeking, so that it can go to a
// pipe or a device: the header's record count is known before the first
// data record.
class Writer {
 public:
  // Writes the header to `f`, which stays the caller's to close.
  bool open(std::FILE* f, const Header& h, std::string& error);
  // Places samples (host order) of a signal in the record being assembled.
  void put_samples(size_t signal, const int16_t* samples, size_t n);
  // Places an annotation signal's bytes, zero-padded to its size.
  void put_bytes(size_t signal, const std::string& bytes);
  // Appends the assembled record; the record is then cleared.
  bool write_record(std::string& error);
  // false, with the reason, unless as many records were written as the
  // header counts and every write succeeded.
  bool finish(std::string& error);

 private:
  std::FILE* f_ = nullptr;
  int64_t promised_ = 0;
  int64_t written_ = 0;
  std::vector<uint8_t> record_;
  std::vector<size_t> offsets_;
  std::vector<size_t> sizes_;
};

class Reader {
 public:
  // Reads the header and works out how many whole data records the source holds.
  bool open(ByteSource& src, Error& error);
  const Header& header() const { return h_; }
  uint64_t records() const { return records_; }
  // Reads data record i.
  bool read_record(uint64_t i, Error& error);
  // Samples of signal s in the record read (host order); out holds samplesPerRecord values.
  void samples(size_t s, int16_t* out) const;
  const uint8_t* bytes(size_t s) const { return record_.data() + offsets_[s]; }
  size_t byte_count(size_t s) const { return size_t(h_.signals[s].samplesPerRecord) * 2; }
  // True when the header's record count and the file's length disagree.
  bool count_mismatch() const { return mismatch_; }

 private:
  ByteSource* src_ = nullptr;
  Header h_;
  uint64_t records_ = 0;
  bool mismatch_ = false;
  std::vector<uint8_t> record_;
  std::vector<size_t> offsets_;
};

}  // namespace tool::edf
