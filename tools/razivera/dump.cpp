// dump: the structure of a file as its bytes hold it - header, records, and
// every chunk head with its offset, size, type and id.
#include <cerrno>
#include <cstring>
#include <vector>

#include "commands.h"
#include "format/layout.h"
#include "source.h"
#include "structure.h"
#include "text.h"

namespace tool {
namespace {

using namespace rz;
using namespace rz::container;

constexpr uint32_t kHexBytes = 32;  // head bytes shown per chunk

void hex_lines(ByteSource& src, uint64_t pos, uint64_t n, const char* indent, std::ostream& out) {
  uint8_t b[kHexBytes];
  const size_t got = src.read(pos, b, size_t(n < kHexBytes ? n : kHexBytes));
  for (size_t row = 0; row < got; row += 16) {
    std::string line = strf("%s%08llX ", indent, llu(pos + row));
    for (size_t i = row; i < row + 16 && i < got; ++i) line += strf(" %02X", b[i]);
    out << line << "\n";
  }
}

// Lists the entries nested in a channel definition or user channel chunk,
// whose heads give the entry count and size at the same offsets.
static_assert(frame_ch_info::kChannelCount == user_ch_info::kChannelCount &&
                  frame_ch_info::kEntrySizeWord == user_ch_info::kEntrySizeWord,
              "the two heads agree");
void nested_entries(ByteSource& src, const FileView& v, const ChunkView& c, uint32_t headSize, bool hex,
                    std::ostream& out) {
  uint8_t head[frame_ch_info::kHeadSize];
  if (!src.read_exact(c.offset, head, sizeof head)) return;
  const uint32_t count = load_u32(head, frame_ch_info::kChannelCount, v.big);
  const uint32_t entrySize = load_u32(head, frame_ch_info::kEntrySizeWord, v.big);
  if (entrySize < chunk_head::kHeadSize) return;
  uint64_t pos = c.offset + headSize;
  for (uint32_t k = 0; k < count && k < kMaxChannels; ++k, pos += entrySize) {
    if (pos + entrySize > c.offset + c.size) {
      out << "        (the entries run past the chunk)\n";
      return;
    }
    uint8_t e[chunk_head::kHeadSize];
    if (!src.read_exact(pos, e, sizeof e)) return;
    out << strf(
        "        entry %-4u %-12llu %-10u %-22s %u\n", k, llu(pos), load_u32(e, chunk_head::kSizeWord, v.big),
        chunk_type_label(load_u32(e, chunk_head::kType, v.big)).c_str(), load_u32(e, chunk_head::kId, v.big));
    if (hex) hex_lines(src, pos, entrySize, "          ", out);
  }
}

// The one-line summary of what a chunk holds, from its head.
std::string chunk_note(ByteSource& src, const FileView& v, const ChunkView& c) {
  uint8_t h[frames::info::kSize] = {};
  src.read(c.offset, h, sizeof h);
  const auto u = [&](uint32_t off) { return load_u32(h, off, v.big); };
  switch (c.type) {
    case kWaveInfo: return strf("%u channels", u(wave_info::kChannelCount));
    case kFrameChInfo:
    case kUserChInfo:
      return strf("%u entries of %u bytes", u(frame_ch_info::kChannelCount), u(frame_ch_info::kEntrySizeWord));
    case kFrameInfo:
      return strf("%u frames of %u bytes, %u s each", u(frames::info::kFrameCount),
                  u(frames::info::kFrameChunkSize), u(frames::info::kFrameSeconds));
    case kEventTable: return strf("%u entries", u(event_table::kCount));
    case kScoreTable: return strf("%u entries", u(score_table::kCount));
    case kNonLinearInfo: return strf("%u points, channel %u", u(non_linear::kPointCount), c.id);
    default:
      if (c.size >= user_data::head::kHeadSize) return strf("count %u", u(user_data::head::kCount));
      return "";
  }
}

}  // namespace

int run_dump(const Args& args, Console& con) {
  const std::string& path = args.arg(0);
  const bool hex = args.has("--hex");
  // What is inside the file, however damaged, is reported with its offset;
  // a file that cannot be looked into is one clear message.
  uint64_t size = 0;
  const std::string problem = input_file_problem(path, size);
  if (!problem.empty()) return input_error(con, path, problem);
  FileSource src;
  if (!src.open(path)) return input_error(con, path, strf("cannot open: %s", std::strerror(errno)));
  Findings findings;
  const FileView v = walk_structure(src, findings);
  std::ostream& out = con.out;
  out << path << ": " << v.fileSize << " bytes\n";
  if (v.headerRead) {
    out << strf("header    %s version %s, code %s, byte order %c (%s-endian), letter %c, %s record(s)\n",
                v.magic.c_str(), printable(v.version).c_str(), printable(v.code).c_str(),
                v.byteOrder >= 32 && v.byteOrder < 127 ? v.byteOrder : '?', v.big ? "big" : "little",
                v.letter >= 32 && v.letter < 127 ? v.letter : '?', printable(v.countText).c_str());
    if (hex) hex_lines(src, 0, base_header::kSize, "  ", out);
  }
  for (size_t r = 0; r < v.records.size(); ++r) {
    const RecordView& rec = v.records[r];
    out << strf("record %zu  offset %llu, length %u%s, number %u, type %u\n", r, llu(rec.offset), rec.length,
                rec.open ? " (not ended)" : "", rec.number, rec.type);
    if (hex) hex_lines(src, rec.offset, record_header::kSize, "  ", out);
    out << "  chunk  offset       size       type                   id    holds\n";
    for (size_t i = 0; i < rec.chunks.size(); ++i) {
      const ChunkView& c = rec.chunks[i];
      out << strf("  %-6zu %-12llu %-10u %-22s %-5u %s%s\n", i, llu(c.offset), c.size,
                  chunk_type_label(c.type).c_str(), c.id, chunk_note(src, v, c).c_str(),
                  c.truncated ? " (cut short)" : "");
      if (hex) hex_lines(src, c.offset, c.size, "    ", out);
      if (!c.truncated && c.type == kFrameChInfo)
        nested_entries(src, v, c, frame_ch_info::kHeadSize, hex, out);
      if (!c.truncated && c.type == kUserChInfo)
        nested_entries(src, v, c, user_ch_info::kHeadSize, hex, out);
    }
    if (rec.complete) out << strf("  terminator at %llu\n", llu(rec.offset + rec.length - kTerminatorSize));
  }
  for (const Finding& f : findings.list())
    con.err << strf("razivera: %s: offset %llu (0x%llX): ", path.c_str(), llu(f.offset), llu(f.offset))
            << f.text << "\n";
  return findings.empty() ? kExitOk : kExitBadInput;
}

}  // namespace tool
