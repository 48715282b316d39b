// info: a recording described the way a review application reads it, through
// the library - header, records, channels, and the tables and texts.
#include "info.h"

#include <vector>

#include "commands.h"
#include "conventions.h"
#include "recording.h"
#include "structure.h"
#include "text.h"

namespace tool {
namespace {

std::string start_text(const RecordDesc& r) {
  const std::string time = strf("%02u:%02u:%02u", r.hour, r.minute, r.second);
  if (r.year == 0 && r.month == 0 && r.day == 0) return time + " (no date)";
  return strf("%04u-%02u-%02u ", r.year, r.month, r.day) + time;
}

void print_channels(const RecordDesc& r, std::ostream& out) {
  out << "      #     no  label            unit         rate  filter A / B\n";
  for (const ChannelDesc& c : r.channels) {
    std::string line =
        strf("  %5u  %5u  %-15s  %-8s  %7u  %d / %d", c.index + 1, c.number, printable(c.label).c_str(),
             printable(c.unit).c_str(), c.rate, c.filterA, c.filterB);
    const Calibration& k = c.calibration;
    if (k.present && (k.physicalMin != k.digitalMin || k.physicalMax != k.digitalMax))
      line += strf("  (digital %d..%d = %g..%g)", c.calibration.digitalMin, c.calibration.digitalMax,
                   c.calibration.physicalMin, c.calibration.physicalMax);
    if (int(c.index) == r.event_channel()) line += "  (event channel)";
    out << line << "\n";
  }
}

// The letter the header holds for the library's code of it.
char header_letter(uint32_t code) {
  constexpr char kLetters[] = "SJE";
  return code < sizeof kLetters - 1 ? kLetters[code] : '-';
}

// Prints one record; what makes it damaged goes to `problems`.
void print_record(HGLOBAL h, const std::string& path, uint32_t index, std::ostream& out,
                  std::vector<std::string>& problems) {
  RecordDesc r;
  out << "\nrecord " << index << "\n";
  if (!read_record(h, index, r)) {
    out << "  (no wave information)\n";
    print_record_tables(h, path, index, nullptr, out);
    return;
  }
  std::string problem;
  const bool sound = check_frames(path, r, problem);
  out << "  start       " << start_text(r) << "\n";
  if (r.hasFrames) {
    out << strf("  frames      %u of %u s, %u bytes each; duration %s", r.frames, r.frameSeconds,
                r.frameBytes, clock_text(r.seconds()).c_str());
    if (r.waveFrames != r.frames) out << strf(" (the wave information counts %u)", r.waveFrames);
    out << "\n";
    if (sound && r.framesPresent < r.frames) {
      out << strf("  truncated   the file ends at offset %llu: %u of the %u frames are there (%s of %s)\n",
                  llu(r.fileEnd), r.framesPresent, r.frames,
                  clock_text(uint64_t(r.framesPresent) * r.frameSeconds).c_str(),
                  clock_text(r.seconds()).c_str());
      problems.push_back(
          strf("record %u is truncated: its frame information claims %u frames, the file "
               "holds %u whole frames and ends at offset %llu",
               index, r.frames, r.framesPresent, llu(r.fileEnd)));
    }
  } else {
    out << "  frames      none\n";
  }
  if (!sound) problems.push_back(problem);
  out << strf("  channels    %u, base rate %u Hz", r.channelCount, r.baseRate);
  out << (r.mains ? strf(", power line %u Hz\n", r.mains) : std::string(", power line not given\n"));
  if (r.code) out << "  code        " << r.code << "\n";
  if (!r.text.empty()) out << "  text        \"" << printable(r.text) << "\"\n";
  if (!r.channels.empty()) print_channels(r, out);
  print_record_tables(h, path, index, &r, out);
}

}  // namespace

int run_info(const Args& args, Console& con) {
  if (args.has("--json")) return run_info_json(args, con);
  const std::string& path = args.arg(0);
  const std::string problem = recording_problem(path);
  if (!problem.empty()) return input_error(con, path, problem);
  RAZIVERAGetErrorInfo(RZ_ERROR_CLEAR, nullptr);
  Handle h(RAZIVERAOpenBioFile(path.c_str(), RZ_OPEN_READ, 1));
  if (!h) return input_error(con, path, open_error_text());
  std::ostream& out = con.out;
  const uint32_t records = RAZIVERAGetInfo(h.get(), RZ_INFO_RECORD_COUNT);
  out << path << "\n";
  out << strf("  format      VOZO-PSG File Format, version %u, %s-endian, header code %u, letter %c\n",
              RAZIVERAGetInfo(h.get(), RZ_INFO_FORMAT_VERSION),
              RAZIVERAGetInfo(h.get(), RZ_INFO_BYTE_ORDER) ? "big" : "little",
              RAZIVERAGetInfo(h.get(), RZ_INFO_HEADER_CODE),
              header_letter(RAZIVERAGetInfo(h.get(), RZ_INFO_HEADER_LETTER)));
  out << "  records     " << records << "\n";
  std::vector<std::string> problems;
  for (uint32_t r = 0; r < records; ++r) print_record(h.get(), path, r, out, problems);
  print_file_tables(h.get(), records, out);
  // What is described is what the file claims; damage makes it a failure,
  // as in verify.
  for (const std::string& p : problems) con.err << "razivera: " << path << ": " << p << "\n";
  return problems.empty() ? kExitOk : kExitBadInput;
}

}  // namespace tool
