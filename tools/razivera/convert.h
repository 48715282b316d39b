// Converting between recordings and EDF/EDF+ files.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"

namespace tool {

struct ExportOptions {
  static constexpr int kAutoEvents = -1;  // the channel labelled EVENT, if any
  static constexpr int kNoEvents = -2;
  uint32_t record = 0;
  int eventChannel = kAutoEvents;  // or a channel index
  // A selection: channel labels or numbers, and a time range (nullptr for
  // what was not given).
  const std::string* channels = nullptr;
  const std::string* from = nullptr;
  const std::string* to = nullptr;
  const std::string* duration = nullptr;
};

// Writes record `o.record` of `in` as an EDF+C file at `out`.  The exit code.
int export_edf(const std::string& in, const std::string& out, const ExportOptions& o, Console& con);

struct ImportOptions {
  bool big = false;
};

// Writes the EDF or EDF+ file `in` as a new recording at `out`.  The exit code.
int import_edf(const std::string& in, const std::string& out, const ImportOptions& o, Console& con);

}  // namespace tool
