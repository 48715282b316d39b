// The command table: names, arguments, options and help texts.
#include "commands.h"

// What every command that writes a file promises about it.
#define RZ_OUTPUT_RULES                                                              \
  "OUT is written under a temporary name beside it and renamed into place when it\n" \
  "is complete; a failed or interrupted run leaves OUT as it was.  OUT may be -\n"   \
  "(standard output; messages then go to the error stream), a device or a FIFO,\n"   \
  "which are written as they are and never removed.\n"

namespace tool {

int input_error(Console& con, const std::string& path, const std::string& message) {
  con.err << "razivera: " << path << ": " << message << "\n";
  return kExitBadInput;
}

int same_file_error(Console& con, const std::string& in, const std::string& out) {
  return input_error(
      con, output_name(out),
      "is the input " + in + " itself (the same file by another name or link); nothing was written");
}

std::string output_name(const std::string& out) { return out == "-" ? "standard output" : out; }

const std::vector<CommandSpec>& commands() {
  static const std::vector<CommandSpec> table = {
      {"info",
       "FILE [--json]",
       "Describe a recording: header, records, channels, events, scores and texts.",
       "Reads FILE through the library, the way a review application does, and prints\n"
       "the header (version, byte order, codes), then for each record its start date\n"
       "and time, frames, frame length, duration and channels (number, label, unit,\n"
       "rate, filter), its event table, the score table and the text lists.\n"
       "A damaged record is described as the file claims it, and the damage is\n"
       "reported on the error stream with exit code 1: a truncated record (the frames\n"
       "its frame information claims, the whole frames the file holds, and the offset\n"
       "where the file ends) or a channel rate its frames cannot hold.\n"
       "With --json the same description is one JSON document on standard output\n"
       "(its shape is in the README), with every event of the event table listed.\n",
       {{"--json", nullptr, "describe it as one JSON document"}},
       1,
       1,
       run_info},
      {"dump",
       "FILE [--hex]",
       "List every record's chunks with offsets, sizes, types and ids.",
       "Reads FILE's structure from its bytes: the header, each record and the head\n"
       "of every chunk in it, with the entries of the channel definitions and user\n"
       "channel values.  Frames are summarised, not listed.  Damage is reported with\n"
       "its offset on the error stream; the exit code is then 1.\n",
       {{"--hex", nullptr, "also show the head bytes of the header, records and chunks"}},
       1,
       1,
       run_dump},
      {"verify",
       "FILE",
       "Check the structure of a whole file.",
       "Checks the header, the record lengths, every chunk's size within its record\n"
       "and against its own layout, the frame area (32 + frames x frame size, frame\n"
       "numbers and time stamps in sequence) and the channel counts (at most 256).\n"
       "Prints each problem with its file offset; exits with 1 on any problem and 0\n"
       "when the file is sound.  It never trusts a size from the file.\n",
       {},
       1,
       1,
       run_verify},
      {"demo",
       "OUT [--hours H] [--channels N] [--big-endian]",
       "Write a synthetic polysomnogram to OUT.",
       "Generates a night's recording: EEG, EOG, chin and leg EMG, ECG, airflow,\n"
       "breathing effort and SpO2 at their usual rates, following a hypnogram of\n"
       "wake, N1, N2, N3 and REM sleep with arousals, apneas, hypopneas,\n"
       "desaturations and limb movements.  The file also holds an event channel (the\n"
       "events' codes), an event table (onset, duration and name of each event), the\n"
       "hypnogram as its score table (one entry per 30-second epoch: 0 wake, 1 N1,\n"
       "2 N2, 3 N3, 5 REM) and a text list of study notes.  The same options always\n"
       "give the same file.\n\n" RZ_OUTPUT_RULES,
       {{"--hours", "H", "length of the recording in hours (default 8; fractions allowed)"},
        {"--channels", "N", "number of signal channels, 1 to 255 (default 16), plus the event channel"},
        {"--big-endian", nullptr, "write a big-endian file (default little-endian)"}},
       1,
       1,
       run_demo},
      {"export-edf",
       "FILE OUT.edf [--record N] [--events N] [--channels LIST] [--from T] [--to T | --duration S]",
       "Convert a record to EDF+ (continuous, EDF+C).",
       "Writes one EDF+ signal per channel, labelled with the channel's first text,\n"
       "with the digital values as stored; one data record per frame.  The start\n"
       "date and time come from the wave information.  An \"EDF Annotations\" signal\n"
       "carries the codes of the event channel (the channel labelled EVENT) as\n"
       "annotations \"EVENT <code>\", and the entries of an event table written by\n"
       "import-edf or demo as annotations with their onset, duration and text.\n"
       "Calibration, units and texts that import-edf kept are written back.\n"
       "A truncated record (fewer whole frames in the file than its frame information\n"
       "claims) is exported as far as the file holds it, never padded: a warning names\n"
       "what is missing and the exit code is 0.  A channel rate its frames cannot hold\n"
       "is an error (exit 1).  The EDF file is written front to back, never seeking.\n"
       "A selection exports some channels (labels or numbers from 1, in the order\n"
       "given) and a time range: T is seconds from the start or a clock time\n"
       "hh:mm[:ss]; the range is widened to whole frames (the data records), the\n"
       "start time moves to the first exported frame, and the annotations of the\n"
       "range are kept, timed from it.  A range past the end is cut there.\n\n" RZ_OUTPUT_RULES
       "An OUT.edf that is FILE itself (by any name or link) is refused.\n",
       {{"--record", "N", "the record to export, from 0 (default 0)"},
        {"--events", "N", "take channel N (from 1) as the event channel; 0 for none"},
        {"--channels", "LIST", "the channels to export: labels or numbers from 1, comma-separated"},
        {"--from", "T", "start of the range (default the start)"},
        {"--to", "T", "end of the range (default the end)"},
        {"--duration", "S", "length of the range in seconds"}},
       2,
       2,
       run_export_edf},
      {"import-edf",
       "IN.edf OUT [--big-endian]",
       "Convert an EDF or EDF+ file into a new recording.",
       "Each ordinary signal becomes a channel (label, unit, calibration and texts\n"
       "kept); its rate must be a whole number of samples per second.  Data records\n"
       "shorter than a second are joined into frames of whole seconds.  The\n"
       "annotations go into the record's event table.  Discontinuous (EDF+D) files\n"
       "are accepted only when their data records follow each other without gaps.\n\n" RZ_OUTPUT_RULES
       "An OUT that is IN.edf itself (by any name or link) is refused.\n",
       {{"--big-endian", nullptr, "write a big-endian file (default little-endian)"}},
       2,
       2,
       run_import_edf},
      {"report",
       "FILE [-o report.html] [--channels LIST]",
       "Write a sleep report of a night as one self-contained HTML page.",
       "The page holds the study header (start, duration, channels), the hypnogram\n"
       "with the scored events beneath it on the same time axis, the sleep figures\n"
       "and the first 30 seconds of signals, all drawn by the tool as SVG: it loads\n"
       "nothing and can be opened and printed in any browser.  The figures come from\n"
       "the score table (the hypnogram: 0 W, 1 N1, 2 N2, 3 N3, 5 REM per epoch) and\n"
       "the event table:\n"
       "  time in bed (TIB)      the scored period, all epochs of the hypnogram\n"
       "  total sleep time (TST) epochs of N1, N2, N3 and REM\n"
       "  sleep efficiency       TST / TIB x 100\n"
       "  sleep onset latency    start of the scored period to the first sleep epoch\n"
       "  REM latency            first sleep epoch to the first REM epoch\n"
       "  WASO                   wake epochs between the first and last sleep epoch\n"
       "  stages                 minutes; percent of TST (wake: percent of TIB)\n"
       "  indices                events per hour of TST: apnea-hypopnea index (apneas\n"
       "                         of any type and hypopneas), arousal, desaturation and\n"
       "                         limb movement index; every other event kind counted\n"
       "Without a score table the page says so and counts the events.  The figures\n"
       "are also in the page as JSON (the script element with id sleep-figures).\n"
       "Without -o the page goes to standard output.\n\n" RZ_OUTPUT_RULES,
       {{"-o", "OUT", "where to write the page (default -, standard output)"},
        {"--channels", "LIST", "channels of the first page: labels or numbers from 1, comma-separated"}},
       1,
       1,
       run_report},
      {"plot",
       "FILE [--from T] [--duration S] [--channels LIST] [-o page.svg] | FILE --hypnogram [-o night.svg]",
       "Draw a page of signals, or the night's hypnogram, as SVG.",
       "A page shows each channel in a lane of its own, scaled to the range of its\n"
       "samples in the page (digital values, the range written at the left),\n"
       "labelled, on a clock-time axis, with the events of the event table shaded\n"
       "where they happen.  T is seconds from the start of the recording (\"90\") or\n"
       "a clock time hh:mm[:ss] (the next such time from the start).  The page is\n"
       "30 s long unless --duration says otherwise (at most 4 hours); a page that\n"
       "runs past the end is cut there.  With --hypnogram the whole night's\n"
       "hypnogram is drawn with the scored events beneath it.\n"
       "Without -o the picture goes to standard output.\n\n" RZ_OUTPUT_RULES,
       {{"--from", "T", "start of the page (default the start of the recording)"},
        {"--duration", "S", "length of the page in seconds (default 30)"},
        {"--channels", "LIST", "labels or numbers from 1, comma-separated (default the first 8 signals)"},
        {"--hypnogram", nullptr, "draw the whole night's hypnogram and events instead"},
        {"-o", "OUT", "where to write the SVG (default -, standard output)"}},
       1,
       1,
       run_plot},
      {"samples",
       "FILE [--channels LIST] [--from T] [--to T | --duration S] [--rate R] [-o out.csv]",
       "Print the samples of channels and a time range as CSV.",
       "The first line names the columns: time, then each channel's label.  Each\n"
       "further line is one instant: its time in seconds from the start of the\n"
       "recording, then each channel's digital value as stored.  A sample at k / rate\n"
       "seconds belongs to the range when FROM <= k / rate < TO.  T is seconds or a\n"
       "clock time hh:mm[:ss]; a range that runs past the end is cut there (with a\n"
       "warning), one that starts after the end is an error.  The channels must have\n"
       "one rate, or --rate names a rate that is a multiple of each: a channel of a\n"
       "lower rate then repeats each sample until its next.\n"
       "Without -o the CSV goes to standard output.\n\n" RZ_OUTPUT_RULES,
       {{"--channels", "LIST", "labels or numbers from 1, comma-separated (default all)"},
        {"--from", "T", "start of the range (default the start)"},
        {"--to", "T", "end of the range (default the end)"},
        {"--duration", "S", "length of the range in seconds"},
        {"--rate", "R", "the rate of the rows, in Hz, for channels of different rates"},
        {"-o", "OUT", "where to write the CSV (default -, standard output)"}},
       1,
       1,
       run_samples},
  };
  return table;
}

}  // namespace tool
