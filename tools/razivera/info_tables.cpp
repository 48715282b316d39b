#include <algorithm>
#include <map>

#include "conventions.h"
#include "info.h"
#include "items.h"
#include "format/layout.h"
#include "recording.h"
#include "structure.h"
#include "tables.h"
#include "text.h"

namespace tool {
namespace {

using namespace rz;
using namespace rz::container;

constexpr size_t kListed = 10;  // entries shown of a long table

std::string time_of_day(const RecordDesc* rec, double offset) {
  const uint64_t start = rec ? uint64_t(rec->hour) * 3600 + rec->minute * 60 + rec->second : 0;
  const uint64_t t = (start + uint64_t(offset)) % 86400;
  return strf("%02u:%02u:%02u", unsigned(t / 3600), unsigned(t / 60 % 60), unsigned(t % 60));
}

void print_event_table(HGLOBAL h, uint32_t record, const RecordDesc* rec, std::ostream& out) {
  uint32_t head[RZ_FIND_HEAD_WORDS] = {};
  if (RAZIVERAFindIndexPtr(h, uint16_t(record), kEventTable, 0, head) == 0) return;
  const std::vector<edf::Annotation> notes = read_annotation_table(h, record);
  if (!notes.empty() ||
      (head[item::kHeadId] == convention::kAnnotationTableId && head[item::kHeadCount] == 0)) {
    out << strf("  events      %zu in the event table (id %u)\n", notes.size(), head[item::kHeadId]);
    std::map<std::string, size_t> kinds;
    for (const edf::Annotation& a : notes) ++kinds[a.text];
    std::string line;
    for (const auto& k : kinds)
      line += strf("%s%s %zu", line.empty() ? "" : ", ", printable(k.first).c_str(), k.second);
    if (!line.empty()) out << "              " << line << "\n";
    for (size_t i = 0; i < notes.size() && i < kListed; ++i)
      out << strf("    %s  %9.1f s  %6.1f s  %s\n", time_of_day(rec, notes[i].onset).c_str(), notes[i].onset,
                  notes[i].duration, printable(notes[i].text).c_str());
    if (notes.size() > kListed) out << strf("    ... %zu more\n", notes.size() - kListed);
    return;
  }
  // A table of another writer: values and the first data bytes.
  const int32_t n = DARARARReadEventInfo(h, uint16_t(record));
  out << strf("  events      event table id %u: %d entries of %u bytes\n", head[item::kHeadId], n,
              head[item::kHeadFirstEntrySize]);
  for (int32_t i = 1; i <= n && size_t(i) <= kListed; ++i) {
    uint32_t value = 0;
    uint8_t data[RZ_EVENT_DATA_MAX] = {};
    if (DARARARGetEventTableInfo(h, uint16_t(record), uint16_t(i), &value, data) != 1) break;
    std::string bytes;
    for (size_t k = 0; k < 8 && k + 8 < head[item::kHeadFirstEntrySize]; ++k) bytes += strf(" %02X", data[k]);
    out << strf("    %5d  value %u, data%s\n", i, value, bytes.c_str());
  }
  if (n > int32_t(kListed)) out << strf("    ... %d more\n", n - int32_t(kListed));
}

void print_text_buffer(HGLOBAL h, HGLOBAL buf, uint32_t n, std::ostream& out) {
  for (uint32_t i = 0; i < n; ++i) {
    char text[RZ_TEXT_BUFFER_ROOM] = {};
    const uint32_t packed = RAZIVERAGetTextBuffer(h, buf, int32_t(i), text);
    out << strf("    %5u  %s\n", packed & 0xFFFF, printable(text).c_str());
  }
}

// The chunks the record holds beyond its description and frames: text
// lists, user values and data, non-linear tables.
void print_other_chunks(HGLOBAL h, const std::string& path, uint32_t record, std::ostream& out) {
  FileSource src;
  if (!src.open(path)) return;
  Findings ignored;
  const FileView v = walk_structure(src, ignored);
  if (record >= v.records.size()) return;
  for (const ChunkView& c : v.records[record].chunks) {
    if (c.truncated) continue;
    const uint16_t type = uint16_t(c.type), id = uint16_t(c.id);
    const char* name = chunk_type_name(c.type);
    if (c.type == kUserText || (!name && c.type <= 0xFFFF)) {
      const uint32_t count = DARARARGetUserDataNum(h, record, type, id);
      if (c.type != kUserText && user_data::head::kHeadSize + uint64_t(count) * 4 == c.size) {
        out << strf("  user values type %u, id %u: %u values\n", c.type, c.id, count);
        continue;
      }
      HGLOBAL buf = RAZIVERACreateTextBuffer(convention::kTextListCapacity);
      if (!buf) continue;
      const uint32_t n = c.type == kUserText ? DARARARReadUserText(h, buf, record, id)
                                             : DARARARReadTextInfo(h, buf, record, type);
      out << strf("  texts       %s %u, id %u: %u entries\n",
                  c.type == kUserText ? "user text list" : "list of type",
                  c.type == kUserText ? c.id : c.type, c.id, n);
      print_text_buffer(h, buf, n, out);
      GlobalFree(buf);
    } else if (c.type >= kUserByte && c.type <= kUserFloat) {
      out << strf("  user data   %s id %u: %u elements\n", name, c.id,
                  DARARARGetUserDataNum(h, record, type, id));
    } else if (c.type == kNonLinearInfo) {
      out << strf("  non-linear  table of channel %u\n", c.id);
    }
  }
}

const char* stage_name(uint32_t v) {
  switch (v) {
    case convention::kWake: return "W";
    case convention::kN1: return "N1";
    case convention::kN2: return "N2";
    case convention::kN3: return "N3";
    case convention::kRem: return "REM";
    default: return nullptr;
  }
}

}  // namespace

void print_record_tables(HGLOBAL h, const std::string& path, uint32_t record, const RecordDesc* rec,
                         std::ostream& out) {
  print_event_table(h, record, rec, out);
  print_other_chunks(h, path, record, out);
}

void print_file_tables(HGLOBAL h, uint32_t records, std::ostream& out) {
  ScoreTableSummary t;
  if (!read_score_table(h, records, t)) return;
  out << strf("\nscore table (record %u, id %u)\n", t.record, t.id);
  out << strf("  entries     %d; settings 2 = %u, 3 = %u", t.entries, t.setting2, t.epochSeconds);
  for (uint16_t i = RZ_SCORE_INDEX4; i <= RZ_SCORE_INDEX6; ++i) {
    const uint32_t k = i - RZ_SCORE_INDEX4;
    if (t.indexSet[k]) out << strf(", %u = entry %u", i, t.index[k]);
  }
  out << "\n";
  if (t.hasText) out << "  text        \"" << printable(t.text) << "\"\n";
  // How often each value occurs; for a hypnogram, the time in each stage.
  std::string line;
  for (const auto& c : t.counts) {
    const char* stage = t.hypnogram ? stage_name(c.first) : nullptr;
    line += line.empty() ? "" : ", ";
    line += stage ? strf("%s %u (%s)", stage, c.second, clock_text(uint64_t(c.second) * t.epochSeconds).c_str())
                  : strf("%u x %u", c.first, c.second);
  }
  if (!line.empty()) out << "  " << (t.hypnogram ? "stages      " : "values      ") << line << "\n";
}

}  // namespace tool
