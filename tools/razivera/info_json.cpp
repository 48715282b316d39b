// info --json: what info prints, as one JSON document for scripts.  The
// shape is described in the README ("razivera info FILE --json"); every
// event of the table is listed, not only the first ones.
#include <map>
#include <vector>

#include "commands.h"
#include "conventions.h"
#include "info.h"
#include "items.h"
#include "json.h"
#include "format/layout.h"
#include "recording.h"
#include "sleep.h"
#include "structure.h"
#include "tables.h"
#include "text.h"
#include "window.h"

namespace tool {
namespace {

using namespace rz;
using namespace rz::container;

constexpr uint32_t kMaxEventEntries = 0xFFFF;
constexpr size_t kEntryBytesShown = 8;

// Members joined into an object.
class Object {
 public:
  Object& add(const std::string& key, const std::string& value) {
    text_ += (text_.empty() ? "" : ",") + json::str(key) + ":" + value;
    return *this;
  }
  std::string str() const { return "{" + text_ + "}"; }

 private:
  std::string text_;
};

std::string array(const std::vector<std::string>& items) {
  std::string s;
  for (const std::string& i : items) s += (s.empty() ? "" : ",") + i;
  return "[" + s + "]";
}

std::string events_json(HGLOBAL h, uint32_t record, const RecordDesc* rec) {
  uint32_t head[RZ_FIND_HEAD_WORDS] = {};
  if (RAZIVERAFindIndexPtr(h, uint16_t(record), kEventTable, 0, head) == 0) return "null";
  const std::vector<edf::Annotation> notes = read_annotation_table(h, record);
  Object o;
  o.add("table_id", json::num(head[item::kHeadId]));
  if (!notes.empty() ||
      (head[item::kHeadId] == convention::kAnnotationTableId && head[item::kHeadCount] == 0)) {
    std::map<std::string, size_t> kinds;
    for (const edf::Annotation& a : notes) ++kinds[a.text];
    Object k;
    for (const auto& e : kinds) k.add(e.first, json::num(uint64_t(e.second)));
    std::vector<std::string> list;
    list.reserve(notes.size());
    for (const edf::Annotation& a : notes) {
      RecordDesc none;
      list.push_back(Object()
                         .add("clock", json::str(clock_at(rec ? *rec : none, a.onset)))
                         .add("onset", json::num(a.onset))
                         .add("duration", json::num(a.duration))
                         .add("text", json::str(a.text))
                         .str());
    }
    return o.add("count", json::num(uint64_t(notes.size())))
        .add("kinds", k.str())
        .add("list", array(list))
        .str();
  }
  // A table of another writer: its values and first data bytes.
  const int32_t n = DARARARReadEventInfo(h, uint16_t(record));
  o.add("count", json::num(n)).add("entry_bytes", json::num(head[item::kHeadFirstEntrySize]));
  std::vector<std::string> entries;
  for (int32_t i = 1; i <= n && uint32_t(i) <= kMaxEventEntries; ++i) {
    uint32_t value = 0;
    uint8_t data[RZ_EVENT_DATA_MAX] = {};
    if (DARARARGetEventTableInfo(h, uint16_t(record), uint16_t(i), &value, data) != 1) break;
    std::vector<std::string> bytes;
    for (size_t k = 0; k < kEntryBytesShown && k + kEntryBytesShown < head[item::kHeadFirstEntrySize]; ++k)
      bytes.push_back(json::num(uint32_t(data[k])));
    entries.push_back(Object().add("value", json::num(value)).add("data", array(bytes)).str());
  }
  return o.add("entries", array(entries)).str();
}

std::vector<std::string> text_entries(HGLOBAL h, HGLOBAL buf, uint32_t n) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < n && i < convention::kTextListCapacity; ++i) {
    char text[RZ_TEXT_BUFFER_ROOM] = {};
    const uint32_t packed = RAZIVERAGetTextBuffer(h, buf, int32_t(i), text);
    out.push_back(Object().add("id", json::num(packed & 0xFFFF)).add("text", json::str(text)).str());
  }
  return out;
}

