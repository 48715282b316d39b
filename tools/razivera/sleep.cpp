#include "sleep.h"

#include <algorithm>
#include <map>

#include "conventions.h"
#include "items.h"
#include "format/layout.h"
#include "tables.h"
#include "text.h"

namespace tool {
namespace {

constexpr uint32_t kMaxEpochs = 1u << 20;    // far beyond any night's epochs
constexpr uint32_t kMaxEpochSeconds = 3600;  // an epoch longer than an hour is no hypnogram

std::string family_of(const std::string& name) {
  std::string n = name;
  for (char& ch : n) ch = char(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  const auto has = [&](const char* word) { return n.find(word) != std::string::npos; };
  if (has("hypopnea")) return "hypopnea";
  if (has("apnea")) return "apnea";
  if (has("arousal")) return "arousal";
  if (has("desat")) return "desaturation";
  if (has("limb") || has("leg movement") || has("plm")) return "limb movement";
  return "";
}

bool read_hypnogram(HGLOBAL h, uint32_t records, SleepFigures& f) {
  for (uint32_t r = 0; r < records; ++r) {
    uint32_t head[RZ_FIND_HEAD_WORDS] = {};
    if (RAZIVERAFindIndexPtr(h, uint16_t(r), rz::container::kScoreTable, 0, head) == 0) continue;
    const int32_t n = DARARARReadScoreInfo(h, uint16_t(r), 0);
    uint32_t epoch = 0;
    DARARARGetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, &epoch);
    if (head[item::kHeadId] != convention::kHypnogramId || epoch == 0 || epoch > kMaxEpochSeconds || n <= 0)
      return false;
    f.epochSeconds = epoch;
    for (int32_t i = 0; i < n && uint32_t(i) < kMaxEpochs; ++i) {
      uint32_t v = 0;
      if (DARARARGetScoreTableInfo(h, RZ_SCORE_ENTRY_ALL, i, &v) != 1) break;
      f.stages.push_back(v);
    }
    return !f.stages.empty();
  }
  return false;
}

}  // namespace

const char* const kStageNames[SleepFigures::kStageCount] = {"W", "N1", "N2", "N3", "REM", "unscored"};

SleepFigures::StageIndex stage_index(uint32_t value) {
  switch (value) {
    case convention::kWake: return SleepFigures::kW;
    case convention::kN1: return SleepFigures::kN1;
    case convention::kN2: return SleepFigures::kN2;
    case convention::kN3: return SleepFigures::kN3;
    case convention::kRem: return SleepFigures::kREM;
    default: return SleepFigures::kUnscored;
  }
}

SleepFigures sleep_figures(HGLOBAL h, uint32_t records, uint32_t record, double recordSeconds) {
  SleepFigures f;
  f.recordSeconds = recordSeconds;
  f.scored = read_hypnogram(h, records, f);
  if (f.scored) {
    const double epoch = f.epochSeconds;
    int first = -1, last = -1, firstRem = -1;
    for (size_t i = 0; i < f.stages.size(); ++i) {
      const SleepFigures::StageIndex s = stage_index(f.stages[i]);
      f.stageSeconds[s] += epoch;
      const bool asleep = s != SleepFigures::kW && s != SleepFigures::kUnscored;
      if (asleep) {
        if (first < 0) first = int(i);
        last = int(i);
      }
      if (s == SleepFigures::kREM && firstRem < 0) firstRem = int(i);
    }
    f.tib = double(f.stages.size()) * epoch;
    f.tst = f.tib - f.stageSeconds[SleepFigures::kW] - f.stageSeconds[SleepFigures::kUnscored];
    f.efficiency = f.tib > 0 ? 100.0 * f.tst / f.tib : 0;
    if (first >= 0) {
      f.onsetLatency = first * epoch;
      for (int i = first; i <= last; ++i)
        if (stage_index(f.stages[size_t(i)]) == SleepFigures::kW) f.waso += epoch;
    }
    if (firstRem >= 0 && first >= 0) f.remLatency = (firstRem - first) * epoch;
  }
  f.events = read_annotation_table(h, record);
  std::map<std::string, uint32_t> counts;
  for (const edf::Annotation& a : f.events) ++counts[a.text];
  for (const auto& c : counts) {
    SleepFigures::Kind k{c.first, family_of(c.first), c.second};
    if (k.family == "apnea") f.apneas += k.count;
    if (k.family == "hypopnea") f.hypopneas += k.count;
    if (k.family == "arousal") f.arousals += k.count;
    if (k.family == "desaturation") f.desaturations += k.count;
    if (k.family == "limb movement") f.limbMovements += k.count;
    f.kinds.push_back(k);
  }
  return f;
}

}  // namespace tool
