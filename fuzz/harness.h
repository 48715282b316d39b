// The fuzz harness: drives every reader - and, for a file opened for editing,
// every in-place editor - over one file whatever it holds, the way a review or
// editing application would.  The libFuzzer targets call it with the fuzzer's
// bytes; the test suite replays kept inputs and freshly made recordings
// through the same code.
//
// Each entry returns an empty string when every promise held, otherwise a
// description of the first one broken.  Memory faults are left to the
// sanitizers the harness is built with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzfuzz {

// Opens path in mode 1 and runs every read operation on every record and
// channel: record and channel information, user channel values, non-linear
// tables, frame information, read buffers and windows of assorted starts and
// lengths, events, scores, text lists, user information and every user data
// type.
std::string read_all(const std::string& path);

// Opens path in mode 3, runs the readers and then every in-place editor.  The
// file is compared after every call with the file before it: every changed
// byte must lie inside the stored chunk the call names (within its record and
// the file as it was), and a call that names no chunk must change nothing.
std::string edit_all(const std::string& path);

// Opens source in mode 1, continues its recording into target (copying the
// description, writing and ending a few frames) and reads the result back.
std::string copy_all(const std::string& source, const std::string& target);

enum class Target { Read, Edit, Copy };

// Writes the bytes to a file in dir and runs the target on it.
std::string run(Target target, const uint8_t* data, size_t size, const std::string& dir);

// Name of a target as used for corpus and regression folders.
const char* target_name(Target target);

}  // namespace rzfuzz
