// The subcommands of the razivera tool.  Each takes its parsed arguments and
// the console and returns the exit code.
#pragma once

#include <functional>
#include <string>

#include "cli.h"

namespace tool {

int run_info(const Args& args, Console& con);
int run_dump(const Args& args, Console& con);
int run_verify(const Args& args, Console& con);
int run_demo(const Args& args, Console& con);
int run_export_edf(const Args& args, Console& con);
int run_import_edf(const Args& args, Console& con);

// "razivera: PATH: message" on the error stream; returns kExitBadInput.
int input_error(Console& con, const std::string& path, const std::string& message);

// Runs its action when it goes out of scope unless the command finished:
// a failed run removes the output it had begun, leaving no half-written file.
class OnFailure {
 public:
  explicit OnFailure(std::function<void()> action) : action_(std::move(action)) {}
  ~OnFailure() {
    if (action_) action_();
  }
  OnFailure(const OnFailure&) = delete;
  OnFailure& operator=(const OnFailure&) = delete;
  void done() { action_ = nullptr; }

 private:
  std::function<void()> action_;
};

}  // namespace tool
