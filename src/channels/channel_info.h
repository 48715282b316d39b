// Channel definitions: the ChannelSlot fields a caller sets and reads by item
// code, and the conversions between their two forms.
#pragma once

#include <cstdint>

#include "channels/channel_info_layout.h"
#include "frame/biofile.h"

namespace rz {

// Item codes of DARARARSetFrameChInfo / DARARARGetFrameChInfo.
namespace channel_item {
constexpr uint16_t kFlags = 1;
constexpr uint16_t kChannelNo = 2;
constexpr uint16_t kValue3 = 3;
constexpr uint16_t kSampleRate = 4;    // clears flags bit 0
constexpr uint16_t kSamplePeriod = 5;  // sets flags bit 0
constexpr uint16_t kValue6 = 6;
constexpr uint16_t kValue7 = 7;
constexpr uint16_t kValue8 = 8;
constexpr uint16_t kValue9 = 9;
constexpr uint16_t kValue10 = 10;
constexpr uint16_t kFilterA = 11;  // clears flags bit 1
constexpr uint16_t kFilterB = 12;  // sets flags bit 1
constexpr uint16_t kValue13 = 13;
constexpr uint16_t kValue14 = 14;
constexpr uint16_t kSourceRate = 15;
constexpr uint16_t kUser20 = 20;  // 20 to 22 are 16-bit
constexpr uint16_t kUser21 = 21;
constexpr uint16_t kUser22 = 22;
constexpr uint16_t kUser23 = 23;
constexpr uint16_t kUser24 = 24;
constexpr uint16_t kUser25 = 25;
constexpr uint16_t kUser26 = 26;
constexpr uint16_t kUser27 = 27;
constexpr uint16_t kUser28 = 28;
constexpr uint16_t kUser29 = 29;
}  // namespace channel_item

// Text items of DARARARSetFrameChText / DARARARGetFrameChText.
namespace channel_text_item {
constexpr uint16_t kText1 = 1;
constexpr uint16_t kText2 = 2;
}  // namespace channel_text_item

// A stored value13 of this or more is not a value the channel can carry.
constexpr int32_t kValue13Limit = 100000;

// Microseconds per second: converts a sampling rate into a period and back.
constexpr int32_t kMicrosPerSecond = 1000000;

// Converts a filter setting between its two forms (each is the other's
// image): 1000 / (f x 0.001 x 2 pi) with the factors in single precision, as
// the stored values were always computed, truncated toward zero; 0 stays 0.
// convert(300) = 530, convert(530) = 300, convert(1000) = 159.
int32_t convert_filter(int32_t f);

}  // namespace rz
