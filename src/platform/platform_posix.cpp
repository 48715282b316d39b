// POSIX implementation of the platform layer: our own movable-memory blocks
// with a lock-free registry of live handles, and a positioned file layer over pread and
// pwrite (a seek is bookkeeping, not a system call).
#ifndef _WIN32

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <atomic>

#include "platform/faults.h"
#include "platform/platform.h"
#include "platform/string_table.h"

namespace rz::plat {
namespace {

// ---- Memory blocks --------------------------------------------------------
// Handles are registry keys, never addresses: a stale or made-up handle is
// simply not found, so it fails to lock instead of touching freed memory.
//
// A key names a slot of a table and the slot's generation:
//   bits 0-3  always 8 (never null, never aligned like a pointer);
//   then kIndexBits of slot index, then the generation.
// Freeing a block moves its slot to the next generation, so the old key no
// longer matches even when the slot holds a new block.  Looking a block up
// (lock, unlock, size) takes no lock at all: the slot's tag is read, the
// fields, then the tag again; only allocating and freeing serialise.
constexpr unsigned kTagShift = 4;
constexpr uintptr_t kTagMask = 0xF;
constexpr uintptr_t kTagBits = 8;
constexpr unsigned kIndexBits = 22;  // up to 4 Mi live blocks
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr unsigned kGenerationShift = kTagShift + kIndexBits;
constexpr uintptr_t kGenerationMask = ~uintptr_t(0) >> kGenerationShift;
constexpr uint32_t kChunkSlots = 4096;
constexpr uint32_t kChunks = (kIndexMask + 1) / kChunkSlots;
constexpr uint32_t kNoSlot = ~uint32_t(0);
// Zero-filled blocks from this size on are mapped from the operating system
// (pages come zeroed and are touched only when written) and unmapped when
// freed, rather than taken from the heap and cleared.
constexpr size_t kMapThreshold = size_t(1) << 20;

struct Slot {
  // generation << 1 | live.  Generations start at 1, so no key with
  // generation 0 is ever live.
  std::atomic<uintptr_t> tag{0};
  std::atomic<void*> data{nullptr};
  std::atomic<size_t> size{0};
  std::atomic<uint32_t> locks{0};
  // Bytes from the block's start that may have been written: the whole block
  // unless its owner says less (mem_note_written) and no caller ever locked
  // it through the exported GlobalLock.
  std::atomic<size_t> written{0};
  std::atomic<bool> exposed{false};
  // Touched only by allocation and freeing, under the registry's mutex.
  bool mapped = false;
  uint32_t nextFree = kNoSlot;
};

struct Registry {
  std::mutex mutex;  // allocation and freeing
  std::atomic<Slot*> chunks[kChunks] = {};
  uint32_t used = 0;  // slots ever handed out
  uint32_t freeHead = kNoSlot;
  size_t liveBlocks = 0;
  size_t liveBytes = 0;
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: handles may outlive statics
  return *r;
}

uintptr_t live_tag(uintptr_t generation) { return (generation << 1) | 1u; }

// The slot a key names and the tag it must carry to be live, or nullptr for a
// key that names no slot.
Slot* slot_of(HGLOBAL h, uintptr_t* tag) {
  const auto key = reinterpret_cast<uintptr_t>(h);
  if ((key & kTagMask) != kTagBits) return nullptr;
  const uint32_t index = uint32_t(key >> kTagShift) & kIndexMask;
  Slot* chunk = registry().chunks[index / kChunkSlots].load(std::memory_order_acquire);
  if (!chunk) return nullptr;
  *tag = live_tag(key >> kGenerationShift);
  return &chunk[index % kChunkSlots];
}

// The slot of a live block, or nullptr.
Slot* live_slot(HGLOBAL h, uintptr_t* tag) {
  Slot* s = slot_of(h, tag);
  return s && s->tag.load(std::memory_order_acquire) == *tag ? s : nullptr;
}

// True when the slot still carries the tag it had when its fields were read.
// The fields are stored with release and loaded with acquire, so this load
// cannot move before them, and a reader that saw a reused slot's new fields
// also sees the free that changed the tag before them.
bool still_live(const Slot& s, uintptr_t tag) { return s.tag.load(std::memory_order_relaxed) == tag; }

// Takes a free slot or a new one; under the registry's mutex.
bool take_slot(Registry& r, uint32_t* index) {
  if (r.freeHead != kNoSlot) {
    *index = r.freeHead;
    r.freeHead = r.chunks[*index / kChunkSlots].load(std::memory_order_relaxed)[*index % kChunkSlots].nextFree;
    return true;
  }
  if (r.used > kIndexMask) return false;
  const uint32_t chunk = r.used / kChunkSlots;
  if (!r.chunks[chunk].load(std::memory_order_relaxed)) {
    Slot* fresh = new (std::nothrow) Slot[kChunkSlots];
    if (!fresh) return false;
    r.chunks[chunk].store(fresh, std::memory_order_release);
  }
  *index = r.used++;
  return true;
}

// One released mapping kept for the next block of its size.  A program that
// opens file after file (an archive indexer, a fuzzer) then reuses the pages
// its last handle touched instead of faulting fresh zero pages in for every
// handle: on a virtual machine a page fault costs more than clearing the page,
// and a handle of a file with many records touches hundreds of pages.
struct SpareMapping {
  std::mutex mutex;
  void* data = nullptr;
  size_t size = 0;
  size_t written = 0;  // bytes from the start that may not be zero
};

SpareMapping& spare() {
  static SpareMapping* s = new SpareMapping;  // never destroyed, like the registry
  return *s;
}

// Calls run(at, len, resident) for each run of pages of [data, data + n) that
// are all in memory, or all not; false when the kernel cannot say.
template <class Run>
bool page_runs(void* data, size_t n, Run&& run) {
  static const size_t page = size_t(::sysconf(_SC_PAGESIZE));
  auto* base = static_cast<uint8_t*>(data);
  const size_t pages = (n + page - 1) / page;
  unsigned char resident[2048];
  for (size_t first = 0; first < pages; first += sizeof resident) {
    const size_t count = std::min(sizeof resident, pages - first);
    if (::mincore(base + first * page, count * page, resident) != 0) return false;
    size_t start = 0;  // first page of the current run
    for (size_t i = 1; i <= count; ++i) {
      if (i < count && (resident[i] & 1u) == (resident[start] & 1u)) continue;
      if (!run(base + (first + start) * page, (i - start) * page, (resident[start] & 1u) != 0)) return false;
      start = i;
    }
  }
  return true;
}

// Brings a reused mapping back to zeros: pages in memory are cleared in place,
// the others (never touched, or swapped out) are given back to the kernel,
// which maps them as zero pages again at their next touch.  Only the first
// `written` bytes can hold anything: the pages behind them are left alone.
bool clear_mapping(void* data, size_t written) {
  return page_runs(data, written, [](uint8_t* at, size_t len, bool inMemory) {
    if (inMemory) std::memset(at, 0, len);
    else if (::madvise(at, len, MADV_DONTNEED) != 0) return false;
    return true;
  });
}

#ifdef RZ_VERIFY_UNWRITTEN
// Sanitizer builds check the promise mem_note_written relies on: nothing
// behind the noted bytes was written.
void verify_unwritten(void* data, size_t n, size_t written) {
  static const size_t page = size_t(::sysconf(_SC_PAGESIZE));
  const size_t from = written / page * page;
  if (from >= n) return;
  auto* base = static_cast<uint8_t*>(data);
  page_runs(base + from, n - from, [&](uint8_t* at, size_t len, bool inMemory) {
    if (!inMemory) return true;
    for (size_t i = 0; i < len; ++i) {
      if (at + i >= base + written && at[i] != 0) {
        std::fprintf(stderr, "block written at byte %zu, behind the %zu bytes noted\n", size_t(at + i - base),
                     written);
        std::abort();
      }
    }
    return true;
  });
}
#endif

void* zeroed_pages(size_t n) {
  {
    SpareMapping& sp = spare();
    void* reused = nullptr;
    size_t written = 0;
    {
      std::lock_guard<std::mutex> lock(sp.mutex);
      if (sp.data && sp.size == n) {
        reused = sp.data;
        written = sp.written;
        sp.data = nullptr;
      }
    }
    if (reused) {
      if (clear_mapping(reused, written)) return reused;
      ::munmap(reused, n);
    }
  }
  void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_NOHUGEPAGE
  // Small pages: a handle writes a few kilobytes of its block, and a huge
  // page would have the kernel clear 2 MiB at the first write.
  ::madvise(p, n, MADV_NOHUGEPAGE);
#endif
  return p;
}

void release_data(void* data, size_t n, bool mapped, size_t written) {
  if (!mapped) {
    std::free(data);
    return;
  }
#ifdef RZ_VERIFY_UNWRITTEN
  verify_unwritten(data, n, written);
#endif
  {
    SpareMapping& sp = spare();
    std::lock_guard<std::mutex> lock(sp.mutex);
    if (!sp.data) {
      sp.data = data;
      sp.size = n;
      sp.written = written < n ? written : n;
      return;
    }
  }
  ::munmap(data, n);
}

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
  const bool zero = (flags & kMemZeroInit) != 0;
  const bool mapped = zero && n >= kMapThreshold;
  void* data = mapped ? zeroed_pages(n) : zero ? std::calloc(1, n) : std::malloc(n);
  if (!data) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  uint32_t index = 0;
  if (!take_slot(r, &index)) {
    release_data(data, n, mapped, n);
    return nullptr;
  }
  Slot& s = r.chunks[index / kChunkSlots].load(std::memory_order_relaxed)[index % kChunkSlots];
  uintptr_t generation = s.tag.load(std::memory_order_relaxed) >> 1;
  if (generation == 0) generation = 1;
  s.data.store(data, std::memory_order_release);
  s.size.store(bytes, std::memory_order_release);
  s.locks.store(0, std::memory_order_relaxed);
  s.written.store(n, std::memory_order_relaxed);
  s.exposed.store(false, std::memory_order_relaxed);
  s.mapped = mapped;
  s.tag.store(live_tag(generation), std::memory_order_release);
  ++r.liveBlocks;
  r.liveBytes += bytes;
  const uintptr_t key = (((generation << kIndexBits) | index) << kTagShift) | kTagBits;
  return reinterpret_cast<HGLOBAL>(key);
}

namespace {

// Locks a live block of at least `least` bytes.  The fault seam counts the
// locks the caller attempts: every non-null one for a plain lock, only those
// of blocks large enough for a sized one.
void* lock_block(HGLOBAL block, size_t least, size_t* size, bool plain, bool count = true) {
  if (size) *size = 0;
  if (plain && (!block || faults::hit(faults::Op::Lock, nullptr))) return nullptr;
  uintptr_t tag = 0;
  Slot* s = live_slot(block, &tag);
  if (!s) return nullptr;
  const size_t n = s->size.load(std::memory_order_acquire);
  if (n < least) return nullptr;
  if (!plain && faults::hit(faults::Op::Lock, nullptr)) return nullptr;
  void* data = s->data.load(std::memory_order_acquire);
  if (count) s->locks.fetch_add(1, std::memory_order_relaxed);
  if (!still_live(*s, tag)) return nullptr;
  if (size) *size = n;
  return data;
}

}  // namespace

void* mem_lock(HGLOBAL block) { return lock_block(block, 0, nullptr, true); }

void* mem_lock_sized(HGLOBAL block, size_t least, size_t* size) {
  return lock_block(block, least, size, false);
}

void* mem_pin(HGLOBAL block, size_t* size) {
  if (size) *size = 0;
  uintptr_t tag = 0;
  Slot* s = live_slot(block, &tag);
  if (!s) return nullptr;
  const size_t n = s->size.load(std::memory_order_acquire);
  void* data = s->data.load(std::memory_order_acquire);
  if (!still_live(*s, tag)) return nullptr;
  if (size) *size = n;
  return data;
}

void* mem_pin_sized(HGLOBAL block, size_t least, size_t* size) {
  return lock_block(block, least, size, false, false);
}

void mem_unpin(HGLOBAL) {}

uint32_t mem_unlock(HGLOBAL block) {
  uintptr_t tag = 0;
  Slot* s = live_slot(block, &tag);
  if (!s) return 0;
  uint32_t locks = s->locks.load(std::memory_order_relaxed);
  while (locks > 0 && !s->locks.compare_exchange_weak(locks, locks - 1, std::memory_order_relaxed)) {
  }
  return locks > 0 ? locks - 1 : 0;
}

bool mem_free(HGLOBAL block) {
  uintptr_t tag = 0;
  Slot* s = slot_of(block, &tag);
  if (!s) return false;
  void* data = nullptr;
  size_t size = 0;
  bool mapped = false;
  size_t written = 0;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    uintptr_t next = ((tag >> 1) + 1) & kGenerationMask;
    if (next == 0) next = 1;
    if (!s->tag.compare_exchange_strong(tag, next << 1, std::memory_order_acq_rel)) return false;
    data = s->data.load(std::memory_order_relaxed);
    size = s->size.load(std::memory_order_relaxed);
    mapped = s->mapped;
    written = s->written.load(std::memory_order_relaxed);
    const auto key = reinterpret_cast<uintptr_t>(block);
    s->nextFree = r.freeHead;
    r.freeHead = uint32_t(key >> kTagShift) & kIndexMask;
    --r.liveBlocks;
    r.liveBytes -= size;
  }
  release_data(data, size ? size : 1, mapped, written);
  return true;
}

