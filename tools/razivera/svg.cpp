#include "svg.h"

#include <algorithm>
#include <cmath>

#include "text.h"

namespace tool {
namespace {

// The page: points, as a printed page of landscape width.
constexpr double kWidth = 1000, kLeft = 120, kRight = 40, kTop = 24, kAxis = 34;
constexpr double kLaneHeight = 64, kLanePad = 4;
constexpr double kStageStep = 22, kEventRow = 14;
constexpr int kMinTicks = 4;

double plot_width() { return kWidth - kLeft - kRight; }

std::string num(double v) { return strf("%.2f", v); }

std::string head(double height, bool standalone, const char* title) {
  std::string s;
  if (standalone) s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += strf(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" viewBox=\"0 0 %g %g\" "
      "font-family=\"sans-serif\" font-size=\"11\">\n<title>%s</title>\n"
      "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
      kWidth, height, kWidth, height, title);
  return s;
}

// Ticks of a clock-time axis over [from, to) seconds at y, with labels.
std::string time_axis(const RecordDesc& rec, double from, double to, double y, double gridTop) {
  static const double kSteps[] = {0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800};
  const double span = to - from;
  double step = kSteps[0];
  for (double s : kSteps)
    if (span / s >= kMinTicks) step = s;
  std::string out =
      strf("<g class=\"axis\" stroke=\"#999\">\n<line x1=\"%g\" y1=\"%s\" x2=\"%g\" y2=\"%s\"/>\n", kLeft,
           num(y).c_str(), kLeft + plot_width(), num(y).c_str());
  const double first = std::ceil(from / step) * step;
  for (double t = first; t <= to + 1e-9; t += step) {
    const double x = kLeft + (t - from) / span * plot_width();
    out += strf("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#ddd\"/>\n", num(x).c_str(),
                num(gridTop).c_str(), num(x).c_str(), num(y + 4).c_str());
    out += strf("<text x=\"%s\" y=\"%s\" text-anchor=\"middle\" stroke=\"none\" fill=\"#333\">%s</text>\n",
                num(x).c_str(), num(y + 16).c_str(), clock_at(rec, t, step < 1).c_str());
  }
  return out + "</g>\n";
}

std::string event_colour(const std::string& family) {
  if (family == "apnea") return "#d62728";
  if (family == "hypopnea") return "#ff7f0e";
  if (family == "arousal") return "#9467bd";
  if (family == "desaturation") return "#1f77b4";
  if (family == "limb movement") return "#2ca02c";
  return "#7f7f7f";
}

std::string family_of_event(const SleepFigures& f, const std::string& name) {
  for (const SleepFigures::Kind& k : f.kinds)
    if (k.name == name) return k.family;
  return "";
}

}  // namespace

std::string xml_text(const std::string& s) {
  std::string out;
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += printable(std::string(1, ch));
    }
  }
  return out;
}

