// What the tool knows about the interface's results beyond the public names
// (razivera_codes.h): how many characters the file keeps of a text, and where
// an event table's head words sit in what RAZIVERAFindIndexPtr hands out.
#pragma once

#include <cstddef>

namespace tool::item {

constexpr size_t kWaveTextKept = 31;  // characters of the record text the file keeps
constexpr size_t kTextKept = 15;      // characters of a channel text the file keeps

// RAZIVERAFindIndexPtr's head words of an event table: the id, the count and
// the first entry's size.
enum HeadWord { kHeadId = 2, kHeadCount = 4, kHeadFirstEntrySize = 6 };

}  // namespace tool::item
