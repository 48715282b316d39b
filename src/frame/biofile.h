// Folder src/frame/: the library's outer frame, not waveform frames (those
// are channels/).  It holds what every export stands in: the handle block
// (this file) with its registry of live handles and the lock each call takes
// (BioLock), building and tearing down a handle (handle.h), the process-wide
// error ring (error_ring.h), the module entry and the export table that gives
// every export its ordinal (export_table.inc).  Its exports: biofile.cpp
// RAZIVERAOpenBioFile, RAZIVERACloseBioFile, RAZIVERAUpdateDirectory,
// RAZIVERAGetFileHandle, RAZIVERAGetInfo and RAZIVERASetInfo; module.cpp
// RAZIVERAGetSupportType and RAZIVERAGetErrorInfo.  Every other folder works
// on the handle block defined here.
//
// The BioFile handle: everything the library knows about one open file, kept
// in one movable memory block of fixed size that holds the file-level fields
// and 32 RecordSlots of 256 ChannelSlots each, so that no operation allocates
// slot memory and every slot is reached by index.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/layout.h"
#include "platform/platform.h"

namespace rz {

constexpr uint32_t kPathSize = 260;
constexpr uint32_t kWorkBufferSize = 8192;
constexpr uint16_t kSupportedFileType = RZ_SUPPORT_FILE_TYPE;

// A field whose default is not zero, stored as its difference from the
// default: a slot in zeroed memory already holds its defaults, so a new
// handle needs no pass over its 8,192 channel slots.  Reads and writes see
// the plain value.
template <class T, T kDefault>
class Defaulted {
 public:
  operator T() const { return T(stored_ ^ kDefault); }  // NOLINT(google-explicit-constructor)
  Defaulted& operator=(T v) {
    stored_ = T(v ^ kDefault);
    return *this;
  }
  Defaulted& operator&=(T v) { return *this = T(T(*this) & v); }
  Defaulted& operator|=(T v) { return *this = T(T(*this) | v); }

 private:
  T stored_;
};

// Defaults of a new channel slot: filter held as form B, extra code 1.
constexpr uint32_t kDefaultChannelFlags = RZ_CHANNEL_FLAG_FILTER_B;
constexpr uint16_t kDefaultExtraCode = 1;

// One point of a channel's non-linear table.
struct NonLinearPoint {
  uint32_t value1;
  uint32_t value2;
  char text[28];
};

// The in-memory state of one channel of a record.
struct ChannelSlot {
  uint32_t bufferBytes;  // size of the write FrameBuf
  uint32_t frameBytes;   // bytes this channel takes in one frame
  HGLOBAL frameBuf;      // the channel's FrameBuf, owned by the BioFile
  Defaulted<uint32_t, kDefaultChannelFlags> flags;  // bit 0: sampling held as period; bit 1: filter as form B
  uint16_t channelNo;
  uint16_t value3;
  Defaulted<uint16_t, kDefaultExtraCode> extraCode;
  uint16_t user20, user21, user22;
  uint16_t nonLinearCount;
  uint32_t samplePeriod;
  uint32_t sampleRate;
  uint32_t sourceRate;
  uint32_t value6, value7, value9, value8, value10;
  int32_t filterA;
  int32_t filterB;
  int32_t value13;
  uint32_t user23, user24;
  uint32_t user29;
  uint32_t value14;
  uint32_t user25, user26, user27, user28;
  char text1[64];
  char text2[32];
  NonLinearPoint nonLinearPoints[kMaxNonLinearPoints];
};

// The in-memory state of one record.
struct RecordSlot {
  uint16_t recordCode;
  uint16_t channelCount;
  uint16_t framesPerBuffer;
  uint32_t windowStart;
  uint32_t bufferFirstFrame;
  uint32_t bufferEndFrame;
  uint32_t windowSeconds;
  uint32_t frameSeconds;
  uint32_t totalFrames;
  uint32_t frameChunkSize;
  uint32_t totalSamples;
  uint32_t baseRate;
  uint32_t mainsFrequency;
  uint32_t userValue1;  // wave information item 25
  uint32_t userValue2;  // wave information item 26
  uint16_t startYear, startMonth, startDay, startHour, startMinute, startSecond;
  char waveText[36];
  uint32_t frameDataPosition;
  uint32_t framesWritten;
  uint32_t waveInfoPosition;
  HGLOBAL eventTable;
  // True while frameDataPosition names the FrameInfo head this handle is
  // writing (set by the frame writer); false once it names frame 0 as the
  // reader sets it.
  bool writingFrames;
  // Channels [0, buffersInUse) may own a FrameBuf: the release and the
  // buffer makers walk only these, not all 256 slots.  Kept in what was
  // padding, so the record's layout does not move.
  uint16_t buffersInUse;
  ChannelSlot channels[kMaxChannels];
};

struct BioFile {
  uint32_t blockSize;
  uint16_t fileType;
  HMMIO fileHandle;
  uint16_t headerValid;
  uint16_t formatVersion;
  uint16_t headerCode;
  uint16_t ByteOrder;  // 0 little-endian ('L'), 1 big-endian ('B')
  uint16_t headerLetter;
  uint16_t recordCount;
  uint16_t readOnly;
  uint16_t scoreRecord;
  uint16_t scoreId;
  uint32_t fileAttributes;
  HGLOBAL workBuffer;
  HGLOBAL textBuffer;
  HGLOBAL scoreTable;
  uint32_t workBufferSize;
  uint32_t writePos;
  // Set by a record start that failed, cleared by one that succeeds: until
  // then no writer has a record to add to (the last one may be ended).
  bool startFailed;
  uint32_t framesPerBuffer;
  uint32_t recordOffset[kMaxRecords];
  uint32_t recordSize[kMaxRecords];
  char path[kPathSize];
  // Records [0, recordsInUse) may own blocks even when recordCount was set
  // lower since; the close walks max(recordCount, recordsInUse) records.
  // Kept in what was padding, so the handle's layout does not move.
  uint32_t recordsInUse;
  RecordSlot records[kMaxRecords];

