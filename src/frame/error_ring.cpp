#include "frame/error_ring.h"

#include <mutex>

namespace rz::errors {
namespace {

constexpr uint16_t kSlots = 8;

struct ErrorRing {
  std::mutex mutex;
  uint32_t codes[kSlots] = {};
  uint16_t next = 0;
  uint16_t count = 0;
};

ErrorRing& ring() {
  static ErrorRing r;
  return r;
}

}  // namespace

void record(uint16_t code) {
  if (code == 0) return;
  ErrorRing& r = ring();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.codes[r.next] = code;
  r.next = uint16_t((r.next + 1) % kSlots);
  if (r.count < kSlots) ++r.count;
}

uint16_t take() {
  ErrorRing& r = ring();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.count == 0) return 0;
  const uint16_t i = r.next == 0 ? kSlots - 1 : uint16_t(r.next - 1);
  const uint16_t code = uint16_t(r.codes[i] & 0xFFFFu);
  --r.count;
  r.next = i;
  return code;
}

void clear() {
  ErrorRing& r = ring();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.count = 0;
  r.next = 0;
}

uint16_t held() {
  ErrorRing& r = ring();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.count;
}

}  // namespace rz::errors