// The record's other chunks, as info lists them.
void other_chunks(HGLOBAL h, const std::string& path, uint32_t record, Object& o) {
  std::vector<std::string> texts, values, data, nonLinear;
  FileSource src;
  if (src.open(path)) {
    Findings ignored;
    const FileView v = walk_structure(src, ignored);
    for (const ChunkView& c :
         record < v.records.size() ? v.records[record].chunks : std::vector<ChunkView>()) {
      if (c.truncated) continue;
      const uint16_t type = uint16_t(c.type), id = uint16_t(c.id);
      const char* name = chunk_type_name(c.type);
      if (c.type == kUserText || (!name && c.type <= 0xFFFF)) {
        const uint32_t count = DARARARGetUserDataNum(h, record, type, id);
        if (c.type != kUserText && user_data::head::kHeadSize + uint64_t(count) * 4 == c.size) {
          values.push_back(Object()
                               .add("type", json::num(c.type))
                               .add("id", json::num(c.id))
                               .add("count", json::num(count))
                               .str());
          continue;
        }
        HGLOBAL buf = RAZIVERACreateTextBuffer(convention::kTextListCapacity);
        if (!buf) continue;
        const uint32_t n = c.type == kUserText ? DARARARReadUserText(h, buf, record, id)
                                               : DARARARReadTextInfo(h, buf, record, type);
        texts.push_back(Object()
                            .add("kind", json::str(c.type == kUserText ? "user text list" : "list of type"))
                            .add("type", json::num(c.type))
                            .add("id", json::num(c.id))
                            .add("entries", array(text_entries(h, buf, n)))
                            .str());
        GlobalFree(buf);
      } else if (c.type >= kUserByte && c.type <= kUserFloat) {
        data.push_back(Object()
                           .add("type", json::str(name))
                           .add("id", json::num(c.id))
                           .add("elements", json::num(DARARARGetUserDataNum(h, record, type, id)))
                           .str());
      } else if (c.type == kNonLinearInfo) {
        nonLinear.push_back(json::num(c.id));
      }
    }
  }
  o.add("texts", array(texts)).add("user_values", array(values)).add("user_data", array(data));
  o.add("non_linear_channels", array(nonLinear));
}

std::string channel(const RecordDesc& r, const ChannelDesc& c) {
  Object o;
  o.add("index", json::num(c.index + 1)).add("number", json::num(c.number));
  o.add("label", json::str(c.label)).add("unit", json::str(c.unit)).add("rate", json::num(c.rate));
  o.add("filter_a", json::num(c.filterA)).add("filter_b", json::num(c.filterB));
  const Calibration& k = c.calibration;
  o.add("calibration", k.present ? Object()
                                       .add("digital_min", json::num(k.digitalMin))
                                       .add("digital_max", json::num(k.digitalMax))
                                       .add("physical_min", json::num(k.physicalMin))
                                       .add("physical_max", json::num(k.physicalMax))
                                       .str()
                                 : "null");
  return o.add("event_channel", json::boolean(int(c.index) == r.event_channel())).str();
}

std::string record_json(HGLOBAL h, const std::string& path, uint32_t index,
                        std::vector<std::string>& problems) {
  Object o;
  o.add("index", json::num(index));
  RecordDesc r;
  if (!read_record(h, index, r)) {
    o.add("wave_information", "false").add("events", events_json(h, index, nullptr));
    other_chunks(h, path, index, o);
    return o.str();
  }
  o.add("wave_information", "true");
  std::string problem;
  const bool sound = check_frames(path, r, problem);
  const bool dated = !(r.year == 0 && r.month == 0 && r.day == 0);
  o.add("start", Object()
                     .add("year", json::num(r.year))
                     .add("month", json::num(r.month))
                     .add("day", json::num(r.day))
                     .add("hour", json::num(r.hour))
                     .add("minute", json::num(r.minute))
                     .add("second", json::num(r.second))
                     .add("dated", json::boolean(dated))
                     .str());
  if (r.hasFrames) {
    const bool truncated = sound && r.framesPresent < r.frames;
    o.add("frames", Object()
                        .add("count", json::num(r.frames))
                        .add("seconds", json::num(r.frameSeconds))
                        .add("bytes", json::num(r.frameBytes))
                        .add("duration_seconds", json::num(r.seconds()))
                        .add("wave_frames", json::num(r.waveFrames))
                        .add("truncated", json::boolean(truncated))
                        .add("frames_present", sound ? json::num(r.framesPresent) : "null")
                        .add("file_end", sound ? json::num(r.fileEnd) : "null")
                        .str());
    if (truncated)
      problems.push_back(
          strf("record %u is truncated: its frame information claims %u frames, the file holds %u "
               "whole frames and ends at offset %llu",
               index, r.frames, r.framesPresent, llu(r.fileEnd)));
  } else {
    o.add("frames", "null");
  }
  if (!sound) problems.push_back(problem);
  o.add("channel_count", json::num(r.channelCount)).add("base_rate", json::num(r.baseRate));
  o.add("mains", r.mains ? json::num(r.mains) : "null").add("code", json::num(r.code));
  o.add("text", json::str(r.text));
  std::vector<std::string> channels;
  channels.reserve(r.channels.size());
  for (const ChannelDesc& c : r.channels) channels.push_back(channel(r, c));
  o.add("channels", array(channels)).add("events", events_json(h, index, &r));
  other_chunks(h, path, index, o);
  return o.str();
}

