// Small text helpers shared by the commands: printf-style formatting into a
// std::string, trimming, and making a text safe to print.
#pragma once

#include <cstdint>
#include <string>

namespace tool {

#if defined(__GNUC__)
#define TOOL_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define TOOL_PRINTF(a, b)
#endif

std::string strf(const char* fmt, ...) TOOL_PRINTF(1, 2);

// A 64-bit count or offset for a %llu conversion.
inline unsigned long long llu(uint64_t v) { return v; }

// The text without leading and trailing spaces.
std::string trim(const std::string& s);

// A text from a fixed field: up to the first NUL, at most n bytes.
std::string field_text(const void* p, size_t n);

// The text with every byte outside printable ASCII shown as \xNN.
std::string printable(const std::string& s);

// Upper-case copy (ASCII only).
std::string upper(std::string s);

// Seconds as H:MM:SS.
std::string clock_text(uint64_t seconds);

}  // namespace tool
