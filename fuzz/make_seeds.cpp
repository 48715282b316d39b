// Writes the seed corpus of the fuzz targets into the folder named on the
// command line.
#include <cstdio>

#include "seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const auto seeds = rzfuzz::make_seeds(argv[1]);
  for (const auto& s : seeds) std::printf("%s\n", s.c_str());
  return seeds.size() == 4 ? 0 : 1;
}
