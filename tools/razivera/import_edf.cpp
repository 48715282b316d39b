// import-edf: an EDF or EDF+ file as a new recording.  Each ordinary signal
// becomes a channel; data records are joined into frames of whole seconds;
// the annotations go into the record's event table.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "conventions.h"
#include "convert.h"
#include "edf.h"
#include "items.h"
#include "format/layout.h"
#include "output.h"
#include "progress.h"
#include "recording.h"
#include "tables.h"
#include "text.h"

namespace tool {
namespace {

constexpr uint64_t kMaxFileBytes = 0x7FFFFFFFu;  // frames are addressed by 31-bit offsets
constexpr double kOnsetTolerance = 1e-6;

// How the EDF file maps onto frames.
struct Plan {
  std::vector<size_t> signals;  // the ordinary signals, in order
  std::vector<size_t> notes;    // the annotation signals
  std::vector<uint32_t> rates;  // per channel
  uint32_t frameSeconds = 0;
  uint32_t recordsPerFrame = 0;
  uint32_t frames = 0;
  uint32_t frameBytes = 0;
  uint32_t baseRate = 0;
};

uint64_t samples_field_offset(const edf::Header& h, size_t signal) {
  using namespace edf::field;
  const uint64_t before = kLabel + kTransducer + kDimension + 2 * kPhysical + 2 * kDigital + kPrefiltering;
  return edf::kBlockSize + h.signals.size() * before + signal * kSamples;
}

bool make_plan(const edf::Reader& reader, Plan& p, edf::Error& error) {
  const edf::Header& h = reader.header();
  for (size_t i = 0; i < h.signals.size(); ++i)
    (h.signals[i].is_annotation() ? p.notes : p.signals).push_back(i);
  if (p.signals.empty()) {
    error = {edf::kBlockSize, "the file holds annotations only, no signal"};
    return false;
  }
  if (p.signals.size() > rz::kMaxChannels) {
    error = {edf::kBlockSize, strf("%zu signals; a recording holds at most %u channels", p.signals.size(),
                                   rz::kMaxChannels)};
    return false;
  }
  if (h.durationNum == 0 || h.durationNum > 3600) {
    error = {244, strf("data records of %g s; frames of 1 s to an hour can be made", h.duration())};
    return false;
  }
  // Frames last whole seconds: join as many data records as make one.
  p.recordsPerFrame = uint32_t(h.durationDen);
  p.frameSeconds = uint32_t(h.durationNum);
  uint64_t frameBytes = rz::frames::wave::kHeadSize;
  for (size_t s : p.signals) {
    const uint64_t perFrame = uint64_t(h.signals[s].samplesPerRecord) * p.recordsPerFrame;
    if (perFrame % p.frameSeconds) {
      error = {
          samples_field_offset(h, s),
          strf("signal \"%s\": %u samples per %g-s data record is not a whole number of samples per second",
               printable(h.signals[s].label).c_str(), h.signals[s].samplesPerRecord, h.duration())};
      return false;
    }
    p.rates.push_back(uint32_t(perFrame / p.frameSeconds));
    p.baseRate = std::max(p.baseRate, p.rates.back());
    frameBytes += perFrame * rz::frames::kSampleBytes;
  }
  const uint64_t frames = (reader.records() + p.recordsPerFrame - 1) / p.recordsPerFrame;
  if (frameBytes > rz::frames::kMaxFrameChunkSize) {
    error = {edf::kBlockSize, strf("frames of %llu bytes; a recording's frames hold at most %llu",
                                   llu(frameBytes), llu(rz::frames::kMaxFrameChunkSize))};
    return false;
  }
  if (frames > rz::wave_info::kMaxTotalFrames || frames * frameBytes > kMaxFileBytes - (1u << 20) ||
      frames * p.frameSeconds * p.baseRate > UINT32_MAX) {
    error = {edf::kBlockSize, strf("%llu frames of %llu bytes are more than one recording file can hold",
                                   llu(frames), llu(frameBytes))};
    return false;
  }
  p.frames = uint32_t(frames);
  p.frameBytes = uint32_t(frameBytes);
  return true;
}

// The free text after the standard subfields of an EDF+ recording field, or a
// plain EDF file's whole field.
std::string wave_text(const edf::Header& h) {
  std::string text = h.recording;
  if (h.edf_plus()) {
    size_t at = 0;
    for (int i = 0; i < 5 && at != std::string::npos; ++i) {
      at = text.find(' ', at);
      if (at != std::string::npos) ++at;
    }
    text = at == std::string::npos ? std::string() : text.substr(at);
    for (char& c : text)
      if (c == '_') c = ' ';
  }
  text = trim(text);
  if (text.size() > item::kWaveTextKept) text.resize(item::kWaveTextKept);
  return text;
}

void put_words(HGLOBAL h, uint16_t channel, uint16_t low, uint16_t high, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  DARARARSetFrameChInfo(h, 0, low, channel, uint32_t(bits));
  DARARARSetFrameChInfo(h, 0, high, channel, uint32_t(bits >> 32));
}

// Describes the record: wave information, channels with their calibration,
// and the kept EDF texts.  false when the library refuses.
bool describe(HGLOBAL h, const edf::Header& e, const Plan& p, Console& con) {
  using namespace convention;
  const auto wave = [&](uint16_t w, uint32_t v) { return DARARARSetWaveInfo(h, 0, w, v) == 1; };
  bool ok = wave(RZ_WAVE_CHANNEL_COUNT, uint32_t(p.signals.size())) &&
            wave(RZ_WAVE_FRAME_SECONDS, p.frameSeconds) && wave(RZ_WAVE_BASE_RATE, p.baseRate) &&
            wave(RZ_WAVE_TOTAL_SAMPLES, p.frames * p.frameSeconds * p.baseRate) &&
            wave(RZ_WAVE_START_YEAR, uint32_t(e.start.year)) &&
            wave(RZ_WAVE_START_MONTH, uint32_t(e.start.month)) &&
            wave(RZ_WAVE_START_DAY, uint32_t(e.start.day)) &&
            wave(RZ_WAVE_START_HOUR, uint32_t(e.start.hour)) &&
            wave(RZ_WAVE_START_MINUTE, uint32_t(e.start.minute)) &&
            wave(RZ_WAVE_START_SECOND, uint32_t(e.start.second));
  ok = ok && DARARARSetWaveText(h, 0, RZ_WAVE_TEXT, wave_text(e).c_str()) == 1;
  TextList texts;
  if (!e.patient.empty()) texts[kEdfPatientId] = e.patient;
  if (!e.recording.empty()) texts[kEdfRecordingId] = e.recording;
  for (size_t c = 0; c < p.signals.size() && ok; ++c) {
    const edf::Signal& s = e.signals[p.signals[c]];
    const uint16_t ch = uint16_t(c);
    if (s.label.size() > item::kTextKept)
      con.err << strf("razivera: note: label \"%s\" keeps its first %zu characters\n",
                      printable(s.label).c_str(), item::kTextKept);
    ok = DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_NUMBER, ch, uint32_t(c + 1)) == 1 &&
         DARARARSetFrameChInfo(h, 0, RZ_CHANNEL_SAMPLE_RATE, ch, p.rates[c]) == 1 &&
         DARARARSetFrameChText(h, 0, RZ_CHANNEL_LABEL, ch, s.label.c_str()) == 1 &&
         DARARARSetFrameChText(h, 0, RZ_CHANNEL_UNIT, ch, s.dimension.c_str()) == 1;
    DARARARSetFrameChInfo(h, 0, kItemMark, ch, kCalibrationMark);
    DARARARSetFrameChInfo(h, 0, kItemDigitalMin, ch, uint16_t(int16_t(s.digitalMin)));
    DARARARSetFrameChInfo(h, 0, kItemDigitalMax, ch, uint16_t(int16_t(s.digitalMax)));
    put_words(h, ch, kItemPhysicalMinLow, kItemPhysicalMinHigh, s.physicalMin);
    put_words(h, ch, kItemPhysicalMaxLow, kItemPhysicalMaxHigh, s.physicalMax);
    if (!s.transducer.empty()) texts[uint16_t(kEdfTransducerBase + c)] = s.transducer;
    if (!s.prefiltering.empty()) texts[uint16_t(kEdfPrefilterBase + c)] = s.prefiltering;
  }
  ok = ok && DARARARCreateWaveInfo(h) != 0 && DARARARCreateFrameChInfo(h) != 0 &&
       DARARARCreateUserChInfo(h) != 0;
  return ok && write_text_list(h, texts);
}

}  // namespace

