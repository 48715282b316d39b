// A synthetic night for the demo recording: a hypnogram of 30-second epochs,
// the events a scorer would mark (arousals, apneas, hypopneas, desaturations,
// limb movements, lights off and on), and generators that turn them into
// signals at each channel's own rate - EEG with alpha, theta, delta, spindles
// and K-complexes, EOG with blinks, slow and rapid eye movements, chin and leg
// EMG, ECG, airflow, breathing effort and SpO2.  Everything follows from a
// fixed seed, so the same length and montage always give the same samples.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tool::synth {

// Event codes of the event channel.
enum EventCode : uint16_t {
  kLightsOff = 1,
  kLightsOn = 2,
  kArousal = 3,
  kApnea = 4,
  kHypopnea = 5,
  kDesaturation = 6,
  kLimbMovement = 7,
};
const char* event_name(uint16_t code);

struct Event {
  uint16_t code;
  double onset;     // seconds from the start, in tenths
  double duration;  // seconds, in tenths
};

enum class Kind { kEeg, kEog, kChinEmg, kLegEmg, kEcg, kFlow, kThorax, kAbdomen, kSpo2 };

// Where on the head an EEG electrode sits, which shapes its rhythms.
enum class Site { kFrontal, kCentral, kOccipital, kNone };

struct ChannelPlan {
  std::string label;
  std::string unit;
  uint32_t rate;
  Kind kind;
  Site site = Site::kNone;
  int side = 0;          // 0 left / E1, 1 right / E2
  int32_t timeConstant;  // filter setting, form B (ms); 0 for none
};

// The signal channels of an N-channel montage: the usual polysomnography
// montage in order, then further EEG channels when N asks for more.
std::vector<ChannelPlan> montage(uint32_t channels);

class Night {
 public:
  static constexpr uint32_t kSlotsPerSecond = 10;
  static constexpr uint32_t kEpochSeconds = 30;

  // Per tenth of a second: what is going on.
  enum SlotFlag : uint8_t {
    kInArousal = 1,
    kInApnea = 2,
    kInHypopnea = 4,
    kLimbLeft = 8,
    kLimbRight = 16,
  };
  struct Slot {
    uint8_t flags = 0;
    uint8_t spindle = 0;  // spindle envelope, 0 to 255
    uint8_t dip = 0;      // SpO2 below baseline, tenths of a percent
    double breath = 0;    // breathing phase, in cycles since the start
  };

  explicit Night(uint64_t seconds);
  uint64_t seconds() const { return seconds_; }
  const std::vector<uint32_t>& hypnogram() const { return stages_; }
  uint32_t stage_at_slot(uint64_t slot) const;
  const std::vector<Event>& events() const { return events_; }
  const std::vector<double>& kcomplexes() const { return kcomplexes_; }
  const Slot& slot(uint64_t i) const { return slots_[i < slots_.size() ? i : slots_.size() - 1]; }
  uint64_t slot_count() const { return slots_.size(); }
  // Epoch indexes of sleep onset, first REM and the last sleep; -1 when none.
  int sleep_onset() const;
  int first_rem() const;
  int last_sleep() const;

 private:
  void make_hypnogram(uint64_t seed);
  void make_events(uint64_t seed);
  void mark(double onset, double duration, uint8_t flag);
  void make_slots(uint64_t seed);

  uint64_t seconds_;
  std::vector<uint32_t> stages_;
  std::vector<Event> events_;
  std::vector<double> kcomplexes_;
  std::vector<std::pair<double, double>> spindles_;  // onset, duration
  std::vector<std::pair<Event, double>> desats_;     // event, depth in percent
  std::vector<Slot> slots_;
};

// Produces a channel's samples in order, a run at a time.
class Generator {
 public:
  virtual ~Generator() = default;
  // The next n samples.
  virtual void fill(int16_t* out, size_t n) = 0;
  static std::unique_ptr<Generator> make(const ChannelPlan& plan, const Night& night);
};

}  // namespace tool::synth
