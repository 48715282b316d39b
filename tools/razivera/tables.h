// The record's tables as this tool uses them: the event table of annotations
// and the text list of notes and kept EDF texts (see conventions.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "edf.h"
#include "razivera.h"

namespace tool {

using TextList = std::map<uint16_t, std::string>;

// The annotations of the record's event table, when this tool wrote it.
std::vector<edf::Annotation> read_annotation_table(HGLOBAL h, uint32_t record);

// Creates and writes the annotation table into the record being written.
// Annotations that the table cannot hold are left out and counted in
// `dropped`; texts longer than an entry holds are cut.  false when the
// library refused the table.
bool write_annotation_table(HGLOBAL h, uint32_t record, const std::vector<edf::Annotation>& list,
                            uint32_t& dropped);

// The record's text list of this tool's type; empty when it has none.
TextList read_text_list(HGLOBAL h, uint32_t record);

// Writes the text list into the record being written; false when refused.
bool write_text_list(HGLOBAL h, const TextList& texts);

// A hypnogram as the file's score table, written at the end of the record
// being written: one entry per epoch, the epoch length, the count of scored
// epochs, the epochs of sleep onset, first REM sleep and last sleep (-1 when
// none) and a text.  false when refused.
struct Hypnogram {
  std::vector<uint32_t> stages;
  uint32_t epochSeconds = 30;
  int sleepOnset = -1, firstRem = -1, lastSleep = -1;
  std::string text;
};
bool write_hypnogram(HGLOBAL h, const Hypnogram& hyp);

// The file's score table as info shows it: its id, entries and settings, the
// set entry indexes (RZ_SCORE_INDEX4 to RZ_SCORE_INDEX6) and its text, and
// how often each value occurs (in the first 2^20 entries).  A table of the
// hypnogram's id with an epoch length reads as a hypnogram.
struct ScoreTableSummary {
  uint32_t record = 0;
  uint32_t id = 0;
  int32_t entries = 0;
  uint32_t setting2 = 0;
  uint32_t epochSeconds = 0;  // setting 3
  bool indexSet[3] = {};
  uint32_t index[3] = {};
  bool hasText = false;
  std::string text;
  std::map<uint32_t, uint32_t> counts;
  bool hypnogram = false;
};
// false when the file has no score table.
bool read_score_table(HGLOBAL h, uint32_t records, ScoreTableSummary& out);

}  // namespace tool
