#include "cli.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "commands.h"

namespace tool {
namespace {

const OptionSpec* find_option(const CommandSpec& syntax, const std::string& name) {
  for (const OptionSpec& o : syntax.options)
    if (name == o.name) return &o;
  return nullptr;
}

void print_overview(std::ostream& out) {
  out << "usage: razivera COMMAND [ARGS]\n\n"
         "Looks inside, checks, generates and converts polysomnography recordings in the\n"
         "VOZO-PSG File Format.\n\ncommands:\n";
  for (const CommandSpec& c : commands()) {
    std::string head = std::string("  ") + c.name;
    head.resize(14, ' ');
    out << head << c.summary << "\n";
  }
  out << "\n'razivera COMMAND --help' tells more about a command.\n"
         "Exit codes: 0 success, 1 a file that cannot be read, written or understood, 2 a usage error.\n";
}

}  // namespace

bool Args::parse(const CommandSpec& syntax, const std::vector<std::string>& argv, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      help_ = true;
      continue;
    }
    std::string name = a, value;
    const size_t eq = a.find('=');
    const bool inlineValue = eq != std::string::npos;
    if (inlineValue) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    const OptionSpec* o = find_option(syntax, name);
    if (!o) {
      error = "unknown option " + name;
      return false;
    }
    if (o->valueName) {
      if (!inlineValue) {
        if (i + 1 >= argv.size()) {
          error = name + " needs a value (" + o->valueName + ")";
          return false;
        }
        value = argv[++i];
      }
    } else if (inlineValue) {
      error = name + " takes no value";
      return false;
    }
    values_[name] = value;
  }
  if (help_) return true;
  if (positional_.size() < syntax.minArgs) {
    error = "missing arguments";
    return false;
  }
  if (positional_.size() > syntax.maxArgs) {
    error = "unexpected argument '" + positional_[syntax.maxArgs] + "'";
    return false;
  }
  return true;
}

const std::string* Args::value(const std::string& option) const {
  const auto it = values_.find(option);
  return it == values_.end() ? nullptr : &it->second;
}

bool parse_uint(const std::string& text, uint64_t lo, uint64_t hi, uint64_t& out) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
  }
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

bool parse_real(const std::string& text, double lo, double hi, double& out) {
  if (text.empty()) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno || end != text.c_str() + text.size() || !std::isfinite(v) || v < lo || v > hi) return false;
  out = v;
  return true;
}

int usage_error(const CommandSpec& syntax, Console& con, const std::string& message) {
  con.err << "razivera " << syntax.name << ": " << message << "\n"
          << "usage: razivera " << syntax.name << " " << syntax.synopsis << "\n"
          << "(razivera " << syntax.name << " --help tells more)\n";
  return kExitUsage;
}

void print_command_help(const CommandSpec& syntax, std::ostream& out) {
  out << "usage: razivera " << syntax.name << " " << syntax.synopsis << "\n\n" << syntax.summary << "\n";
  if (syntax.details && *syntax.details) out << "\n" << syntax.details;
  if (!syntax.options.empty()) {
    out << "\noptions:\n";
    for (const OptionSpec& o : syntax.options) {
      std::string head = std::string("  ") + o.name + (o.valueName ? std::string(" ") + o.valueName : "");
      if (head.size() < 22)
        head.resize(22, ' ');
      else
        head += "  ";
      out << head << o.help << "\n";
    }
  }
  out << "  --help              this text\n";
}

const CommandSpec& command(const std::string& name) {
  for (const CommandSpec& c : commands())
    if (name == c.name) return c;
  return commands().front();
}

int run_tool(const std::vector<std::string>& argv, Console& con) {
  if (argv.empty()) {
    print_overview(con.err);
    return kExitUsage;
  }
  const std::string& name = argv[0];
  if (name == "--help" || name == "-h" || name == "help") {
    print_overview(con.out);
    return kExitOk;
  }
  for (const CommandSpec& syntax : commands()) {
    if (name != syntax.name) continue;
    Args args;
    std::string error;
    if (!args.parse(syntax, std::vector<std::string>(argv.begin() + 1, argv.end()), error))
      return usage_error(syntax, con, error);
    if (args.help()) {
      print_command_help(syntax, con.out);
      return kExitOk;
    }
    return syntax.run(args, con);
  }
  con.err << "razivera: unknown command '" << name << "'\n\n";
  print_overview(con.err);
  return kExitUsage;
}

}  // namespace tool
