// What this tool stores where the format leaves the meaning to the writer,
// so that demo and import-edf write it and info and export-edf read it back.
// A file from another writer that lacks these marks is read without them.
#pragma once

#include <cstdint>

#include "razivera_codes.h"

namespace tool::convention {

// The event channel: a channel labelled EVENT (any case) carries event codes,
// one per sample, 0 meaning none.
constexpr char kEventLabel[] = "EVENT";

// Calibration of a channel, kept in its user channel values when a file came
// from EDF: item 20 holds the mark, 21 and 22 the digital minimum and maximum
// (16-bit two's complement), 23/24 and 25/26 the physical minimum and maximum
// as the low and high words of an IEEE double.
constexpr uint16_t kCalibrationMark = 0xCA1B;
enum CalibrationItem : uint16_t {
  kItemMark = RZ_CHANNEL_USER20,
  kItemDigitalMin = RZ_CHANNEL_USER21,
  kItemDigitalMax = RZ_CHANNEL_USER22,
  kItemPhysicalMinLow = RZ_CHANNEL_USER23,
  kItemPhysicalMinHigh = RZ_CHANNEL_USER24,
  kItemPhysicalMaxLow = RZ_CHANNEL_USER25,
  kItemPhysicalMaxHigh = RZ_CHANNEL_USER26,
};

// The unit of a channel is its second text.

// The record's text list of study notes and kept EDF texts.
constexpr uint16_t kTextListType = 1000;
constexpr uint16_t kTextListCapacity = 1024;
// Ids in that list: free notes from 1; the EDF header's patient and recording
// fields; each channel's transducer and prefiltering texts (id + channel index).
constexpr uint16_t kNoteIdFirst = 1;
constexpr uint16_t kEdfPatientId = 0x0E01;
constexpr uint16_t kEdfRecordingId = 0x0E02;
constexpr uint16_t kEdfTransducerBase = 0x1000;
constexpr uint16_t kEdfPrefilterBase = 0x1100;

// The event table of annotations: entries of 32 data bytes (the size a stored
// table is read back with).  The value is the onset in milliseconds from the
// record's start; the data holds the duration in milliseconds (u32, least
// significant byte first) and the text (NUL-terminated when shorter than its
// 28 bytes).
constexpr uint16_t kAnnotationTableId = 1;
constexpr uint32_t kAnnotationDataSize = 32;
constexpr uint32_t kAnnotationDuration = 0;
constexpr uint32_t kAnnotationText = 4;
constexpr uint32_t kAnnotationTextSize = 28;

// The hypnogram in the score table: one entry per epoch.
constexpr uint16_t kHypnogramId = 1;
constexpr uint32_t kEpochSeconds = 30;
enum Stage : uint32_t { kWake = 0, kN1 = 1, kN2 = 2, kN3 = 3, kRem = 5 };

}  // namespace tool::convention