  // Every chunk writer and reader converts numbers when this is true.
  bool big() const { return ByteOrder == 1; }
};

// The handle block's size and layout are what callers have always seen.
#if UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(ChannelSlot) == 784, "ChannelSlot layout moved");
static_assert(offsetof(RecordSlot, channels) == 136 && sizeof(RecordSlot) == 200840,
              "RecordSlot layout moved");
static_assert(offsetof(BioFile, records) == 600 && sizeof(BioFile) == 6427480,
              "BioFile layout moved");
#endif

// Pins a movable block for the length of one call and unpins it on every path
// out (plat::mem_pin_sized: on POSIX a look-up without the atomic lock count,
// so the 32 hand-outs of a window pay none; Win32 locks).  A block smaller
// than T (a handle of another kind, or garbage that happens to be live) is
// refused like one that cannot be locked.
template <class T>
class Pinned {
 public:
  explicit Pinned(HGLOBAL h) : h_(h) {
    if (h_) p_ = static_cast<T*>(plat::mem_pin_sized(h_, sizeof(T), nullptr));
  }
  ~Pinned() {
    if (p_) plat::mem_unpin(h_);
  }
  Pinned(const Pinned&) = delete;
  Pinned& operator=(const Pinned&) = delete;

  explicit operator bool() const { return p_ != nullptr; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  T* get() const { return p_; }

 private:
  HGLOBAL h_;
  T* p_ = nullptr;
};

// A locked BioFile that is really one: the block is big enough and was made
// by the open or the copy.
class BioLock {
 public:
  explicit BioLock(HGLOBAL h) : pin_(h) {}
  explicit operator bool() const { return pin_ && pin_->fileType == kSupportedFileType; }
  BioFile* operator->() const { return pin_.get(); }
  BioFile& operator*() const { return *pin_; }

 private:
  Pinned<BioFile> pin_;
};

// A block the handle owns, pinned as raw bytes for one call (plat::mem_pin);
// size() is what was allocated.
class BlockLock {
 public:
  explicit BlockLock(HGLOBAL h) : h_(h) {
    if (h_) p_ = static_cast<uint8_t*>(plat::mem_pin(h_, &size_));
  }
  ~BlockLock() {
    if (p_) plat::mem_unpin(h_);
  }
  BlockLock(const BlockLock&) = delete;
  BlockLock& operator=(const BlockLock&) = delete;
  explicit operator bool() const { return p_ != nullptr; }
  uint8_t* data() const { return p_; }
  size_t size() const { return p_ ? size_ : 0; }

 private:
  HGLOBAL h_;
  uint8_t* p_ = nullptr;
  size_t size_ = 0;
};

// A block the library allocates for its own work inside one call, released on
// every path out.  A block of no bytes is not made (and reads as empty).
class ScratchBlock {
 public:
  ScratchBlock(size_t bytes, bool zero) {
    if (!bytes) return;
    h_ = plat::mem_alloc(zero ? plat::kMemFlags : plat::kMemMoveable, bytes);
    if (h_) p_ = static_cast<uint8_t*>(plat::mem_lock(h_));
  }
  ~ScratchBlock() {
    if (p_) plat::mem_unlock(h_);
    plat::mem_free(h_);
  }
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;
  explicit operator bool() const { return p_ != nullptr; }
  uint8_t* data() const { return p_; }

 private:
  HGLOBAL h_ = nullptr;
  uint8_t* p_ = nullptr;
};

// Releases a block the BioFile owns and clears the field that named it.
inline void release_block(HGLOBAL& field) {
  if (field) plat::mem_free(field);
  field = nullptr;
}

// Record slot by index, or nullptr when the index is not below recordCount.
inline RecordSlot* record_at(BioFile& bf, uint32_t record) {
  record &= 0xFFFFu;
  if (record >= bf.recordCount || record >= kMaxRecords) return nullptr;
  return &bf.records[record];
}

// Channel slot of a record by index, or nullptr when the index is not below
// the record's channel count.
inline ChannelSlot* channel_at(RecordSlot& rs, uint32_t channel) {
  channel &= 0xFFFFu;
  if (channel >= rs.channelCount || channel >= kMaxChannels) return nullptr;
  return &rs.channels[channel];
}

// Notes that channels [0, end) of a record may own FrameBufs.
inline void note_buffers(RecordSlot& rs, uint32_t end) {
  if (end > kMaxChannels) end = kMaxChannels;
  if (end > rs.buffersInUse) rs.buffersInUse = uint16_t(end);
}

// Releases every FrameBuf of a record.
inline void release_buffers(RecordSlot& rs) {
  const uint32_t n = rs.buffersInUse < kMaxChannels ? rs.buffersInUse : kMaxChannels;
  for (uint32_t c = 0; c < n; ++c) release_block(rs.channels[c].frameBuf);
  rs.buffersInUse = 0;
}

// Number of channels that loops over a record may visit: the channel count,
// never more than the slots that exist.
inline uint32_t channel_limit(const RecordSlot& rs) {
  return rs.channelCount < kMaxChannels ? rs.channelCount : kMaxChannels;
}

}  // namespace rz
