// A recording as a review application sees it through the library: a handle
// that closes itself, the description of a record and its channels, and a
// reader that fetches the samples of a run of frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "razivera.h"

namespace tool {

// A BioFile handle, closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HGLOBAL h = nullptr) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HGLOBAL get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  // Closes the file; true when the library released the handle.
  bool close();
  // Closes the file held and takes `h`.
  void reset(HGLOBAL h) {
    close();
    h_ = h;
  }

 private:
  HGLOBAL h_;
};

// What the error ring says about a failed open, in words.
std::string open_error_text();

struct Calibration {
  bool present = false;
  int32_t digitalMin = -32768, digitalMax = 32767;
  double physicalMin = -32768, physicalMax = 32767;
};

struct ChannelDesc {
  uint32_t index = 0;
  uint32_t number = 0;  // the channel number as the writer numbered it
  std::string label;    // first channel text
  std::string unit;     // second channel text
  uint32_t rate = 0;    // samples per second
  uint32_t flags = 0;
  int32_t filterA = 0, filterB = 0;
  Calibration calibration;
};

struct RecordDesc {
  uint32_t index = 0;
  uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t channelCount = 0;
  uint32_t frameSeconds = 0;
  uint32_t frames = 0;      // frames the frame information claims
  uint32_t waveFrames = 0;  // frame count in the wave information
  uint32_t frameBytes = 0;  // size of one frame in the file
  uint32_t baseRate = 0;
  uint32_t mains = 0;
  uint32_t code = 0;
  bool hasFrames = false;
  uint32_t framesPresent = 0;  // whole frames the file holds (check_frames)
  uint64_t fileEnd = 0;        // the file's size (check_frames)
  std::string text;
  std::vector<ChannelDesc> channels;

  uint64_t seconds() const { return uint64_t(frames) * frameSeconds; }
  // Index of the event channel (the one labelled EVENT), or -1.
  int event_channel() const;
};

// Reads record `record`'s wave information, channel definitions, user channel
// values and frame information.  false when the record or its wave
// information cannot be read.
bool read_record(HGLOBAL h, uint32_t record, RecordDesc& out);

// Checks record `rec`'s frames against its channels and against the file at
// `path`, before anything is sized by them.  false, with the reason, when
// the channels' samples cannot be what its frames hold (a damaged rate or
// frame size).  Sets rec.framesPresent to the whole frames the file holds
// (fewer than rec.frames when the file is cut short) and rec.fileEnd.
bool check_frames(const std::string& path, RecordDesc& rec, std::string& problem);

// Reads the samples of runs of frames, every channel at once.
class FrameReader {
 public:
  // `framesPerRead` frames are read per call at most.
  FrameReader(HGLOBAL h, const RecordDesc& rec, uint32_t framesPerRead);
  // Samples of frames [first, first + n) into out[channel]; false when the
  // library read nothing or handed out fewer samples than the frames hold.
  bool read(uint32_t first, uint32_t n, std::vector<std::vector<int16_t>>& out);

 private:
  HGLOBAL h_;
  const RecordDesc& rec_;
  uint32_t framesPerRead_;
};

// Appends buffer frames 0 to n - 1 as stored frames (DARARARSaveFrameWave).
// True only when all n reached the file: the library counts a call done when
// any of its frames did, and a disk that fills up mid-batch must fail the run.
bool save_frames(HGLOBAL h, uint16_t n, uint64_t frameBytes);

// How many frames to read or write at once so that a batch stays near 1 MiB.
uint32_t frames_per_batch(uint64_t frameBytes);

}  // namespace tool