void mem_note_written(HGLOBAL block, size_t bytes) {
  uintptr_t tag = 0;
  Slot* s = live_slot(block, &tag);
  if (!s || s->exposed.load(std::memory_order_acquire)) return;
  if (bytes < s->written.load(std::memory_order_relaxed)) s->written.store(bytes, std::memory_order_relaxed);
}

void* mem_lock_exposed(HGLOBAL block) {
  uintptr_t tag = 0;
  if (Slot* s = live_slot(block, &tag)) {
    s->exposed.store(true, std::memory_order_release);
    s->written.store(s->size.load(std::memory_order_acquire), std::memory_order_relaxed);
  }
  return mem_lock(block);
}

size_t mem_size(HGLOBAL block) {
  uintptr_t tag = 0;
  Slot* s = live_slot(block, &tag);
  if (!s) return 0;
  const size_t n = s->size.load(std::memory_order_acquire);
  return still_live(*s, tag) ? n : 0;
}

size_t mem_live(size_t* bytes) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (bytes) *bytes = r.liveBytes;
  return r.liveBlocks;
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

// What a caller locks it may write anywhere: the block is cleared whole when reused.
RZ_PUBLIC void* GlobalLock(HGLOBAL block) { return rz::plat::mem_lock_exposed(block); }

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

