#include "structure.h"

#include <cstring>

#include "format/layout.h"
#include "text.h"

namespace tool {
namespace {

using namespace rz;
using namespace rz::container;

// A decimal field of the base header: true when it is all digits.
bool digits_value(const std::string& s, uint32_t& value) {
  if (s.empty()) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint32_t(c - '0');
  }
  return true;
}

void read_base_header(ByteSource& src, FileView& v, Findings& f) {
  using namespace base_header;
  if (v.fileSize < kSize) {
    f.add(0, strf("the file is %llu bytes long, shorter than the %u-byte header", llu(v.fileSize), kSize));
    return;
  }
  char h[kSize];
  if (!src.read_exact(0, h, kSize)) {
    f.add(0, "the header cannot be read");
    return;
  }
  v.magic.assign(h + kMagic, kMagicSize);
  if (v.magic != kMagicText) {
    f.add(kMagic, strf("the file does not start with \"%s\" (found \"%s\"): not a recording file", kMagicText,
                       printable(v.magic).c_str()));
    return;
  }
  v.headerRead = true;
  v.version.assign(h + kVersion, kVersionSize);
  if (!digits_value(v.version, v.versionNumber)) {
    f.add(kVersion, strf("version field \"%s\" is not six digits", printable(v.version).c_str()));
  } else if (v.versionNumber >= kRefusedVersion) {
    f.add(kVersion,
          strf("version %u cannot be opened (%u and above are refused)", v.versionNumber, kRefusedVersion));
  }
  v.code.assign(h + kCode, 2);
  if (v.code != "00" && v.code != "01" && v.code != "--") {
    f.add(kCode, strf("header code \"%s\" is none of 00, 01 and --", printable(v.code).c_str()));
  }
  v.byteOrder = h[kByteOrder];
  v.big = v.byteOrder == 'B';
  if (v.byteOrder != 'L' && v.byteOrder != 'B') {
    f.add(kByteOrder, strf("byte order letter \"%s\" is neither L nor B (read as little-endian)",
                           printable(std::string(1, v.byteOrder)).c_str()));
  }
  v.letter = h[kLetter];
  if (!std::strchr("SJE-", v.letter) || v.letter == 0) {
    f.add(kLetter,
          strf("header letter \"%s\" is none of S, J, E and -", printable(std::string(1, v.letter)).c_str()));
  }
  v.countText.assign(h + kCount, kCountSize);
  if (!digits_value(v.countText, v.declaredRecords)) {
    f.add(kCount, strf("record count \"%s\" is not four digits", printable(v.countText).c_str()));
    v.declaredRecords = 0;
  } else if (v.declaredRecords == 0) {
    f.add(kCount, "the header names no records");
  } else if (v.declaredRecords > kMaxRecords) {
    f.add(kCount,
          strf("the header names %u records; only the first %u can be read", v.declaredRecords, kMaxRecords));
  }
  for (uint32_t i = 0; i < kPaddingSize; ++i) {
    if (h[kPadding + i] != ' ') {
      f.add(kPadding + i, "the header's last ten bytes are not all spaces");
      break;
    }
  }
}

// Walks the chunk heads of a record from its first chunk up to `limit` (the
// terminator's offset of an ended record, the end of the file otherwise),
// with the library's chunk walk and no chunk limit: everything the walk
// yields is checked against the record before it is listed.
void walk_record_chunks(ByteSource& src, const FileView& v, RecordView& r, uint32_t index, uint64_t limit,
                        Findings& f) {
  const auto read = [&src](uint64_t pos, void* buf, size_t n) { return src.read(pos, buf, n); };
  auto walk = rz::container::walk_chunks(read, r.offset, r.open ? limit : limit + kTerminatorSize, v.big,
                                         UINT32_MAX);
  ChunkHeadView h;
  while (walk.next(h)) {
    if (h.headBytes < chunk_head::kHeadSize) {
      f.add(h.offset, strf("record %u: a chunk head is cut short by the end of the file", index));
      r.end = h.offset + h.headBytes;
      return;
    }
    if (!r.open && h.offset == limit) {
      f.add(h.offset, strf("record %u: no terminator where its length says the record ends", index));
      r.end = h.offset;
      return;
    }
    ChunkView c;
    c.offset = h.offset;
    c.size = h.size;
    c.type = h.type;
    c.id = h.id;
    if (h.size < chunk_head::kHeadSize) {
      c.truncated = true;
      r.chunks.push_back(c);
      f.add(h.offset, strf("record %u: chunk %s has size %u, smaller than a chunk head; the rest of the "
                           "record cannot be walked",
                           index, chunk_type_label(c.type).c_str(), h.size));
      r.end = h.offset;
      return;
    }
    if (h.offset + h.size > limit) {
      c.truncated = true;
      r.chunks.push_back(c);
      f.add(h.offset, strf("record %u: chunk %s of %u bytes runs %llu bytes past the %s", index,
                           chunk_type_label(c.type).c_str(), h.size, llu(h.offset + h.size - limit),
                           r.open ? "end of the file" : "record's terminator"));
      r.end = limit;
      return;
    }
    r.chunks.push_back(c);
    if (r.chunks.size() == kMaxChunksPerSearch + 1) {
      f.add(h.offset, strf("record %u holds more than %u chunks; those beyond cannot be found", index,
                           kMaxChunksPerSearch));
    }
    if (r.open && h.offset + h.size == limit) {
      // A record being written: its chunks may simply stop at the end of the file.
      r.end = limit;
      return;
    }
  }
  const uint64_t pos = walk.position();
  if (walk.ended() != WalkEnd::kTerminator) {
    if (walk.ended() == WalkEnd::kUnreadable && walk.last_head_bytes() >= 4) {
      f.add(pos, strf("record %u: a chunk head is cut short by the end of the file", index));
      r.end = pos + walk.last_head_bytes();
    } else {
      f.add(pos, strf("record %u ends at the end of the file without a terminator", index));
      r.end = pos;
    }
    return;
  }
  // The terminator: 16 zero bytes, exactly where the record's length says.
  r.end = pos + kTerminatorSize;
  uint8_t term[kTerminatorSize] = {};
  const size_t n = src.read(pos, term, sizeof term);
  if (n < kTerminatorSize) {
    f.add(pos, strf("record %u: the terminator is cut short by the end of the file", index));
  } else if (std::memcmp(term, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", kTerminatorSize) != 0) {
    f.add(pos, strf("record %u: the terminator is not 16 zero bytes", index));
  }
  if (!r.open && pos != limit) {
    f.add(pos, strf("record %u: its chunks end %llu bytes before the record's end at %llu", index,
                    llu(limit - pos), llu(limit + kTerminatorSize)));
  } else if (!r.open && n == kTerminatorSize) {
    r.complete = true;
  }
}

}  // namespace

std::string recording_problem(const std::string& path) {
  using namespace base_header;
  uint64_t size = 0;
  std::string problem = input_file_problem(path, size);
  if (!problem.empty()) return problem;
  if (size < kSize)
    return strf("is %llu bytes long, too short to hold the %u-byte header of a recording", llu(size), kSize);
  FileSource src;
  char h[kSize];
  if (!src.open(path) || !src.read_exact(0, h, kSize)) return "its header cannot be read";
  if (std::string(h + kMagic, kMagicSize) != kMagicText)
    return strf("is not a recording file: it does not start with \"%s\"", kMagicText);
  uint32_t version = 0;
  if (digits_value(std::string(h + kVersion, kVersionSize), version) && version >= kRefusedVersion)
    return strf("its format version %u cannot be opened (%u and above are refused)", version,
                kRefusedVersion);
  return std::string();
}

uint64_t frame_area_offset(const FileView& v, uint32_t record) {
  if (record >= v.records.size()) return 0;
  for (const ChunkView& c : v.records[record].chunks)
    if (c.type == kFrameInfo) return c.offset + frames::info::kSize;
  return 0;
}

std::string chunk_type_label(uint32_t type) {
  const char* name = rz::container::chunk_type_name(type);
  return name ? strf("%s (%u)", name, type) : strf("type %u", type);
}

FileView walk_structure(ByteSource& src, Findings& f) {
  FileView v;
  v.fileSize = src.size();
  read_base_header(src, v, f);
  if (!v.headerRead) return v;

  const uint32_t records = v.declaredRecords < kMaxRecords ? v.declaredRecords : kMaxRecords;
  uint64_t pos = base_header::kSize;
  for (uint32_t i = 0; i < records; ++i) {
    uint8_t head[record_header::kSize];
    if (pos >= v.fileSize) {
      f.add(pos,
            strf("record %u of %u is missing: the file ends at %llu", i, v.declaredRecords, llu(v.fileSize)));
      break;
    }
    if (!src.read_exact(pos, head, sizeof head)) {
      f.add(pos, strf("record %u: its header is cut short by the end of the file", i));
      break;
    }
    RecordView r;
    r.offset = pos;
    r.length = load_u32(head, record_header::kLengthWord, v.big);
    r.type = load_u32(head, record_header::kType, v.big);
    r.number = load_u32(head, record_header::kNumber, v.big);
    r.reserved = load_u32(head, record_header::kReserved, v.big);
    if (r.type != kRecordType)
      f.add(pos + record_header::kType,
            strf("record %u: record type %u, expected %u", i, r.type, kRecordType));
    if (r.number != i + 1)
      f.add(pos + record_header::kNumber, strf("record %u: numbered %u, expected %u", i, r.number, i + 1));
    if (r.reserved != 0)
      f.add(pos + record_header::kReserved, strf("record %u: reserved word is %u, not 0", i, r.reserved));

    bool last = false;
    uint64_t limit = 0;
    if (r.length == record_header::kOpenLength) {
      r.open = true;
      f.add(pos, strf("record %u was never ended (its header says %u bytes)", i, r.length));
      limit = v.fileSize;
      last = true;
    } else if (r.length < kMinRecordLength) {
      f.add(pos, strf("record %u: length %u is below the %u bytes of a header and a terminator", i, r.length,
                      kMinRecordLength));
      v.records.push_back(r);
      break;
    } else if (pos + r.length > v.fileSize) {
      f.add(pos, strf("record %u: its length %u runs %llu bytes past the end of the file", i, r.length,
                      llu(pos + r.length - v.fileSize)));
      limit = v.fileSize;
      last = true;
      r.open = true;  // walk it like a record being written, up to the end of the file
    } else {
      limit = pos + r.length - kTerminatorSize;
    }
    walk_record_chunks(src, v, r, i, limit, f);
    v.records.push_back(r);
    if (last) break;
    pos += r.length;
    if (i + 1 == records && pos < v.fileSize) {
      f.add(pos, strf("%llu bytes follow the last record", llu(v.fileSize - pos)));
    }
  }
  return v;
}

}  // namespace tool
