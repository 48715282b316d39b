// Folder src/events/: the record's event table (event_table.cpp: the
// ...EventTable... and ...EventInfo calls; event_edit.cpp:
// DARARARChangeEventData, an event code rewritten in a stored frame) and the
// file's score table (score_table.cpp: the ...ScoreTable... and ...ScoreInfo
// calls).
//
// EventTable chunk (type 200): one per record, a fixed number of entries that
// each hold a value and a run of opaque data bytes.  The record's table block
// (RecordSlot::eventTable) holds exactly the bytes of the chunk, its words in
// host order, and is 64 bytes larger than its size word.
//
// The chunk's layout is rz::event_table in format/layout.h.
#pragma once

#include "format/layout.h"
