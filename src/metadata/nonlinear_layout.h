// NonLinearInfo chunk (type 2600), one per channel: a 32-byte head, then one
// 32-byte point per table entry.  Numbers are u32 in the file's byte order;
// point texts are bytes.
#pragma once

#include <cstdint>

namespace rz::non_linear {
constexpr uint32_t kHeadSize = 32;
constexpr uint32_t kChunkSize = 0;  // (points + 1) x 32
constexpr uint32_t kChunkType = 4;
constexpr uint32_t kChunkId = 8;  // channel index + 1
constexpr uint32_t kPointCount = 16;

constexpr uint32_t kPointSize = 32;
constexpr uint32_t kValue1 = 0;  // offsets inside a point
constexpr uint32_t kValue2 = 4;
constexpr uint32_t kText = 8;
constexpr uint32_t kTextField = 24;  // NUL-terminated when shorter, else cut
constexpr uint32_t kTextRead = 23;   // characters a reader takes

constexpr uint32_t point_offset(uint32_t i) { return kHeadSize + i * kPointSize; }
}  // namespace rz::non_linear
