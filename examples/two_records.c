/* Writes a file with two records and reads it back, printing what it found.
 * Written in C against the public header and the shared library only. */
#include <stdio.h>
#include <stdlib.h>

#include "razivera.h"

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "two_records.vzp";
  HGLOBAL h = RAZIVERAOpenBioFile(path, 4, 1);
  if (!h) {
    fprintf(stderr, "cannot create %s (error %u)\n", path, RAZIVERAGetErrorInfo(1, NULL));
    return 1;
  }
  RAZIVERASetInfo(h, 4, 0); /* little-endian */
  if (!DARARARCreateBaseHeader(h)) {
    fprintf(stderr, "cannot write the header of %s\n", path);
    RAZIVERACloseBioFile(h);
    return 1;
  }
  for (int r = 0; r < 2; ++r) {
    int index = DARARARStartRecordWave(h);
    int end = DARARAREndRecordWave(h);
    printf("wrote record %d, file now %d bytes\n", index, end);
  }
  RAZIVERACloseBioFile(h);

  h = RAZIVERAOpenBioFile(path, 1, 1);
  if (!h) {
    fprintf(stderr, "cannot open %s (error %u)\n", path, RAZIVERAGetErrorInfo(1, NULL));
    return 1;
  }
  char type[4];
  RAZIVERAGetSupportType(1, type);
  printf("%s: type %s..., version %u, %s-endian, %u record(s)\n", path, type,
         (unsigned)RAZIVERAGetInfo(h, 2), RAZIVERAGetInfo(h, 4) ? "big" : "little",
         (unsigned)RAZIVERAGetInfo(h, 6));
  RAZIVERACloseBioFile(h);
  return 0;
}
