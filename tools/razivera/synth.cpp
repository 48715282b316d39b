#include "synth.h"

#include <algorithm>
#include <cmath>

#include "conventions.h"

namespace tool::synth {
namespace {

using convention::kN1;
using convention::kN2;
using convention::kN3;
using convention::kRem;
using convention::kWake;

constexpr double kPi = 3.14159265358979323846;
constexpr uint64_t kSeed = 0x5EED0F51335ull;

// A small, fast generator of pseudo-random numbers (xorshift64*), seeded
// through splitmix64 so that nearby seeds give unrelated streams.
class Random {
 public:
  explicit Random(uint64_t seed) {
    uint64_t z = seed + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    s_ = (z ^ (z >> 31)) | 1;
  }
  uint64_t next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 0x2545F4914F6CDD1Dull;
  }
  double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  bool chance(double p) { return uniform() < p; }
  // Close to a standard normal value: the sum of four uniform values, scaled.
  double normal() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.7320508075688772; }

 private:
  uint64_t s_;
};

double tenths(double seconds) { return std::round(seconds * 10) / 10; }

// A sine oscillator advanced by rotation, with no sine call per sample.
class Oscillator {
 public:
  Oscillator(double hz, double rate, double phase) { set(hz, rate, phase); }
  void set(double hz, double rate, double phase) {
    c_ = std::cos(phase);
    s_ = std::sin(phase);
    dc_ = std::cos(2 * kPi * hz / rate);
    ds_ = std::sin(2 * kPi * hz / rate);
  }
  double step() {
    const double v = s_;
    const double c = c_ * dc_ - s_ * ds_;
    s_ = s_ * dc_ + c_ * ds_;
    c_ = c;
    if (++n_ == 4096) {  // keep the amplitude from drifting
      const double norm = 1 / std::sqrt(c_ * c_ + s_ * s_);
      c_ *= norm;
      s_ *= norm;
      n_ = 0;
    }
    return v;
  }

 private:
  double c_, s_, dc_, ds_;
  uint32_t n_ = 0;
};

// Follows a target value with a time constant, so that stage changes and
// events fade in and out instead of switching.
struct Smoother {
  double value = 0;
  double alpha = 1;
  Smoother(double seconds, double rate, double start)
      : value(start), alpha(1 - std::exp(-1 / (seconds * rate))) {}
  double step(double target) { return value += (target - value) * alpha; }
};

int16_t clamp16(double v) {
  const double r = std::round(v);
  return int16_t(r < -32768 ? -32768 : r > 32767 ? 32767 : r);
}

// The position of sample `i` of a `rate` Hz channel in the night's tenths of
// a second: the slot and how far into it.
struct Clock {
  uint32_t rate;
  uint64_t next = 0;
  uint64_t slot() const { return next * Night::kSlotsPerSecond / rate; }
  double frac() const { return double(next * Night::kSlotsPerSecond % rate) / rate; }
  double seconds() const { return double(next) / rate; }
};

// ---- The generators ---------------------------------------------------------

