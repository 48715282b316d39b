#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "frame/error_ring.h"
#include "platform/faults.h"

namespace rzt {

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t get32(const Bytes& b, size_t off, bool big) {
  if (off + 4 > b.size()) return 0xDEADBEEF;
  return big ? (uint32_t(b[off]) << 24) | (uint32_t(b[off + 1]) << 16) | (uint32_t(b[off + 2]) << 8) | b[off + 3]
             : (uint32_t(b[off + 3]) << 24) | (uint32_t(b[off + 2]) << 16) | (uint32_t(b[off + 1]) << 8) | b[off];
}

uint16_t get16(const Bytes& b, size_t off, bool big) {
  if (off + 2 > b.size()) return 0xDEAD;
  return big ? uint16_t((b[off] << 8) | b[off + 1]) : uint16_t((b[off + 1] << 8) | b[off]);
}

void put32(Bytes& b, size_t off, uint32_t v, bool big) {
  if (b.size() < off + 4) b.resize(off + 4);
  for (int i = 0; i < 4; ++i) {
    b[off + size_t(i)] = uint8_t(v >> (big ? 24 - 8 * i : 8 * i));
  }
}

std::string text_at(const Bytes& b, size_t off, size_t len) {
  if (off + len > b.size()) return "<out of file>";
  return std::string(reinterpret_cast<const char*>(b.data() + off), len);
}

std::vector<size_t> diff_offsets(const Bytes& a, const Bytes& b) {
  std::vector<size_t> out;
  const size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) out.push_back(i);
  return out;
}

Bio::~Bio() { close(); }

Bio& Bio::operator=(Bio&& o) noexcept {
  if (this != &o) {
    close();
    h_ = o.h_;
    o.h_ = nullptr;
  }
  return *this;
}

void Bio::close() {
  if (h_) {
    EXPECT_EQ(RAZIVERACloseBioFile(h_), nullptr);
  }
  h_ = nullptr;
}

void FileTest::SetUp() {
  rz::plat::faults::reset();
  rz::errors::clear();
#ifdef _WIN32
  // No mkdtemp here: the process id and a serial make the name unique.
  static unsigned serial = 0;
  const std::filesystem::path d = std::filesystem::temp_directory_path() /
      ("razivera-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
  std::error_code ec;
  std::filesystem::remove_all(d, ec);
  ASSERT_TRUE(std::filesystem::create_directory(d, ec)) << d.string() << ": " << ec.message();
  dir_ = d.string();
#else
  char tmpl[] = "/tmp/razivera-test-XXXXXX";
  const char* d = mkdtemp(tmpl);
  ASSERT_NE(d, nullptr);
  dir_ = d;
#endif
}

void FileTest::TearDown() {
  rz::plat::faults::reset();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

Bio FileTest::create(const std::string& name, bool big, uint32_t framesPerBuffer) {
  Bio h(RAZIVERAOpenBioFile(path(name).c_str(), RZ_OPEN_CREATE, framesPerBuffer));
  EXPECT_TRUE(h);
  if (h) {
    EXPECT_EQ(RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, big ? 1 : 0), 1u);
    EXPECT_EQ(DARARARCreateBaseHeader(h), 1);
  }
  return h;
}

Bio FileTest::open(const std::string& name, uint16_t mode) {
  return Bio(RAZIVERAOpenBioFile(path(name).c_str(), mode, 1));
}

FileImage::FileImage(bool big, const char* countDigits) : big_(big) {
  const char* head = "VOZO-SPG00011000";
  b_.assign(head, head + 16);
  b_.push_back(big ? 'B' : 'L');
  b_.push_back('S');
  const char* digits = countDigits ? countDigits : "0000";
  b_.insert(b_.end(), digits, digits + 4);
  b_.insert(b_.end(), 10, ' ');
}

void FileImage::set_count_digits(const char* digits) { std::memcpy(b_.data() + 18, digits, 4); }

size_t FileImage::start_record() {
  recordStart_ = b_.size();
  ++records_;
  put32(b_, recordStart_, 16, big_);
  put32(b_, recordStart_ + 4, 10, big_);
  put32(b_, recordStart_ + 8, records_, big_);
  put32(b_, recordStart_ + 12, 0, big_);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04u", records_);
  set_count_digits(digits);
  return recordStart_;
}

size_t FileImage::chunk(uint32_t type, uint32_t id, const Bytes& body, uint32_t sizeOverride) {
  const size_t at = b_.size();
  put32(b_, at, sizeOverride ? sizeOverride : uint32_t(12 + body.size()), big_);
  put32(b_, at + 4, type, big_);
  put32(b_, at + 8, id, big_);
  b_.insert(b_.end(), body.begin(), body.end());
  return at;
}

void FileImage::end_record() {
  b_.insert(b_.end(), 16, 0);
  put32(b_, recordStart_, uint32_t(b_.size() - recordStart_), big_);
}

Bytes words(std::initializer_list<uint32_t> values, bool big) {
  Bytes b;
  for (uint32_t v : values) put32(b, b.size(), v, big);
  return b;
}

}  // namespace rzt
