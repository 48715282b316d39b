// The parts of info that describe a record's tables and texts: its event
// table, the text lists and user data it holds, and the file's score table.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "razivera.h"

namespace tool {

struct RecordDesc;

// The record's event table, text lists and user data; `rec` (may be null)
// gives the start time the event onsets are shown against.
void print_record_tables(HGLOBAL h, const std::string& path, uint32_t record, const RecordDesc* rec,
                         std::ostream& out);

// The score table, in whichever record holds it.
void print_file_tables(HGLOBAL h, uint32_t records, std::ostream& out);

}  // namespace tool