class EegGenerator : public Generator {
 public:
  EegGenerator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n),
        clock_{p.rate},
        rng_(seed),
        alpha_(10.0, p.rate, rng_.range(0, 6.28)),
        theta_(6.0, p.rate, rng_.range(0, 6.28)),
        delta_(0.8, p.rate, rng_.range(0, 6.28)),
        delta2_(1.7, p.rate, rng_.range(0, 6.28)),
        sigma_(13.0, p.rate, rng_.range(0, 6.28)),
        alphaAmp_(3, p.rate, 0),
        thetaAmp_(3, p.rate, 0),
        deltaAmp_(3, p.rate, 0),
        noiseAmp_(3, p.rate, 8) {
    switch (p.site) {
      case Site::kFrontal:
        alphaSite_ = 0.5;
        deltaSite_ = 1.25;
        spindleSite_ = 1.0;
        kSite_ = 1.2;
        break;
      case Site::kOccipital:
        alphaSite_ = 1.6;
        deltaSite_ = 0.8;
        spindleSite_ = 0.6;
        kSite_ = 0.7;
        break;
      default:
        alphaSite_ = 1.0;
        deltaSite_ = 1.0;
        spindleSite_ = 1.2;
        kSite_ = 1.0;
        break;
    }
  }

  void fill(int16_t* out, size_t n) override {
    // Amplitudes in microvolts by stage: alpha, theta, delta, background.
    static const double kAmp[6][4] = {{20, 4, 4, 8}, {4, 14, 8, 8}, {2, 8, 16, 8},
                                      {0, 6, 55, 8}, {0, 0, 0, 0},  {4, 12, 6, 7}};
    const std::vector<double>& kc = night_.kcomplexes();
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const uint64_t s = clock_.slot();
      const Night::Slot& slot = night_.slot(s);
      const double* a = kAmp[night_.stage_at_slot(s)];
      const bool arousal = slot.flags & Night::kInArousal;
      const double alpha = alphaAmp_.step((arousal ? 18 : a[0]) * alphaSite_);
      const double theta = thetaAmp_.step(a[1]);
      const double delta = deltaAmp_.step(arousal ? a[2] * 0.3 : a[2] * deltaSite_);
      const double bg = noiseAmp_.step(arousal ? a[3] * 1.6 : a[3]);
      noise_ = 0.9 * noise_ + 0.436 * rng_.normal();
      const double next = night_.slot(s + 1).spindle;
      const double spindle = (slot.spindle + (next - slot.spindle) * clock_.frac()) / 255.0;
      // Two slow waves beating against each other make the delta irregular.
      const double slow = 0.75 * delta_.step() + 0.55 * delta2_.step();
      double v = alpha * alpha_.step() + theta * theta_.step() + delta * slow + bg * noise_ +
                 18 * spindleSite_ * spindle * sigma_.step();
      // K-complexes: a sharp negative wave and a slower positive one.
      const double t = clock_.seconds();
      while (kIndex_ < kc.size() && kc[kIndex_] + 1.2 < t) ++kIndex_;
      if (kIndex_ < kc.size() && t >= kc[kIndex_]) {
        const double u = t - kc[kIndex_];
        v += kSite_ *
             (-75 * std::exp(-std::pow((u - 0.25) / 0.1, 2)) + 35 * std::exp(-std::pow((u - 0.6) / 0.15, 2)));
      }
      out[i] = clamp16(v);
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random rng_;
  Oscillator alpha_, theta_, delta_, delta2_, sigma_;
  Smoother alphaAmp_, thetaAmp_, deltaAmp_, noiseAmp_;
  double alphaSite_ = 1, deltaSite_ = 1, spindleSite_ = 1, kSite_ = 1;
  double noise_ = 0;
  size_t kIndex_ = 0;
};

// Both eye channels see the same movements with opposite polarity: their
// movement streams share one seed, their noise does not.
class EogGenerator : public Generator {
 public:
  EogGenerator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n),
        clock_{p.rate},
        moves_(kSeed ^ 0xE0Eull),
        noise_(seed),
        rolling_(0.25, p.rate, 0),
        leak_(1.1, p.rate, 0.4),
        polarity_(p.side == 0 ? 1 : -1),
        position_(0.04, p.rate, 0),
        rollingAmp_(4, p.rate, 0),
        leakAmp_(4, p.rate, 0) {}

  void fill(int16_t* out, size_t n) override {
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const double t = clock_.seconds();
      const uint64_t s = clock_.slot();
      const uint32_t stage = night_.stage_at_slot(s);
      const bool arousal = night_.slot(s).flags & Night::kInArousal;
      if (t >= nextMove_) {
        // Saccades while awake and in REM sleep; the eyes rest otherwise.
        if (stage == kWake || arousal) {
          target_ = moves_.range(-60, 60);
          nextMove_ = t + moves_.range(0.5, 3.0);
          if (moves_.chance(0.35)) blinkAt_ = t;
        } else if (stage == kRem) {
          target_ = moves_.chance(0.5) ? moves_.range(-120, 120) : target_ * 0.3;
          nextMove_ = t + moves_.range(0.2, 1.6);
        } else {
          target_ = 0;
          nextMove_ = t + 1;
        }
      }
      double v = position_.step(target_);
      const double b = t - blinkAt_;
      if (b >= 0 && b < 0.4) v += 110 * std::sin(kPi * b / 0.4);
      v += rollingAmp_.step(stage == kN1 ? 70 : 0) * rolling_.step();
      v *= polarity_;
      v += leakAmp_.step(stage == kN3   ? 25
                         : stage == kN2 ? 6
                                        : 0) *
           leak_.step();  // frontal EEG reaches both
      v += 4 * noise_.normal();
      out[i] = clamp16(v);
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random moves_, noise_;
  Oscillator rolling_, leak_;
  double polarity_;
  Smoother position_, rollingAmp_, leakAmp_;
  double target_ = 0, nextMove_ = 0, blinkAt_ = -10;
};

