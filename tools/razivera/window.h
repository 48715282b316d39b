// Selections of a recording for the commands that look at part of it: a
// record opened and checked the way export-edf does, channels named by label
// or number, a time range given in seconds or clock time, and the samples of
// that range read frame run by frame run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "recording.h"

namespace tool {

// A recording opened for reading, with its record described and its frames
// checked against the file.  `framesPresent` bounds every read.
struct OpenRecording {
  Handle h;
  RecordDesc rec;
};

// Opens `path` and describes record `record`.  A truncated record is cut to
// the frames the file holds (with a warning on the error stream).  The exit
// code: kExitOk, or kExitBadInput after the message has been printed.  With
// `needFrames` false a record without frames or channels is accepted.
int open_recording(const std::string& path, uint32_t record, bool needFrames, OpenRecording& out,
                   Console& con);

// Seconds of the record's start from midnight.
uint64_t start_of_day(const RecordDesc& rec);

// "hh:mm:ss" of `offset` seconds after the record's start (wrapping at
// midnight); with tenths when `tenths`.
std::string clock_at(const RecordDesc& rec, double offset, bool tenths = false);

// A time as the user gives it: seconds from the start ("90", "12.5") or a
// clock time "hh:mm" / "hh:mm:ss" (the next such time at or after the start).
// false when the text is neither.
bool parse_time(const std::string& text, const RecordDesc& rec, double& seconds);

// A comma-separated list of channel labels (any case) or numbers from 1;
// the channel indexes in the order given.  false, with the reason, when an
// entry names no channel.
bool parse_channels(const std::string& list, const RecordDesc& rec, std::vector<uint32_t>& out,
                    std::string& error);

// A time range [from, to) in seconds from the record's start.
struct TimeRange {
  double from = 0, to = 0;
};

// The range the options --from, --to and --duration select (the whole record
// when none is given), cut to the record's end with a warning when it runs
// past it.  The exit code: kExitUsage for options that make no sense,
// kExitBadInput for a range that starts at or after the end.
int select_range(const Args& args, const CommandSpec& syntax, const RecordDesc& rec, double defaultDuration,
                 TimeRange& out, Console& con);
// The same from the options' values (nullptr for an option not given).
struct RangeOptions {
  const std::string* from = nullptr;
  const std::string* to = nullptr;
  const std::string* duration = nullptr;
};
int select_range(const RangeOptions& o, const std::string& path, const CommandSpec& syntax,
                 const RecordDesc& rec, double defaultDuration, TimeRange& out, Console& con);

// The samples of one channel that fall in a range: sample k of a channel at
// rate r lies at k / r seconds and is selected when from <= k / r < to.
struct SampleSpan {
  uint64_t first = 0, end = 0;
};
SampleSpan samples_in(const TimeRange& range, uint32_t rate);

// Reads the samples of `channels` in `range` a run of frames at a time and
// hands each run to `take`: for every selected channel, the index of its
// first sample in the run and the samples.  false when the frames cannot be
// read.
using WindowChunk = std::vector<std::pair<uint64_t, std::vector<int16_t>>>;
bool read_range(HGLOBAL h, const RecordDesc& rec, const std::vector<uint32_t>& channels,
                const TimeRange& range, const std::function<bool(const WindowChunk&)>& take);

// The same, gathered: out[i] holds channel channels[i]'s samples of the range.
bool read_range_all(HGLOBAL h, const RecordDesc& rec, const std::vector<uint32_t>& channels,
                    const TimeRange& range, std::vector<std::vector<int16_t>>& out);

// Writes `text` to `out` by the tool's output rules (a temporary file renamed
// into place, or a stream); the exit code, with the message printed.
int write_output(const std::string& in, const std::string& out, const std::string& text, Console& con);

}  // namespace tool
