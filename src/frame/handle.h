// Building and tearing down a BioFile: shared by the open, the copy and the
// close, so that every failure path is also the one release path.
#pragma once

#include "frame/biofile.h"

namespace rz {

// Allocates, locks and starts a new BioFile with its work buffer (the first
// steps of the open and the copy).  Records 1001, 1002 or 1003 on failure and
// returns nullptr; on success *bf is the locked block.
HGLOBAL begin_handle(uint32_t framesPerBuffer, BioFile** bf);

// Closes the file of a handle and releases every block it owns; the handle's
// own block stays.
void release_contents(BioFile& bf);

// Releases a handle entirely (contents, then the block): the close, and every
// failure while one is built.  A null bf releases the block alone.
void abandon_handle(HGLOBAL h, BioFile* bf);

// Opens the file for the handle and takes its path and attributes; false when
// the path is too long or the platform cannot open it.
bool attach_file(BioFile& bf, const char* path, uint32_t openFlags);

}  // namespace rz