class EmgGenerator : public Generator {
 public:
  EmgGenerator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n),
        clock_{p.rate},
        rng_(seed),
        leg_(p.kind == Kind::kLegEmg),
        limbFlag_(p.side == 0 ? Night::kLimbLeft : Night::kLimbRight),
        amp_(leg_ ? 0.15 : 2.0, p.rate, 5) {}

  void fill(int16_t* out, size_t n) override {
    static const double kChin[6] = {12, 7, 5, 4, 0, 1.5};  // by stage; REM sleep is atonic
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const uint64_t s = clock_.slot();
      const Night::Slot& slot = night_.slot(s);
      double target;
      if (leg_) {
        target = (slot.flags & limbFlag_) ? 40 : 1.5;
      } else {
        target = kChin[night_.stage_at_slot(s)] * ((slot.flags & Night::kInArousal) ? 3 : 1);
      }
      out[i] = clamp16(amp_.step(target) * rng_.normal());
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random rng_;
  bool leg_;
  uint8_t limbFlag_;
  Smoother amp_;
};

class EcgGenerator : public Generator {
 public:
  EcgGenerator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n), clock_{p.rate}, rng_(seed), rate_(20, p.rate, 70) {
    // One beat around its R peak, from 0.25 s before to 0.45 s after.
    const double waves[5][3] = {{-0.16, 0.025, 150},
                                {-0.03, 0.010, -120},
                                {0, 0.011, 1200},
                                {0.035, 0.012, -260},
                                {0.26, 0.045, 320}};
    lead_ = uint32_t(0.25 * p.rate);
    const uint32_t len = lead_ + uint32_t(0.45 * p.rate);
    beat_.resize(len);
    for (uint32_t k = 0; k < len; ++k) {
      const double tau = (double(k) - lead_) / p.rate;
      double v = 0;
      for (const auto& w : waves) v += w[2] * std::exp(-std::pow((tau - w[0]) / w[1], 2));
      beat_[k] = v;
    }
    nextR_ = lead_;
  }

  void fill(int16_t* out, size_t n) override {
    static const double kBpm[6] = {72, 66, 60, 57, 0, 68};
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const uint64_t s = clock_.slot();
      const Night::Slot& slot = night_.slot(s);
      const double breath = std::sin(2 * kPi * slot.breath);
      const double bpm =
          rate_.step(kBpm[night_.stage_at_slot(s)] + ((slot.flags & Night::kInArousal) ? 12 : 0)) +
          3 * breath;
      const uint64_t k = clock_.next;
      if (k >= nextR_) {
        lastR_ = nextR_;
        nextR_ += uint64_t(clock_.rate * 60 / bpm * rng_.range(0.97, 1.03));
      }
      double v = 25 * breath + 6 * rng_.normal();  // baseline wander and noise
      if (k - lastR_ + lead_ < beat_.size()) v += beat_[k - lastR_ + lead_];
      if (k + lead_ >= nextR_ && k + lead_ - nextR_ < beat_.size()) v += beat_[k + lead_ - nextR_];
      out[i] = clamp16(v);
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random rng_;
  Smoother rate_;
  std::vector<double> beat_;
  uint32_t lead_ = 0;
  uint64_t lastR_ = 0, nextR_ = 0;
};

// Airflow and the two effort belts share the night's breathing phase.  In an
// obstructive apnea the flow stops while the chest and abdomen keep moving,
// in opposite directions.
class BreathGenerator : public Generator {
 public:
  BreathGenerator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n),
        clock_{p.rate},
        rng_(seed),
        kind_(p.kind),
        amp_(1.5, p.rate, 150),
        paradox_(3, p.rate, 0) {}

  void fill(int16_t* out, size_t n) override {
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const uint64_t s = clock_.slot();
      const Night::Slot& a = night_.slot(s);
      const Night::Slot& b = night_.slot(s + 1);
      const double phase = 2 * kPi * (a.breath + (b.breath - a.breath) * clock_.frac());
      const bool rem = night_.stage_at_slot(s) == kRem;
      double v = 0;
      if (kind_ == Kind::kFlow) {
        const double target = (a.flags & Night::kInApnea)      ? 6
                              : (a.flags & Night::kInHypopnea) ? 55
                              : rem                            ? 120
                                                               : 160;
        v = amp_.step(target) * (std::sin(phase) + 0.25 * std::sin(2 * phase)) + 3 * rng_.normal();
      } else {
        const double target = (a.flags & Night::kInApnea) ? 120 : rem ? 70 : 100;
        const double p = paradox_.step((a.flags & Night::kInApnea) ? 1 : 0);
        const double sign = kind_ == Kind::kAbdomen ? 1 - 2 * p : 1;
        v = amp_.step(target) * sign * std::sin(phase - (kind_ == Kind::kAbdomen ? 0.2 : 0)) +
            2 * rng_.normal();
      }
      out[i] = clamp16(v);
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random rng_;
  Kind kind_;
  Smoother amp_, paradox_;
};

