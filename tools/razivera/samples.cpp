// samples: the samples of selected channels and a time range as CSV, a time
// column in seconds from the record's start and one column per channel, the
// digital values as stored.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "output.h"
#include "text.h"
#include "window.h"

namespace tool {
namespace {

// The CSV is written in pieces of about this size, however many rows a run
// of frames makes at a high --rate.
constexpr size_t kFlushBytes = 1u << 20;
// Rows beyond a megahertz would be the same sample repeated to no purpose.
constexpr uint64_t kMaxRowRate = 1000000;

std::string csv_field(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char ch : s) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

}  // namespace

int run_samples(const Args& args, Console& con) {
  const CommandSpec& syntax = command("samples");
  const std::string& in = args.arg(0);
  const std::string out = args.value("-o") ? *args.value("-o") : "-";
  if (same_file(in, out)) return same_file_error(con, in, out);
  OpenRecording r;
  if (const int code = open_recording(in, 0, true, r, con)) return code;
  const RecordDesc& rec = r.rec;
  std::vector<uint32_t> channels;
  if (const std::string* list = args.value("--channels")) {
    std::string error;
    if (!parse_channels(*list, rec, channels, error)) return usage_error(syntax, con, error);
  } else {
    for (const ChannelDesc& c : rec.channels) channels.push_back(c.index);
  }
  TimeRange range;
  if (const int code = select_range(args, syntax, rec, 0, range, con)) return code;

  // One row per sample of the output rate; a channel of a lower rate repeats
  // each of its samples until the next, which needs the rate to be a
  // multiple of it.
  uint32_t rate = 0;
  for (uint32_t c : channels) rate = std::max(rate, rec.channels[c].rate);
  if (const std::string* s = args.value("--rate")) {
    uint64_t v = 0;
    if (!parse_uint(*s, 1, kMaxRowRate, v))
      return usage_error(syntax, con, "--rate wants a rate in Hz, at most 1000000");
    for (uint32_t c : channels)
      if (v < rec.channels[c].rate || v % rec.channels[c].rate != 0)
        return usage_error(syntax, con,
                           strf("--rate %llu is not a multiple of channel %u's rate (%u Hz); lower rates are "
                                "repeated, higher ones never dropped",
                                llu(v), c + 1, rec.channels[c].rate));
    rate = uint32_t(v);
  } else {
    for (uint32_t c : channels)
      if (rec.channels[c].rate != rate)
        return usage_error(
            syntax, con,
            strf("the channels have different rates (%u and %u Hz): choose channels of one rate, "
                 "or --rate %u to repeat the lower rates' samples",
                 rec.channels[channels.front()].rate, rec.channels[c].rate, rate));
  }

  Output target(out);
  std::string error;
  std::FILE* file = target.prepare(error) ? target.begin_stream(error) : nullptr;
  if (!file) return input_error(con, output_name(out), error);
  std::string text = "time";
  for (uint32_t c : channels) text += "," + csv_field(trim(rec.channels[c].label));
  text += "\n";
  const SampleSpan rows = samples_in(range, rate);
  bool written = true;
  const auto flush = [&]() {
    written = written && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    text.clear();
    return written;
  };
  const bool read = read_range(r.h.get(), rec, channels, range, [&](const WindowChunk& chunk) {
    // The rows whose time lies in this run: those of the fastest channel's
    // samples at the output rate.
    uint64_t first = UINT64_MAX, end = 0;
    for (size_t i = 0; i < chunk.size(); ++i) {
      const uint64_t k = rate / rec.channels[channels[i]].rate;
      first = std::min(first, chunk[i].first * k);
      end = std::max(end, (chunk[i].first + chunk[i].second.size()) * k);
    }
    first = std::max(first, rows.first);
    end = std::min(end, rows.end);
    for (uint64_t row = first; row < end; ++row) {
      text += strf("%.10g", double(row) / rate);
      for (size_t i = 0; i < chunk.size(); ++i) {
        const uint64_t at = row / (rate / rec.channels[channels[i]].rate);
        text += at >= chunk[i].first && at - chunk[i].first < chunk[i].second.size()
                    ? strf(",%d", chunk[i].second[at - chunk[i].first])
                    : std::string(",");
      }
      text += "\n";
      if (text.size() >= kFlushBytes && !flush()) return false;
    }
    return flush();
  });
  if (written && !read) return input_error(con, in, "the frames of the range cannot be read");
  if (!flush()) return input_error(con, output_name(out), "cannot write it (is the disk full?)");
  if (!target.commit(error)) return input_error(con, output_name(out), error);
  return kExitOk;
}

}  // namespace tool
