#include "platform/faults.h"

#include <atomic>

namespace rz::plat::faults {
namespace {

struct Rule {
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> nth{0};  // 0: disarmed
  std::atomic<int32_t> keep{-1};
  std::atomic<bool> sticky{false};
};

Rule g_rules[kOpCount];
// Set by the first arm or reset: from then on calls are counted.
std::atomic<bool> g_watched{false};

Rule& rule(Op op) { return g_rules[static_cast<int>(op)]; }

}  // namespace

void arm(Op op, uint64_t nth, int32_t keep, bool sticky) {
  g_watched.store(true);
  Rule& r = rule(op);
  r.nth.store(0);
  r.calls.store(0);
  r.keep.store(keep);
  r.sticky.store(sticky);
  r.nth.store(nth);
}

void reset() {
  g_watched.store(true);
  for (Rule& r : g_rules) {
    r.nth.store(0);
    r.calls.store(0);
    r.keep.store(-1);
    r.sticky.store(false);
  }
}

uint64_t calls(Op op) { return rule(op).calls.load(); }

bool hit(Op op, int32_t* keep) {
  if (!g_watched.load(std::memory_order_relaxed)) return false;
  Rule& r = rule(op);
  const uint64_t n = r.calls.fetch_add(1) + 1;
  const uint64_t target = r.nth.load(std::memory_order_relaxed);
  if (target == 0) return false;
  if (n == target || (n > target && r.sticky.load())) {
    if (keep) *keep = r.keep.load();
    return true;
  }
  return false;
}

}  // namespace rz::plat::faults
