// export-edf: one record of a recording as an EDF+C file.  One signal per
// channel with the digital values as stored and one data record per frame,
// plus an "EDF Annotations" signal with the event channel's codes and the
// annotation table's entries.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <tuple>

#include "commands.h"
#include "conventions.h"
#include "convert.h"
#include "edf.h"
#include "format/layout.h"
#include "output.h"
#include "progress.h"
#include "recording.h"
#include "structure.h"
#include "tables.h"
#include "text.h"
#include "window.h"

namespace tool {
namespace {

// A text for an EDF header field: printable ASCII, at most `width` bytes.
std::string edf_text(const std::string& s, size_t width) {
  std::string out;
  for (unsigned char c : s) out += (c >= 32 && c <= 126) ? char(c) : '_';
  if (out.size() > width) out.resize(width);
  return out;
}

std::string underscored(std::string s) {
  for (char& c : s)
    if (c == ' ') c = '_';
  return s;
}

edf::Signal channel_signal(const ChannelDesc& c, uint32_t frameSeconds, const TextList& texts) {
  edf::Signal s;
  s.label = edf_text(trim(c.label), edf::field::kLabel);
  if (s.label.empty()) s.label = strf("CH%u", c.number ? c.number : c.index + 1);
  if (s.label == edf::kAnnotationLabel) s.label = "EDF_Annotations";
  // The unit is the channel's second text, when it can be an EDF dimension.
  const std::string unit = trim(c.unit);
  if (unit.size() <= edf::field::kDimension && edf_text(unit, edf::field::kDimension) == unit)
    s.dimension = unit;
  if (c.calibration.present) {
    s.digitalMin = c.calibration.digitalMin;
    s.digitalMax = c.calibration.digitalMax;
    s.physicalMin = c.calibration.physicalMin;
    s.physicalMax = c.calibration.physicalMax;
  }
  const auto kept = [&](uint16_t base) {
    const auto it = texts.find(uint16_t(base + c.index));
    return it == texts.end() ? std::string() : it->second;
  };
  s.transducer = edf_text(kept(convention::kEdfTransducerBase), edf::field::kTransducer);
  s.prefiltering = edf_text(kept(convention::kEdfPrefilterBase), edf::field::kPrefiltering);
  s.samplesPerRecord = c.rate * frameSeconds;
  return s;
}

edf::Header make_header(const RecordDesc& rec, const std::vector<uint32_t>& channels, const TextList& texts) {
  edf::Header h;
  h.start = {int(rec.year), int(rec.month), int(rec.day), int(rec.hour), int(rec.minute), int(rec.second)};
  if (h.start.month < 1 || h.start.month > 12 || h.start.day < 1 || h.start.day > 31) h.start.year = 0;
  if (!h.start.dated()) h.start.month = h.start.day = 0;
  const auto patient = texts.find(convention::kEdfPatientId);
  h.patient = patient != texts.end() ? edf_text(patient->second, edf::field::kPatient) : "X X X X";
  const auto recording = texts.find(convention::kEdfRecordingId);
  const std::string startdate = "Startdate " + edf::plus_startdate(h.start);
  if (recording != texts.end() && recording->second.compare(0, startdate.size(), startdate) == 0) {
    h.recording = edf_text(recording->second, edf::field::kRecording);
  } else {
    h.recording = startdate + " X X razivera";
    const std::string text = trim(rec.text);
    if (!text.empty()) h.recording += " " + underscored(edf_text(text, edf::field::kRecording));
    h.recording = edf_text(h.recording, edf::field::kRecording);
  }
  h.reserved = "EDF+C";
  h.records = rec.frames;
  h.durationNum = rec.frameSeconds;
  h.durationDen = 1;
  for (uint32_t c : channels) h.signals.push_back(channel_signal(rec.channels[c], rec.frameSeconds, texts));
  return h;
}

int64_t millis(double seconds) { return std::llround(seconds * 1000); }

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, edf::DateTime& t) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day = int(doy - (153 * mp + 2) / 5 + 1);
  t.month = int(mp < 10 ? mp + 3 : mp - 9);
  t.year = int(yoe + era * 400 + (t.month <= 2));
}

// The start moved on by `seconds`: the clock wraps at midnight and a dated
// start moves to the next day.
void advance(edf::DateTime& t, uint64_t seconds) {
  constexpr uint64_t kDay = 86400;
  const uint64_t clock = uint64_t(t.hour) * 3600 + uint64_t(t.minute) * 60 + uint64_t(t.second) + seconds;
  t.hour = int(clock % kDay / 3600);
  t.minute = int(clock % 3600 / 60);
  t.second = int(clock % 60);
  if (t.dated()) civil_from_days(days_from_civil(t.year, t.month, t.day) + int64_t(clock / kDay), t);
}