class Spo2Generator : public Generator {
 public:
  Spo2Generator(const ChannelPlan& p, const Night& n, uint64_t seed)
      : night_(n), clock_{p.rate}, rng_(seed), drift_(0.002, p.rate, 0), dip_(4, p.rate, 0) {}

  void fill(int16_t* out, size_t n) override {
    for (size_t i = 0; i < n; ++i, ++clock_.next) {
      const double dip = dip_.step(night_.slot(clock_.slot()).dip / 10.0);
      // An oximeter reports whole percents.
      out[i] = clamp16(96.4 + 0.8 * drift_.step() - dip + 0.25 * rng_.normal());
    }
  }

 private:
  const Night& night_;
  Clock clock_;
  Random rng_;
  Oscillator drift_;
  Smoother dip_;
};

}  // namespace

const char* event_name(uint16_t code) {
  switch (code) {
    case kLightsOff: return "Lights off";
    case kLightsOn: return "Lights on";
    case kArousal: return "Arousal";
    case kApnea: return "Obstructive apnea";
    case kHypopnea: return "Hypopnea";
    case kDesaturation: return "Desaturation";
    case kLimbMovement: return "Limb movement";
    default: return "Event";
  }
}

std::vector<ChannelPlan> montage(uint32_t channels) {
  static const std::vector<ChannelPlan> kUsual = {
      {"F4-M1", "uV", 200, Kind::kEeg, Site::kFrontal, 1, 300},
      {"C4-M1", "uV", 200, Kind::kEeg, Site::kCentral, 1, 300},
      {"O2-M1", "uV", 200, Kind::kEeg, Site::kOccipital, 1, 300},
      {"F3-M2", "uV", 200, Kind::kEeg, Site::kFrontal, 0, 300},
      {"C3-M2", "uV", 200, Kind::kEeg, Site::kCentral, 0, 300},
      {"O1-M2", "uV", 200, Kind::kEeg, Site::kOccipital, 0, 300},
      {"E1-M2", "uV", 200, Kind::kEog, Site::kNone, 0, 300},
      {"E2-M2", "uV", 200, Kind::kEog, Site::kNone, 1, 300},
      {"Chin EMG", "uV", 500, Kind::kChinEmg, Site::kNone, 0, 30},
      {"ECG", "uV", 500, Kind::kEcg, Site::kNone, 0, 1000},
      {"Leg L EMG", "uV", 200, Kind::kLegEmg, Site::kNone, 0, 30},
      {"Leg R EMG", "uV", 200, Kind::kLegEmg, Site::kNone, 1, 30},
      {"Airflow", "", 100, Kind::kFlow, Site::kNone, 0, 3000},
      {"Thorax", "", 25, Kind::kThorax, Site::kNone, 0, 3000},
      {"Abdomen", "", 25, Kind::kAbdomen, Site::kNone, 0, 3000},
      {"SpO2", "%", 10, Kind::kSpo2, Site::kNone, 0, 0},
  };
  std::vector<ChannelPlan> out;
  for (uint32_t c = 0; c < channels; ++c) {
    if (c < kUsual.size()) {
      out.push_back(kUsual[c]);
    } else {
      static const Site kSites[3] = {Site::kFrontal, Site::kCentral, Site::kOccipital};
      out.push_back({"EEG " + std::to_string(c + 1), "uV", 200, Kind::kEeg, kSites[c % 3], int(c % 2), 300});
    }
  }
  return out;
}

// ---- The night -----------------------------------------------------------------

Night::Night(uint64_t seconds) : seconds_(seconds ? seconds : 1) {
  make_hypnogram(kSeed);
  make_events(kSeed + 1);
  make_slots(kSeed + 2);
}

uint32_t Night::stage_at_slot(uint64_t slot) const {
  const uint64_t e = slot / (uint64_t(kSlotsPerSecond) * kEpochSeconds);
  return stages_[e < stages_.size() ? e : stages_.size() - 1];
}