std::string score_json(HGLOBAL h, uint32_t records) {
  ScoreTableSummary t;
  if (!read_score_table(h, records, t)) return "null";
  Object o;
  o.add("record", json::num(t.record)).add("id", json::num(t.id)).add("entries", json::num(t.entries));
  o.add("setting_2", json::num(t.setting2));
  o.add("setting_3", json::num(t.epochSeconds));
  for (uint16_t i = RZ_SCORE_INDEX4; i <= RZ_SCORE_INDEX6; ++i) {
    const uint32_t k = i - RZ_SCORE_INDEX4;
    o.add(strf("index_%u", i), t.indexSet[k] ? json::num(t.index[k]) : "null");
  }
  o.add("text", t.hasText ? json::str(t.text) : "null");
  o.add("hypnogram", json::boolean(t.hypnogram));
  std::vector<std::string> values;
  for (const auto& c : t.counts) {
    const bool stage = t.hypnogram && stage_index(c.first) != SleepFigures::kUnscored;
    values.push_back(Object()
                         .add("value", json::num(c.first))
                         .add("stage", stage ? json::str(kStageNames[stage_index(c.first)]) : "null")
                         .add("count", json::num(c.second))
                         .add("seconds", t.hypnogram ? json::num(uint64_t(c.second) * t.epochSeconds) : "null")
                         .str());
  }
  return o.add("values", array(values)).str();
}

}  // namespace

int run_info_json(const Args& args, Console& con) {
  const std::string& path = args.arg(0);
  const std::string problem = recording_problem(path);
  if (!problem.empty()) return input_error(con, path, problem);
  RAZIVERAGetErrorInfo(2, nullptr);
  Handle h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  if (!h) return input_error(con, path, open_error_text());
  const uint32_t records = RAZIVERAGetInfo(h.get(), RZ_INFO_RECORD_COUNT);
  constexpr char kLetters[] = "SJE";
  const uint32_t letter = RAZIVERAGetInfo(h.get(), RZ_INFO_HEADER_LETTER);
  Object format;
  format.add("name", json::str("VOZO-PSG File Format"))
      .add("version", json::num(RAZIVERAGetInfo(h.get(), RZ_INFO_FORMAT_VERSION)))
      .add("byte_order", json::str(RAZIVERAGetInfo(h.get(), RZ_INFO_BYTE_ORDER) ? "big" : "little"))
      .add("header_code", json::num(RAZIVERAGetInfo(h.get(), RZ_INFO_HEADER_CODE)))
      .add("letter", json::str(letter < sizeof kLetters - 1 ? std::string(1, kLetters[letter]) : "-"));
  std::vector<std::string> problems, recs;
  for (uint32_t r = 0; r < records; ++r) recs.push_back(record_json(h.get(), path, r, problems));
  std::vector<std::string> quoted;
  quoted.reserve(problems.size());
  for (const std::string& p : problems) quoted.push_back(json::str(p));
  Object doc;
  doc.add("file", json::str(path)).add("format", format.str()).add("record_count", json::num(records));
  doc.add("records", array(recs)).add("score_table", score_json(h.get(), records));
  doc.add("problems", array(quoted));
  con.out << doc.str() << "\n";
  for (const std::string& p : problems) con.err << "razivera: " << path << ": " << p << "\n";
  return problems.empty() ? kExitOk : kExitBadInput;
}

}  // namespace tool