std::string svg_signal_page(const RecordDesc& rec, const std::vector<uint32_t>& channels,
                            const TimeRange& range, const std::vector<std::vector<int16_t>>& samples,
                            const std::vector<edf::Annotation>& events, bool standalone) {
  const double lanesBottom = kTop + kLaneHeight * double(channels.size());
  const double height = lanesBottom + kAxis;
  const double span = range.to - range.from;
  std::string s = head(height, standalone, "signals");
  s += strf("<g class=\"page\" data-from=\"%g\" data-to=\"%g\">\n", range.from, range.to);
  // Events first, so that the traces are drawn over them.
  for (const edf::Annotation& a : events) {
    const double end = a.onset + a.duration;
    if (end < range.from || a.onset >= range.to) continue;
    const double x0 = kLeft + (std::max(a.onset, range.from) - range.from) / span * plot_width();
    const double x1 = kLeft + (std::min(end, range.to) - range.from) / span * plot_width();
    s += strf(
        "<rect class=\"event\" x=\"%s\" y=\"%g\" width=\"%s\" height=\"%s\" fill=\"#f4c542\" "
        "fill-opacity=\"0.3\"/>\n<text x=\"%s\" y=\"%g\" fill=\"#8a6d00\">%s</text>\n",
        num(x0).c_str(), kTop, num(std::max(1.0, x1 - x0)).c_str(), num(lanesBottom - kTop).c_str(),
        num(x0 + 2).c_str(), kTop - 6, xml_text(a.text).c_str());
  }
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelDesc& c = rec.channels[channels[i]];
    const std::vector<int16_t>& v = samples[i];
    const double top = kTop + kLaneHeight * double(i);
    int lo = 0, hi = 0;
    if (!v.empty()) {
      const auto mm = std::minmax_element(v.begin(), v.end());
      lo = *mm.first;
      hi = *mm.second;
    }
    const std::string unit = trim(c.unit);
    s += strf("<text x=\"6\" y=\"%s\" font-weight=\"bold\">%s</text>\n", num(top + kLaneHeight / 2).c_str(),
              xml_text(trim(c.label)).c_str());
    s += strf("<text x=\"6\" y=\"%s\" fill=\"#666\" font-size=\"9\">%d..%d%s%s</text>\n",
              num(top + kLaneHeight / 2 + 12).c_str(), lo, hi, unit.empty() ? "" : " ",
              xml_text(unit).c_str());
    s += strf("<line x1=\"%g\" y1=\"%s\" x2=\"%g\" y2=\"%s\" stroke=\"#eee\"/>\n", kLeft,
              num(top + kLaneHeight).c_str(), kLeft + plot_width(), num(top + kLaneHeight).c_str());
    const SampleSpan span1 = samples_in(range, c.rate);
    const auto y_of = [&](double value) {
      const double inner = kLaneHeight - 2 * kLanePad;
      return hi == lo ? top + kLaneHeight / 2 : top + kLanePad + (hi - value) / double(hi - lo) * inner;
    };
    const auto x_of = [&](uint64_t k) {
      return kLeft + (double(span1.first + k) / c.rate - range.from) / span * plot_width();
    };
    std::string points;
    const size_t columns = size_t(plot_width());
    if (v.size() <= 2 * columns) {
      for (size_t k = 0; k < v.size(); ++k)
        points += strf("%s,%s ", num(x_of(k)).c_str(), num(y_of(v[k])).c_str());
    } else {
      // More samples than the page shows: each column's lowest and highest.
      for (size_t col = 0; col < columns; ++col) {
        const size_t a = v.size() * col / columns, b = std::max(a + 1, v.size() * (col + 1) / columns);
        const auto mm = std::minmax_element(v.begin() + long(a), v.begin() + long(b));
        const std::string x = num(x_of(a));
        points += strf("%s,%s %s,%s ", x.c_str(), num(y_of(*mm.second)).c_str(), x.c_str(),
                       num(y_of(*mm.first)).c_str());
      }
    }
    if (!points.empty()) points.pop_back();
    s += strf(
        "<polyline class=\"trace\" data-channel=\"%u\" data-label=\"%s\" data-rate=\"%u\" "
        "data-first-sample=\"%llu\" data-count=\"%zu\" data-min=\"%d\" data-max=\"%d\" data-first=\"%d\" "
        "data-last=\"%d\" fill=\"none\" stroke=\"#123\" stroke-width=\"0.6\" points=\"%s\"/>\n",
        c.index + 1, xml_text(trim(c.label)).c_str(), c.rate, llu(span1.first), v.size(), lo, hi,
        v.empty() ? 0 : v.front(), v.empty() ? 0 : v.back(), points.c_str());
  }
  s += time_axis(rec, range.from, range.to, lanesBottom, kTop);
  return s + "</g>\n</svg>\n";
}

