// The BioFile handle and its lifecycle: open, close, reopen, and the
// file-level fields.
#include <cstddef>
#include <cstring>

#include "channels/frames.h"
#include "container/container.h"
#include "container/textbuffer.h"
#include "frame/error_ring.h"
#include "frame/handle.h"

namespace rz {
namespace {

constexpr uint16_t kModeRead = RZ_OPEN_READ;
constexpr uint16_t kModeWrite = RZ_OPEN_WRITE;
constexpr uint16_t kModeReadWrite = RZ_OPEN_READ_WRITE;
constexpr uint16_t kModeCreate = RZ_OPEN_CREATE;

// Info selectors.
constexpr uint16_t kSelHeaderValid = RZ_INFO_HEADER_VALID;
constexpr uint16_t kSelFormatVersion = RZ_INFO_FORMAT_VERSION;
constexpr uint16_t kSelHeaderCode = RZ_INFO_HEADER_CODE;
constexpr uint16_t kSelByteOrder = RZ_INFO_BYTE_ORDER;
constexpr uint16_t kSelHeaderLetter = RZ_INFO_HEADER_LETTER;
constexpr uint16_t kSelRecordCount = RZ_INFO_RECORD_COUNT;
constexpr uint16_t kSelWritePos = RZ_INFO_WRITE_POS;

uint32_t open_flags(uint16_t mode) {
  switch (mode) {
    case kModeRead: return plat::kOpenRead;
    case kModeWrite: return plat::kOpenWrite;
    case kModeReadWrite: return plat::kOpenReadWrite;
    default: return plat::kOpenCreate | plat::kOpenReadWrite;
  }
}

uint16_t* header_field(BioFile& bf, uint16_t selector) {
  switch (selector) {
    case kSelHeaderValid: return &bf.headerValid;
    case kSelFormatVersion: return &bf.formatVersion;
    case kSelHeaderCode: return &bf.headerCode;
    case kSelByteOrder: return &bf.ByteOrder;
    case kSelHeaderLetter: return &bf.headerLetter;
    case kSelRecordCount: return &bf.recordCount;
    default: return nullptr;
  }
}

}  // namespace

HGLOBAL begin_handle(uint32_t framesPerBuffer, BioFile** out) {
  *out = nullptr;
  HGLOBAL h = plat::mem_alloc(plat::kMemFlags, sizeof(BioFile));
  if (!h) {
    errors::record(errors::kNoBlock);
    return nullptr;
  }
  auto* bf = static_cast<BioFile*>(plat::mem_lock(h));
  if (!bf) {
    errors::record(errors::kNoLock);
    plat::mem_free(h);
    return nullptr;
  }
  bf->blockSize = static_cast<uint32_t>(sizeof(BioFile));
  bf->fileType = kSupportedFileType;
  bf->framesPerBuffer = framesPerBuffer ? framesPerBuffer : 1;
  bf->workBufferSize = kWorkBufferSize;
  bf->readOnly = 1;
  bf->workBuffer = plat::mem_alloc(plat::kMemFlags, kWorkBufferSize);
  if (!bf->workBuffer) {
    errors::record(errors::kNoWorkBuffer);
    plat::mem_unlock(h);
    plat::mem_free(h);
    return nullptr;
  }
  *out = bf;
  return h;
}

namespace {
uint32_t records_used(const BioFile& bf) {
  const uint32_t used = bf.recordCount > bf.recordsInUse ? bf.recordCount : bf.recordsInUse;
  return used < kMaxRecords ? used : kMaxRecords;
}
}  // namespace

void abandon_handle(HGLOBAL h, BioFile* bf) {
  if (bf) {
    release_contents(*bf);
    // The header and the slots of the records used are all that was written:
    // the memory, reused for the next handle, is cleared only there.
    plat::mem_note_written(h, offsetof(BioFile, records) + sizeof(RecordSlot) * records_used(*bf));
  }
  plat::mem_unlock(h);
  plat::mem_free(h);
}

void release_contents(BioFile& bf) {
  plat::set_error_mode(plat::kQuietErrorMode);
  if (bf.fileHandle) plat::file_close(bf.fileHandle);
  bf.fileHandle = nullptr;
  // The work buffer names the records' kept windows: those go first.
  frames::release_windows(bf);
  release_block(bf.workBuffer);
  release_block(bf.textBuffer);
  release_block(bf.scoreTable);
  // Only records that were ever counted or given buffers can own blocks;
  // the slots behind them were never touched and stay so.
  const uint32_t used = records_used(bf);
  for (uint32_t r = 0; r < used; ++r) {
    release_block(bf.records[r].eventTable);
    release_buffers(bf.records[r]);
  }
}


bool attach_file(BioFile& bf, const char* path, uint32_t openFlags) {
  if (!path || std::strlen(path) >= kPathSize) return false;
  HMMIO file = plat::file_open(path, openFlags);
  if (!file) {
    plat::discard_last_error();
    return false;
  }
  bf.fileHandle = file;
  std::memcpy(bf.path, path, std::strlen(path) + 1);
  bf.fileAttributes = plat::file_attributes(path);
  return true;
}

}  // namespace rz

