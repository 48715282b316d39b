// plot: one page of signals as SVG, or with --hypnogram the whole night's
// hypnogram with the scored events beneath it.
#include "commands.h"
#include "output.h"
#include "sleep.h"
#include "svg.h"
#include "tables.h"
#include "text.h"
#include "window.h"

namespace tool {
namespace {

constexpr double kPageSeconds = 30;
constexpr size_t kDefaultChannels = 8;
// A page holds the samples it draws; four hours keep that within memory.
constexpr double kMaxPageSeconds = 4 * 3600;

}  // namespace

int run_plot(const Args& args, Console& con) {
  const CommandSpec& syntax = command("plot");
  const std::string& in = args.arg(0);
  const std::string out = args.value("-o") ? *args.value("-o") : "-";
  const bool hypnogram = args.has("--hypnogram");
  if (hypnogram && (args.has("--from") || args.has("--duration") || args.has("--channels")))
    return usage_error(syntax, con,
                       "--hypnogram draws the whole night; it takes no --from, --duration or --channels");
  if (same_file(in, out)) return same_file_error(con, in, out);
  OpenRecording r;
  if (const int code = open_recording(in, 0, hypnogram, r, con)) return code;
  const RecordDesc& rec = r.rec;
  if (hypnogram) {
    const SleepFigures f =
        sleep_figures(r.h.get(), RAZIVERAGetInfo(r.h.get(), RZ_INFO_RECORD_COUNT), 0, double(rec.seconds()));
    return write_output(in, out, svg_hypnogram(rec, f, true), con);
  }
  std::vector<uint32_t> channels;
  if (const std::string* list = args.value("--channels")) {
    std::string error;
    if (!parse_channels(*list, rec, channels, error)) return usage_error(syntax, con, error);
  } else {
    for (const ChannelDesc& c : rec.channels)
      if (int(c.index) != rec.event_channel() && channels.size() < kDefaultChannels)
        channels.push_back(c.index);
  }
  if (channels.empty()) return input_error(con, in, "has no signal channels to draw");
  TimeRange range;
  if (const int code = select_range(args, syntax, rec, kPageSeconds, range, con)) return code;
  if (range.to - range.from > kMaxPageSeconds)
    return usage_error(syntax, con, "a page shows at most 4 hours (--duration 14400)");
  std::vector<std::vector<int16_t>> samples;
  if (!read_range_all(r.h.get(), rec, channels, range, samples))
    return input_error(con, in, "the frames of the page cannot be read");
  return write_output(
      in, out, svg_signal_page(rec, channels, range, samples, read_annotation_table(r.h.get(), 0), true),
      con);
}

}  // namespace tool
