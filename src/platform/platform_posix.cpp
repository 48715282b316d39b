// POSIX implementation of the platform layer: our own movable-memory blocks
// with a registry of live handles, and a positioned file layer over pread and
// pwrite (a seek is bookkeeping, not a system call).
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/faults.h"
#include "platform/platform.h"
#include "platform/string_table.h"

namespace rz::plat {
namespace {

// ---- Memory blocks --------------------------------------------------------
// Handles are registry keys, never addresses: a stale or made-up handle is
// simply not found, so it fails to lock instead of touching freed memory.
struct Block {
  void* data;
  size_t size;
  uint32_t locks;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<uintptr_t, Block> live;
  uintptr_t next = 1;
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: handles may outlive statics
  return *r;
}

uintptr_t key_of(HGLOBAL h) { return reinterpret_cast<uintptr_t>(h); }

// ---- Files -------------------------------------------------------------------
struct PosixFile {
  int fd;
  int64_t pos;
};

PosixFile* as_file(HMMIO f) { return static_cast<PosixFile*>(f); }

}  // namespace

HGLOBAL mem_alloc(uint32_t flags, size_t bytes) {
  if (faults::hit(faults::Op::Alloc, nullptr)) return nullptr;
  const size_t n = bytes ? bytes : 1;
  void* data = (flags & kMemZeroInit) ? std::calloc(1, n) : std::malloc(n);
  if (!data) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  // Keys step by 16 and start at 16 + 8: never null, never a plausible pointer.
  const uintptr_t key = (r.next++ << 4) | 8u;
  r.live.emplace(key, Block{data, bytes, 0});
  return reinterpret_cast<HGLOBAL>(key);
}

void* mem_lock(HGLOBAL block) {
  if (!block) return nullptr;
  if (faults::hit(faults::Op::Lock, nullptr)) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.live.find(key_of(block));
  if (it == r.live.end()) return nullptr;
  ++it->second.locks;
  return it->second.data;
}

uint32_t mem_unlock(HGLOBAL block) {
  if (!block) return 0;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.live.find(key_of(block));
  if (it == r.live.end()) return 0;
  if (it->second.locks > 0) --it->second.locks;
  return it->second.locks;
}

bool mem_free(HGLOBAL block) {
  if (!block) return false;
  void* data = nullptr;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.live.find(key_of(block));
    if (it == r.live.end()) return false;
    data = it->second.data;
    r.live.erase(it);
  }
  std::free(data);
  return true;
}

size_t mem_size(HGLOBAL block) {
  if (!block) return 0;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.live.find(key_of(block));
  return it == r.live.end() ? 0 : it->second.size;
}

size_t mem_live(size_t* bytes) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (bytes) {
    *bytes = 0;
    for (const auto& entry : r.live) *bytes += entry.second.size;
  }
  return r.live.size();
}

HMMIO file_open(const char* path, uint32_t flags) {
  if (!path) return nullptr;
  int oflags = O_CLOEXEC;
  switch (flags & 3u) {
    case kOpenRead: oflags |= O_RDONLY; break;
    case kOpenWrite: oflags |= O_WRONLY; break;
    case kOpenReadWrite: oflags |= O_RDWR; break;
    default: return nullptr;
  }
  if (flags & kOpenCreate) oflags |= O_CREAT | O_TRUNC;
  const int fd = ::open(path, oflags, 0644);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  auto* f = new (std::nothrow) PosixFile{fd, 0};
  if (!f) ::close(fd);
  return f;
}

void file_close(HMMIO file) {
  if (!file) return;
  ::close(as_file(file)->fd);
  delete as_file(file);
}

