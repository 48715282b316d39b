#include "source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "text.h"

namespace tool {

size_t MemorySource::read(uint64_t pos, void* buf, size_t n) {
  if (pos >= size_) return 0;
  const uint64_t room = size_ - pos;
  const size_t take = n < room ? n : size_t(room);
  std::memcpy(buf, data_ + pos, take);
  return take;
}

bool seek_file(std::FILE* f, uint64_t pos) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

FileSource::~FileSource() {
  if (f_) std::fclose(f_);
}

bool FileSource::open(const std::string& path) {
  f_ = std::fopen(path.c_str(), "rb");
  if (!f_) return false;
#if !defined(_WIN32)
  // A directory opens too, and reports a size of 2^63 - 1.
  struct stat st = {};
  if (fstat(fileno(f_), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
#endif
#if defined(_WIN32)
  if (_fseeki64(f_, 0, SEEK_END) != 0) return false;
  const __int64 end = _ftelli64(f_);
#else
  if (fseeko(f_, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(f_);
#endif
  if (end < 0) return false;
  size_ = uint64_t(end);
  pos_ = size_;
  return true;
}

size_t FileSource::read(uint64_t pos, void* buf, size_t n) {
  if (!f_ || pos >= size_) return 0;
  if (pos != pos_) {
    if (!seek_file(f_, pos)) return 0;
    pos_ = pos;
  }
  const size_t got = std::fread(buf, 1, n, f_);
  pos_ += got;
  if (got < n) std::clearerr(f_);
  return got;
}

std::string input_file_problem(const std::string& path, uint64_t& size) {
  size = 0;
  struct stat st = {};
  if (stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? "no such file" : strf("cannot use it: %s", std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return "is a directory, not a file";
  if (!S_ISREG(st.st_mode)) return "is not a regular file (a device, a FIFO or a socket)";
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return strf("cannot be read: %s", std::strerror(errno));
  std::fclose(f);
  size = uint64_t(st.st_size);
  if (size == 0) return "is empty (0 bytes)";
  return std::string();
}

}  // namespace tool
