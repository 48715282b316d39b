// A progress bar for long runs, drawn on the error stream and only when that
// is a terminal, so that redirected output and logs stay clean.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"

namespace tool {

class Progress {
 public:
  Progress(Console& con, std::string label, uint64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void update(uint64_t done);
  void finish();

 private:
  void draw(unsigned percent);
  Console& con_;
  std::string label_;
  uint64_t total_;
  int shown_ = -1;
  bool finished_ = false;
};

}  // namespace tool