using namespace rz;

extern "C" {

RZ_PUBLIC HGLOBAL RZAPI RAZIVERAOpenBioFile(const char* path, uint16_t mode,
                                            uint32_t framesPerBuffer) {
  BioFile* bf = nullptr;
  HGLOBAL h = begin_handle(framesPerBuffer, &bf);
  if (!h) return nullptr;
  plat::set_error_mode(plat::kQuietErrorMode);
  if (mode < kModeRead || mode > kModeCreate || !attach_file(*bf, path, open_flags(mode))) {
    abandon_handle(h, bf);
    return nullptr;
  }
  if (mode != kModeRead) bf->readOnly = 0;
  bf->textBuffer = create_text_buffer(kHandleTextCapacity);
  if (mode != kModeCreate && !container::read_header(*bf)) {
    abandon_handle(h, bf);
    return nullptr;
  }
  plat::mem_unlock(h);
  return h;
}

RZ_PUBLIC HGLOBAL RZAPI RAZIVERACloseBioFile(HGLOBAL h) {
  if (!h) return nullptr;
  // A block too small to be a BioFile is not ours to release.
  if (plat::mem_size(h) < sizeof(BioFile)) return h;
  auto* bf = static_cast<BioFile*>(plat::mem_lock(h));
  if (!bf) return h;
  abandon_handle(h, bf->fileType == kSupportedFileType ? bf : nullptr);
  return nullptr;
}

RZ_PUBLIC int32_t RZAPI RAZIVERAUpdateDirectory(HGLOBAL h) {
  BioLock bf(h);
  if (!bf || !bf->fileHandle) return 0;
  plat::set_error_mode(plat::kQuietErrorMode);
  plat::file_close(bf->fileHandle);
  bf->fileHandle = plat::file_open(bf->path, plat::kOpenReadWrite);
  if (!bf->fileHandle) {
    plat::discard_last_error();
    return 0;
  }
  return 1;
}

RZ_PUBLIC HMMIO RZAPI RAZIVERAGetFileHandle(HGLOBAL h) {
  BioLock bf(h);
  return bf ? bf->fileHandle : nullptr;
}

RZ_PUBLIC uint32_t RZAPI RAZIVERAGetInfo(HGLOBAL h, uint16_t selector) {
  BioLock bf(h);
  if (!bf) return 0;
  if (selector == kSelWritePos) return bf->writePos;
  const uint16_t* field = header_field(*bf, selector);
  return field ? *field : 0;
}

RZ_PUBLIC uint32_t RZAPI RAZIVERASetInfo(HGLOBAL h, uint16_t selector, uint16_t value) {
  BioLock bf(h);
  if (!bf) return 0;
  uint16_t* field = header_field(*bf, selector);
  if (!field) return 0;
  // recordCount indexes the 32 record slots and tables.
  if (selector == kSelRecordCount) {
    if (value > kMaxRecords) return 0;
    // Records above a lowered count keep their blocks until the close.
    if (bf->recordCount > bf->recordsInUse) bf->recordsInUse = bf->recordCount;
  }
  *field = value;
  return 1;
}

}  // extern "C"
