// The fault seam: every allocation, lock, read, write and seek of the platform
// layer asks it first, so that tests can make the n-th call fail outright or
// (reads and writes) fall short.  Calls are counted only once a test has armed
// or reset the seam; before that (in every application) a call costs one
// relaxed load, not an atomic increment on a counter all threads share.
#pragma once

#include <cstdint>

namespace rz::plat::faults {

enum class Op { Alloc = 0, Lock, Read, Write, Seek };
constexpr int kOpCount = 5;

// From now on, the nth call (1-based, counted from this arm) of op fails.
// keep >= 0 lets a read or write transfer that many bytes before falling
// short; keep < 0 fails it outright.  sticky makes every later call fail too
// (a disk that stays full).
void arm(Op op, uint64_t nth, int32_t keep = -1, bool sticky = false);
// Disarms every op and resets the call counters.
void reset();
// Calls of op since the last reset or arm of that op.
uint64_t calls(Op op);

// For the platform layer: true when this call must fail; *keep receives the
// bytes a read or write may still transfer (negative: none, fail outright).
bool hit(Op op, int32_t* keep);

}  // namespace rz::plat::faults
