// Channel definitions: the ChannelSlot fields a caller sets and reads by item
// code, and the conversions between their two forms.
//
// Folder src/channels/: what belongs to each channel, and the waveform frames
// that carry its samples.  channel_info.cpp the ...FrameChInfo, ...FrameChText
// and DARARARReadChannelInfo calls; user_channels.cpp ...UserChInfo and
// DARARARReadUserChannelInfo; signal_names.cpp the signal type names;
// frame_write.cpp writing frames (DARARARCreateFrameBuf, ...SetFramePoint...,
// DARARARSaveFrameWave); frame_read.cpp reading them (DARARARReadFrameInfo,
// DARARARCreateReadFrameBuf, ...ReadFrameWave..., ...GetFrameWave...); frames.h
// the frame layout and the bytes a channel takes in a frame.
#pragma once

#include <cstdint>

#include "format/layout.h"
#include "frame/biofile.h"
#include "razivera_codes.h"

namespace rz {

// Item codes of DARARARSetFrameChInfo / DARARARGetFrameChInfo.
namespace channel_item {
constexpr uint16_t kFlags = RZ_CHANNEL_FLAGS;
constexpr uint16_t kChannelNo = RZ_CHANNEL_NUMBER;
constexpr uint16_t kValue3 = RZ_CHANNEL_VALUE3;
constexpr uint16_t kSampleRate = RZ_CHANNEL_SAMPLE_RATE;      // clears flags bit 0
constexpr uint16_t kSamplePeriod = RZ_CHANNEL_SAMPLE_PERIOD;  // sets flags bit 0
constexpr uint16_t kValue6 = RZ_CHANNEL_VALUE6;
constexpr uint16_t kValue7 = RZ_CHANNEL_VALUE7;
constexpr uint16_t kValue8 = RZ_CHANNEL_VALUE8;
constexpr uint16_t kValue9 = RZ_CHANNEL_VALUE9;
constexpr uint16_t kValue10 = RZ_CHANNEL_VALUE10;
constexpr uint16_t kFilterA = RZ_CHANNEL_FILTER_A;  // clears flags bit 1
constexpr uint16_t kFilterB = RZ_CHANNEL_FILTER_B;  // sets flags bit 1
constexpr uint16_t kValue13 = RZ_CHANNEL_VALUE13;
constexpr uint16_t kValue14 = RZ_CHANNEL_VALUE14;
constexpr uint16_t kSourceRate = RZ_CHANNEL_SOURCE_RATE;
constexpr uint16_t kUser20 = RZ_CHANNEL_USER20;  // 20 to 22 are 16-bit
constexpr uint16_t kUser21 = RZ_CHANNEL_USER21;
constexpr uint16_t kUser22 = RZ_CHANNEL_USER22;
constexpr uint16_t kUser23 = RZ_CHANNEL_USER23;
constexpr uint16_t kUser24 = RZ_CHANNEL_USER24;
constexpr uint16_t kUser25 = RZ_CHANNEL_USER25;
constexpr uint16_t kUser26 = RZ_CHANNEL_USER26;
constexpr uint16_t kUser27 = RZ_CHANNEL_USER27;
constexpr uint16_t kUser28 = RZ_CHANNEL_USER28;
constexpr uint16_t kUser29 = RZ_CHANNEL_USER29;
}  // namespace channel_item

// Text items of DARARARSetFrameChText / DARARARGetFrameChText.
namespace channel_text_item {
constexpr uint16_t kText1 = RZ_CHANNEL_LABEL;
constexpr uint16_t kText2 = RZ_CHANNEL_UNIT;
}  // namespace channel_text_item
static_assert(sizeof(ChannelSlot::text1) == RZ_CHANNEL_LABEL_ROOM &&
                  sizeof(ChannelSlot::text2) == RZ_CHANNEL_UNIT_ROOM,
              "the interface states the rooms of the channel texts");

// A stored value13 of this or more is not a value the channel can carry.
constexpr int32_t kValue13Limit = 100000;

// Microseconds per second: converts a sampling rate into a period and back.
constexpr int32_t kMicrosPerSecond = int32_t(frame_ch_entry::kMicroseconds);

// Converts a filter setting between its two forms (each is the other's
// image): 1000 / (f x 0.001 x 2 pi) with the factors in single precision, as
// the stored values were always computed, truncated toward zero; 0 stays 0.
// convert(300) = 530, convert(530) = 300, convert(1000) = 159.
int32_t convert_filter(int32_t f);

}  // namespace rz
