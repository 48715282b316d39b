// Command parsing for the razivera tool: the subcommand table, options with
// or without values, --help for each subcommand, and the exit codes.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace tool {

enum Exit : int {
  kExitOk = 0,
  kExitBadInput = 1,  // a file that cannot be read, written or understood
  kExitUsage = 2,     // a command line that makes no sense
};

// Where a command writes: its report, its messages, and whether a progress
// bar may be drawn (only on a terminal).
struct Console {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;
};

struct OptionSpec {
  const char* name;       // "--hours"
  const char* valueName;  // "H", or nullptr for a flag
  const char* help;
};

class Args;

struct CommandSpec {
  const char* name;
  const char* synopsis;  // the arguments, e.g. "FILE [--hex]"
  const char* summary;   // one line for the command list
  const char* details;   // the rest of the --help text
  std::vector<OptionSpec> options;
  size_t minArgs;
  size_t maxArgs;
  int (*run)(const Args&, Console&);
};

class Args {
 public:
  // Parses what follows the command name.  false, with the reason, on a
  // usage error; --help anywhere sets help().
  bool parse(const CommandSpec& syntax, const std::vector<std::string>& argv, std::string& error);
  const std::vector<std::string>& positional() const { return positional_; }
  const std::string& arg(size_t i) const { return positional_[i]; }
  bool has(const std::string& option) const { return values_.count(option) != 0; }
  // The option's value, or nullptr when it was not given.
  const std::string* value(const std::string& option) const;
  bool help() const { return help_; }

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;
  bool help_ = false;
};

// A whole decimal number within [lo, hi]; false otherwise.
bool parse_uint(const std::string& text, uint64_t lo, uint64_t hi, uint64_t& out);
// A decimal number (with an optional fraction) within [lo, hi].
bool parse_real(const std::string& text, double lo, double hi, double& out);

// Prints "razivera CMD: message" and the hint to --help; returns kExitUsage.
int usage_error(const CommandSpec& syntax, Console& con, const std::string& message);

// The --help text of one command.
void print_command_help(const CommandSpec& syntax, std::ostream& out);

// The commands, in the order the overall help lists them.
const std::vector<CommandSpec>& commands();
// The command of that name (it must exist).
const CommandSpec& command(const std::string& name);

// Runs the tool on argv[1..]; the exit code.
int run_tool(const std::vector<std::string>& argv, Console& con);

}  // namespace tool
