#include "window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "output.h"
#include "structure.h"
#include "text.h"

namespace tool {
namespace {

constexpr uint64_t kSecondsPerDay = 86400;
constexpr uint32_t kMaxClockHour = 23, kMaxClockMinute = 59;

}  // namespace

int open_recording(const std::string& path, uint32_t record, bool needFrames, OpenRecording& out,
                   Console& con) {
  const std::string problem = recording_problem(path);
  if (!problem.empty()) return input_error(con, path, problem);
  RAZIVERAGetErrorInfo(2, nullptr);
  out.h.reset(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  if (!out.h) return input_error(con, path, open_error_text());
  const uint32_t records = RAZIVERAGetInfo(out.h.get(), RZ_INFO_RECORD_COUNT);
  if (record >= records)
    return input_error(con, path, strf("has %u record(s); there is no record %u", records, record));
  RecordDesc& rec = out.rec;
  if (!read_record(out.h.get(), record, rec))
    return input_error(con, path, strf("record %u has no wave information", record));
  std::string error;
  if (!check_frames(path, rec, error)) return input_error(con, path, error);
  if (needFrames && rec.hasFrames && rec.frames > 0 && rec.framesPresent == 0)
    return input_error(con, path,
                       strf("record %u: the file ends at offset %llu, before its first whole frame", record,
                            llu(rec.fileEnd)));
  if (rec.hasFrames && rec.framesPresent < rec.frames) {
    con.err << strf(
        "razivera: warning: %s: record %u is truncated: the file ends at offset %llu and holds %u of the %u "
        "frames its frame information claims; only those are read\n",
        path.c_str(), record, llu(rec.fileEnd), rec.framesPresent, rec.frames);
    rec.frames = rec.framesPresent;
  }
  if (!needFrames) return kExitOk;
  if (rec.channels.empty())
    return input_error(con, path, strf("record %u has no channel definitions", record));
  if (!rec.hasFrames || rec.frames == 0 || rec.frameSeconds == 0)
    return input_error(con, path, strf("record %u holds no frames", record));
  for (const ChannelDesc& c : rec.channels)
    if (c.rate == 0) return input_error(con, path, strf("channel %u has no sampling rate", c.index + 1));
  return kExitOk;
}

uint64_t start_of_day(const RecordDesc& rec) {
  return (uint64_t(rec.hour) * 3600 + uint64_t(rec.minute) * 60 + rec.second) % kSecondsPerDay;
}

std::string clock_at(const RecordDesc& rec, double offset, bool tenths) {
  const double at = double(start_of_day(rec)) + std::max(0.0, offset);
  const uint64_t whole = uint64_t(at) % kSecondsPerDay;
  std::string s =
      strf("%02u:%02u:%02u", unsigned(whole / 3600), unsigned(whole / 60 % 60), unsigned(whole % 60));
  if (tenths) s += strf(".%u", unsigned(std::fmod(at, 1.0) * 10) % 10);
  return s;
}

bool parse_time(const std::string& text, const RecordDesc& rec, double& seconds) {
  if (text.find(':') == std::string::npos) return parse_real(text, 0, 1e9, seconds);
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t colon; (colon = text.find(':', from)) != std::string::npos; from = colon + 1)
    parts.push_back(text.substr(from, colon - from));
  parts.push_back(text.substr(from));
  if (parts.size() > 3) return false;
  uint64_t h = 0, m = 0;
  double s = 0;
  if (!parse_uint(parts[0], 0, kMaxClockHour, h) || !parse_uint(parts[1], 0, kMaxClockMinute, m))
    return false;
  if (parts.size() == 3 && (!parse_real(parts[2], 0, 60, s) || s >= 60)) return false;
  const double clock = double(h * 3600 + m * 60) + s;
  const double start = double(start_of_day(rec));
  seconds = clock >= start ? clock - start : clock + double(kSecondsPerDay) - start;
  return true;
}

bool parse_channels(const std::string& list, const RecordDesc& rec, std::vector<uint32_t>& out,
                    std::string& error) {
  out.clear();
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    if (comma == std::string::npos) comma = list.size();
    const std::string name = trim(list.substr(from, comma - from));
    from = comma + 1;
    uint64_t number = 0;
    int found = -1;
    if (parse_uint(name, 1, rec.channels.size(), number)) {
      found = int(number - 1);
    } else {
      for (const ChannelDesc& c : rec.channels)
        if (!name.empty() && upper(trim(c.label)) == upper(name)) {
          found = int(c.index);
          break;
        }
    }
    if (found < 0) {
      error = strf("no channel \"%s\" (labels or numbers 1 to %zu)", printable(name).c_str(),
                   rec.channels.size());
      return false;
    }
    out.push_back(uint32_t(found));
  }
  return true;
}

