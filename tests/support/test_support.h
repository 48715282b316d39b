// Shared helpers for the test suite: temporary directories, whole-file
// reads, a handle that closes itself, and a builder for crafting files byte by
// byte (valid or damaged) in either byte order.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "razivera.h"

namespace rzt {

using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);

uint32_t get32(const Bytes& b, size_t off, bool big = false);
uint16_t get16(const Bytes& b, size_t off, bool big = false);
void put32(Bytes& b, size_t off, uint32_t v, bool big = false);
std::string text_at(const Bytes& b, size_t off, size_t len);

// len bytes of b from off; empty when b is shorter.
inline Bytes slice(const Bytes& b, size_t off, size_t len) {
  return off + len <= b.size() ? Bytes(b.begin() + long(off), b.begin() + long(off + len)) : Bytes();
}
// The parts one after the other.
inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Offsets at which two files differ (sizes compared too: extra bytes count).
std::vector<size_t> diff_offsets(const Bytes& a, const Bytes& b);

// A BioFile handle that is closed when it goes out of scope.
class Bio {
 public:
  Bio() = default;
  explicit Bio(HGLOBAL h) : h_(h) {}
  ~Bio();
  Bio(Bio&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  Bio& operator=(Bio&& o) noexcept;
  Bio(const Bio&) = delete;
  Bio& operator=(const Bio&) = delete;
  HGLOBAL get() const { return h_; }
  operator HGLOBAL() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  HGLOBAL release() { HGLOBAL h = h_; h_ = nullptr; return h; }
  void close();

 private:
  HGLOBAL h_ = nullptr;
};

// Every test gets a fresh directory, removed afterwards; the fault seam and
// the error ring are reset around each test.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // A new file in mode 4 with its base header written (byte order 1 = big).
  Bio create(const std::string& name, bool big = false, uint32_t framesPerBuffer = 1);
  Bio open(const std::string& name, uint16_t mode);

 private:
  std::string dir_;
};

// Builds a file image: header, records and raw chunks.
class FileImage {
 public:
  explicit FileImage(bool big = false, const char* countDigits = nullptr);
  // Starts a record; returns its offset.
  size_t start_record();
  // Appends a chunk: head (size, type, id) then body; size = 12 + body size
  // unless given.  Returns the chunk's offset.
  size_t chunk(uint32_t type, uint32_t id, const Bytes& body, uint32_t sizeOverride = 0);
  // Ends the current record: terminator and the length in its header.
  void end_record();
  void set_count_digits(const char* digits);
  Bytes& bytes() { return b_; }
  bool big() const { return big_; }
  void save(const std::string& path) const { write_file(path, b_); }

 private:
  Bytes b_;
  bool big_;
  size_t recordStart_ = 0;
  uint32_t records_ = 0;
};

// Body helper: u32 words in the image's byte order.
Bytes words(std::initializer_list<uint32_t> values, bool big);

}  // namespace rzt
