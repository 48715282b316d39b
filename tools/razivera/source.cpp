#include "source.h"

#include <cstring>

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

}  // namespace tool
