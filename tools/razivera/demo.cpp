// demo: writes a synthetic polysomnogram the way an acquisition application
// does - header, record, wave and channel information, notes and the event
// table, then frames buffer by buffer with the running frame count kept
// current, the hypnogram as the score table, and the end of the record.
#include "demo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "conventions.h"
#include "format/layout.h"
#include "output.h"
#include "progress.h"
#include "recording.h"
#include "synth.h"
#include "tables.h"
#include "text.h"

namespace tool {
namespace {

using synth::ChannelPlan;

constexpr uint32_t kEventRate = 10;
constexpr uint64_t kMaxFileBytes = 0x7FFFFFFFu - (16u << 20);  // frames are addressed by 31-bit offsets

// The start of the demo night.
constexpr uint32_t kStartYear = 2024, kStartMonth = 3, kStartDay = 14, kStartHour = 22, kStartMinute = 30;

std::string stage_key() { return "Hypnogram: 30-s epochs, 0 W, 1 N1, 2 N2, 3 N3, 5 REM"; }

TextList notes(const std::vector<ChannelPlan>& plans, uint64_t seconds) {
  using namespace convention;
  TextList t;
  uint16_t id = kNoteIdFirst;
  t[id++] = "Synthetic polysomnogram made by razivera demo; not patient data";
  std::string montage = "Montage:";
  for (const ChannelPlan& p : plans) montage += " " + p.label + (&p == &plans.back() ? "" : ",");
  if (montage.size() > 255) montage = montage.substr(0, 252) + "...";
  t[id++] = montage;
  const uint64_t on = (uint64_t(kStartHour) * 3600 + kStartMinute * 60 + seconds - 60) % 86400;
  t[id++] = seconds > 600 ? strf("Lights off 22:31:00, lights on %02u:%02u:%02u", unsigned(on / 3600),
                                 unsigned(on / 60 % 60), unsigned(on % 60))
                          : "Lights off 22:31:00";
  std::string codes = "Event codes:";
  for (uint16_t c = synth::kLightsOff; c <= synth::kLimbMovement; ++c)
    codes += strf(" %u %s%s", c, synth::event_name(c), c == synth::kLimbMovement ? "" : ",");
  t[id++] = codes;
  t[id++] = stage_key();
  t[kEdfPatientId] = "DEMO-0001 X X Synthetic_Sleeper";
  return t;
}

}  // namespace

bool demo_fits(const DemoOptions& o, std::string& why) {
  std::vector<ChannelPlan> plans = synth::montage(o.channels);
  uint64_t frameBytes = rz::frames::wave::kHeadSize + 2 * kEventRate;
  for (const ChannelPlan& p : plans) frameBytes += 2ull * p.rate;
  const uint64_t seconds = uint64_t(std::llround(o.hours * 3600));
  if (seconds == 0) {
    why = "--hours is less than a second";
    return false;
  }
  if (seconds * frameBytes > kMaxFileBytes) {
    why = strf("%g hours of %u channels take %.1f GB; one recording file holds at most 2 GB", o.hours,
               o.channels, double(seconds * frameBytes) / 1e9);
    return false;
  }
  return true;
}

int write_demo(const std::string& out, const DemoOptions& o, Console& con) {
  std::vector<ChannelPlan> plans = synth::montage(o.channels);
  const uint64_t seconds = uint64_t(std::llround(o.hours * 3600));
  const synth::Night night(seconds);
  uint32_t baseRate = kEventRate;
  uint64_t frameBytes = rz::frames::wave::kHeadSize + 2 * kEventRate;
  for (const ChannelPlan& p : plans) {
    baseRate = std::max(baseRate, p.rate);
    frameBytes += 2ull * p.rate;
  }
  const uint16_t eventChannel = uint16_t(plans.size());
  const uint16_t channels = uint16_t(plans.size() + 1);
  const uint32_t batch = std::min<uint32_t>(frames_per_batch(frameBytes), 0xFFFF);

  Output target(out);
  std::string error;
  const std::string file = target.prepare(error) ? target.begin_file(error) : std::string();
  if (file.empty()) return input_error(con, out, error);
  Handle h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_CREATE, batch));
  if (!h) return input_error(con, out, "cannot create it");
  HGLOBAL f = h.get();
  const auto failed = [&]() {
    return input_error(con, out, "the library could not write it (is the disk full?)");
  };
  if (RAZIVERASetInfo(f, RZ_INFO_BYTE_ORDER, o.big ? RZ_BYTE_ORDER_BIG : RZ_BYTE_ORDER_LITTLE) != 1 ||
      DARARARCreateBaseHeader(f) != 1 || DARARARStartRecordWave(f) != 0)
    return failed();

  // The recording's description.
  const std::pair<uint16_t, uint32_t> wave[] = {
      {RZ_WAVE_CHANNEL_COUNT, channels},    {RZ_WAVE_FRAME_SECONDS, 1},
      {RZ_WAVE_BASE_RATE, baseRate},        {RZ_WAVE_TOTAL_SAMPLES, uint32_t(seconds * baseRate)},
      {RZ_WAVE_START_YEAR, kStartYear},     {RZ_WAVE_START_MONTH, kStartMonth},
      {RZ_WAVE_START_DAY, kStartDay},       {RZ_WAVE_START_HOUR, kStartHour},
      {RZ_WAVE_START_MINUTE, kStartMinute}, {RZ_WAVE_START_SECOND, 0},
      {RZ_WAVE_MAINS_FREQUENCY, 50}};
  for (const auto& w : wave)
    if (DARARARSetWaveInfo(f, 0, w.first, w.second) != 1) return failed();
  DARARARSetWaveText(f, 0, RZ_WAVE_TEXT, "Synthetic PSG (razivera demo)");
  for (uint16_t c = 0; c < channels; ++c) {
    const bool ev = c == eventChannel;
    const std::string label = ev ? convention::kEventLabel : plans[c].label;
    const std::string unit = ev ? "" : plans[c].unit;
    DARARARSetFrameChInfo(f, 0, RZ_CHANNEL_NUMBER, c, c + 1u);
    DARARARSetFrameChInfo(f, 0, RZ_CHANNEL_SAMPLE_RATE, c, ev ? kEventRate : plans[c].rate);
    if (!ev && plans[c].timeConstant)
      DARARARSetFrameChInfo(f, 0, RZ_CHANNEL_FILTER_B, c, uint32_t(plans[c].timeConstant));
    DARARARSetFrameChText(f, 0, RZ_CHANNEL_LABEL, c, label.c_str());
    DARARARSetFrameChText(f, 0, RZ_CHANNEL_UNIT, c, unit.c_str());
  }
  if (DARARARCreateWaveInfo(f) == 0 || DARARARCreateFrameChInfo(f) == 0) return failed();
  if (!write_text_list(f, notes(plans, seconds))) return failed();
  std::vector<edf::Annotation> events;
  events.reserve(night.events().size());
  for (const synth::Event& e : night.events())
    events.push_back({e.onset, e.duration, synth::event_name(e.code)});
  uint32_t dropped = 0;
  if (!write_annotation_table(f, 0, events, dropped)) return failed();

  // The frames, one buffer at a time: each channel's samples picked in turn,
  // the event codes placed where they happen.
  if (DARARARCreateFrameBuf(f, uint16_t(batch)) == 0) return failed();
  std::vector<std::unique_ptr<synth::Generator>> gens;
  gens.reserve(plans.size());
  for (const ChannelPlan& p : plans) gens.push_back(synth::Generator::make(p, night));
  std::vector<int16_t> samples, codes;
  size_t nextEvent = 0;
  Progress bar(con, "demo", seconds);
  for (uint64_t t = 0; t < seconds; t += batch) {
    const uint32_t n = uint32_t(std::min<uint64_t>(batch, seconds - t));
    for (size_t c = 0; c < plans.size(); ++c) {
      samples.resize(size_t(n) * plans[c].rate);
      gens[c]->fill(samples.data(), samples.size());
      if (DARARARSetFramePointWaveEx(f, RZ_POINT_EVERY, 0, uint16_t(n), uint16_t(c), 2, samples.data()) != n)
        return failed();
    }
    codes.assign(size_t(n) * baseRate, 0);
    const std::vector<synth::Event>& ev = night.events();
    for (; nextEvent < ev.size() && ev[nextEvent].onset < double(t + n); ++nextEvent) {
      // Two events at one instant take neighbouring input samples; the event
      // channel then shows them one after the other.
      size_t at =
          std::min(size_t(std::llround((ev[nextEvent].onset - double(t)) * baseRate)), codes.size() - 1);
      while (at + 1 < codes.size() && codes[at] != 0) ++at;
      codes[at] = int16_t(ev[nextEvent].code);
    }
    if (DARARARSetFramePointEvent(f, 0, uint16_t(n), eventChannel, 2, 1, codes.data()) != n ||
        !save_frames(f, uint16_t(n), frameBytes))
      return failed();
    // Keep the stored frame count current, as a recorder does for readers
    // that follow the growing file.
    DARARARUpdateWaveInfo(f, uint32_t((t + n) * baseRate));
    bar.update(t + n);
  }

  Hypnogram hyp;
  hyp.stages = night.hypnogram();
  hyp.epochSeconds = convention::kEpochSeconds;
  hyp.sleepOnset = night.sleep_onset();
  hyp.firstRem = night.first_rem();
  hyp.lastSleep = night.last_sleep();
  hyp.text = stage_key();
  if (!write_hypnogram(f, hyp) || DARARAREndRecordWave(f) == 0 || !h.close()) return failed();
  if (!target.commit(error)) return input_error(con, out, error);
  bar.finish();
  // With the recording on standard output, the summary goes to the error stream.
  std::ostream& report = is_stdout_path(out) ? con.err : con.out;
  report << strf("%s: %u channels (%zu signals and the event channel), %s, %zu events, %zu epochs scored\n",
                 output_name(out).c_str(), channels, plans.size(), clock_text(seconds).c_str(),
                 events.size() - dropped, hyp.stages.size());
  return kExitOk;
}

int run_demo(const Args& args, Console& con) {
  const CommandSpec& syntax = command("demo");
  DemoOptions o;
  uint64_t v = 0;
  if (const std::string* s = args.value("--hours")) {
    if (!parse_real(*s, 0, 72, o.hours))
      return usage_error(syntax, con, "--hours wants a number of hours up to 72");
  }
  if (const std::string* s = args.value("--channels")) {
    if (!parse_uint(*s, 1, 255, v)) return usage_error(syntax, con, "--channels wants a number from 1 to 255");
    o.channels = uint32_t(v);
  }
  o.big = args.has("--big-endian");
  std::string why;
  if (!demo_fits(o, why)) return usage_error(syntax, con, why);
  return write_demo(args.arg(0), o, con);
}

}  // namespace tool
