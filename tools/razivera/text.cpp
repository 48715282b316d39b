#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tool {

std::string strf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(size_t(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, ap);
    out.assign(buf.data(), size_t(n));
  }
  va_end(ap);
  return out;
}

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

std::string field_text(const void* p, size_t n) {
  const char* c = static_cast<const char*>(p);
  size_t len = 0;
  while (len < n && c[len]) ++len;
  return std::string(c, len);
}

std::string printable(const std::string& s) {
  std::string out;
  for (unsigned char ch : s) {
    if (ch >= 32 && ch < 127 && ch != '\\') {
      out += char(ch);
    } else {
      out += strf("\\x%02X", ch);
    }
  }
  return out;
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

std::string clock_text(uint64_t seconds) {
  return strf("%llu:%02u:%02u", llu(seconds / 3600), unsigned(seconds / 60 % 60), unsigned(seconds % 60));
}

}  // namespace tool
