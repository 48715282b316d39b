// razivera: the command-line tool of the RAZIVERA library.
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "razivera.h"

int main(int argc, char** argv) {
  // The version of the library headers the tool was built with.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "razivera " << RAZIVERA_VERSION_STRING << '\n';
    return EXIT_SUCCESS;
  }
  tool::Console con{std::cout, std::cerr, isatty(fileno(stderr)) != 0};
  const int code = tool::run_tool(std::vector<std::string>(argv + 1, argv + argc), con);
  std::cout.flush();
  return code;
}