// The event channel's codes, one annotation per nonzero sample.
bool event_annotations(HGLOBAL h, const RecordDesc& rec, uint32_t channel, Progress& bar,
                       std::vector<edf::Annotation>& out) {
  const ChannelDesc& c = rec.channels[channel];
  const uint32_t batch = frames_per_batch(rec.frameBytes);
  FrameReader reader(h, rec, batch);
  std::vector<std::vector<int16_t>> samples;
  for (uint32_t f = 0; f < rec.frames; f += batch) {
    const uint32_t n = std::min(batch, rec.frames - f);
    if (!reader.read(f, n, samples)) return false;
    const std::vector<int16_t>& v = samples[channel];
    for (size_t k = 0; k < v.size(); ++k) {
      if (v[k] == 0) continue;
      const double onset = double(uint64_t(f) * rec.frameSeconds) + double(k) / c.rate;
      out.push_back({onset, 0, strf("%s %u", convention::kEventLabel, unsigned(uint16_t(v[k])))});
    }
    bar.update(f + n);
  }
  return true;
}

// The annotations of the channel and of the table, without the table's
// copies of what the channel already says, in time order.
std::vector<edf::Annotation> merge(const std::vector<edf::Annotation>& fromChannel,
                                   const std::vector<edf::Annotation>& fromTable) {
  using Key = std::tuple<int64_t, int64_t, std::string>;
  const auto key = [](const edf::Annotation& a) { return Key(millis(a.onset), millis(a.duration), a.text); };
  std::set<Key> said;
  for (const edf::Annotation& a : fromChannel) said.insert(key(a));
  std::vector<edf::Annotation> all = fromChannel;
  for (const edf::Annotation& a : fromTable)
    if (!said.count(key(a))) all.push_back(a);
  std::stable_sort(all.begin(), all.end(),
                   [](const edf::Annotation& a, const edf::Annotation& b) { return a.onset < b.onset; });
  return all;
}

}  // namespace

