#include "tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "conventions.h"
#include "format/layout.h"
#include "items.h"

namespace tool {
namespace {

using namespace convention;

constexpr uint32_t kEntryBytes = rz::event_table::entry::kHeadSize + kAnnotationDataSize;
constexpr size_t kMaxText = 255;
constexpr uint32_t kMaxEntries = 0xFFFF;  // entries are addressed by 16-bit numbers

// A text buffer owned for one call.
class TextBuffer {
 public:
  explicit TextBuffer(uint16_t capacity) : b_(RAZIVERACreateTextBuffer(capacity)) {}
  ~TextBuffer() {
    if (b_) GlobalFree(b_);
  }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  HGLOBAL get() const { return b_; }

 private:
  HGLOBAL b_;
};

}  // namespace

std::vector<edf::Annotation> read_annotation_table(HGLOBAL h, uint32_t record) {
  std::vector<edf::Annotation> out;
  uint32_t head[RZ_FIND_HEAD_WORDS] = {};
  if (RAZIVERAFindIndexPtr(h, uint16_t(record), rz::container::kEventTable, 0, head) == 0) return out;
  if (head[item::kHeadId] != kAnnotationTableId || head[item::kHeadFirstEntrySize] != kEntryBytes) return out;
  const int32_t n = DARARARReadEventInfo(h, uint16_t(record));
  for (int32_t i = 1; i <= n && uint32_t(i) <= kMaxEntries; ++i) {
    uint32_t onset = 0;
    uint8_t data[RZ_EVENT_DATA_MAX] = {};
    if (DARARARGetEventTableInfo(h, uint16_t(record), uint16_t(i), &onset, data) != 1) break;
    const uint32_t duration = rz::load_u32(data, kAnnotationDuration, false);
    out.push_back(
        {onset / 1000.0, duration / 1000.0,
         std::string(reinterpret_cast<const char*>(data + kAnnotationText),
                     strnlen(reinterpret_cast<const char*>(data + kAnnotationText), kAnnotationTextSize))});
  }
  return out;
}

bool write_annotation_table(HGLOBAL h, uint32_t record, const std::vector<edf::Annotation>& list,
                            uint32_t& dropped) {
  std::vector<const edf::Annotation*> kept;
  for (const edf::Annotation& a : list) {
    const double ms = std::round(a.onset * 1000);
    if (ms >= 0 && ms <= double(UINT32_MAX) && kept.size() < kMaxEntries) kept.push_back(&a);
  }
  dropped = uint32_t(list.size() - kept.size());
  if (kept.empty()) return true;
  if (DARARARCreateEventTable(h, uint16_t(record), kAnnotationTableId, int32_t(kept.size()),
                              kAnnotationDataSize) != 1)
    return false;
  for (size_t i = 0; i < kept.size(); ++i) {
    const edf::Annotation& a = *kept[i];
    uint8_t data[kAnnotationDataSize] = {};
    const double duration = std::min(std::round(a.duration * 1000), double(UINT32_MAX));
    rz::store_u32(data, kAnnotationDuration, duration > 0 ? uint32_t(duration) : 0, false);
    // The text fills its field, NUL-terminated only when shorter.
    std::copy_n(a.text.data(), std::min<size_t>(a.text.size(), kAnnotationTextSize), data + kAnnotationText);
    if (DARARARSetEventTableInfo(h, uint16_t(record), uint16_t(i + 1), uint32_t(std::round(a.onset * 1000)),
                                 data) != 1)
      return false;
  }
  return DARARARCreateEventInfo(h) != 0;
}

TextList read_text_list(HGLOBAL h, uint32_t record) {
  TextList out;
  TextBuffer buf(kTextListCapacity);
  if (!buf.get()) return out;
  const uint32_t n = DARARARReadTextInfo(h, buf.get(), record, kTextListType);
  for (uint32_t i = 0; i < n && i < kTextListCapacity; ++i) {
    char text[RZ_TEXT_BUFFER_ROOM] = {};
    const uint32_t packed = RAZIVERAGetTextBuffer(h, buf.get(), int32_t(i), text);
    if (packed) out[uint16_t(packed & 0xFFFF)] = text;
  }
  return out;
}

bool write_text_list(HGLOBAL h, const TextList& texts) {
  if (texts.empty()) return true;
  if (texts.size() > kTextListCapacity) return false;
  TextBuffer buf(uint16_t(texts.size()));
  if (!buf.get()) return false;
  for (const auto& t : texts) {
    const std::string text = t.second.substr(0, kMaxText);
    if (RAZIVERASetTextBuffer(h, buf.get(), -1, uint16_t(text.size()), t.first, text.c_str()) == 0)
      return false;
  }
  return DARARARCreateTextInfo(h, buf.get(), kTextListType, uint16_t(texts.size())) != 0;
}

bool write_hypnogram(HGLOBAL h, const Hypnogram& hyp) {
  if (hyp.stages.empty()) return true;
  if (DARARARCreateScoreTable(h, kHypnogramId, uint32_t(hyp.stages.size())) != 1) return false;
  // Setting 2 counts the scored epochs, setting 3 is the epoch length, and
  // the three index settings name sleep onset, first REM and last sleep.
  bool ok = DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING2, 0, uint32_t(hyp.stages.size())) == 1 &&
            DARARARSetScoreTableInfo(h, RZ_SCORE_SETTING3, 0, hyp.epochSeconds) == 1;
  const int marks[] = {hyp.sleepOnset, hyp.firstRem, hyp.lastSleep};
  for (uint16_t k = 0; k < 3; ++k)
    if (marks[k] >= 0)
      ok = ok && DARARARSetScoreTableInfo(h, uint16_t(RZ_SCORE_INDEX4 + k), 0, uint32_t(marks[k])) == 1;
  for (size_t i = 0; i < hyp.stages.size() && ok; ++i)
    ok = DARARARSetScoreTableInfo(h, RZ_SCORE_ENTRY, int32_t(i), hyp.stages[i]) == 1;
  if (!hyp.text.empty()) ok = ok && DARARARSetScoreTableText(h, RZ_SCORE_TEXT, 0, hyp.text.c_str()) == 1;
  return ok && DARARARCreateScoreInfo(h, 0) != 0;
}

