// razivera: the command-line tool of the RAZIVERA library.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "cli.h"

int main(int argc, char** argv) {
  tool::Console con{std::cout, std::cerr, isatty(fileno(stderr)) != 0};
  const int code = tool::run_tool(std::vector<std::string>(argv + 1, argv + argc), con);
  std::cout.flush();
  return code;
}
