// Win32 implementation of the platform layer: the real global-memory,
// multimedia-file, directory, error-mode and string services.  Every
// allocation, lock, read, write and seek still passes the fault seam.
#ifdef _WIN32

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "platform/faults.h"
#include "platform/platform.h"

namespace rz {
extern HINSTANCE g_moduleInstance;
}

namespace rz::plat {

namespace {
std::atomic<size_t> g_liveBlocks{0};
}

HGLOBAL mem_alloc(uint32_t flags, size_t bytes) {
  if (faults::hit(faults::Op::Alloc, nullptr)) return nullptr;
  HGLOBAL block = GlobalAlloc(flags, bytes);
  if (block) ++g_liveBlocks;
  return block;
}

size_t mem_live(size_t* bytes) {
  if (bytes) *bytes = 0;  // the Win32 heap does not tell; the count is what leak checks use
  return g_liveBlocks.load();
}

size_t mem_size(HGLOBAL block) { return block ? GlobalSize(block) : 0; }

void* mem_lock(HGLOBAL block) {
  if (!block) return nullptr;
  if (faults::hit(faults::Op::Lock, nullptr)) return nullptr;
  return GlobalLock(block);
}

void* mem_lock_sized(HGLOBAL block, size_t least, size_t* size) {
  if (size) *size = 0;
  const size_t n = mem_size(block);
  if (n < least) return nullptr;
  void* p = mem_lock(block);
  if (p && size) *size = n;
  return p;
}

uint32_t mem_unlock(HGLOBAL block) {
  if (!block) return 0;
  return GlobalUnlock(block) ? 1u : 0u;
}

// Win32 blocks are movable: a pin is a lock.
void* mem_pin(HGLOBAL block, size_t* size) { return mem_lock_sized(block, 1, size); }

void* mem_pin_sized(HGLOBAL block, size_t least, size_t* size) { return mem_lock_sized(block, least, size); }

void mem_unpin(HGLOBAL block) { mem_unlock(block); }

// The Win32 heap clears what it hands out itself.
void mem_note_written(HGLOBAL, size_t) {}

void* mem_lock_exposed(HGLOBAL block) { return mem_lock(block); }

bool mem_free(HGLOBAL block) {
  if (!block) return false;
  if (GlobalFree(block) != nullptr) return false;
  --g_liveBlocks;
  return true;
}


HMMIO file_open(const char* path, uint32_t flags) {
  if (!path) return nullptr;
  char name[MAX_PATH];
  if (std::strlen(path) >= sizeof name) return nullptr;
  std::strcpy(name, path);
  return mmioOpenA(name, nullptr, flags);
}

void file_close(HMMIO file) {
  if (file) mmioClose(file, 0);
}

int32_t file_read(HMMIO file, void* buffer, int32_t bytes) {
  if (!file || !buffer || bytes < 0) return -1;
  int32_t keep = -1;
  if (faults::hit(faults::Op::Read, &keep)) {
    if (keep < 0) return -1;
    if (keep < bytes) bytes = keep;
  }
  return mmioRead(file, static_cast<HPSTR>(buffer), bytes);
}

int32_t file_write(HMMIO file, const void* buffer, int32_t bytes) {
  if (!file || !buffer || bytes < 0) return -1;
  int32_t keep = -1;
  if (faults::hit(faults::Op::Write, &keep)) {
    if (keep < 0) return -1;
    if (keep < bytes) bytes = keep;
  }
  return mmioWrite(file, static_cast<const char*>(buffer), bytes);
}

int32_t file_seek(HMMIO file, int32_t offset) {
  if (!file) return -1;
  if (faults::hit(faults::Op::Seek, nullptr)) return -1;
  return mmioSeek(file, offset, SEEK_SET);
}

uint32_t file_attributes(const char* path) { return path ? GetFileAttributesA(path) : 0xFFFFFFFFu; }

bool file_length(const char* path, uint32_t* length) {
  if (!path || !length) return false;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path, &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  *length = data.nFileSizeLow;
  return true;
}

bool same_file(const char* a, const char* b) {
  if (!a || !b) return false;
  char fa[MAX_PATH], fb[MAX_PATH];
  if (!GetFullPathNameA(a, MAX_PATH, fa, nullptr) || !GetFullPathNameA(b, MAX_PATH, fb, nullptr))
    return false;
  return lstrcmpiA(fa, fb) == 0;
}

void set_error_mode(uint32_t mode) { SetErrorMode(mode); }

void discard_last_error() { (void)GetLastError(); }

int load_string(uint32_t id, char* buffer, int limit) {
  if (!buffer || limit <= 0) return 0;
  HINSTANCE module = g_moduleInstance ? g_moduleInstance : GetModuleHandleA(nullptr);
  return LoadStringA(module, id, buffer, limit);
}

int format(char* buffer, size_t size, const char* fmt, ...) {
  if (!buffer || size == 0) return 0;
  char text[1025];  // wvsprintfA's own limit
  va_list args;
  va_start(args, fmt);
  int n = wvsprintfA(text, fmt, args);
  va_end(args);
  if (n < 0) n = 0;
  if (size_t(n) >= size) n = int(size - 1);
  std::memcpy(buffer, text, size_t(n));
  buffer[n] = '\0';
  return n;
}

}  // namespace rz::plat

#endif  // _WIN32
