// The process-wide ring of the eight most recent error codes.  Only the open
// and the copy record codes; callers take them off newest first.  Internally
// synchronised, so handles may be opened from several threads.
#pragma once

#include <cstdint>

#include "razivera_codes.h"

namespace rz::errors {

constexpr uint16_t kNoBlock = RZ_ERROR_NO_BLOCK;  // the BioFile block cannot be allocated
constexpr uint16_t kNoLock = RZ_ERROR_NO_LOCK;  // the new BioFile block cannot be locked
constexpr uint16_t kNoWorkBuffer = RZ_ERROR_NO_WORK_BUFFER;  // the work buffer cannot be allocated
constexpr uint16_t kBadMagic = RZ_ERROR_BAD_MAGIC;  // the file does not start with the magic
constexpr uint16_t kBadVersion = RZ_ERROR_BAD_VERSION;  // the header's version is 300 or more

// Records a code; 0 changes nothing.
void record(uint16_t code);
// Takes the newest code off the ring; 0 when empty.
uint16_t take();
// Empties the ring.
void clear();
// Codes held, 0 to 8.
uint16_t held();

}  // namespace rz::errors
