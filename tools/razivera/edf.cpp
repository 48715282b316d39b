#include "edf.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "format/layout.h"
#include "text.h"

namespace tool::edf {
namespace {

// Offsets of the fixed header's fields.
namespace fixed {
constexpr size_t kVersion = 0, kPatient = 8, kRecording = 88, kDate = 168, kTime = 176, kHeaderBytes = 184,
                 kReserved = 192, kRecords = 236, kDuration = 244, kSignals = 252;
}

constexpr char kMonths[12][4] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr uint64_t kMaxRecordBytes = 64ull << 20;
constexpr uint32_t kMaxSamplesPerRecord = 10000000;
constexpr char kTalOnsetEnd = 0x14, kTalDuration = 0x15;

bool printable_ascii(const std::string& s) {
  for (unsigned char c : s)
    if (c < 32 || c > 126) return false;
  return true;
}

// Appends a left-justified, space-padded field; false when it does not fit.
bool put(std::string& out, const std::string& value, size_t width, const char* name, std::string& error) {
  if (value.size() > width || !printable_ascii(value)) {
    error = strf("the %s \"%s\" does not fit the %zu printable characters of its EDF field", name,
                 printable(value).c_str(), width);
    return false;
  }
  out += value;
  out.append(width - value.size(), ' ');
  return true;
}

std::string field_at(const std::string& block, size_t off, size_t width) {
  return trim(block.substr(off, width));
}

bool parse_int(const std::string& s, int64_t& v) {
  if (s.empty() || s.size() > 18) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  int64_t x = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    x = x * 10 + (s[i] - '0');
  }
  v = neg ? -x : x;
  return true;
}

bool parse_real(const std::string& s, double& v) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  errno = 0;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return errno == 0 && end == s.c_str() + s.size() && std::isfinite(v);
}

