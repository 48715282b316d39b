// report: one self-contained HTML page of a night - the study header, the
// hypnogram with the scored events beneath it, the sleep figures with their
// definitions, and the first 30-second page of signals.  Everything is drawn
// by the tool; the page loads nothing.  The figures are also in a JSON block
// (id "sleep-figures") for programs that read the page.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "json.h"
#include "output.h"
#include "sleep.h"
#include "svg.h"
#include "text.h"
#include "window.h"

namespace tool {
namespace {

constexpr double kPageSeconds = 30;
constexpr size_t kPageChannels = 8;
constexpr double kSecondsPerMinute = 60;

std::string minutes(double seconds) {
  return seconds < 0 ? "&ndash;" : strf("%.1f min", seconds / kSecondsPerMinute);
}
std::string index_text(double v) { return v < 0 ? "&ndash;" : strf("%.1f /h", v); }

std::string start_text(const RecordDesc& r) {
  const std::string time = strf("%02u:%02u:%02u", r.hour, r.minute, r.second);
  if (r.year == 0 && r.month == 0 && r.day == 0) return time + " (no date)";
  return strf("%04u-%02u-%02u ", r.year, r.month, r.day) + time;
}

const char* const kCss =
    "body{font-family:sans-serif;margin:24px;color:#111;max-width:1040px}"
    "h1{font-size:22px;margin:0 0 4px}h2{font-size:16px;margin:22px 0 6px;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse;font-size:13px}td,th{padding:2px 10px;text-align:left;vertical-align:top}"
    "td.n{text-align:right}th{background:#f0f0f0}.def{color:#555;font-size:12px}"
    ".note{color:#a00}svg{max-width:100%;height:auto}@media print{body{margin:0}}";

std::string figures_json(const SleepFigures& f) {
  std::string j = "{\"scored\":" + json::boolean(f.scored);
  j += ",\"epoch_seconds\":" + json::num(f.epochSeconds);
  j += ",\"epochs\":" + json::num(uint64_t(f.stages.size()));
  if (f.scored) {
    j += ",\"tib_min\":" + json::num(f.tib / kSecondsPerMinute);
    j += ",\"tst_min\":" + json::num(f.tst / kSecondsPerMinute);
    j += ",\"sleep_efficiency_percent\":" + json::num(f.efficiency);
    j += ",\"sleep_onset_latency_min\":" +
         json::maybe(f.onsetLatency < 0 ? -1 : f.onsetLatency / kSecondsPerMinute);
    j += ",\"rem_latency_min\":" + json::maybe(f.remLatency < 0 ? -1 : f.remLatency / kSecondsPerMinute);
    j += ",\"waso_min\":" + json::num(f.waso / kSecondsPerMinute);
    j += ",\"stages\":{";
    for (int s = 0; s < SleepFigures::kStageCount; ++s) {
      const double base = s == SleepFigures::kW || s == SleepFigures::kUnscored ? f.tib : f.tst;
      j += strf("%s%s:{\"minutes\":%s,\"percent\":%s}", s ? "," : "", json::str(kStageNames[s]).c_str(),
                json::num(f.stageSeconds[s] / kSecondsPerMinute).c_str(),
                json::maybe(base > 0 ? 100.0 * f.stageSeconds[s] / base : -1).c_str());
    }
    j += "}";
  }
  j += ",\"ahi\":" + json::maybe(f.per_hour(f.apneas + f.hypopneas));
  j += ",\"arousal_index\":" + json::maybe(f.per_hour(f.arousals));
  j += ",\"desaturation_index\":" + json::maybe(f.per_hour(f.desaturations));
  j += ",\"limb_movement_index\":" + json::maybe(f.per_hour(f.limbMovements));
  j += ",\"events\":[";
  for (size_t i = 0; i < f.kinds.size(); ++i)
    j += strf("%s{\"name\":%s,\"family\":%s,\"count\":%u,\"per_hour\":%s}", i ? "," : "",
              json::str(f.kinds[i].name).c_str(), json::str(f.kinds[i].family).c_str(), f.kinds[i].count,
              json::maybe(f.per_hour(f.kinds[i].count)).c_str());
  j += "]}";
  // Inside a script element "</" must not appear.
  std::string safe;
  for (size_t i = 0; i < j.size(); ++i)
    safe += (j[i] == '/' && i && j[i - 1] == '<') ? std::string("\\/") : std::string(1, j[i]);
  return safe;
}

std::string row(const std::string& name, const std::string& value, const std::string& def,
                const std::string& key = "") {
  return "<tr" + (key.empty() ? std::string() : " data-figure=\"" + key + "\"") + "><td>" + name +
         "</td><td class=\"n\">" + value + "</td><td class=\"def\">" + def + "</td></tr>\n";
}

std::string figures_html(const SleepFigures& f) {
  std::string h = "<h2>Sleep figures</h2>\n";
  if (!f.scored) {
    h += "<p class=\"note\" id=\"no-hypnogram\">The recording has no hypnogram (no score table of sleep "
         "stages): "
         "time in bed, sleep time, latencies and the indices per hour of sleep cannot be given.  The events "
         "are counted below.</p>\n";
  } else {
    h += "<table><tr><th>figure</th><th>value</th><th>definition</th></tr>\n";
    h += row("Time in bed (TIB)", minutes(f.tib),
             strf("the scored period: %zu epochs of %u s", f.stages.size(), f.epochSeconds), "tib");
    h += row("Total sleep time (TST)", minutes(f.tst), "epochs scored N1, N2, N3 or REM", "tst");
    h += row("Sleep efficiency", strf("%.1f %%", f.efficiency), "TST / TIB &times; 100", "efficiency");
    h += row("Sleep onset latency", minutes(f.onsetLatency),
             "from the start of the scored period to the first epoch of sleep", "onset");
    h += row("REM latency", minutes(f.remLatency), "from the first epoch of sleep to the first epoch of REM",
             "rem-latency");
    h += row("Wake after sleep onset (WASO)", minutes(f.waso),
             "wake epochs from the first to the last epoch of sleep", "waso");
    h += "</table>\n<h2>Stages</h2>\n<table><tr><th>stage</th><th>minutes</th><th>percent</th></tr>\n";
    for (int s = 0; s < SleepFigures::kStageCount; ++s) {
      if (s == SleepFigures::kUnscored && f.stageSeconds[s] == 0) continue;
      const bool ofTib = s == SleepFigures::kW || s == SleepFigures::kUnscored;
      const double base = ofTib ? f.tib : f.tst;
      h +=
          strf("<tr><td>%s</td><td class=\"n\">%.1f</td><td class=\"n\">%s</td></tr>\n", kStageNames[s],
               f.stageSeconds[s] / kSecondsPerMinute,
               base > 0 ? strf("%.1f %% of %s", 100 * f.stageSeconds[s] / base, ofTib ? "TIB" : "TST").c_str()
                        : "&ndash;");
    }
    h += "</table>\n<p class=\"def\">Stages per epoch of the hypnogram (0 W, 1 N1, 2 N2, 3 N3, 5 REM; other "
         "values "
         "are unscored).  Minutes are epochs &times; epoch length; N1, N2, N3 and REM are given in percent "
         "of TST, "
         "wake and unscored in percent of TIB.</p>\n";
  }
  h += "<h2>Events</h2>\n";
  if (f.kinds.empty())
    return h + "<p>The recording has no scored events (no event table of this tool).</p>\n";
  h += "<table><tr><th>index</th><th>value</th><th>definition</th></tr>\n";
  const auto index_row = [&](const char* name, uint32_t count, const char* what, const char* key) {
    h += row(name, index_text(f.per_hour(count)), strf("%s (%u) per hour of TST", what, count), key);
  };
  if (f.apneas + f.hypopneas)
    index_row("Apnea-hypopnea index (AHI)", f.apneas + f.hypopneas, "apneas of any type and hypopneas",
              "ahi");
  if (f.arousals) index_row("Arousal index", f.arousals, "arousals", "arousal-index");
  if (f.desaturations)
    index_row("Desaturation index", f.desaturations, "desaturations", "desaturation-index");
  if (f.limbMovements) index_row("Limb movement index", f.limbMovements, "limb movements", "limb-index");
  h += "</table>\n<table><tr><th>event (as scored)</th><th>count</th><th>per hour of TST</th></tr>\n";
  for (const SleepFigures::Kind& k : f.kinds)
    h += strf("<tr><td>%s</td><td class=\"n\">%u</td><td class=\"n\">%s</td></tr>\n",
              xml_text(k.name).c_str(), k.count, index_text(f.per_hour(k.count)).c_str());
  return h + "</table>\n";
}

}  // namespace

int run_report(const Args& args, Console& con) {
  const CommandSpec& syntax = command("report");
  const std::string& in = args.arg(0);
  const std::string out = args.value("-o") ? *args.value("-o") : "-";
  if (same_file(in, out)) return same_file_error(con, in, out);
  OpenRecording r;
  if (const int code = open_recording(in, 0, false, r, con)) return code;
  const RecordDesc& rec = r.rec;
  const uint32_t records = RAZIVERAGetInfo(r.h.get(), RZ_INFO_RECORD_COUNT);
  const SleepFigures f = sleep_figures(r.h.get(), records, 0, double(rec.seconds()));

  // The first page of signals: the channels asked for, or the first signal
  // channels (not the event channel).
  std::vector<uint32_t> channels;
  if (const std::string* list = args.value("--channels")) {
    std::string error;
    if (!parse_channels(*list, rec, channels, error)) return usage_error(syntax, con, error);
  } else {
    for (const ChannelDesc& c : rec.channels)
      if (int(c.index) != rec.event_channel() && c.rate > 0 && channels.size() < kPageChannels)
        channels.push_back(c.index);
  }
  std::string page;
  const bool readable = rec.hasFrames && rec.frames > 0 && rec.frameSeconds > 0;
  if (readable && !channels.empty()) {
    TimeRange range{0, std::min(kPageSeconds, double(rec.seconds()))};
    std::vector<std::vector<int16_t>> samples;
    for (uint32_t c : channels)
      if (rec.channels[c].rate == 0)
        return input_error(con, in, strf("channel %u has no sampling rate", c + 1));
    if (!read_range_all(r.h.get(), rec, channels, range, samples))
      return input_error(con, in, "the frames of the first page cannot be read");
    page = svg_signal_page(rec, channels, range, samples, f.events, false);
  }

  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Sleep study " +
      xml_text(in) + "</title>\n<style>" + kCss + "</style>\n</head>\n<body>\n";
  html += "<h1>Sleep study report</h1>\n<p>" + xml_text(in) + "</p>\n<h2>Study</h2>\n<table>\n";
  html += "<tr><td>Start</td><td>" + xml_text(start_text(rec)) + "</td></tr>\n";
  html += "<tr><td>Duration</td><td>" +
          (rec.hasFrames ? clock_text(rec.seconds()) : std::string("no frames")) + "</td></tr>\n";
  std::string list;
  for (const ChannelDesc& c : rec.channels)
    list += (list.empty() ? "" : ", ") + xml_text(trim(c.label)) + strf(" (%u Hz)", c.rate);
  html += strf("<tr><td>Channels</td><td>%zu: ", rec.channels.size()) + list + "</td></tr>\n";
  if (!trim(rec.text).empty()) html += "<tr><td>Text</td><td>" + xml_text(trim(rec.text)) + "</td></tr>\n";
  html += "</table>\n<h2>Hypnogram and events</h2>\n" + svg_hypnogram(rec, f, false);
  html += figures_html(f);
  html += "<h2>First page of signals</h2>\n";
  html += page.empty()
              ? std::string("<p class=\"note\">The recording has no frames of signals to show.</p>\n")
              : "<p class=\"def\">The first 30 seconds; each channel scaled to its own range (digital "
                "values, shown at the left).</p>\n" +
                    page;
  html += "<script type=\"application/json\" id=\"sleep-figures\">" + figures_json(f) + "</script>\n";
  html += "</body>\n</html>\n";
  return write_output(in, out, html, con);
}

}  // namespace tool
