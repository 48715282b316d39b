// The BaseHeader and the record scan.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "container/container.h"
#include "frame/error_ring.h"
#include "platform/platform.h"

namespace rz::container {
namespace {

// The header is read with room for this much; fewer than kMinHeader bytes
// fail the open.  Fields the file does not hold read as empty.
constexpr uint32_t kHeaderReadSize = 128;
constexpr uint32_t kMinHeader = 16;

// A decimal text field read as the runtime's strtod reads it (leading blanks
// skipped, the longest number taken, no number giving 0), cut to its integer
// part and kept as 16 bits.  Infinite and out-of-range values are clamped
// rather than converted with undefined behaviour.
uint16_t decimal_field(const uint8_t* header, uint32_t off, uint32_t len) {
  char text[16] = {};
  std::memcpy(text, header + off, len);
  const double value = std::strtod(text, nullptr);
  if (std::isnan(value)) return 0;
  const double whole = std::trunc(value);
  int64_t n;
  if (whole >= 9.2e18) n = INT64_MAX;
  else if (whole <= -9.2e18) n = INT64_MIN;
  else n = static_cast<int64_t>(whole);
  return static_cast<uint16_t>(static_cast<uint64_t>(n) & 0xFFFFu);
}

}  // namespace

namespace base_header {

void compose(char out[kSize], uint16_t code, uint16_t byteOrder, uint16_t letter) {
  std::memcpy(out + kMagic, kMagicText, 8);
  std::memcpy(out + kVersion, kWrittenVersion, 6);
  const char* codeText = code == 0 ? "00" : code == 1 ? "01" : "--";
  std::memcpy(out + kCode, codeText, 2);
  out[kByteOrder] = byteOrder == 0 ? 'L' : byteOrder == 1 ? 'B' : '-';
  out[kLetter] = letter == 0 ? 'S' : letter == 1 ? 'J' : letter == 2 ? 'E' : '-';
  std::memcpy(out + kCount, "0000", 4);
  std::memset(out + kPadding, ' ', kSize - kPadding);
}

}  // namespace base_header

bool read_header(BioFile& bf) {
  namespace bh = base_header;
  bf.headerValid = 0;
  uint8_t header[kHeaderReadSize] = {};
  if (read_at(bf, 0, header, kHeaderReadSize) < kMinHeader) return false;
  if (std::memcmp(header + bh::kMagic, bh::kMagicText, 8) != 0) {
    errors::record(errors::kBadMagic);
    return false;
  }
  bf.headerValid = 1;
  bf.formatVersion = decimal_field(header, bh::kVersion, 6);
  if (bf.formatVersion >= bh::kRefusedVersion) {
    errors::record(errors::kBadVersion);
    return false;
  }
  bf.headerCode = decimal_field(header, bh::kCode, 2);
  bf.ByteOrder = header[bh::kByteOrder] == 'B' ? 1 : 0;
  const uint8_t letter = header[bh::kLetter];
  bf.headerLetter = letter == 'E' ? 2 : letter == 'J' ? 1 : 0;
  const uint16_t count = decimal_field(header, bh::kCount, 4);
  bf.recordCount = count > kMaxRecords ? uint16_t(kMaxRecords) : count;
  return scan_records(bf);
}

bool scan_records(BioFile& bf) {
  if (bf.recordCount == 0) return false;
  const auto read = [&bf](uint64_t pos, void* buf, size_t n) -> size_t {
    return read_at(bf, uint32_t(pos), buf, uint32_t(n));
  };
  // A first record that was never ended reaches as far as the directory
  // entry says the file does.
  const auto fileLength = [&bf](uint32_t& n) { return plat::file_length(bf.path, &n); };
  const auto place = [&bf](uint32_t r, uint32_t offset, uint32_t length) {
    bf.recordOffset[r] = offset;
    bf.recordSize[r] = length;
  };
  return walk_records(read, fileLength, bf.recordCount, bf.big(), place) > 0;
}

}  // namespace rz::container

using namespace rz;

extern "C" RZ_PUBLIC int32_t RZAPI DARARARCreateBaseHeader(HGLOBAL h) {
  BioLock bf(h);
  if (!bf) return 0;
  // Writing the header over a file that holds records would reset its count
  // digits to 0000 and lose every record.
  if (bf->recordCount > 0) return 0;
  bf->headerValid = 1;
  char header[container::base_header::kSize];
  container::base_header::compose(header, bf->headerCode, bf->ByteOrder, bf->headerLetter);
  if (!container::write_at(*bf, 0, header, sizeof header)) return 0;
  bf->writePos = container::base_header::kSize;
  return 1;
}
