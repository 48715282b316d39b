// The sleep figures of a night from its hypnogram (the score table) and its
// scored events (the event table), as a sleep report states them.
//
// The scored period is the hypnogram's epochs from the first to the last.
//  - time in bed (TIB): the scored period;
//  - total sleep time (TST): epochs of N1, N2, N3 and REM;
//  - sleep efficiency: TST / TIB in percent;
//  - sleep onset latency: from the start of the scored period to the first
//    epoch of sleep;
//  - REM latency: from the first epoch of sleep to the first epoch of REM;
//  - wake after sleep onset (WASO): wake epochs from the first to the last
//    epoch of sleep;
//  - per stage: minutes, and percent of TST (wake: percent of TIB);
//  - per event kind: count, and index = count per hour of TST.  The
//    apnea-hypopnea index counts apneas of any type and hypopneas.
// Epochs of other values are unscored: in TIB, never sleep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edf.h"
#include "razivera.h"

namespace tool {

struct SleepFigures {
  bool scored = false;  // a hypnogram was found
  uint32_t epochSeconds = 0;
  std::vector<uint32_t> stages;  // the hypnogram, one value per epoch
  double tib = 0, tst = 0, efficiency = 0;
  double onsetLatency = -1, remLatency = -1;  // seconds; -1 when there is none
  double waso = 0;
  // Seconds in W, N1, N2, N3, REM and unscored.
  enum StageIndex { kW, kN1, kN2, kN3, kREM, kUnscored, kStageCount };
  double stageSeconds[kStageCount] = {};
  double recordSeconds = 0;  // the record's frames, for a night without a hypnogram

  struct Kind {
    std::string name;    // as the event table names it
    std::string family;  // "apnea", "hypopnea", "arousal", "desaturation", "limb movement" or ""
    uint32_t count = 0;
  };
  std::vector<Kind> kinds;  // in order of name
  uint32_t apneas = 0, hypopneas = 0, arousals = 0, desaturations = 0, limbMovements = 0;
  std::vector<edf::Annotation> events;

  // Events per hour of TST; negative when there is no sleep to count by.
  double per_hour(uint32_t count) const { return tst > 0 ? count * 3600.0 / tst : -1; }
};

extern const char* const kStageNames[SleepFigures::kStageCount];

// The stage index of a hypnogram value.
SleepFigures::StageIndex stage_index(uint32_t value);

// Reads the hypnogram (the first score table of id 1 with an epoch length)
// and record `record`'s event table, and works out the figures.
SleepFigures sleep_figures(HGLOBAL h, uint32_t records, uint32_t record, double recordSeconds);

}  // namespace tool
