#include "recording.h"

#include <cerrno>
#include <cstring>

#include "conventions.h"
#include "format/layout.h"
#include "structure.h"
#include "text.h"

namespace tool {
namespace {

constexpr uint64_t kBatchBytes = 1u << 20;

double double_from_words(uint32_t low, uint32_t high) {
  const uint64_t bits = (uint64_t(high) << 32) | low;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

void read_calibration(HGLOBAL h, uint32_t record, ChannelDesc& c) {
  using namespace convention;
  const auto item = [&](uint16_t i) {
    return DARARARGetFrameChInfo(h, uint16_t(record), i, uint16_t(c.index));
  };
  if (item(kItemMark) != kCalibrationMark) return;
  Calibration cal;
  cal.present = true;
  cal.digitalMin = int16_t(uint16_t(item(kItemDigitalMin)));
  cal.digitalMax = int16_t(uint16_t(item(kItemDigitalMax)));
  cal.physicalMin = double_from_words(item(kItemPhysicalMinLow), item(kItemPhysicalMinHigh));
  cal.physicalMax = double_from_words(item(kItemPhysicalMaxLow), item(kItemPhysicalMaxHigh));
  if (cal.digitalMin < cal.digitalMax && cal.physicalMin != cal.physicalMax) c.calibration = cal;
}

}  // namespace

bool Handle::close() {
  if (!h_) return true;
  const bool released = RAZIVERACloseBioFile(h_) == nullptr;
  h_ = nullptr;
  return released;
}

std::string open_error_text() {
  const uint16_t code = RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, nullptr);
  switch (code) {
    case 0: return "cannot open it (missing, unreadable, or a recording without records)";
    case 1001:
    case 1002:
    case 1003: return strf("out of memory (error %u)", code);
    case 1010: return "not a recording file: its header does not start with VOZO-SPG (error 1010)";
    case 1011: return "its format version is too new to be read (error 1011)";
    default: return strf("cannot open it (error %u)", code);
  }
}

int RecordDesc::event_channel() const {
  for (const ChannelDesc& c : channels)
    if (upper(trim(c.label)) == convention::kEventLabel) return int(c.index);
  return -1;
}

bool read_record(HGLOBAL h, uint32_t record, RecordDesc& out) {
  const uint16_t r = uint16_t(record);
  out = RecordDesc();
  out.index = record;
  if (DARARARReadRecordInfo(h, record) != 1) return false;
  const auto wave = [&](uint16_t item) { return DARARARGetWaveInfo(h, r, item); };
  out.code = wave(RZ_WAVE_RECORD_CODE);
  out.channelCount = wave(RZ_WAVE_CHANNEL_COUNT);
  out.waveFrames = wave(RZ_WAVE_TOTAL_FRAMES);
  out.year = wave(RZ_WAVE_START_YEAR);
  out.month = wave(RZ_WAVE_START_MONTH);
  out.day = wave(RZ_WAVE_START_DAY);
  out.hour = wave(RZ_WAVE_START_HOUR);
  out.minute = wave(RZ_WAVE_START_MINUTE);
  out.second = wave(RZ_WAVE_START_SECOND);
  out.mains = wave(RZ_WAVE_MAINS_FREQUENCY);
  char text[RZ_WAVE_TEXT_ROOM + 8] = {};
  DARARARGetWaveText(h, r, RZ_WAVE_TEXT, text);
  out.text = text;

  if (out.channelCount && DARARARReadChannelInfo(h, r) == 1) {
    const bool userValues = DARARARReadUserChannelInfo(h, r) == 1;
    for (uint32_t c = 0; c < out.channelCount; ++c) {
      ChannelDesc d;
      d.index = c;
      const auto item = [&](uint16_t i) { return DARARARGetFrameChInfo(h, r, i, uint16_t(c)); };
      d.number = item(RZ_CHANNEL_NUMBER);
      d.flags = item(RZ_CHANNEL_FLAGS);
      d.rate = item(RZ_CHANNEL_SAMPLE_RATE);
      d.filterA = int32_t(item(RZ_CHANNEL_FILTER_A));
      d.filterB = int32_t(item(RZ_CHANNEL_FILTER_B));
      char label[RZ_CHANNEL_LABEL_ROOM + 8] = {}, unit[RZ_CHANNEL_UNIT_ROOM + 8] = {};
      DARARARGetFrameChText(h, r, RZ_CHANNEL_LABEL, uint16_t(c), label);
      DARARARGetFrameChText(h, r, RZ_CHANNEL_UNIT, uint16_t(c), unit);
      d.label = label;
      d.unit = unit;
      if (userValues) read_calibration(h, record, d);
      out.channels.push_back(d);
    }
  }
  out.baseRate = wave(RZ_WAVE_BASE_RATE);
  if (DARARARReadFrameInfo(h, r) == 1) {
    out.hasFrames = true;
    out.frameSeconds = wave(RZ_WAVE_FRAME_SECONDS);
    out.frames = wave(RZ_WAVE_TOTAL_FRAMES);
    out.frameBytes = wave(RZ_WAVE_FRAME_SIZE);
  }
  return true;
}

bool check_frames(const std::string& path, RecordDesc& rec, std::string& problem) {
  rec.framesPresent = 0;
  rec.fileEnd = 0;
  if (!rec.hasFrames) return true;
  if (rec.frameSeconds == 0) {
    problem = strf("record %u: its frames last 0 seconds", rec.index);
    return false;
  }
  if (rec.frameBytes < rz::frames::wave::kHeadSize) {
    problem = strf("record %u: frames of %u bytes, smaller than a frame's %u-byte head", rec.index,
                   rec.frameBytes, rz::frames::wave::kHeadSize);
    return false;
  }
  // A frame is its head and every channel's samples of its seconds.
  uint64_t sampleBytes = 0;
  for (const ChannelDesc& c : rec.channels) {
    const uint64_t bytes = rz::frames::channel_bytes(c.rate, rec.frameSeconds);
    if (rz::frames::wave::kHeadSize + bytes > rec.frameBytes) {
      problem = strf(
          "record %u: channel %u (\"%s\") has a rate of %u Hz, more than its frames of %u bytes "
          "can hold; the rate is damaged",
          rec.index, c.index + 1, printable(trim(c.label)).c_str(), c.rate, rec.frameBytes);
      return false;
    }
    sampleBytes += bytes;
  }
  if (rz::frames::wave::kHeadSize + sampleBytes != rec.frameBytes) {
    problem = strf(
        "record %u: frames of %u bytes do not hold the channels' samples (%u + %llu bytes); a rate or "
        "the frame size is damaged",
        rec.index, rec.frameBytes, rz::frames::wave::kHeadSize, llu(sampleBytes));
    return false;
  }
  FileSource src;
  if (!src.open(path)) {
    problem = strf("cannot read it again: %s", std::strerror(errno));
    return false;
  }
  Findings ignored;  // what verify reports; here only where the frames are counts
  const FileView v = walk_structure(src, ignored);
  rec.fileEnd = src.size();
  const uint64_t area = frame_area_offset(v, rec.index);
  if (area != 0 && area < rec.fileEnd) {
    const uint64_t whole = (rec.fileEnd - area) / rec.frameBytes;
    rec.framesPresent = whole < rec.frames ? uint32_t(whole) : rec.frames;
  }
  return true;
}

bool save_frames(HGLOBAL h, uint16_t n, uint64_t frameBytes) {
  const uint64_t before = RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS);
  if (DARARARSaveFrameWave(h, n) != n) return false;
  return RAZIVERAGetInfo(h, RZ_INFO_WRITE_POS) - before == uint64_t(n) * frameBytes;
}

