// Writing JSON: strings escaped, numbers that read back as they were, null
// for what is not there.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "text.h"

namespace tool::json {

inline std::string str(const std::string& s) {
  std::string out = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += char(ch);
    } else if (ch < 0x20 || ch >= 0x7F) {
      // Bytes of a file are not promised to be UTF-8: each stands for itself.
      out += strf("\\u%04x", unsigned(ch));
    } else {
      out += char(ch);
    }
  }
  return out + "\"";
}

inline std::string num(double v) { return std::isfinite(v) ? strf("%.17g", v) : "null"; }
inline std::string num(uint64_t v) { return strf("%llu", llu(v)); }
inline std::string num(int64_t v) { return strf("%lld", static_cast<long long>(v)); }
inline std::string num(uint32_t v) { return num(uint64_t(v)); }
inline std::string num(int32_t v) { return num(int64_t(v)); }
inline std::string boolean(bool b) { return b ? "true" : "false"; }
// A number, or null when it is negative (a figure that does not exist).
inline std::string maybe(double v) { return v < 0 ? "null" : num(v); }

}  // namespace tool::json