void Night::make_hypnogram(uint64_t seed) {
  Random rng(seed);
  const uint64_t epochs = (seconds_ + kEpochSeconds - 1) / kEpochSeconds;
  // Falling asleep takes about a tenth of the night, at most ten minutes;
  // then come cycles of about 90 minutes in which deep sleep shrinks and REM
  // sleep grows towards the morning, and the last minutes are awake again.
  const uint64_t latency = std::min<uint64_t>(20, std::max<uint64_t>(1, epochs / 10));
  const uint64_t wakeAtEnd = epochs > 240 ? 16 : 0;
  stages_.assign(epochs, kWake);
  uint64_t e = latency;
  for (int cycle = 0; e + wakeAtEnd < epochs; ++cycle) {
    const int n3 = std::max(0, 70 - 25 * cycle) + int(rng.range(0, 8));
    const int rem = std::min(50, 10 + 20 * cycle) + int(rng.range(0, 6));
    const std::pair<uint32_t, int> runs[] = {{kN1, 6 + int(rng.range(0, 6))},
                                             {kN2, 44 + int(rng.range(0, 14))},
                                             {kN3, n3},
                                             {kN2, 18 + int(rng.range(0, 10))},
                                             {kRem, rem}};
    for (const auto& run : runs) {
      for (int k = 0; k < run.second && e + wakeAtEnd < epochs; ++k, ++e) {
        uint32_t st = run.first;
        if (rng.chance(0.03))
          st = kWake;  // a brief awakening
        else if (st == kN2 && rng.chance(0.04))
          st = kN1;
        else if (st == kN3 && rng.chance(0.08))
          st = kN2;
        stages_[e] = st;
      }
    }
  }
}

void Night::make_events(uint64_t seed) {
  Random rng(seed);
  const double end = double(seconds_);
  auto add = [&](uint16_t code, double onset, double duration) {
    onset = tenths(onset);
    duration = tenths(duration);
    if (onset >= end) return;
    if (onset + duration > end) duration = tenths(end - onset);
    events_.push_back({code, onset, duration});
  };
  if (end > 120) add(kLightsOff, 60, 0);
  double busyUntil = 0, limbsUntil = 0;
  for (size_t e = 0; e < stages_.size(); ++e) {
    const uint32_t st = stages_[e];
    const double t0 = double(e) * kEpochSeconds;
    if (st == kWake) continue;
    // Spontaneous arousals, about ten an hour.
    if (rng.chance(0.08)) add(kArousal, t0 + rng.range(0, 27), rng.range(3, 14));
    // Breathing events in light and REM sleep, rarely in deep sleep.
    const double perEpoch = st == kRem ? 0.14 : st == kN3 ? 0.02 : 0.09;
    if (t0 >= busyUntil && rng.chance(perEpoch)) {
      const bool apnea = rng.chance(0.55);
      const double onset = t0 + rng.range(0, 20);
      const double duration = apnea ? rng.range(10, 32) : rng.range(12, 40);
      add(apnea ? kApnea : kHypopnea, onset, duration);
      if (apnea || rng.chance(0.7)) {
        const double depth = apnea ? rng.range(4, 9) : rng.range(3, 6);
        desats_.push_back(
            {{kDesaturation, tenths(onset + duration * 0.6), tenths(rng.range(20, 35))}, depth});
        add(kDesaturation, desats_.back().first.onset, desats_.back().first.duration);
      }
      if (rng.chance(0.6)) add(kArousal, onset + duration - 1, rng.range(3, 10));
      busyUntil = onset + duration + 15;
    }
    // A series of periodic limb movements now and then in light sleep.
    if ((st == kN1 || st == kN2) && t0 >= limbsUntil && rng.chance(0.03)) {
      double t = t0 + rng.range(0, 10);
      const int count = int(rng.range(8, 26));
      for (int k = 0; k < count; ++k) {
        add(kLimbMovement, t, rng.range(0.5, 5));
        t += rng.range(20, 40);
      }
      limbsUntil = t + 300;
    }
    // Spindles and K-complexes mark stage N2 (and some N3).
    const double spindles = st == kN2 ? 2.5 : st == kN3 ? 0.5 : 0;
    for (double k = rng.range(0, 1); k < spindles; k += 1)
      spindles_.push_back({t0 + rng.range(0, 29), rng.range(0.5, 1.5)});
    if (st == kN2 && rng.chance(0.6)) kcomplexes_.push_back(t0 + rng.range(0, 29));
  }
  if (end > 600) add(kLightsOn, end - 60, 0);
  std::stable_sort(events_.begin(), events_.end(),
                   [](const Event& a, const Event& b) { return a.onset < b.onset; });
  std::sort(kcomplexes_.begin(), kcomplexes_.end());
}

