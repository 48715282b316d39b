// The structure of a recording file read from its raw bytes: the base
// header, the records and the chunk heads of each record.  The walk never
// trusts a size or a count it reads: everything is bounded by the record and
// the file, and whatever does not fit is reported as a finding with the
// offset where it was seen.  dump prints this structure, verify checks it in
// depth, info uses it to find the text lists a writer named itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source.h"

namespace tool {

// One problem in a file, at a file offset.
struct Finding {
  uint64_t offset;
  std::string text;
};

class Findings {
 public:
  void add(uint64_t offset, std::string text) { list_.push_back({offset, std::move(text)}); }
  const std::vector<Finding>& list() const { return list_; }
  bool empty() const { return list_.empty(); }
  size_t size() const { return list_.size(); }

 private:
  std::vector<Finding> list_;
};

struct ChunkView {
  uint64_t offset = 0;
  uint32_t size = 0;  // as stored
  uint32_t type = 0;
  uint32_t id = 0;
  bool truncated = false;  // runs past its record (or the file)
};

struct RecordView {
  uint64_t offset = 0;
  uint32_t length = 0;  // as stored in its header
  uint32_t type = 0;
  uint32_t number = 0;
  uint32_t reserved = 0;
  bool open = false;      // never ended: its header still says 16
  bool complete = false;  // ends with a terminator where its length says
  uint64_t end = 0;       // where its bytes end as far as the walk could tell
  std::vector<ChunkView> chunks;
};

struct FileView {
  uint64_t fileSize = 0;
  bool headerRead = false;  // 32 bytes with the right magic
  std::string magic, version, code, countText;
  char byteOrder = 0;  // 'L', 'B' or what stands there
  char letter = 0;
  bool big = false;
  uint32_t versionNumber = 0;
  uint32_t declaredRecords = 0;  // the header's count, before the cut to 32
  std::vector<RecordView> records;
};

// Walks the whole file; problems go to `findings`.
FileView walk_structure(ByteSource& src, Findings& findings);

// Why the file at `path` cannot be opened as a recording - the problems of
// input_file_problem, then a file too short for the header, one that is not
// a recording, or one of a format version that cannot be read - or an empty
// text when it can.
std::string recording_problem(const std::string& path);

// Where the frames of record `record` begin in the file (behind the head of
// its frame information), as the walk found them; 0 when the record has no
// frame information.
uint64_t frame_area_offset(const FileView& v, uint32_t record);

// "WaveInfo (100)" or "type 1000" for a chunk type.
std::string chunk_type_label(uint32_t type);

}  // namespace tool
