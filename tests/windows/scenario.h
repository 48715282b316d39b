/* A night's recording written and read back through a table of exports: one
 * record described in full (wave information, three channels, user channel
 * values, a non-linear table, texts, user data, events), twelve frames of
 * deterministic samples and event codes, a score table, then edits in place
 * and a continuation into a second file.  The bytes depend only on the calls,
 * so every build of the library must write the same files. */
#ifndef RZ_TESTS_WINDOWS_SCENARIO_H
#define RZ_TESTS_WINDOWS_SCENARIO_H

#include "api.h"

/* Writes `path` (byte order 1 = big) and edits it in place, then starts
 * `copyPath` from it and adds four frames there.  Returns the number of
 * failed expectations, each reported on stderr. */
int rz_write_recording(const RzApi *api, const char *path, const char *copyPath, int big);

/* Reads back the frames rz_write_recording wrote (the edited code included)
 * and the continuation's; the number of failed expectations. */
int rz_check_recording(const RzApi *api, const char *path, const char *copyPath, int big);

#endif
