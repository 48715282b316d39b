// Where the structure readers take their bytes from: a file on disk, or bytes
// in memory (tests and fuzzing).  Reads are positioned and may fall short at
// the end of the data; nothing beyond the data is ever touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tool {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads up to n bytes at pos into buf; the number of bytes read.
  virtual size_t read(uint64_t pos, void* buf, size_t n) = 0;

  // True when all n bytes at pos were read.
  bool read_exact(uint64_t pos, void* buf, size_t n) { return read(pos, buf, n) == n; }
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  size_t read(uint64_t pos, void* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  // Opens a regular file for reading; false (with errno set) when it cannot
  // be, or is not a regular file.
  bool open(const std::string& path);
  uint64_t size() const override { return size_; }
  size_t read(uint64_t pos, void* buf, size_t n) override;

 private:
  std::FILE* f_ = nullptr;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;  // where the stream stands, to skip needless seeks
};

// Why `path` cannot be read as an input file - missing, not a regular file
// (a directory, a device), unreadable, empty - or an empty text when it can.
// Its size goes to `size`.
std::string input_file_problem(const std::string& path, uint64_t& size);

// Seeks a stream to an absolute 64-bit position.
bool seek_file(std::FILE* f, uint64_t pos);

}  // namespace tool
