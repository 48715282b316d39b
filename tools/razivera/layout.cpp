#include "layout.h"

namespace tool::layout {

const char* chunk_type_name(uint32_t type) {
  switch (type) {
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

}  // namespace tool::layout
