// The registry of chunk type codes and their display names.  Header-only, so
// that tools reading files byte by byte share it without linking the
// library's internals.
#pragma once

#include <cstdint>

#include "razivera_codes.h"

namespace rz::container {

// Registry of chunk type codes, by the public names.  TextInfo and UserInfo chunks take a type
// code chosen by the caller.
enum ChunkType : uint32_t {
  kRecordType = RZ_CHUNK_RECORD,  // type of a record (RecordHeader), not of a chunk
  kWaveInfo = RZ_CHUNK_WAVE_INFO,
  kFrameChInfo = RZ_CHUNK_FRAME_CH_INFO,
  kFrameChEntry = RZ_CHUNK_FRAME_CH_ENTRY,
  kFrameInfo = RZ_CHUNK_FRAME_INFO,
  kFrameWave = RZ_CHUNK_FRAME_WAVE,
  kEventTable = RZ_CHUNK_EVENT_TABLE,
  kUserText = RZ_CHUNK_USER_TEXT,
  kUserByte = RZ_CHUNK_USER_BYTE,
  kUserWord = RZ_CHUNK_USER_WORD,
  kUserShort = RZ_CHUNK_USER_SHORT,
  kUserDword = RZ_CHUNK_USER_DWORD,
  kUserLong = RZ_CHUNK_USER_LONG,
  kUserFloat = RZ_CHUNK_USER_FLOAT,
  kNonLinearInfo = RZ_CHUNK_NONLINEAR_INFO,
  kUserChInfo = RZ_CHUNK_USER_CH_INFO,
  kUserChEntry = RZ_CHUNK_USER_CH_ENTRY,
  kScoreTable = RZ_CHUNK_SCORE_TABLE,
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