uint32_t frames_per_batch(uint64_t frameBytes) {
  const uint64_t n = frameBytes ? kBatchBytes / frameBytes : 1;
  return n == 0 ? 1 : n > 3600 ? 3600 : uint32_t(n);
}

FrameReader::FrameReader(HGLOBAL h, const RecordDesc& rec, uint32_t framesPerRead)
    : h_(h), rec_(rec), framesPerRead_(framesPerRead ? framesPerRead : 1) {
  DARARARCreateReadFrameBuf(h_, uint16_t(rec_.index), framesPerRead_ * rec_.frameSeconds);
}

bool FrameReader::read(uint32_t first, uint32_t n, std::vector<std::vector<int16_t>>& out) {
  const uint16_t r = uint16_t(rec_.index);
  if (n == 0 || n > framesPerRead_ || rec_.frameSeconds == 0) return false;
  const uint64_t start = uint64_t(first) * rec_.frameSeconds;
  const uint64_t length = uint64_t(n) * rec_.frameSeconds;
  if (start > uint64_t(INT32_MAX) || length > uint64_t(UINT32_MAX)) return false;
  if (DARARARReadFrameWaveEx(h_, r, int32_t(start), uint32_t(length)) < 0) return false;
  out.resize(rec_.channels.size());
  for (const ChannelDesc& c : rec_.channels) {
    const uint64_t want = length * c.rate;
    std::vector<int16_t>& v = out[c.index];
    v.resize(want);
    if (want == 0) continue;
    const int32_t got = DARARARGetFrameWaveEx(h_, r, uint16_t(c.index), v.data(), 0, uint32_t(length));
    if (got < 0 || uint64_t(got) != want) return false;
  }
  return true;
}

}  // namespace tool
