// Seed recordings for the fuzz targets, written through the library's own
// writers in both byte orders: every kind of chunk, ended records and a record
// still being written.  Made afresh where needed, never kept as binaries.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "razivera.h"

namespace rzfuzz {

// A whole recording session through every family of writer: header, records,
// wave and channel information, user channel values, non-linear table, text
// list, user text, user information, the six user data items, events, frames
// saved in steps with the wave information kept current, and then either
// every record ended and a score table added, or the directory updated with
// the record still open.  Results are not checked, so that the session can run
// under injected faults.  beforeClose, when given, sees the handle last.
struct SessionResult {
  bool opened = false;
  bool closed = false;       // the close released the handle
  HGLOBAL handle = nullptr;  // the handle, when the close did not release it
};
SessionResult write_recording(const std::string& path, bool big, bool ended,
                              const std::function<void(HGLOBAL)>& beforeClose = {});

// Writes the seeds into dir (which must exist); their paths.
std::vector<std::string> make_seeds(const std::string& dir);

}  // namespace rzfuzz