std::string svg_hypnogram(const RecordDesc& rec, const SleepFigures& f, bool standalone) {
  // Rows: the stages from the top (W, REM, N1, N2, N3), then one row per
  // event family present and one for the rest.
  static const SleepFigures::StageIndex kOrder[] = {SleepFigures::kW, SleepFigures::kREM, SleepFigures::kN1,
                                                    SleepFigures::kN2, SleepFigures::kN3};
  static const char* const kFamilies[] = {"arousal",      "apnea",         "hypopnea",
                                          "desaturation", "limb movement", ""};
  std::vector<std::string> rows;
  for (const char* fam : kFamilies)
    for (const SleepFigures::Kind& k : f.kinds)
      if (k.family == fam) {
        rows.emplace_back(fam);
        break;
      }
  const double stagesTop = kTop, stagesBottom = kTop + kStageStep * 4;
  const double eventsTop = stagesBottom + 16;
  const double axisY = eventsTop + kEventRow * double(rows.size()) + 6;
  const double height = axisY + kAxis;
  const double total = f.scored ? f.tib : std::max(f.recordSeconds, 1.0);
  const auto x_of = [&](double t) { return kLeft + t / total * plot_width(); };
  std::string s = head(height, standalone, "hypnogram");
  s += "<g class=\"hypnogram\">\n";
  for (size_t i = 0; i < 5; ++i)
    s += strf("<text x=\"6\" y=\"%s\">%s</text>\n", num(stagesTop + kStageStep * double(i) + 4).c_str(),
              kStageNames[kOrder[i]]);
  if (f.scored) {
    const auto y_of = [&](SleepFigures::StageIndex st) {
      for (size_t i = 0; i < 5; ++i)
        if (kOrder[i] == st) return stagesTop + kStageStep * double(i);
      return -1.0;
    };
    std::string path;
    double lastY = -1;
    for (size_t e = 0; e < f.stages.size(); ++e) {
      const SleepFigures::StageIndex st = stage_index(f.stages[e]);
      const double y = y_of(st);
      const double x0 = x_of(double(e) * f.epochSeconds), x1 = x_of(double(e + 1) * f.epochSeconds);
      if (y < 0) {
        lastY = -1;
        continue;
      }
      path += (lastY < 0 ? "M" : "L") + num(x0) + "," + num(y) + " L" + num(x1) + "," + num(y) + " ";
      if (st == SleepFigures::kREM)
        s += strf("<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"4\" fill=\"#d62728\"/>\n", num(x0).c_str(),
                  num(y - 2).c_str(), num(std::max(0.5, x1 - x0)).c_str());
      lastY = y;
    }
    s += "<path class=\"stages\" fill=\"none\" stroke=\"#222\" stroke-width=\"1\" d=\"" + path + "\"/>\n";
  } else {
    s += strf(
        "<text x=\"%g\" y=\"%s\" fill=\"#a00\">No hypnogram: the recording has no score table of sleep "
        "stages.</text>\n",
        kLeft + 10, num(stagesTop + kStageStep * 2).c_str());
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    const double y = eventsTop + kEventRow * double(r);
    s += strf("<text x=\"6\" y=\"%s\" font-size=\"10\">%s</text>\n", num(y + 10).c_str(),
              rows[r].empty() ? "other" : rows[r].c_str());
    const std::string colour = event_colour(rows[r]);
    for (const edf::Annotation& a : f.events) {
      if (family_of_event(f, a.text) != rows[r] || a.onset > total) continue;
      const double x = x_of(a.onset);
      s += strf("<rect class=\"event\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"10\" fill=\"%s\"/>\n",
                num(x).c_str(), num(y + 1).c_str(),
                num(std::max(1.0, x_of(a.onset + a.duration) - x)).c_str(), colour.c_str());
    }
  }
  s += time_axis(rec, 0, total, axisY, stagesTop);
  return s + "</g>\n</svg>\n";
}

}  // namespace tool
