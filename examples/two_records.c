/* Writes a file with two records and reads it back, printing what it found.
 * Written in C against the public header and the shared library only. */
#include <stdio.h>
#include <stdlib.h>

#include "razivera.h"

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "two_records.vzp";
  HGLOBAL h = RAZIVERAOpenBioFile(path, RZ_OPEN_CREATE, 1);
  if (!h) {
    fprintf(stderr, "cannot create %s (error %u)\n", path, RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, NULL));
    return 1;
  }
  RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, RZ_BYTE_ORDER_LITTLE);
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

  h = RAZIVERAOpenBioFile(path, RZ_OPEN_READ, 1);
  if (!h) {
    fprintf(stderr, "cannot open %s (error %u)\n", path, RAZIVERAGetErrorInfo(RZ_ERROR_TAKE, NULL));
    return 1;
  }
  char type[4];
  RAZIVERAGetSupportType(RZ_SUPPORT_FILE_TYPE, type);
  printf("%s: type %s..., version %u, %s-endian, %u record(s)\n", path, type,
         (unsigned)RAZIVERAGetInfo(h, RZ_INFO_FORMAT_VERSION), RAZIVERAGetInfo(h, RZ_INFO_BYTE_ORDER) ? "big" : "little",
         (unsigned)RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT));
  RAZIVERACloseBioFile(h);
  return 0;
}
