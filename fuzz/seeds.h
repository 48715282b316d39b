// Seed recordings for the fuzz targets, written through the library's own
// writers in both byte orders: every kind of chunk, ended records and a record
// still being written.  Made afresh where needed, never kept as binaries.
#pragma once

#include <string>
#include <vector>

namespace rzfuzz {

// Writes the seeds into dir (which must exist); their paths.
std::vector<std::string> make_seeds(const std::string& dir);

}  // namespace rzfuzz