bool read_score_table(HGLOBAL h, uint32_t records, ScoreTableSummary& out) {
  constexpr uint32_t kMaxCountedEntries = 1u << 20;
  for (uint32_t r = 0; r < records; ++r) {
    uint32_t head[RZ_FIND_HEAD_WORDS] = {};
    if (RAZIVERAFindIndexPtr(h, uint16_t(r), rz::container::kScoreTable, 0, head) == 0) continue;
    const auto setting = [&](uint16_t i, int32_t at) {
      uint32_t v = 0;
      DARARARGetScoreTableInfo(h, i, at, &v);
      return v;
    };
    out.record = r;
    out.id = head[item::kHeadId];
    out.entries = DARARARReadScoreInfo(h, uint16_t(r), 0);
    out.setting2 = setting(RZ_SCORE_SETTING2, 0);
    out.epochSeconds = setting(RZ_SCORE_SETTING3, 0);
    for (uint16_t i = RZ_SCORE_INDEX4; i <= RZ_SCORE_INDEX6; ++i)
      out.indexSet[i - RZ_SCORE_INDEX4] = DARARARGetScoreTableInfo(h, i, 0, &out.index[i - RZ_SCORE_INDEX4]) == 1;
    char text[RZ_SCORE_TEXT_ROOM + 1] = {};
    out.hasText = DARARARGetScoreTableText(h, RZ_SCORE_TEXT, 0, text) != 0;
    out.text = text;
    for (int32_t i = 0; i < out.entries && uint32_t(i) < kMaxCountedEntries; ++i)
      ++out.counts[setting(RZ_SCORE_ENTRY_ALL, i)];
    out.hypnogram = out.id == kHypnogramId && out.epochSeconds > 0;
    return true;
  }
  return false;
}

}  // namespace tool
