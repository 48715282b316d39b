// Text lists: a chunk of short texts, each tagged with a numeric id, filled
// from and read back into a TextBuffer.  Two chunks carry such lists: the
// text information under a type code the caller chooses, and the user text
// (type 2000); they differ in the byte order of their entry heads.
#pragma once

#include <cstdint>

#include "container/textbuffer.h"
#include "frame/biofile.h"

namespace rz::text_info {

// How a kind of text list stores its entry heads, and what its reader keeps.
struct EntryFormat {
  bool sizeBig;        // entry size most significant byte first
  bool idBig;          // text id most significant byte first
  bool mendSwapped;    // a head value beyond 16 bits is taken in the other order
  uint32_t readChars;  // most characters the reader keeps of one text
};

// Text information: heads in the file's byte order.  Its reader also takes
// heads written the other way (a user text read as a text list), and keeps
// at most 250 characters of a text, as stored lists have always been read.
inline EntryFormat text_info_format(bool fileBig) { return {fileBig, fileBig, true, 250}; }

// User text: sizes always most significant byte first, ids always least
// significant byte first, whatever the file.
constexpr EntryFormat kUserTextFormat{true, false, false, kMaxTextChars};

struct EntryHead {
  uint32_t size;
  uint32_t textId;
};

// Builds an entry of room L (at most 256) in out: head, then at most L
// characters of text, zero behind its end.  `text` holds L bytes or a NUL.
void pack_entry(uint8_t out[entry::kMaxLength], uint32_t room, uint32_t textId,
                const char* text, const EntryFormat& f);
EntryHead unpack_entry_head(const uint8_t* in, const EntryFormat& f);

// Writes a text list of the first min(count, the buffer's count) entries into
// the current record, in one write: writePos after it, 0 when it was not
// written.
int32_t write_chunk(BioFile& bf, const TextBufferLock& tb, uint32_t type, uint32_t id,
                    uint16_t count, const EntryFormat& f);

// Loads the record's text list of this type and id (0: any) into the buffer;
// the number of entries stored.  Every entry's length and id are cleared
// first; a missing chunk leaves the count as it was.
uint16_t read_chunk(BioFile& bf, TextBufferLock& tb, uint32_t record, uint32_t type,
                    uint32_t id, const EntryFormat& f);

}  // namespace rz::text_info
