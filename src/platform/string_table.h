// The module's string table.  Entry 1 names the one supported file type;
// entry 2 exists and is returned by no operation; there is no other entry (in
// particular no text for any error code).  The Windows build compiles the same
// texts into a real string-table resource.
#pragma once

#define RZ_STRING_FILE_TYPE "VOZO-PSG File Format"
#define RZ_STRING_LIBRARY "RAZIVERA Bio File Library"
