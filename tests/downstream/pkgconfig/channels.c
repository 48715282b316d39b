/* A downstream C program built with pkg-config against an installed RAZIVERA:
 *   cc channels.c $(pkg-config --cflags --libs razivera) -o channels
 * It opens a recording and prints the channel count of its first record. */
#include <stdio.h>
#include <stdlib.h>

#include <razivera.h>

enum {
  OPEN_READ = 1,         /* RAZIVERAOpenBioFile mode: read only */
  FRAMES_PER_BUFFER = 1, /* frames the handle buffers at a time */
  FIRST_RECORD = 0,
  WAVE_CHANNEL_COUNT = 2 /* DARARARGetWaveInfo item */
};

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s RECORDING\n", argv[0]);
    return EXIT_FAILURE;
  }
  HGLOBAL h = RAZIVERAOpenBioFile(argv[1], OPEN_READ, FRAMES_PER_BUFFER);
  if (!h) {
    fprintf(stderr, "%s: cannot open\n", argv[1]);
    return EXIT_FAILURE;
  }
  if (!DARARARReadRecordInfo(h, FIRST_RECORD)) {
    fprintf(stderr, "%s: no wave information in record %d\n", argv[1], FIRST_RECORD);
    RAZIVERACloseBioFile(h);
    return EXIT_FAILURE;
  }
  printf("%s: %u channels (RAZIVERA %s)\n", argv[1],
         (unsigned)DARARARGetWaveInfo(h, FIRST_RECORD, WAVE_CHANNEL_COUNT),
         RAZIVERA_VERSION_STRING);
  RAZIVERACloseBioFile(h);
  return EXIT_SUCCESS;
}