int import_edf(const std::string& in, const std::string& out, const ImportOptions& o, Console& con) {
  if (same_file(in, out)) return same_file_error(con, in, out);
  uint64_t size = 0;
  const std::string problem = input_file_problem(in, size);
  if (!problem.empty()) return input_error(con, in, problem);
  // With the recording on standard output, every message goes to the error stream.
  std::ostream& report = is_stdout_path(out) ? con.err : con.out;
  FileSource src;
  if (!src.open(in)) return input_error(con, in, strf("cannot open: %s", std::strerror(errno)));
  edf::Reader reader;
  edf::Error e;
  const auto bad = [&](const edf::Error& err) {
    return input_error(con, in, strf("offset %llu: %s", llu(err.offset), err.text.c_str()));
  };
  if (!reader.open(src, e)) return bad(e);
  const edf::Header& hd = reader.header();
  if (reader.count_mismatch())
    con.err << strf(
        "razivera: note: %s: the header counts %lld data records; the file's length says otherwise, "
        "%llu are read\n",
        in.c_str(), static_cast<long long>(hd.records), llu(reader.records()));
  Plan p;
  if (!make_plan(reader, p, e)) return bad(e);
  const uint64_t padding = uint64_t(p.frames) * p.recordsPerFrame - reader.records();
  if (padding)
    con.err << strf("razivera: note: %s: the last frame is completed with %llu data record(s) of zeros\n",
                    in.c_str(), llu(padding));

  const uint32_t batch = std::min<uint32_t>(frames_per_batch(p.frameBytes), 0xFFFF);
  Output target(out);
  std::string error;
  const std::string file = target.prepare(error) ? target.begin_file(error) : std::string();
  if (file.empty()) return input_error(con, out, error);
  RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr);
  Handle h(RAZIVERAOpenBioFile(file.c_str(), RZ_OPEN_CREATE, batch));
  if (!h) return input_error(con, out, "cannot create it");
  const auto failed = [&]() {
    return input_error(con, out, "the library could not write it (is the disk full?)");
  };
  if (RAZIVERASetInfo(h.get(), RZ_INFO_BYTE_ORDER, o.big ? RZ_BYTE_ORDER_BIG : RZ_BYTE_ORDER_LITTLE) != 1 ||
      DARARARCreateBaseHeader(h.get()) != 1 || DARARARStartRecordWave(h.get()) != 0 ||
      !describe(h.get(), hd, p, con) || DARARARCreateFrameBuf(h.get(), uint16_t(batch)) == 0)
    return failed();

  // Frame by frame: each channel's samples of a batch of frames, one after
  // another, picked in turn by the set-point operation.
  std::vector<std::vector<int16_t>> bufs(p.signals.size());
  for (size_t c = 0; c < p.signals.size(); ++c) bufs[c].resize(size_t(batch) * p.rates[c] * p.frameSeconds);
  std::vector<edf::Annotation> notes;
  double firstOnset = 0;
  Progress bar(con, "import-edf", reader.records());
  uint64_t record = 0;
  for (uint32_t f = 0; f < p.frames; f += batch) {
    const uint32_t n = std::min(batch, p.frames - f);
    for (auto& b : bufs) std::fill(b.begin(), b.end(), int16_t(0));
    for (uint64_t k = 0; k < uint64_t(n) * p.recordsPerFrame && record < reader.records(); ++k, ++record) {
      if (!reader.read_record(record, e)) return bad(e);
      for (size_t c = 0; c < p.signals.size(); ++c) {
        const size_t per = hd.signals[p.signals[c]].samplesPerRecord;
        reader.samples(p.signals[c], bufs[c].data() + k * per);
      }
      for (size_t s : p.notes) {
        bool hasOnset = false;
        double onset = 0;
        std::string why;
        if (!edf::parse_tals(reader.bytes(s), reader.byte_count(s), notes, hasOnset, onset, why))
          return bad({hd.header_bytes() + record * hd.record_bytes(), why});
        if (!hasOnset || s != p.notes.front()) continue;
        if (record == 0) firstOnset = onset;
        const double expected = firstOnset + double(record) * hd.duration();
        if (hd.discontinuous() && std::abs(onset - expected) > kOnsetTolerance)
          return bad({hd.header_bytes() + record * hd.record_bytes(),
                      strf("data record %llu starts at %g s, not %g s: recordings with gaps are not imported",
                           llu(record), onset, expected)});
      }
    }
    for (size_t c = 0; c < p.signals.size(); ++c)
      if (DARARARSetFramePointWaveEx(h.get(), RZ_POINT_EVERY, 0, uint16_t(n), uint16_t(c), 2,
                                     bufs[c].data()) != n)
        return failed();
    if (!save_frames(h.get(), uint16_t(n), p.frameBytes)) return failed();
    bar.update(record);
  }
  // Annotation onsets count from the file's start, the frames from the first
  // data record's onset.
  for (edf::Annotation& a : notes) a.onset -= firstOnset;
  uint32_t dropped = 0;
  if (!notes.empty() && !write_annotation_table(h.get(), 0, notes, dropped)) return failed();
  if (dropped)
    con.err << strf("razivera: note: %u annotation(s) could not be kept (before the start, or too many)\n",
                    dropped);
  const uint32_t totalSamples = p.frames * p.frameSeconds * p.baseRate;
  if (DARARARUpdateWaveInfo(h.get(), totalSamples) != totalSamples || DARARAREndRecordWave(h.get()) == 0)
    return failed();
  if (!h.close()) return failed();
  if (!target.commit(error)) return input_error(con, out, error);
  bar.finish();
  report << strf("%s: %zu channels, %u frames of %u s (%s), %zu annotations\n", output_name(out).c_str(),
                 p.signals.size(), p.frames, p.frameSeconds,
                 clock_text(uint64_t(p.frames) * p.frameSeconds).c_str(), notes.size() - dropped);
  return kExitOk;
}

int run_import_edf(const Args& args, Console& con) {
  ImportOptions o;
  o.big = args.has("--big-endian");
  return import_edf(args.arg(0), args.arg(1), o, con);
}

}  // namespace tool
