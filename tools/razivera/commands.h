// The subcommands of the razivera tool.  Each takes its parsed arguments and
// the console and returns the exit code.
#pragma once

#include <string>

#include "cli.h"

namespace tool {

int run_info(const Args& args, Console& con);
int run_info_json(const Args& args, Console& con);
int run_dump(const Args& args, Console& con);
int run_verify(const Args& args, Console& con);
int run_demo(const Args& args, Console& con);
int run_export_edf(const Args& args, Console& con);
int run_import_edf(const Args& args, Console& con);
int run_report(const Args& args, Console& con);
int run_plot(const Args& args, Console& con);
int run_samples(const Args& args, Console& con);

// "razivera: PATH: message" on the error stream; returns kExitBadInput.
int input_error(Console& con, const std::string& path, const std::string& message);

// "razivera: OUT: ..." naming the input too, for an output that is the
// input file under any name; returns kExitBadInput.
int same_file_error(Console& con, const std::string& in, const std::string& out);

// How a summary line names the output: its path, or "standard output" for -.
std::string output_name(const std::string& out);

}  // namespace tool
