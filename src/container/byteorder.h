// Byte order, in one place.  A file is little-endian ('L') or big-endian
// ('B'); every number of every head and table goes through these getters and
// putters, which compose bytes with shifts and so work on any host.  Texts and
// opaque data bytes never pass through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define RZ_SWAP_AVX2 1
#endif

namespace rz {

constexpr bool kHostBigEndian =
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    true;
#else
    false;
#endif

inline uint32_t load_u32(const void* base, size_t off, bool big) {
  const auto* p = static_cast<const uint8_t*>(base) + off;
  return big ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
             : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

inline void store_u32(void* base, size_t off, uint32_t v, bool big) {
  auto* p = static_cast<uint8_t*>(base) + off;
  if (big) {
    p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
  } else {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
  }
}

inline uint16_t load_u16(const void* base, size_t off, bool big) {
  const auto* p = static_cast<const uint8_t*>(base) + off;
  return big ? uint16_t((p[0] << 8) | p[1]) : uint16_t((p[1] << 8) | p[0]);
}

inline void store_u16(void* base, size_t off, uint16_t v, bool big) {
  auto* p = static_cast<uint8_t*>(base) + off;
  if (big) {
    p[0] = uint8_t(v >> 8); p[1] = uint8_t(v);
  } else {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8);
  }
}

// Reverses the bytes of each of `count` 32-bit words starting at byte `off`:
// the conversion of a run of words between file order and the other order.
inline void reverse_words32(void* base, size_t off, size_t count) {
  auto* p = static_cast<uint8_t*>(base) + off;
  for (size_t i = 0; i < count; ++i, p += 4) {
    uint8_t t = p[0]; p[0] = p[3]; p[3] = t;
    t = p[1]; p[1] = p[2]; p[2] = t;
  }
}

#if defined(RZ_SWAP_AVX2)
// Sixteen values at a time with one byte shuffle of a 256-bit register, on
// processors that have it (asked once): as fast as a plain copy, so that a
// big-endian file reads and writes as fast as a little-endian one.  Returns
// the values done; the caller does the rest.
__attribute__((target("avx2"))) inline size_t swap_words16_wide(uint8_t* dst, const uint8_t* src,
                                                                size_t count) {
  const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                         1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  size_t i = 0;
  // Four registers per turn: the loads of one turn do not wait on the
  // stores of the one before, as a copy's do not.
  for (; i + 64 <= count; i += 64) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i + 32));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i + 64));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i + 96));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i), _mm256_shuffle_epi8(a, order));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i + 32), _mm256_shuffle_epi8(b, order));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i + 64), _mm256_shuffle_epi8(c, order));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i + 96), _mm256_shuffle_epi8(d, order));
  }
  for (; i + 16 <= count; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i), _mm256_shuffle_epi8(v, order));
  }
  return i;
}

inline bool has_wide_swap() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

// Exchanges the two bytes of each 16-bit value of `count` values from src
// to dst (which may be src itself).  Waveform samples pass through here by
// the megabyte, so sixteen values are exchanged at a time where the processor
// can, else eight at a time in a 128-bit register where it has them, then
// four at a time in a 64-bit word (moved with memcpy, which compiles to plain
// loads and stores at any alignment).
inline void swap_words16(uint8_t* dst, const uint8_t* src, size_t count) {
  size_t i = 0;
#if defined(RZ_SWAP_AVX2)
  if (count >= 16 && has_wide_swap()) i = swap_words16_wide(dst, src, count);
#endif
#if defined(__SSE2__)
  for (; i + 8 <= count; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), v);
  }
#endif
  constexpr uint64_t kLow = 0x00FF00FF00FF00FFull;
  for (; i + 4 <= count; i += 4) {
    uint64_t w;
    std::memcpy(&w, src + 2 * i, 8);
    w = ((w & kLow) << 8) | ((w >> 8) & kLow);
    std::memcpy(dst + 2 * i, &w, 8);
  }
  for (; i < count; ++i) {
    const uint8_t t = src[2 * i];
    dst[2 * i] = src[2 * i + 1];
    dst[2 * i + 1] = t;
  }
}

// Exchanges the two bytes of each of `count` 16-bit values starting at `off`.
inline void reverse_words16(void* base, size_t off, size_t count) {
  auto* p = static_cast<uint8_t*>(base) + off;
  swap_words16(p, p, count);
}

// True when values kept in host order must be reversed to reach the file.
inline bool needs_swap(bool fileBig) { return fileBig != kHostBigEndian; }

// Copies `count` host-order 16-bit values into file order (or back: the
// conversion is its own inverse), in one pass.
inline void copy_words16(void* dst, const void* src, size_t count, bool fileBig) {
  if (needs_swap(fileBig))
    swap_words16(static_cast<uint8_t*>(dst), static_cast<const uint8_t*>(src), count);
  else
    std::memcpy(dst, src, count * 2);
}

inline void copy_words32(void* dst, const void* src, size_t count, bool fileBig) {
  std::memcpy(dst, src, count * 4);
  if (needs_swap(fileBig)) reverse_words32(dst, 0, count);
}

// A chunk image under construction or being read: a byte buffer plus the
// file's byte order, addressed by named offsets.  Accesses outside the buffer
// do nothing and read as 0, so a layout mistake cannot overrun.
class Packed {
 public:
  Packed(void* data, size_t size, bool big)
      : p_(static_cast<uint8_t*>(data)), n_(size), big_(big) {}

  uint32_t u32(size_t off) const { return fits(off, 4) ? load_u32(p_, off, big_) : 0; }
  void u32(size_t off, uint32_t v) { if (fits(off, 4)) store_u32(p_, off, v, big_); }
  uint16_t u16(size_t off) const { return fits(off, 2) ? load_u16(p_, off, big_) : 0; }
  void u16(size_t off, uint16_t v) { if (fits(off, 2)) store_u16(p_, off, v, big_); }
  // A u32 always stored least significant byte first, whatever the file.
  uint32_t le32(size_t off) const { return fits(off, 4) ? load_u32(p_, off, false) : 0; }
  void le32(size_t off, uint32_t v) { if (fits(off, 4)) store_u32(p_, off, v, false); }
  uint32_t be32(size_t off) const { return fits(off, 4) ? load_u32(p_, off, true) : 0; }
  void be32(size_t off, uint32_t v) { if (fits(off, 4)) store_u32(p_, off, v, true); }

  // Puts a text into a field of `field` bytes: at most maxChars characters,
  // then a NUL when there is room, the rest of the field zero.
  void text(size_t off, size_t field, const char* s, size_t maxChars) {
    if (!fits(off, field)) return;
    std::memset(p_ + off, 0, field);
    size_t n = 0;
    if (s)
      while (n < maxChars && n < field && s[n]) ++n;
    std::memcpy(p_ + off, s ? s : "", n);
  }
  // Copies a text field out: at most maxChars characters, always terminated
  // (dst must hold maxChars + 1 bytes).
  void text_out(size_t off, size_t field, char* dst, size_t maxChars) const {
    size_t n = 0;
    if (fits(off, field))
      while (n < maxChars && n < field && p_[off + n]) ++n;
    if (n) std::memcpy(dst, p_ + off, n);
    dst[n] = '\0';
  }

  uint8_t* data() { return p_; }
  size_t size() const { return n_; }
  bool big() const { return big_; }

 private:
  bool fits(size_t off, size_t len) const { return off <= n_ && len <= n_ - off; }
  uint8_t* p_;
  size_t n_;
  bool big_;
};

}  // namespace rz