uint64_t gcd(uint64_t a, uint64_t b) {
  while (b) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// A duration like "1", "30" or "0.25" as an exact fraction.
bool parse_fraction(const std::string& s, uint64_t& num, uint64_t& den) {
  num = 0;
  den = 1;
  bool dot = false, digit = false;
  for (char c : s) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
      if (num > 100000000000ull || (dot && den >= 1000000000ull)) return false;
      num = num * 10 + uint64_t(c - '0');
      if (dot) den *= 10;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  const uint64_t g = gcd(num, den);
  if (g > 1) {
    num /= g;
    den /= g;
  }
  return true;
}

std::string fraction_text(uint64_t num, uint64_t den) {
  if (den == 1) return strf("%llu", llu(num));
  return number_text(double(num) / double(den), field::kDuration);
}

bool two_digits(const std::string& s, size_t at, int& v) {
  if (at + 2 > s.size() || s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9') return false;
  v = (s[at] - '0') * 10 + (s[at + 1] - '0');
  return true;
}

// "Startdate 14-MAR-2024 ..." gives the full date, when it is one.
bool plus_date(const std::string& recording, DateTime& t) {
  const std::string key = "Startdate ";
  if (recording.compare(0, key.size(), key) != 0 || recording.size() < key.size() + 11) return false;
  const std::string d = recording.substr(key.size(), 11);
  int day = 0, y1 = 0, y2 = 0;
  if (d[2] != '-' || d[6] != '-' || !two_digits(d, 0, day) || !two_digits(d, 7, y1) || !two_digits(d, 9, y2))
    return false;
  for (int m = 0; m < 12; ++m) {
    if (d.compare(3, 3, kMonths[m]) == 0) {
      t.day = day;
      t.month = m + 1;
      t.year = y1 * 100 + y2;
      return true;
    }
  }
  return false;
}

std::string micro_text(int64_t micros) {
  const bool neg = micros < 0;
  const uint64_t m = uint64_t(neg ? -micros : micros);
  std::string s = strf("%llu", llu(m / 1000000));
  const uint32_t frac = uint32_t(m % 1000000);
  if (frac) {
    std::string f = strf("%06u", frac);
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return (neg ? "-" : "") + s;
}

}  // namespace

bool Signal::is_annotation() const { return label == kAnnotationLabel; }

uint64_t Header::record_bytes() const {
  uint64_t n = 0;
  for (const Signal& s : signals) n += uint64_t(s.samplesPerRecord) * 2;
  return n;
}

std::string number_text(double v, size_t width) {
  if (!std::isfinite(v)) return "";
  std::string best;
  for (int prec = 0; prec <= 17; ++prec) {
    std::string s = strf("%.*f", prec, v);
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    if (s.size() > width) break;
    best = s;
    if (std::strtod(s.c_str(), nullptr) == v) return s;
  }
  return best;
}

std::string plus_startdate(const DateTime& t) {
  if (!t.dated() || t.month < 1 || t.month > 12) return "X";
  return strf("%02d-%s-%04d", t.day, kMonths[t.month - 1], t.year);
}

bool format_header(const Header& h, std::string& out, std::string& error) {
  const size_t ns = h.signals.size();
  if (ns == 0 || ns > kMaxSignals) {
    error = strf("an EDF file holds 1 to %u signals, not %zu", kMaxSignals, ns);
    return false;
  }
  out.clear();
  // EDF can name the years 1985 to 2084 in its start date; any other year
  // stands only in the EDF+ recording field.
  const DateTime& t = h.start;
  std::string date = "01.01.85";
  if (t.dated()) {
    date = (t.year >= 1985 && t.year <= 2084) ? strf("%02d.%02d.%02d", t.day, t.month, t.year % 100)
                                              : strf("%02d.%02d.yy", t.day, t.month);
  }
  const std::string time = strf("%02d.%02d.%02d", t.hour, t.minute, t.second);
  bool ok =
      put(out, "0", field::kVersion, "version", error) &&
      put(out, h.patient, field::kPatient, "patient identification", error) &&
      put(out, h.recording, field::kRecording, "recording identification", error) &&
      put(out, date, field::kDate, "start date", error) &&
      put(out, time, field::kTime, "start time", error) &&
      put(out, strf("%llu", llu(h.header_bytes())), field::kHeaderBytes, "header size", error) &&
      put(out, h.reserved, field::kReserved, "reserved field", error) &&
      put(out, strf("%lld", static_cast<long long>(h.records)), field::kRecords, "record count", error) &&
      put(out, fraction_text(h.durationNum, h.durationDen), field::kDuration, "record duration", error) &&
      put(out, strf("%zu", ns), field::kSignals, "signal count", error);
  if (!ok) return false;
  for (const Signal& s : h.signals) ok = ok && put(out, s.label, field::kLabel, "label", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, s.transducer, field::kTransducer, "transducer", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, s.dimension, field::kDimension, "physical dimension", error);
  const auto physical = [&](double v, const char* name) {
    const std::string t = number_text(v, field::kPhysical);
    if (t.empty()) {
      error = strf("the %s %g has no text of %zu characters", name, v, field::kPhysical);
      return false;
    }
    return put(out, t, field::kPhysical, name, error);
  };
  for (const Signal& s : h.signals) ok = ok && physical(s.physicalMin, "physical minimum");
  for (const Signal& s : h.signals) ok = ok && physical(s.physicalMax, "physical maximum");
  for (const Signal& s : h.signals)
    ok = ok && put(out, strf("%d", s.digitalMin), field::kDigital, "digital minimum", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, strf("%d", s.digitalMax), field::kDigital, "digital maximum", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, s.prefiltering, field::kPrefiltering, "prefiltering", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, strf("%u", s.samplesPerRecord), field::kSamples, "samples per record", error);
  for (const Signal& s : h.signals)
    ok = ok && put(out, s.reserved, field::kSignalReserved, "signal reserved field", error);
  return ok;
}

bool parse_header(ByteSource& src, Header& h, Error& error) {
  h = Header();
  std::string fixedBlock(kBlockSize, ' ');
  if (src.size() < kBlockSize || !src.read_exact(0, &fixedBlock[0], kBlockSize)) {
    error = {0, strf("the file is %llu bytes long, shorter than an EDF header (%u bytes)", llu(src.size()),
                     kBlockSize)};
    return false;
  }
  if (field_at(fixedBlock, fixed::kVersion, field::kVersion) != "0") {
    error = {fixed::kVersion, "not an EDF file: its version field is not \"0\""};
    return false;
  }
  int64_t ns = 0;
  if (!parse_int(field_at(fixedBlock, fixed::kSignals, field::kSignals), ns) || ns < 1 || ns > kMaxSignals) {
    error = {fixed::kSignals,
             strf("signal count \"%s\" is not a number from 1 to %u",
                  printable(field_at(fixedBlock, fixed::kSignals, field::kSignals)).c_str(), kMaxSignals)};
    return false;
  }
  int64_t headerBytes = 0;
  if (!parse_int(field_at(fixedBlock, fixed::kHeaderBytes, field::kHeaderBytes), headerBytes) ||
      headerBytes != int64_t(kBlockSize) * (ns + 1)) {
    error = {fixed::kHeaderBytes,
             strf("header size \"%s\" is not 256 x (1 + %lld signals)",
                  printable(field_at(fixedBlock, fixed::kHeaderBytes, field::kHeaderBytes)).c_str(),
                  static_cast<long long>(ns))};
    return false;
  }
  h.patient = field_at(fixedBlock, fixed::kPatient, field::kPatient);
  h.recording = field_at(fixedBlock, fixed::kRecording, field::kRecording);
  h.reserved = field_at(fixedBlock, fixed::kReserved, field::kReserved);

  const std::string date = field_at(fixedBlock, fixed::kDate, field::kDate);
  const std::string time = field_at(fixedBlock, fixed::kTime, field::kTime);
  int yy = 0;
  const bool yearDigits = two_digits(date, 6, yy);
  if (date.size() != 8 || date[2] != '.' || date[5] != '.' || !two_digits(date, 0, h.start.day) ||
      !two_digits(date, 3, h.start.month) || !(yearDigits || date.compare(6, 2, "yy") == 0) ||
      h.start.month < 1 || h.start.month > 12 || h.start.day < 1 || h.start.day > 31) {
    error = {fixed::kDate, strf("start date \"%s\" is not dd.mm.yy", printable(date).c_str())};
    return false;
  }
  h.start.year = yearDigits ? (yy >= 85 ? 1900 + yy : 2000 + yy) : 0;
  DateTime full;
  if (plus_date(h.recording, full) && full.month == h.start.month && full.day == h.start.day)
    h.start.year = full.year;
  if (h.start.year == 0) {
    error = {fixed::kRecording, "the start date's year is \"yy\" but the recording field gives no Startdate"};
    return false;
  }
  if (time.size() != 8 || time[2] != '.' || time[5] != '.' || !two_digits(time, 0, h.start.hour) ||
      !two_digits(time, 3, h.start.minute) || !two_digits(time, 6, h.start.second) || h.start.hour > 23 ||
      h.start.minute > 59 || h.start.second > 59) {
    error = {fixed::kTime, strf("start time \"%s\" is not hh.mm.ss", printable(time).c_str())};
    return false;
  }
  if (!parse_int(field_at(fixedBlock, fixed::kRecords, field::kRecords), h.records) || h.records < -1) {
    error = {fixed::kRecords,
             strf("data record count \"%s\" is not a number",
                  printable(field_at(fixedBlock, fixed::kRecords, field::kRecords)).c_str())};
    return false;
  }
  if (!parse_fraction(field_at(fixedBlock, fixed::kDuration, field::kDuration), h.durationNum,
                      h.durationDen)) {
    error = {fixed::kDuration,
             strf("data record duration \"%s\" is not a decimal number of seconds",
                  printable(field_at(fixedBlock, fixed::kDuration, field::kDuration)).c_str())};
    return false;
  }

  const size_t n = size_t(ns);
  std::string block(n * kBlockSize, ' ');
  if (!src.read_exact(kBlockSize, &block[0], block.size())) {
    error = {kBlockSize, "the signal headers are cut short by the end of the file"};
    return false;
  }
  h.signals.resize(n);
  size_t off = 0;
  // Each field is stored for all signals in turn.
  const auto column = [&](size_t width, auto&& take) -> bool {
    for (size_t i = 0; i < n; ++i) {
      if (!take(h.signals[i], field_at(block, off + i * width, width), kBlockSize + off + i * width))
        return false;
    }
    off += n * width;
    return true;
  };
  const auto text = [](std::string Signal::*member) {
    return [member](Signal& s, const std::string& v, uint64_t) {
      s.*member = v;
      return true;
    };
  };
  const auto real = [&](double Signal::*member, const char* name) {
    return [&, member, name](Signal& s, const std::string& v, uint64_t at) {
      if (parse_real(v, s.*member)) return true;
      error = {at, strf("%s \"%s\" of signal \"%s\" is not a number", name, printable(v).c_str(),
                        printable(s.label).c_str())};
      return false;
    };
  };
  const auto digital = [&](int32_t Signal::*member, const char* name) {
    return [&, member, name](Signal& s, const std::string& v, uint64_t at) {
      int64_t x = 0;
      if (parse_int(v, x) && x >= kDigitalFloor && x <= kDigitalCeiling) {
        s.*member = int32_t(x);
        return true;
      }
      error = {at, strf("%s \"%s\" of signal \"%s\" is not a 16-bit number", name, printable(v).c_str(),
                        printable(s.label).c_str())};
      return false;
    };
  };
  const auto samples = [&](Signal& s, const std::string& v, uint64_t at) {
    int64_t x = 0;
    if (parse_int(v, x) && x >= 1 && x <= kMaxSamplesPerRecord) {
      s.samplesPerRecord = uint32_t(x);
      return true;
    }
    error = {at, strf("samples per data record \"%s\" of signal \"%s\" is not a number from 1 to %u",
                      printable(v).c_str(), printable(s.label).c_str(), kMaxSamplesPerRecord)};
    return false;
  };
  if (!column(field::kLabel, text(&Signal::label)) ||
      !column(field::kTransducer, text(&Signal::transducer)) ||
      !column(field::kDimension, text(&Signal::dimension)) ||
      !column(field::kPhysical, real(&Signal::physicalMin, "physical minimum")) ||
      !column(field::kPhysical, real(&Signal::physicalMax, "physical maximum")) ||
      !column(field::kDigital, digital(&Signal::digitalMin, "digital minimum")) ||
      !column(field::kDigital, digital(&Signal::digitalMax, "digital maximum")) ||
      !column(field::kPrefiltering, text(&Signal::prefiltering)) || !column(field::kSamples, samples) ||
      !column(field::kSignalReserved, text(&Signal::reserved)))
    return false;
  for (size_t i = 0; i < n; ++i) {
    const Signal& s = h.signals[i];
    if (s.is_annotation()) continue;
    if (s.digitalMin >= s.digitalMax || s.physicalMin == s.physicalMax) {
      error = {kBlockSize,
               strf("signal %zu (\"%s\") has an empty calibration range", i + 1, printable(s.label).c_str())};
      return false;
    }
  }
  if (h.record_bytes() > kMaxRecordBytes) {
    error = {kBlockSize, strf("data records of %llu bytes; at most %llu are read", llu(h.record_bytes()),
                              llu(kMaxRecordBytes))};
    return false;
  }
  return true;
}

// ---- Annotations --------------------------------------------------------------

std::string onset_text(double seconds) {
  const std::string s = micro_text(std::llround(seconds * 1e6));
  return s[0] == '-' ? s : "+" + s;
}

std::string timekeeping_tal(double recordOnset) {
  std::string s = onset_text(recordOnset);
  s += kTalOnsetEnd;
  s += kTalOnsetEnd;
  s += '\0';
  return s;
}

std::string tal_safe(const std::string& text) {
  std::string s;
  for (char c : text) s += (c == '\0' || c == kTalOnsetEnd || c == kTalDuration) ? ' ' : c;
  return s;
}

std::string annotation_tal(const Annotation& a) {
  std::string s = onset_text(a.onset);
  if (a.duration > 0) {
    s += kTalDuration;
    s += micro_text(std::llround(a.duration * 1e6));
  }
  s += kTalOnsetEnd;
  s += tal_safe(a.text);
  s += kTalOnsetEnd;
  s += '\0';
  return s;
}

bool parse_tals(const uint8_t* data, size_t n, std::vector<Annotation>& out, bool& hasOnset,
                double& recordOnset, std::string& error) {
  hasOnset = false;
  size_t pos = 0;
  bool first = true;
  while (pos < n) {
    if (data[pos] == 0) {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < n && data[end] != 0) ++end;
    const std::string tal(reinterpret_cast<const char*>(data + pos), end - pos);
    pos = end;
    size_t i = tal.find(kTalOnsetEnd);
    if (i == std::string::npos) {
      error = strf("annotation list \"%s\" lacks its onset's end mark", printable(tal).c_str());
      return false;
    }
    std::string head = tal.substr(0, i);
    std::string rest = tal.substr(i + 1);
    double duration = 0;
    const size_t d = head.find(kTalDuration);
    if (d != std::string::npos) {
      if (!parse_real(head.substr(d + 1), duration) || duration < 0) {
        error = strf("annotation duration \"%s\" is not a number", printable(head.substr(d + 1)).c_str());
        return false;
      }
      head.resize(d);
    }
    double onset = 0;
    if (head.empty() || (head[0] != '+' && head[0] != '-') || !parse_real(head, onset)) {
      error = strf("annotation onset \"%s\" is not a signed number", printable(head).c_str());
      return false;
    }
    // The texts, each closed by 0x14; an empty first text in a record's
    // first list marks the record's own onset.
    size_t k = 0;
    while (!rest.empty()) {
      const size_t e = rest.find(kTalOnsetEnd);
      const std::string text = rest.substr(0, e);
      rest = e == std::string::npos ? std::string() : rest.substr(e + 1);
      if (text.empty()) {
        if (first && k == 0) {
          hasOnset = true;
          recordOnset = onset;
        }
      } else {
        out.push_back({onset, duration, text});
      }
      ++k;
    }
    first = false;
  }
  return true;
}

// ---- Writer --------------------------------------------------------------------

bool Writer::open(std::FILE* f, const Header& h, std::string& error) {
  std::string head;
  if (h.records < 0) {
    error = "the number of data records must be known before the header is written";
    return false;
  }
  if (!format_header(h, head, error)) return false;
  f_ = f;
  promised_ = h.records;
  size_t off = 0;
  for (const Signal& s : h.signals) {
    offsets_.push_back(off);
    sizes_.push_back(size_t(s.samplesPerRecord) * 2);
    off += size_t(s.samplesPerRecord) * 2;
  }
  record_.assign(off, 0);
  if (std::fwrite(head.data(), 1, head.size(), f_) != head.size()) {
    error = strf("cannot write it: %s", std::strerror(errno));
    return false;
  }
  return true;
}

void Writer::put_samples(size_t signal, const int16_t* samples, size_t n) {
  if (signal >= offsets_.size()) return;
  const size_t room = sizes_[signal] / 2;
  rz::copy_words16(record_.data() + offsets_[signal], samples, n < room ? n : room, false);
}

void Writer::put_bytes(size_t signal, const std::string& bytes) {
  if (signal >= offsets_.size()) return;
  uint8_t* dst = record_.data() + offsets_[signal];
  const size_t n = bytes.size() < sizes_[signal] ? bytes.size() : sizes_[signal];
  std::copy_n(bytes.data(), n, dst);
  std::fill(dst + n, dst + sizes_[signal], uint8_t(0));
}

bool Writer::write_record(std::string& error) {
  if (!f_ || std::fwrite(record_.data(), 1, record_.size(), f_) != record_.size()) {
    error = strf("cannot write it: %s", std::strerror(errno));
    return false;
  }
  std::memset(record_.data(), 0, record_.size());
  ++written_;
  return true;
}

bool Writer::finish(std::string& error) {
  if (!f_ || std::ferror(f_)) {
    error = "cannot write it";
    return false;
  }
  if (written_ != promised_) {
    error = strf("%lld data records were written where the header counts %lld",
                 static_cast<long long>(written_), static_cast<long long>(promised_));
    return false;
  }
  return true;
}

// ---- Reader --------------------------------------------------------------------

bool Reader::open(ByteSource& src, Error& error) {
  src_ = &src;
  if (!parse_header(src, h_, error)) return false;
  const uint64_t recordBytes = h_.record_bytes();
  const uint64_t available = (src.size() - h_.header_bytes()) / recordBytes;
  if (recordBytes == 0 || available == 0) {
    error = {h_.header_bytes(), "the file holds no data record"};
    return false;
  }
  if (h_.records < 0) {
    records_ = available;
  } else if (uint64_t(h_.records) > available) {
    error = {h_.header_bytes() + available * recordBytes,
             strf("the header promises %lld data records of %llu bytes, the file holds only %llu",
                  static_cast<long long>(h_.records), llu(recordBytes), llu(available))};
    return false;
  } else {
    records_ = uint64_t(h_.records);
    mismatch_ = records_ != available || (src.size() - h_.header_bytes()) % recordBytes != 0;
  }
  size_t off = 0;
  for (const Signal& s : h_.signals) {
    offsets_.push_back(off);
    off += size_t(s.samplesPerRecord) * 2;
  }
  record_.assign(off, 0);
  return true;
}

bool Reader::read_record(uint64_t i, Error& error) {
  const uint64_t at = h_.header_bytes() + i * record_.size();
  if (i >= records_ || !src_->read_exact(at, record_.data(), record_.size())) {
    error = {at, strf("data record %llu cannot be read", llu(i))};
    return false;
  }
  return true;
}

void Reader::samples(size_t s, int16_t* out) const {
  rz::copy_words16(out, record_.data() + offsets_[s], h_.signals[s].samplesPerRecord, false);
}

}  // namespace tool::edf
