// The registry of chunk type codes and their display names.  Header-only, so
// that tools reading files byte by byte share it without linking the
// library's internals.
#pragma once

#include <cstdint>

namespace rz::container {

// Registry of chunk type codes.  TextInfo and UserInfo chunks take a type
// code chosen by the caller.
enum ChunkType : uint32_t {
  kRecordType = 10,  // type of a record (RecordHeader), not of a chunk
  kWaveInfo = 100,
  kFrameChInfo = 120,
  kFrameChEntry = 125,
  kFrameInfo = 140,
  kFrameWave = 145,
  kEventTable = 200,
  kUserText = 2000,
  kUserByte = 2100,
  kUserWord = 2110,
  kUserShort = 2120,
  kUserDword = 2130,
  kUserLong = 2140,
  kUserFloat = 2200,
  kNonLinearInfo = 2600,
  kUserChInfo = 2700,
  kUserChEntry = 2705,
  kScoreTable = 3000,
};

// Display name of a registered chunk type, or nullptr.
inline const char* chunk_type_name(uint32_t type) {
  switch (type) {
    case kRecordType: return "Record";
    case kWaveInfo: return "WaveInfo";
    case kFrameChInfo: return "FrameChInfo";
    case kFrameChEntry: return "FrameChEntry";
    case kFrameInfo: return "FrameInfo";
    case kFrameWave: return "FrameWave";
    case kEventTable: return "EventTable";
    case kUserText: return "UserText";
    case kUserByte: return "UserByte";
    case kUserWord: return "UserWord";
    case kUserShort: return "UserShort";
    case kUserDword: return "UserDword";
    case kUserLong: return "UserLong";
    case kUserFloat: return "UserFloat";
    case kNonLinearInfo: return "NonLinearInfo";
    case kUserChInfo: return "UserChInfo";
    case kUserChEntry: return "UserChEntry";
    case kScoreTable: return "ScoreTable";
    default: return nullptr;
  }
}

}  // namespace rz::container