void Night::mark(double onset, double duration, uint8_t flag) {
  const uint64_t from = uint64_t(onset * kSlotsPerSecond);
  const uint64_t to = std::min<uint64_t>(slots_.size(), uint64_t((onset + duration) * kSlotsPerSecond));
  for (uint64_t s = from; s < to; ++s) slots_[s].flags |= flag;
}

void Night::make_slots(uint64_t seed) {
  Random rng(seed);
  slots_.assign(seconds_ * kSlotsPerSecond + 1, Slot());
  // Breathing: about 14 breaths a minute, faster and irregular in REM sleep.
  double phase = 0, wobble = 0;
  for (uint64_t s = 0; s < slots_.size(); ++s) {
    slots_[s].breath = phase;
    const uint32_t st = stage_at_slot(s);
    wobble = 0.98 * wobble + 0.02 * rng.normal();
    const double perMinute = (st == kWake ? 15 : st == kRem ? 16 + 6 * wobble : 13.5) + wobble;
    phase += perMinute / 60.0 / kSlotsPerSecond;
  }
  for (const Event& e : events_) {
    switch (e.code) {
      case kArousal: mark(e.onset, e.duration, kInArousal); break;
      case kApnea: mark(e.onset, e.duration, kInApnea); break;
      case kHypopnea: mark(e.onset, e.duration, kInHypopnea); break;
      case kLimbMovement: mark(e.onset, e.duration, rng.chance(0.5) ? kLimbLeft : kLimbRight); break;
      default: break;
    }
  }
  // Each desaturation falls for 40 % of its time and recovers in the rest.
  for (const auto& d : desats_) {
    const uint64_t from = uint64_t(d.first.onset * kSlotsPerSecond);
    const uint64_t len = std::max<uint64_t>(1, uint64_t(d.first.duration * kSlotsPerSecond));
    for (uint64_t k = 0; k < len && from + k < slots_.size(); ++k) {
      const double x = double(k) / len;
      const double shape = x < 0.4 ? x / 0.4 : (1 - x) / 0.6;
      const uint8_t dip = uint8_t(std::min(255.0, d.second * 10 * shape));
      slots_[from + k].dip = std::max(slots_[from + k].dip, dip);
    }
  }
  for (const auto& sp : spindles_) {
    const uint64_t from = uint64_t(sp.first * kSlotsPerSecond);
    const uint64_t len = std::max<uint64_t>(2, uint64_t(sp.second * kSlotsPerSecond));
    for (uint64_t k = 0; k <= len && from + k < slots_.size(); ++k) {
      const double env = 0.5 - 0.5 * std::cos(2 * kPi * double(k) / len);
      slots_[from + k].spindle = std::max(slots_[from + k].spindle, uint8_t(255 * env));
    }
  }
}

int Night::sleep_onset() const {
  for (size_t e = 0; e < stages_.size(); ++e)
    if (stages_[e] != kWake) return int(e);
  return -1;
}

int Night::first_rem() const {
  for (size_t e = 0; e < stages_.size(); ++e)
    if (stages_[e] == kRem) return int(e);
  return -1;
}

int Night::last_sleep() const {
  for (size_t e = stages_.size(); e-- > 0;)
    if (stages_[e] != kWake) return int(e);
  return -1;
}

std::unique_ptr<Generator> Generator::make(const ChannelPlan& p, const Night& night) {
  // Each channel's noise has its own stream.
  uint64_t seed = kSeed;
  for (char c : p.label) seed = seed * 131 + uint8_t(c);
  switch (p.kind) {
    case Kind::kEeg: return std::make_unique<EegGenerator>(p, night, seed);
    case Kind::kEog: return std::make_unique<EogGenerator>(p, night, seed);
    case Kind::kChinEmg:
    case Kind::kLegEmg: return std::make_unique<EmgGenerator>(p, night, seed);
    case Kind::kEcg: return std::make_unique<EcgGenerator>(p, night, seed);
    case Kind::kFlow:
    case Kind::kThorax:
    case Kind::kAbdomen: return std::make_unique<BreathGenerator>(p, night, seed);
    case Kind::kSpo2: return std::make_unique<Spo2Generator>(p, night, seed);
  }
  return nullptr;
}

}  // namespace tool::synth
