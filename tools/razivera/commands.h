// The subcommands of the razivera tool.  Each takes its parsed arguments and
// the console and returns the exit code.
#pragma once

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

}  // namespace tool