int export_edf(const std::string& in, const std::string& out, const ExportOptions& o, Console& con) {
  if (same_file(in, out)) return same_file_error(con, in, out);
  const std::string problem = recording_problem(in);
  if (!problem.empty()) return input_error(con, in, problem);
  // With the EDF file on standard output, every message goes to the error stream.
  std::ostream& report = is_stdout_path(out) ? con.err : con.out;
  RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr);
  Handle h(RAZIVERAOpenBioFile(in.c_str(), RZ_OPEN_READ, 1));
  if (!h) return input_error(con, in, open_error_text());
  const uint32_t records = RAZIVERAGetInfo(h.get(), RZ_INFO_RECORD_COUNT);
  if (o.record >= records)
    return input_error(con, in, strf("has %u record(s); there is no record %u", records, o.record));
  RecordDesc rec;
  if (!read_record(h.get(), o.record, rec))
    return input_error(con, in, strf("record %u has no wave information", o.record));
  if (rec.channels.empty())
    return input_error(con, in, strf("record %u has no channel definitions", o.record));
  if (!rec.hasFrames || rec.frames == 0 || rec.frameSeconds == 0)
    return input_error(con, in, strf("record %u holds no frames", o.record));
  for (const ChannelDesc& c : rec.channels)
    if (c.rate == 0) return input_error(con, in, strf("channel %u has no sampling rate", c.index + 1));
  std::string error;
  if (!check_frames(in, rec, error)) return input_error(con, in, error);
  if (rec.framesPresent == 0)
    return input_error(con, in,
                       strf("record %u: the file ends at offset %llu, before its first whole frame", o.record,
                            llu(rec.fileEnd)));
  if (rec.framesPresent < rec.frames) {
    // What the file holds is exported, and no more: no frame is made up.
    con.err << strf(
        "razivera: warning: %s: record %u is truncated: the file ends at offset %llu and holds %u "
        "of the %u frames its frame information claims; the %u frames there (%s) are exported\n",
        in.c_str(), o.record, llu(rec.fileEnd), rec.framesPresent, rec.frames, rec.framesPresent,
        clock_text(uint64_t(rec.framesPresent) * rec.frameSeconds).c_str());
    rec.frames = rec.framesPresent;
  }

  int eventChannel = o.eventChannel == ExportOptions::kAutoEvents ? rec.event_channel() : o.eventChannel;
  if (eventChannel >= int(rec.channels.size()))
    return input_error(con, in,
                       strf("record %u has %zu channels; there is no channel %d", o.record,
                            rec.channels.size(), eventChannel + 1));

  // The selection: channels, and whole frames (the EDF data records) around
  // the time range.
  const CommandSpec& syntax = command("export-edf");
  std::vector<uint32_t> channels;
  if (o.channels) {
    if (!parse_channels(*o.channels, rec, channels, error)) return usage_error(syntax, con, error);
  } else {
    for (const ChannelDesc& c : rec.channels) channels.push_back(c.index);
  }
  uint32_t firstFrame = 0, frameCount = rec.frames;
  if (o.from || o.to || o.duration) {
    TimeRange range;
    if (const int code = select_range({o.from, o.to, o.duration}, in, syntax, rec, 0, range, con)) return code;
    firstFrame = uint32_t(range.from / rec.frameSeconds);
    const uint32_t endFrame =
        std::min(rec.frames, uint32_t(std::ceil(range.to / rec.frameSeconds - 1e-9)));
    frameCount = std::max(endFrame, firstFrame + 1) - firstFrame;
  }
  const double offset = double(uint64_t(firstFrame) * rec.frameSeconds);
  const double windowEnd = offset + double(uint64_t(frameCount) * rec.frameSeconds);

  const TextList texts = read_text_list(h.get(), o.record);
  edf::Header header = make_header(rec, channels, texts);
  advance(header.start, uint64_t(offset));
  header.records = frameCount;

  Progress bar(con, "export-edf", eventChannel >= 0 ? 2ull * rec.frames : rec.frames);
  std::vector<edf::Annotation> fromChannel;
  if (eventChannel >= 0 && !event_annotations(h.get(), rec, uint32_t(eventChannel), bar, fromChannel))
    return input_error(con, in, strf("the frames of record %u cannot be read", o.record));
  std::vector<edf::Annotation> annotations;
  for (edf::Annotation a : merge(fromChannel, read_annotation_table(h.get(), o.record))) {
    if (a.onset < offset || a.onset >= windowEnd) continue;
    a.onset -= offset;
    annotations.push_back(a);
  }

  // Each annotation goes into the data record its onset falls in (the last
  // one for onsets beyond the end); the annotation signal is made as large
  // as the fullest record needs.
  std::vector<std::string> tals(frameCount);
  for (uint32_t f = 0; f < frameCount; ++f)
    tals[f] = edf::timekeeping_tal(double(uint64_t(f) * rec.frameSeconds));
  for (const edf::Annotation& a : annotations) {
    const double frame = std::floor(a.onset / rec.frameSeconds);
    const uint32_t f = frame < 0 ? 0 : frame >= frameCount ? frameCount - 1 : uint32_t(frame);
    tals[f] += edf::annotation_tal(a);
  }
  size_t fullest = 0;
  for (const std::string& t : tals) fullest = std::max(fullest, t.size());
  edf::Signal notes;
  notes.label = edf::kAnnotationLabel;
  notes.physicalMin = -1;
  notes.physicalMax = 1;
  notes.samplesPerRecord = uint32_t((fullest + 1) / 2);
  header.signals.push_back(notes);
  const size_t notesSignal = header.signals.size() - 1;

  Output target(out);
  std::FILE* file = target.prepare(error) ? target.begin_stream(error) : nullptr;
  if (!file) return input_error(con, out, error);
  edf::Writer writer;
  if (!writer.open(file, header, error)) return input_error(con, out, error);
  const uint32_t batch = frames_per_batch(rec.frameBytes);
  FrameReader reader(h.get(), rec, batch);
  std::vector<std::vector<int16_t>> samples;
  const uint64_t done = eventChannel >= 0 ? rec.frames : 0;
  const uint32_t endFrame = firstFrame + frameCount;
  for (uint32_t f = firstFrame; f < endFrame; f += batch) {
    const uint32_t n = std::min(batch, endFrame - f);
    if (!reader.read(f, n, samples))
      return input_error(con, in,
                         strf("the frames %u to %u of record %u cannot be read", f, f + n - 1, o.record));
    for (uint32_t i = 0; i < n; ++i) {
      for (size_t k = 0; k < channels.size(); ++k) {
        const ChannelDesc& c = rec.channels[channels[k]];
        const size_t per = size_t(c.rate) * rec.frameSeconds;
        writer.put_samples(k, samples[c.index].data() + i * per, per);
      }
      writer.put_bytes(notesSignal, tals[f - firstFrame + i]);
      if (!writer.write_record(error)) return input_error(con, out, error);
    }
    bar.update(done + f - firstFrame + n);
  }
  if (!writer.finish(error) || !target.commit(error)) return input_error(con, out, error);
  bar.finish();
  report << strf("%s: %zu signals and annotations, %u data records of %u s (%s), %zu annotations\n",
                 output_name(out).c_str(), channels.size(), frameCount, rec.frameSeconds,
                 clock_text(uint64_t(frameCount) * rec.frameSeconds).c_str(), annotations.size());
  return kExitOk;
}

int run_export_edf(const Args& args, Console& con) {
  ExportOptions o;
  const CommandSpec& syntax = command("export-edf");
  uint64_t v = 0;
  if (const std::string* r = args.value("--record")) {
    if (!parse_uint(*r, 0, 31, v))
      return usage_error(syntax, con, "--record wants a record number from 0 to 31");
    o.record = uint32_t(v);
  }
  if (const std::string* e = args.value("--events")) {
    if (!parse_uint(*e, 0, rz::kMaxChannels, v))
      return usage_error(syntax, con,
                         strf("--events wants a channel number from 0 to %u", rz::kMaxChannels));
    o.eventChannel = v == 0 ? ExportOptions::kNoEvents : int(v) - 1;
  }
  o.channels = args.value("--channels");
  o.from = args.value("--from");
  o.to = args.value("--to");
  o.duration = args.value("--duration");
  return export_edf(args.arg(0), args.arg(1), o, con);
}

}  // namespace tool
