// Signal type names: the short display name of the kind of signal a channel
// carries.  Constant strings of the library; no handle, no file.
#include <cstdint>
#include <cstring>

#include "razivera.h"

namespace {

// Names by signal type code; nullptr where a code has no name.  The longest
// has 8 characters, so the caller's 9 bytes always hold name and NUL.
constexpr const char* kNames[] = {
    "OFF",  "EVENT", "MARK1", "MARK2",    "EEG",   "EOG",   "EMG", "ECG",
    "Resp", "Temp",  "Pressure", "SaO2",  "Audio", "Pulse", "GSR", "POS",
    "Analysis", nullptr, nullptr, nullptr, "EXT",
};
constexpr uint16_t kCodeCount = sizeof kNames / sizeof kNames[0];
static_assert(kCodeCount == RZ_SIGNAL_EXT + 1, "one name per code up to the last");

constexpr uint16_t kOxygenSaturation = RZ_SIGNAL_SAO2;
constexpr uint16_t kSkinResponse = RZ_SIGNAL_GSR;
constexpr uint32_t kFlagSpO2 = RZ_SIGNAL_NAME_SPO2;  // SaO2 as "SpO2"
constexpr uint32_t kFlagEDA = RZ_SIGNAL_NAME_EDA;    // GSR as "EDA"

const char* plain_name(uint16_t code) { return code < kCodeCount ? kNames[code] : nullptr; }

uint16_t put_name(const char* found, char* name) {
  if (!name) return 0;
  name[0] = '\0';
  if (!found) return 0;
  const size_t n = std::strlen(found);
  std::memcpy(name, found, n + 1);
  return uint16_t(n);
}

}  // namespace

extern "C" {

RZ_PUBLIC uint16_t RZAPI DARARARGetSignalTypeName(uint16_t code, char* name) {
  return put_name(plain_name(code), name);
}

// The extended names differ from the plain ones only where a flag asks for
// the alternative term; code 16 is "Analysis" in both.
RZ_PUBLIC uint16_t RZAPI DARARARGetSignalTypeNameEx(uint32_t nameFlags, uint16_t code,
                                                    char* name) {
  const char* found = plain_name(code);
  if (code == kOxygenSaturation && (nameFlags & kFlagSpO2)) found = "SpO2";
  if (code == kSkinResponse && (nameFlags & kFlagEDA)) found = "EDA";
  return put_name(found, name);
}

}  // extern "C"
