/* Writes the scenario's recording in both byte orders into a directory, using
 * the library it was linked against, and reads it back.  Built for Linux and
 * for Windows: the files written by the two builds must be equal byte for
 * byte.
 *   byte_identity <directory>
 * writes little.vzp, little-copy.vzp, big.vzp and big-copy.vzp. */
#include <stdio.h>

#ifdef _WIN32
#include <direct.h>
#define make_directory(path) _mkdir(path)
#else
#include <sys/stat.h>
#define make_directory(path) mkdir(path, 0755)
#endif

#include "scenario.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  make_directory(argv[1]);
  RzApi api;
  rz_api_linked(&api);
  int failures = 0;
  for (int big = 0; big <= 1; ++big) {
    char path[1024], copy[1024];
    const char *stem = big ? "big" : "little";
    snprintf(path, sizeof path, "%s/%s.vzp", argv[1], stem);
    snprintf(copy, sizeof copy, "%s/%s-copy.vzp", argv[1], stem);
    failures += rz_write_recording(&api, path, copy, big);
    failures += rz_check_recording(&api, path, copy, big);
  }
  printf("%s: %d failure(s)\n", argv[0], failures);
  return failures ? 1 : 0;
}