int select_range(const Args& args, const CommandSpec& syntax, const RecordDesc& rec, double defaultDuration,
                 TimeRange& out, Console& con) {
  const RangeOptions o{args.value("--from"), args.value("--to"), args.value("--duration")};
  return select_range(o, args.arg(0), syntax, rec, defaultDuration, out, con);
}

int select_range(const RangeOptions& o, const std::string& path, const CommandSpec& syntax,
                 const RecordDesc& rec, double defaultDuration, TimeRange& out, Console& con) {
  const double end = double(rec.seconds());
  out.from = 0;
  if (o.from && !parse_time(*o.from, rec, out.from))
    return usage_error(syntax, con, "--from wants seconds from the start or a clock time hh:mm[:ss]");
  if (o.to && o.duration) return usage_error(syntax, con, "give --to or --duration, not both");
  out.to = defaultDuration > 0 ? out.from + defaultDuration : end;
  if (o.to && !parse_time(*o.to, rec, out.to))
    return usage_error(syntax, con, "--to wants seconds from the start or a clock time hh:mm[:ss]");
  double d = 0;
  if (o.duration) {
    if (!parse_real(*o.duration, 0, 1e9, d) || d <= 0)
      return usage_error(syntax, con, "--duration wants a number of seconds above 0");
    out.to = out.from + d;
  }
  if (out.from >= end)
    return input_error(
        con, path, strf("the range starts at %g s, at or after the end of the record (%g s)", out.from, end));
  if (out.to <= out.from) return usage_error(syntax, con, "the range ends before it starts");
  if (out.to > end) {
    if (o.to || o.duration)
      con.err << strf(
          "razivera: warning: %s: the range runs past the end of the record (%g s); it is cut there\n",
          path.c_str(), end);
    out.to = end;
  }
  return kExitOk;
}

SampleSpan samples_in(const TimeRange& range, uint32_t rate) {
  // Times and rates are small enough that the products are exact when the
  // times are whole; a tiny tolerance keeps 0.1 * 10 from rounding up.
  constexpr double kSlack = 1e-9;
  SampleSpan s;
  s.first = uint64_t(std::ceil(range.from * rate - kSlack));
  s.end = uint64_t(std::ceil(range.to * rate - kSlack));
  return s;
}

bool read_range(HGLOBAL h, const RecordDesc& rec, const std::vector<uint32_t>& channels,
                const TimeRange& range, const std::function<bool(const WindowChunk&)>& take) {
  if (rec.frameSeconds == 0 || rec.frames == 0) return false;
  const uint32_t firstFrame = uint32_t(std::min<double>(range.from / rec.frameSeconds, rec.frames - 1));
  const uint32_t endFrame = uint32_t(std::min<double>(std::ceil(range.to / rec.frameSeconds), rec.frames));
  const uint32_t batch = frames_per_batch(rec.frameBytes);
  FrameReader reader(h, rec, batch);
  std::vector<std::vector<int16_t>> samples;
  WindowChunk chunk(channels.size());
  for (uint32_t f = firstFrame; f < endFrame; f += batch) {
    const uint32_t n = std::min(batch, endFrame - f);
    if (!reader.read(f, n, samples)) return false;
    for (size_t i = 0; i < channels.size(); ++i) {
      const ChannelDesc& c = rec.channels[channels[i]];
      const SampleSpan want = samples_in(range, c.rate);
      const uint64_t runFirst = uint64_t(f) * rec.frameSeconds * c.rate;
      const uint64_t runEnd = runFirst + samples[c.index].size();
      const uint64_t a = std::max(want.first, runFirst), b = std::min(want.end, runEnd);
      chunk[i].first = a;
      chunk[i].second.clear();
      if (a < b)
        chunk[i].second.assign(samples[c.index].begin() + (a - runFirst),
                               samples[c.index].begin() + (b - runFirst));
    }
    if (!take(chunk)) return false;
  }
  return true;
}

bool read_range_all(HGLOBAL h, const RecordDesc& rec, const std::vector<uint32_t>& channels,
                    const TimeRange& range, std::vector<std::vector<int16_t>>& out) {
  out.assign(channels.size(), {});
  return read_range(h, rec, channels, range, [&](const WindowChunk& chunk) {
    for (size_t i = 0; i < chunk.size(); ++i)
      out[i].insert(out[i].end(), chunk[i].second.begin(), chunk[i].second.end());
    return true;
  });
}

int write_output(const std::string& in, const std::string& out, const std::string& text, Console& con) {
  if (same_file(in, out)) return same_file_error(con, in, out);
  Output target(out);
  std::string error;
  std::FILE* file = target.prepare(error) ? target.begin_stream(error) : nullptr;
  if (!file) return input_error(con, output_name(out), error);
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
    return input_error(con, output_name(out), "cannot write it (is the disk full?)");
  if (!target.commit(error)) return input_error(con, output_name(out), error);
  return kExitOk;
}

}  // namespace tool
