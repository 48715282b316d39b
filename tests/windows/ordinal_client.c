/* A client that imports nothing from the library at link time: it loads
 * RAZIVERA.dll with LoadLibraryA, resolves every export of the export table
 * by ordinal, checks that each is the function its name resolves to and that
 * no other ordinal or decorated name resolves, checks the module's string
 * table and the Win32 services behind the platform layer, then writes and reads back the scenario's recording in both byte
 * orders through the pointers it resolved by ordinal.
 *   ordinal_client <directory>
 * writes ordinal-little.vzp, ordinal-big.vzp and their continuations. */
#include <windows.h>

#include <direct.h>
#include <stdio.h>
#include <string.h>

#include "platform/string_table.h"
#include "scenario.h"

/* Ordinals are checked up to here; the table ends at 199. */
enum { kHighestOrdinalProbed = 512 };

static int listed(int ordinal) {
  for (int i = 0; i < kRzExportCount; ++i)
    if (kRzExports[i].ordinal == ordinal) return 1;
  return 0;
}

static int check_export_table(HMODULE lib) {
  int failures = 0;
  if (kRzExportCount != 87) {
    fprintf(stderr, "the export table lists %d functions, not 87\n", kRzExportCount);
    ++failures;
  }
  for (int i = 0; i < kRzExportCount; ++i) {
    const RzExport *e = &kRzExports[i];
    FARPROC byOrdinal = GetProcAddress(lib, MAKEINTRESOURCEA(e->ordinal));
    FARPROC byName = GetProcAddress(lib, e->name);
    if (!byOrdinal || byOrdinal != byName) {
      fprintf(stderr, "%s: ordinal %d gives %p, the name %p\n", e->name, e->ordinal, (void *)byOrdinal,
              (void *)byName);
      ++failures;
    }
    /* Callers import undecorated names only. */
    char decorated[128];
    snprintf(decorated, sizeof decorated, "%s@%d", e->name, 4 * e->args);
    if (GetProcAddress(lib, decorated)) {
      fprintf(stderr, "%s is exported decorated\n", decorated);
      ++failures;
    }
  }
  for (int n = 1; n <= kHighestOrdinalProbed; ++n) {
    if (!listed(n) && GetProcAddress(lib, MAKEINTRESOURCEA(n))) {
      fprintf(stderr, "ordinal %d is exported but not in the table\n", n);
      ++failures;
    }
  }
  return failures;
}

/* The DLL carries its string table as a resource: entries 1 and 2 and no
 * other, in particular no text for an error code. */
static int check_string_table(HMODULE lib) {
  const struct { UINT id; const char *text; } entries[] = {
      {1, RZ_STRING_FILE_TYPE}, {2, RZ_STRING_LIBRARY}, {0, ""}, {3, ""}, {1001, ""}, {1010, ""}, {1011, ""},
  };
  int failures = 0;
  for (size_t i = 0; i < sizeof entries / sizeof entries[0]; ++i) {
    char text[128] = "";
    const int n = LoadStringA(lib, entries[i].id, text, sizeof text);
    if (n != (int)strlen(entries[i].text) || strcmp(text, entries[i].text) != 0) {
      fprintf(stderr, "string %u is \"%s\" (%d characters), expected \"%s\"\n", entries[i].id, text, n,
              entries[i].text);
      ++failures;
    }
  }
  return failures;
}

/* The services behind the platform layer are the real ones: the handle is a
 * movable, zero-filled global block left unlocked between calls, opening sets
 * the quiet error mode, and the file handle is a multimedia file handle. */
static int check_platform_services(const RzApi *a, const char *dir) {
  int failures = 0;
  char path[1024];
  snprintf(path, sizeof path, "%s/services.vzp", dir);
  SetErrorMode(0);
  HGLOBAL h = a->RAZIVERAOpenBioFile(path, RZ_OPEN_CREATE, 1);
  if (!h) {
    fprintf(stderr, "cannot create %s\n", path);
    return 1;
  }
  if (GetErrorMode() != (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {
    fprintf(stderr, "the error mode after an open is %#x\n", (unsigned)GetErrorMode());
    ++failures;
  }
  a->RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, RZ_BYTE_ORDER_LITTLE);
  a->DARARARCreateBaseHeader(h);
  if ((GlobalFlags(h) & GMEM_LOCKCOUNT) != 0) {
    fprintf(stderr, "the handle is still locked between calls (flags %#x)\n", (unsigned)GlobalFlags(h));
    ++failures;
  }
  void *p = GlobalLock(h);
  if (!p || p == (void *)h || GlobalSize(h) == 0) {
    fprintf(stderr, "the handle is not a movable block (%p, %u bytes)\n", p, (unsigned)GlobalSize(h));
    ++failures;
  }
  if (p) GlobalUnlock(h);
  HGLOBAL texts = a->RAZIVERACreateTextBuffer(2);
  if (!texts || (GlobalFlags(texts) & GMEM_LOCKCOUNT) != 0 || GlobalLock(texts) == (void *)texts) {
    fprintf(stderr, "the text buffer is not an unlocked movable block\n");
    ++failures;
  }
  if (texts) {
    GlobalUnlock(texts);
    GlobalFree(texts);
  }

  char magic[9] = "";
  HMMIO file = a->RAZIVERAGetFileHandle(h);
  if (!file || mmioSeek(file, 0, SEEK_SET) != 0 || mmioRead(file, magic, 8) != 8 || strcmp(magic, "VOZO-SPG") != 0) {
    fprintf(stderr, "the file handle does not read the header through mmio (\"%s\")\n", magic);
    ++failures;
  }
  SetErrorMode(0);
  if (a->RAZIVERACloseBioFile(h) != NULL || GetErrorMode() != (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {
    fprintf(stderr, "the close did not release the handle or set the error mode\n");
    ++failures;
  }
  remove(path);
  return failures;
}

static void resolve_by_ordinal(HMODULE lib, RzApi *api) {
#define RZ_EXPORT(ordinal, name, args) \
  api->name = (__typeof__(api->name))(void *)GetProcAddress(lib, MAKEINTRESOURCEA(ordinal));
#include "frame/export_table.inc"
#undef RZ_EXPORT
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  _mkdir(argv[1]);
  HMODULE lib = LoadLibraryA("RAZIVERA.dll");
  if (!lib) {
    fprintf(stderr, "cannot load RAZIVERA.dll (error %lu)\n", (unsigned long)GetLastError());
    return 1;
  }
  int failures = check_export_table(lib) + check_string_table(lib);
  RzApi api;
  resolve_by_ordinal(lib, &api);
  if (failures == 0) failures += check_platform_services(&api, argv[1]);
  if (failures == 0) {
    for (int big = 0; big <= 1; ++big) {
      char path[1024], copy[1024];
      const char *stem = big ? "big" : "little";
      snprintf(path, sizeof path, "%s/ordinal-%s.vzp", argv[1], stem);
      snprintf(copy, sizeof copy, "%s/ordinal-%s-copy.vzp", argv[1], stem);
      failures += rz_write_recording(&api, path, copy, big);
      failures += rz_check_recording(&api, path, copy, big);
    }
  }
  FreeLibrary(lib);
  printf("%s: %d failure(s)\n", argv[0], failures);
  return failures ? 1 : 0;
}
