/* Every export of the library as one table of typed function pointers, made
 * from the export table itself, so that a program can run the same calls
 * through the import library or through pointers it resolved by ordinal.  The
 * pointer types come from the public header (GCC's __typeof__), stdcall
 * included. */
#ifndef RZ_TESTS_WINDOWS_API_H
#define RZ_TESTS_WINDOWS_API_H

#include "razivera.h"

typedef struct RzApi {
#define RZ_EXPORT(ordinal, name, args) __typeof__(&name) name;
#include "frame/export_table.inc"
#undef RZ_EXPORT
} RzApi;

/* One row of the export table, for programs that walk it. */
typedef struct RzExport {
  int ordinal;
  const char *name;
  int args;
} RzExport;

static const RzExport kRzExports[] = {
#define RZ_EXPORT(ordinal, name, args) {ordinal, #name, args},
#include "frame/export_table.inc"
#undef RZ_EXPORT
};

enum { kRzExportCount = sizeof kRzExports / sizeof kRzExports[0] };

/* The table filled from the names the program was linked against. */
static inline void rz_api_linked(RzApi *api) {
#define RZ_EXPORT(ordinal, name, args) api->name = &name;
#include "frame/export_table.inc"
#undef RZ_EXPORT
}

#endif
