// The thin layer between the library and the operating system: movable memory
// blocks, the multimedia-style file layer, directory look-ups, the error mode,
// the module's string table and decimal formatting.  Nothing above this layer
// includes an OS header.  Two implementations stand behind it: Win32 (the real
// services) and POSIX (our own).  Every allocation, lock, read, write and seek
// passes the fault seam (faults.h) so that tests can make the n-th call fail
// or fall short.
#pragma once

#include <cstddef>
#include <cstdint>

#include "razivera.h"

namespace rz::plat {

// ---- Movable memory blocks ----------------------------------------------
constexpr uint32_t kMemMoveable = 0x0002;
constexpr uint32_t kMemZeroInit = 0x0040;
constexpr uint32_t kMemFlags = kMemMoveable | kMemZeroInit;  // 66

HGLOBAL mem_alloc(uint32_t flags, size_t bytes);
// Pointer to the block, or nullptr for a handle that is not live.
void* mem_lock(HGLOBAL block);
// One look-up for the common case of a block that must hold at least `least`
// bytes: its pointer (locked) and, when size is given, its size; nullptr
// without locking when the block is not live or smaller.
void* mem_lock_sized(HGLOBAL block, size_t least, size_t* size);
// Lock count left after this unlock.
uint32_t mem_unlock(HGLOBAL block);
// Pins a block the library owns (a handle's buffers and tables) for the rest
// of a call that holds the owning handle locked: its address and, when size
// is given, its size; nullptr for a block that is not live.  Where blocks
// never move (POSIX) this is a look-up that counts no lock, so that a call
// touching every channel's buffer pays no atomic operation per buffer; Win32
// locks the block.  Every pin is ended by mem_unpin.
void* mem_pin(HGLOBAL block, size_t* size);
// mem_pin for a block that must hold at least `least` bytes, asking the fault
// seam as a lock does: how every export takes its handle for the call.
void* mem_pin_sized(HGLOBAL block, size_t least, size_t* size);
void mem_unpin(HGLOBAL block);
// Releases a live block; false for a null or dead handle.
bool mem_free(HGLOBAL block);
// The block's owner knows that only its first `bytes` were ever written: a
// freed block's memory, reused for a later block, is then cleared only there.
// Ignored once a caller has locked the block through GlobalLock.
void mem_note_written(HGLOBAL block, size_t bytes);
// mem_lock for a caller outside the library (GlobalLock): from now on the
// whole block counts as written.
void* mem_lock_exposed(HGLOBAL block);
// Size of a live block, 0 otherwise.
size_t mem_size(HGLOBAL block);
// Blocks alive now and, when bytes is given, their total size: lets leak and
// soak tests, and long sessions, check that memory does not grow.
size_t mem_live(size_t* bytes);

// ---- Multimedia-style file layer ------------------------------------------
// Open flags as the library passes them.
constexpr uint32_t kOpenRead = 0;
constexpr uint32_t kOpenWrite = 1;
constexpr uint32_t kOpenReadWrite = 2;
constexpr uint32_t kOpenCreate = 0x1000;  // with kOpenReadWrite: 4098

HMMIO file_open(const char* path, uint32_t flags);
void file_close(HMMIO file);
// Bytes transferred, 0 at the end of the file, negative on failure.
int32_t file_read(HMMIO file, void* buffer, int32_t bytes);
int32_t file_write(HMMIO file, const void* buffer, int32_t bytes);
// Seeks from the start of the file; the new position, negative on failure.
int32_t file_seek(HMMIO file, int32_t offset);

// Attribute bits of a path (0xFFFFFFFF when it does not exist).
uint32_t file_attributes(const char* path);
// Length of the file as its directory entry gives it (low 32 bits).
bool file_length(const char* path, uint32_t* length);
// True when both paths name one existing file.
bool same_file(const char* a, const char* b);
// No message boxes for missing drives or files (no-op off Windows).
void set_error_mode(uint32_t mode);
constexpr uint32_t kQuietErrorMode = 0x8001;
// Fetches the last OS error after a failed write and drops it.
void discard_last_error();

// ---- Strings ----------------------------------------------------------------
// Copies string resource `id` into `buffer` with at most limit - 1 characters
// and a NUL; returns the characters copied, 0 (buffer untouched) when the
// table holds no such entry.
int load_string(uint32_t id, char* buffer, int limit);

// printf-style formatting into a bounded buffer (the decimal record count and
// the start date text); always NUL-terminated, returns the length written.
int format(char* buffer, size_t size, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace rz::plat
