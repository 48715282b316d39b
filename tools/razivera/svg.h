// Pictures of a recording as SVG, drawn by the tool itself: a page of signals
// and the whole night's hypnogram with the scored events beneath it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edf.h"
#include "recording.h"
#include "sleep.h"
#include "window.h"

namespace tool {

// The text with &, <, >, " and ' written as XML entities and bytes outside
// printable ASCII as \xNN, safe inside an element or an attribute.
std::string xml_text(const std::string& s);

// A page of signals: one lane per channel, each scaled to the range of its
// own samples in the window and labelled with its label, unit and range; a
// clock-time axis beneath; the events that overlap the window shaded across
// the lanes.  samples[i] holds channel channels[i]'s samples of `range`.
// Each trace carries its channel, first sample, count, minimum, maximum, first
// and last value as data- attributes.  A standalone picture has the XML
// declaration and namespace a file needs.
std::string svg_signal_page(const RecordDesc& rec, const std::vector<uint32_t>& channels,
                            const TimeRange& range, const std::vector<std::vector<int16_t>>& samples,
                            const std::vector<edf::Annotation>& events, bool standalone);

// The hypnogram of the night (W, REM, N1, N2, N3 from the top) with the
// scored events in rows beneath it, on one clock-time axis.  Without a
// hypnogram the events are drawn over the record's length and the picture
// says that there is none.
std::string svg_hypnogram(const RecordDesc& rec, const SleepFigures& f, bool standalone);

}  // namespace tool