int32_t file_read(HMMIO file, void* buffer, int32_t bytes) {
  if (!file || !buffer || bytes < 0) return -1;
  int32_t keep = -1;
  if (faults::hit(faults::Op::Read, &keep)) {
    if (keep < 0) return -1;
    if (keep < bytes) bytes = keep;
  }
  PosixFile* f = as_file(file);
  int32_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < bytes) {
    const ssize_t r = ::pread(f->fd, out + done, static_cast<size_t>(bytes - done), f->pos);
    if (r < 0) {
      if (errno == EINTR) continue;
      return done ? done : -1;
    }
    if (r == 0) break;
    done += static_cast<int32_t>(r);
    f->pos += r;
  }
  return done;
}

int32_t file_write(HMMIO file, const void* buffer, int32_t bytes) {
  if (!file || !buffer || bytes < 0) return -1;
  int32_t keep = -1;
  bool fall_short = false;
  if (faults::hit(faults::Op::Write, &keep)) {
    if (keep < 0) return -1;
    if (keep < bytes) {
      bytes = keep;
      fall_short = true;
    }
  }
  PosixFile* f = as_file(file);
  if (f->pos + bytes > std::numeric_limits<int32_t>::max()) return -1;
  int32_t done = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (done < bytes) {
    const ssize_t w = ::pwrite(f->fd, in + done, static_cast<size_t>(bytes - done), f->pos);
    if (w < 0) {
      if (errno == EINTR) continue;
      return done ? done : -1;
    }
    if (w == 0) break;
    done += static_cast<int32_t>(w);
    f->pos += w;
  }
  return fall_short && done == 0 ? 0 : done;
}

int32_t file_seek(HMMIO file, int32_t offset) {
  if (!file) return -1;
  if (faults::hit(faults::Op::Seek, nullptr)) return -1;
  if (offset < 0) return -1;
  as_file(file)->pos = offset;
  return offset;
}

uint32_t file_attributes(const char* path) {
  struct stat st {};
  if (!path || ::stat(path, &st) != 0) return 0xFFFFFFFFu;
  if (S_ISDIR(st.st_mode)) return 0x10;                  // directory
  return (st.st_mode & S_IWUSR) ? 0x80u : 0x01u;          // normal / read-only
}

bool file_length(const char* path, uint32_t* length) {
  struct stat st {};
  if (!path || ::stat(path, &st) != 0) return false;
  *length = static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFFu);
  return true;
}

bool same_file(const char* a, const char* b) {
  struct stat sa {}, sb {};
  if (!a || !b || ::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void set_error_mode(uint32_t) {}

void discard_last_error() { errno = 0; }

int load_string(uint32_t id, char* buffer, int limit) {
  const char* text = nullptr;
  if (id == 1) text = RZ_STRING_FILE_TYPE;
  else if (id == 2) text = RZ_STRING_LIBRARY;
  if (!text || !buffer || limit <= 0) return 0;
  int n = 0;
  while (n < limit - 1 && text[n]) {
    buffer[n] = text[n];
    ++n;
  }
  buffer[n] = '\0';
  return n;
}

int format(char* buffer, size_t size, const char* fmt, ...) {
  if (!buffer || size == 0) return 0;
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buffer, size, fmt, args);
  va_end(args);
  if (n < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) < size ? n : static_cast<int>(size - 1);
}

}  // namespace rz::plat

// ---- The portable Win32-style memory exports -------------------------------
extern "C" {

RZ_PUBLIC HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
  return rz::plat::mem_alloc(flags, bytes);
}

RZ_PUBLIC void* GlobalLock(HGLOBAL block) { return rz::plat::mem_lock(block); }

RZ_PUBLIC int GlobalUnlock(HGLOBAL block) {
  return rz::plat::mem_unlock(block) > 0 ? 1 : 0;
}

RZ_PUBLIC HGLOBAL GlobalFree(HGLOBAL block) {
  if (!block) return nullptr;
  return rz::plat::mem_free(block) ? nullptr : block;
}

RZ_PUBLIC size_t GlobalSize(HGLOBAL block) { return rz::plat::mem_size(block); }

}  // extern "C"

#endif  // !_WIN32

