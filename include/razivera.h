/*
 * razivera.h - public interface of the RAZIVERA library.
 *
 * RAZIVERA creates, writes, reads and edits polysomnography recordings stored
 * in the "VOZO-PSG File Format".  Every open file is one BioFile handle (an
 * HGLOBAL movable memory block) that the library allocates in
 * RAZIVERAOpenBioFile / RAZIVERACopyNewBioFile and releases in
 * RAZIVERACloseBioFile.  Every other call takes that handle first.
 *
 * Conventions that hold for every function below:
 *  - A null handle, a handle that was already closed, or anything that is not
 *    a live handle of the right kind makes the call return its failure value
 *    at once (0, -1 or NULL as stated).  Nothing is written then.
 *  - Record, channel, item and id arguments are 16-bit values; only their low
 *    16 bits count.
 *  - Texts are single-byte, NUL-terminated.  Output text buffers must have the
 *    room stated for each call; the library takes no buffer sizes.
 *  - Writers (Create...) append to the record started last.  Readers take a
 *    record index.  Update... rewrites a stored chunk in place.
 *  - Short writes (a full disk) are not reported as errors: the write position
 *    and record length advance only by what was really written.
 *  - Only RAZIVERAOpenBioFile and RAZIVERACopyNewBioFile record error codes
 *    (RZ_ERROR_...); fetch them with RAZIVERAGetErrorInfo.
 *  - Every mode, selector, item code, chunk type and buffer room has a name
 *    (RZ_...) in razivera_codes.h, which this header includes.
 *  - A damaged or hostile file never makes a reader crash or write outside its
 *    own buffers: counts and sizes read from the file are bounded first.
 *  - Calls on one handle must come from one thread at a time; different
 *    handles may be used from different threads concurrently.
 *
 * Writing a recording (examples/full_recording.c does all of it):
 *  1. h = RAZIVERAOpenBioFile(path, RZ_OPEN_CREATE, framesPerBuffer);
 *     RAZIVERASetInfo(h, RZ_INFO_BYTE_ORDER, RZ_BYTE_ORDER_BIG) for a
 *     big-endian file (little-endian is the default).
 *  2. DARARARCreateBaseHeader(h); DARARARStartRecordWave(h).
 *  3. DARARARSetWaveInfo(h, record, RZ_WAVE_..., value) for the channel count,
 *     frame seconds, base rate, total samples, start date and time;
 *     DARARARSetWaveText; then DARARARCreateWaveInfo(h).
 *  4. Per channel DARARARSetFrameChInfo (RZ_CHANNEL_SAMPLE_RATE, filters,
 *     user values) and DARARARSetFrameChText (RZ_CHANNEL_LABEL,
 *     RZ_CHANNEL_UNIT); then DARARARCreateFrameChInfo(h) and, when user
 *     channel values are set, DARARARCreateUserChInfo(h).
 *  5. Optional chunks of the record: non-linear tables, text lists, user
 *     information and data, the event table (DARARARCreateEventTable,
 *     DARARARSetEventTableInfo, DARARARCreateEventInfo).
 *  6. DARARARCreateFrameBuf(h, framesPerBuffer); then per block of frames
 *     DARARARSetFramePointWave (or ...Event) for every channel,
 *     DARARARSaveFrameWave(h, frames) and DARARARUpdateWaveInfo(h, samples).
 *  7. DARARAREndRecordWave(h); optionally a score table
 *     (DARARARCreateScoreTable, DARARARSetScoreTableInfo,
 *     DARARARCreateScoreInfo(h, 1)); back to 2 for another record.
 *  8. RAZIVERACloseBioFile(h).
 *
 * Reading a recording:
 *  1. h = RAZIVERAOpenBioFile(path, RZ_OPEN_READ, 1);
 *     RAZIVERAGetInfo(h, RZ_INFO_RECORD_COUNT).
 *  2. Per record: DARARARReadRecordInfo (date, channel count, text),
 *     DARARARReadChannelInfo (rates, labels, filters; also sets the base
 *     rate), DARARARReadUserChannelInfo when user values are wanted.
 *  3. DARARARReadFrameInfo: only now do the frame seconds, frame size, frame
 *     count and frame position read as stored (before, they read 0, or the
 *     count from the wave information).
 *  4. DARARARCreateReadFrameBuf(h, record, windowSeconds); then per window
 *     DARARARReadFrameWave(h, record, startSecond) and, per channel,
 *     DARARARGetFrameWave(h, record, channel, samples).
 *  5. Whatever else the record holds: DARARARReadEventInfo, ReadScoreInfo,
 *     ReadTextInfo, ReadNonLinearInfo, ReadUserInfo, ReadUser... .
 *  6. RAZIVERACloseBioFile(h).
 */
#ifndef RAZIVERA_H
#define RAZIVERA_H

#include <stddef.h>
#include <stdint.h>

#include "razivera_codes.h"
#include "razivera_version.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#define RZAPI WINAPI
#define RZ_PUBLIC
#else
typedef void *HGLOBAL;
typedef void *HMMIO;
#define RZAPI
#if defined(RAZIVERA_BUILDING) && defined(__GNUC__)
#define RZ_PUBLIC __attribute__((visibility("default")))
#else
#define RZ_PUBLIC
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
/*
 * Portable movable-memory calls with Win32 semantics, so that code written for
 * Windows ports unchanged and a caller can release a TextBuffer it created.
 * Handles are opaque; a handle that is not live fails to lock (NULL).
 */
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
RZ_PUBLIC HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
/* Pointer to the block, or NULL for a handle that is not live. */
RZ_PUBLIC void *GlobalLock(HGLOBAL block);
/* Nonzero while the block is still locked after this call, else 0. */
RZ_PUBLIC int GlobalUnlock(HGLOBAL block);
/* NULL on success; the handle itself when it is not live. */
RZ_PUBLIC HGLOBAL GlobalFree(HGLOBAL block);
/* Size in bytes of a live block, 0 otherwise. */
RZ_PUBLIC size_t GlobalSize(HGLOBAL block);
#endif

/* ---- Library frame and errors ------------------------------------------ */

/* mode RZ_ERROR_TAKE: take the newest error code off the ring (0 when none);
 * text, when not NULL, receives at most RZ_ERROR_TEXT_ROOM bytes (the library
 * holds no text for error codes, so it is set to the empty string).
 * mode RZ_ERROR_CLEAR: empty the ring, 0.  Other modes: 0. */
RZ_PUBLIC uint16_t RZAPI RAZIVERAGetErrorInfo(uint16_t mode, char *text);
/* type RZ_SUPPORT_FILE_TYPE -> 1, and name (if not NULL, RZ_SUPPORT_NAME_ROOM
 * bytes) gets "VOZ"; other types -> 0. */
RZ_PUBLIC uint16_t RZAPI RAZIVERAGetSupportType(uint16_t type, char *name);

/* ---- The BioFile handle -------------------------------------------------- */

/* mode RZ_OPEN_READ, RZ_OPEN_WRITE, RZ_OPEN_READ_WRITE or RZ_OPEN_CREATE
 * (empties an existing file).  framesPerBuffer 0 counts as 1.  NULL on
 * failure: allocation failures record RZ_ERROR_NO_BLOCK, RZ_ERROR_NO_LOCK or
 * RZ_ERROR_NO_WORK_BUFFER, a wrong magic RZ_ERROR_BAD_MAGIC, a version of 300
 * or more RZ_ERROR_BAD_VERSION; other failures (missing file, bad mode, no
 * records, a path of RZ_PATH_ROOM characters or more) record nothing.  The caller owns the handle until
 * RAZIVERACloseBioFile. */
RZ_PUBLIC HGLOBAL RZAPI RAZIVERAOpenBioFile(const char *path, uint16_t mode,
                                            uint32_t framesPerBuffer);
/* Closes the file and releases the handle and every block it owns.  Returns
 * NULL once released; the handle itself when it cannot be locked.  Writes
 * nothing: a record not ended stays as written. */
RZ_PUBLIC HGLOBAL RZAPI RAZIVERACloseBioFile(HGLOBAL h);
/* Closes and reopens the file (read/write) so that its directory entry shows
 * what was written.  1 on success; 0 otherwise (the handle then has no file). */
RZ_PUBLIC int32_t RZAPI RAZIVERAUpdateDirectory(HGLOBAL h);
/* The platform file handle, owned by the BioFile; NULL on failure. */
RZ_PUBLIC HMMIO RZAPI RAZIVERAGetFileHandle(HGLOBAL h);
/* selector RZ_INFO_...: header valid, format version, header code, byte
 * order, header letter, record count, write position; 0 for others. */
RZ_PUBLIC uint32_t RZAPI RAZIVERAGetInfo(HGLOBAL h, uint16_t selector);
/* Sets the RZ_INFO_ selectors but RZ_INFO_WRITE_POS (the record count at most
 * RZ_MAX_RECORDS); 1 when stored, else 0. */
RZ_PUBLIC uint32_t RZAPI RAZIVERASetInfo(HGLOBAL h, uint16_t selector,
                                         uint16_t value);
/* Starts a new file at path continuing the source's recording: its header and
 * record 0 up to the frame area.  The new handle is the caller's; NULL on
 * failure (RZ_ERROR_NO_BLOCK, _NO_LOCK, _NO_WORK_BUFFER recorded for
 * allocation failures). */
RZ_PUBLIC HGLOBAL RZAPI RAZIVERACopyNewBioFile(HGLOBAL source, const char *path,
                                               uint32_t framesPerBuffer);

/* ---- Container ----------------------------------------------------------- */

/* Writes the 32-byte base header at offset 0 from the header fields set with
 * RAZIVERASetInfo.  1 on success; 0 on failure or when the file already holds
 * records. */
RZ_PUBLIC int32_t RZAPI DARARARCreateBaseHeader(HGLOBAL h);
/* Starts a record (at most RZ_MAX_RECORDS per file); its index, or -1. */
RZ_PUBLIC int32_t RZAPI DARARARStartRecordWave(HGLOBAL h);
/* Ends the current record; the file offset past its terminator, or 0. */
RZ_PUBLIC int32_t RZAPI DARARAREndRecordWave(HGLOBAL h);
/* File offset of the first chunk of type (RZ_CHUNK_..., and id, 0 = any) in
 * record; 0 when none.  head, when not NULL, receives the chunk's first 64
 * bytes as RZ_FIND_HEAD_WORDS words in machine order. */
RZ_PUBLIC int32_t RZAPI RAZIVERAFindIndexPtr(HGLOBAL h, uint16_t record,
                                             uint32_t type, uint32_t id,
                                             uint32_t *head);
/* The record's frame count as now stored in its wave information (for a
 * reader following a growing file); -1 when none. */
RZ_PUBLIC int32_t RZAPI DARARARReadUpdateTotalFrame(HGLOBAL h, uint16_t record);

/* ---- Text buffers ---------------------------------------------------------- */

/* A new empty TextBuffer of capacity entries (1..65535), owned by the caller
 * (release it with GlobalFree); NULL on failure. */
RZ_PUBLIC HGLOBAL RZAPI RAZIVERACreateTextBuffer(uint16_t capacity);
/* In the calls below h must be a live handle even when a buffer is given;
 * buffer NULL means the handle's own TextBuffer (RZ_HANDLE_TEXT_CAPACITY
 * entries); dest must hold RZ_TEXT_BUFFER_ROOM bytes and is emptied first.  Results pack (length << 16) | id, where
 * length is the entry's room (its declared length raised to a multiple of 4).
 * Entry index (0..capacity-1, past the count included); 0 when refused. */
RZ_PUBLIC uint32_t RZAPI RAZIVERAGetTextBuffer(HGLOBAL h, HGLOBAL buffer,
                                               int32_t index, char *dest);
/* Stores entry index (negative: the next free one) with room len (< 256) and
 * the first len characters of text; the count afterwards, 0 on failure.  At
 * or past the capacity nothing is stored and the count stays. */
RZ_PUBLIC uint16_t RZAPI RAZIVERASetTextBuffer(HGLOBAL h, HGLOBAL buffer,
                                               int32_t index, uint16_t len,
                                               uint16_t id, const char *text);
/* The first entry below the count with this id; 0 when none. */
RZ_PUBLIC uint32_t RZAPI RAZIVERAGetTextIDBuffer(HGLOBAL h, HGLOBAL buffer,
                                                 uint16_t id, char *dest);
/* Replaces the text of the first entry with this id when it is shorter than
 * the entry's room; room and id stay.  Always 0. */
RZ_PUBLIC uint32_t RZAPI RAZIVERASetTextIDBuffer(HGLOBAL h, HGLOBAL buffer,
                                                 uint16_t id, const char *text);

/* ---- Wave information ------------------------------------------------------ */

/* Items RZ_WAVE_...: record code, channel count (at most RZ_MAX_CHANNELS),
 * frame seconds, total frames, frame size, frame data position (these three
 * get only), start year, month, day, hour, minute, second, total samples,
 * base rate, mains frequency, two user values, and (get only) whether the
 * record has an event table.  Set: 1 or 0; Get: the value or 0.
 * Reading a file: DARARARReadRecordInfo loads the record code, channel count,
 * total frames, start and mains frequency; DARARARReadChannelInfo sets the
 * base rate (the highest channel rate); frame seconds, frame size and frame
 * data position read 0 until DARARARReadFrameInfo, which also sets total
 * frames from the frame area.  Total samples are never read from a file. */
RZ_PUBLIC int32_t RZAPI DARARARSetWaveInfo(HGLOBAL h, uint16_t record,
                                           uint16_t item, uint32_t value);
RZ_PUBLIC uint32_t RZAPI DARARARGetWaveInfo(HGLOBAL h, uint16_t record,
                                            uint16_t item);
/* item RZ_WAVE_TEXT: the record's text (at most 32 characters kept). */
RZ_PUBLIC int32_t RZAPI DARARARSetWaveText(HGLOBAL h, uint16_t record,
                                           uint16_t item, const char *text);
/* item RZ_WAVE_TEXT: the record text (buffer of RZ_WAVE_TEXT_ROOM bytes);
 * RZ_WAVE_TEXT_PATH: the path (RZ_PATH_ROOM bytes).  The text's length. */
RZ_PUBLIC int16_t RZAPI DARARARGetWaveText(HGLOBAL h, uint16_t record,
                                           uint16_t item, char *buffer);
/* Writes the WaveInfo chunk; the write position after it, or 0. */
RZ_PUBLIC uint32_t RZAPI DARARARCreateWaveInfo(HGLOBAL h);
/* Rewrites the stored frame count from totalSamples and the record length in
 * its header; returns totalSamples, or 0.  Only for a WaveInfo chunk written
 * through this handle; otherwise nothing is written. */
RZ_PUBLIC uint32_t RZAPI DARARARUpdateWaveInfo(HGLOBAL h, uint32_t totalSamples);
/* Loads the record's WaveInfo chunk (see DARARARGetWaveInfo for what it sets);
 * 1 when found, else 0.  A frame count above
 * 2,764,800 reads as 0 (and is cleared in a writable file). */
RZ_PUBLIC int32_t RZAPI DARARARReadRecordInfo(HGLOBAL h, uint32_t record);

/* ---- Channel definitions ----------------------------------------------------- */

/* Items RZ_CHANNEL_...: flags, channel number, value 3, sampling rate,
 * sampling period, values 6-10 (9 stored before 8), filter form A, filter form
 * B, values 13-14, source rate, user channel values 20-29 (20-22 16-bit).
 * Setting the rate or the period (filter A or B) chooses the stored form,
 * shown in the RZ_CHANNEL_FLAG_... bits.  Set: 1 or 0; Get: the value
 * or 0.  The channel must be below the record's channel count. */
RZ_PUBLIC uint32_t RZAPI DARARARSetFrameChInfo(HGLOBAL h, uint16_t record,
                                               uint16_t item, uint16_t channel,
                                               uint32_t value);
RZ_PUBLIC uint32_t RZAPI DARARARGetFrameChInfo(HGLOBAL h, uint16_t record,
                                               uint16_t item, uint16_t channel);
/* RZ_CHANNEL_LABEL (at most 63 characters kept; the file keeps 15) or
 * RZ_CHANNEL_UNIT (31).  1 when stored, else 0. */
RZ_PUBLIC uint32_t RZAPI DARARARSetFrameChText(HGLOBAL h, uint16_t record,
                                               uint16_t item, uint16_t channel,
                                               const char *text);
/* buffer: RZ_CHANNEL_LABEL_ROOM bytes for RZ_CHANNEL_LABEL,
 * RZ_CHANNEL_UNIT_ROOM for RZ_CHANNEL_UNIT.  The text's length. */
RZ_PUBLIC uint16_t RZAPI DARARARGetFrameChText(HGLOBAL h, uint16_t record,
                                               uint16_t item, uint16_t channel,
                                               char *buffer);
/* Appends the channel definitions of the current record; the write position
 * after the last entry written, or 0. */
RZ_PUBLIC int32_t RZAPI DARARARCreateFrameChInfo(HGLOBAL h);
/* Rewrites the stored entries from the handle; the channel count - 1, or -1
 * (also for a read-only handle). */
RZ_PUBLIC int32_t RZAPI DARARARUpdateFrameChInfo(HGLOBAL h, uint16_t record);
/* Loads the record's stored channel definitions (every RZ_CHANNEL_ item but
 * the user values, and the texts) and sets the record's base rate to the
 * highest channel rate.  1 when the record has them, else 0.  In a writable
 * file, entries lacking their type code get it. */
RZ_PUBLIC int32_t RZAPI DARARARReadChannelInfo(HGLOBAL h, uint16_t record);
/* Appends the user channel values (RZ_CHANNEL_USER20 to 29) of the current
 * record's channels, with the record's two user values (RZ_WAVE_USER_VALUE1,
 * 2), as one chunk; the write position after the last entry written, or 0. */
RZ_PUBLIC int32_t RZAPI DARARARCreateUserChInfo(HGLOBAL h);
/* Loads what DARARARCreateUserChInfo stored: the record's two user values and
 * each channel's user values.  1 when the chunk is there (its entries are read
 * as far as the chunk holds them), 0 when it is missing or its entries are
 * too small to be user channel entries. */
RZ_PUBLIC int32_t RZAPI DARARARReadUserChannelInfo(HGLOBAL h, uint16_t record);
/* The display name of a signal type code RZ_SIGNAL_... (name must hold
 * RZ_SIGNAL_NAME_ROOM bytes); its length, 0 and "" for a code without a name
 * or a NULL name.  The Ex lookup gives "SpO2" for RZ_SIGNAL_SAO2 with the flag
 * RZ_SIGNAL_NAME_SPO2 and "EDA" for RZ_SIGNAL_GSR with RZ_SIGNAL_NAME_EDA;
 * otherwise both agree on every code. */
RZ_PUBLIC uint16_t RZAPI DARARARGetSignalTypeName(uint16_t code, char *name);
RZ_PUBLIC uint16_t RZAPI DARARARGetSignalTypeNameEx(uint32_t nameFlags,
                                                    uint16_t code, char *name);

/* ---- Frames ------------------------------------------------------------------ */

/* Writing.  The frame area of the record being written: after its wave and
 * channel information, CreateFrameBuf makes one FrameBuf per channel (owned by
 * the handle, framesPerBuffer frames each; 0 keeps the handle's setting) and
 * writes the FrameInfo head.  Result: the size of one stored frame, or 0. */
RZ_PUBLIC int32_t RZAPI DARARARCreateFrameBuf(HGLOBAL h, uint16_t framesPerBuffer);
/* Fill buffer frames [frameIndex, frameIndex + frameCount) of one channel from
 * the caller's input: output sample k is input value k x step x stride / 2,
 * where stride is the byte distance between the channel's input values and
 * step = baseRate / sampleRate (Ex: mode RZ_POINT_BASE_STEP the same,
 * RZ_POINT_EVERY every value, RZ_POINT_SOURCE_STEP sourceRate / sampleRate).  The input must hold that many values.
 * Result: frameCount; 0 for a channel beyond the count, without a buffer or
 * with rate 0, or frames beyond the buffer (nothing is written then). */
RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointWave(HGLOBAL h, uint16_t frameIndex,
                                                  uint16_t frameCount,
                                                  uint16_t channel, uint32_t stride,
                                                  const int16_t *input);
RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointWaveEx(HGLOBAL h, uint16_t mode,
                                                    uint16_t frameIndex,
                                                    uint16_t frameCount,
                                                    uint16_t channel,
                                                    uint32_t stride,
                                                    const int16_t *input);
/* Event-code channels: each output sample consumes baseRate x rateFactor /
 * sampleRate input values; every nonzero code appears in its own output
 * sample, in input order (at most 1024 pending; the surplus is dropped). */
RZ_PUBLIC uint16_t RZAPI DARARARSetFramePointEvent(HGLOBAL h, uint16_t frameIndex,
                                                   uint16_t frameCount,
                                                   uint16_t channel, int32_t stride,
                                                   uint32_t rateFactor,
                                                   const int16_t *input);
/* Appends buffer frames 0 to frameCount - 1 of every channel as stored frames
 * (numbered, time-stamped) and rewrites the FrameInfo head.  Result:
 * frameCount when at least one frame reached the file, else 0.  On a full disk
 * only the frames that reached the file are counted, so the stored count,
 * size and numbering always match what the file holds. */
RZ_PUBLIC uint16_t RZAPI DARARARSaveFrameWave(HGLOBAL h, uint16_t frameCount);

/* Reading.  ReadFrameInfo loads the record's frame length, frame size, frame
 * count and frame position (1, or 0 when the record has no frame area); until
 * then they read 0 (the count: as the wave information says), and the window
 * calls below fail. */
RZ_PUBLIC int32_t RZAPI DARARARReadFrameInfo(HGLOBAL h, uint16_t record);
/* Makes the record's read buffers (owned by the handle) for windows of
 * windowSeconds: each holds the window's frames and two slack frames (at least
 * four frames).  Needs DARARARReadChannelInfo and DARARARReadFrameInfo first.
 * Always returns 0. */
RZ_PUBLIC int32_t RZAPI DARARARCreateReadFrameBuf(HGLOBAL h, uint16_t record,
                                                  uint32_t windowSeconds);
/* Reads into the read buffers as many frames as they hold (the window plus
 * the slack frames), from the frame holding startSecond.  Frames past the
 * recorded ones read the bytes that follow the last frame in the file, and
 * zeros past its end (a reader of a growing file relies on this).  Result:
 * 16-bit words read (frames x frame size / 2), or -1 (no frame information,
 * no work area).  Ex reads just the frames covering lengthSeconds (at most
 * what the buffers hold); startSecond may be negative (the window then begins
 * with frames of zeros). */
RZ_PUBLIC int32_t RZAPI DARARARReadFrameWave(HGLOBAL h, uint16_t record,
                                             uint32_t startSecond);
RZ_PUBLIC int32_t RZAPI DARARARReadFrameWaveEx(HGLOBAL h, uint16_t record,
                                               int32_t startSecond,
                                               uint32_t lengthSeconds);
/* Copies one channel's samples of the last window (windowSeconds x rate; Ex:
 * lengthSeconds x rate from offsetSeconds into the window) to output, in
 * machine byte order.  Result: samples copied; 0 for a channel beyond the
 * count or a range outside the read buffer. */
RZ_PUBLIC int32_t RZAPI DARARARGetFrameWave(HGLOBAL h, uint16_t record,
                                            uint16_t channel, int16_t *output);
RZ_PUBLIC int32_t RZAPI DARARARGetFrameWaveEx(HGLOBAL h, uint16_t record,
                                              uint16_t channel, int16_t *output,
                                              uint32_t offsetSeconds,
                                              uint32_t lengthSeconds);

/* ---- Events and scores ------------------------------------------------------- */

/* Event tables: one per record, count entries each holding a value and
 * dataSize data bytes (rounded up to 4; at most 1016).  Entries are numbered 1
 * to count.  Creating or reading a record's table replaces the previous one.
 * Create: 1 when made; 0 for id 0, a record not started, a negative count or
 * too large an entry (the previous table then stays). */
RZ_PUBLIC int32_t RZAPI DARARARCreateEventTable(HGLOBAL h, uint16_t record,
                                                uint16_t id, int32_t count,
                                                uint32_t dataSize);
/* Set/Get entry index (1 to count): data provides/receives the entry's
 * rounded data size in bytes.  1 when done, else 0; a failed get leaves
 * *value 0 and data[0] 0. */
RZ_PUBLIC int32_t RZAPI DARARARSetEventTableInfo(HGLOBAL h, uint16_t record,
                                                 uint16_t index, uint32_t value,
                                                 const void *data);
RZ_PUBLIC int32_t RZAPI DARARARGetEventTableInfo(HGLOBAL h, uint16_t record,
                                                 uint16_t index, uint32_t *value,
                                                 void *data);
/* Writes the current record's table as a chunk; the write position after the
 * last complete write, 0 when nothing was written. */
RZ_PUBLIC int32_t RZAPI DARARARCreateEventInfo(HGLOBAL h);
/* Rewrites the data bytes (never the values) of the record's first stored
 * table from the table in memory, within the stored chunk.  Always 0. */
RZ_PUBLIC int32_t RZAPI DARARARUpdateEventInfo(HGLOBAL h, uint16_t record);
/* Reads the record's first stored table; the number of entries read, 0 when
 * none (the record is then left without a table). */
RZ_PUBLIC int32_t RZAPI DARARARReadEventInfo(HGLOBAL h, uint16_t record);
/* Overwrites one stored 16-bit sample (an event code: the low 16 bits of
 * value) of one channel in one frame, in place.  Needs the record, channel and
 * frame information read first (or the record being written through this
 * handle).  Result: the file position written; -1 when the record, channel,
 * frame or sample is out of range, the sample lies outside the stored frame
 * area or its record (or past the end of the file), or the two bytes could not
 * be written (a read-only handle). */
RZ_PUBLIC int32_t RZAPI DARARARChangeEventData(HGLOBAL h, uint16_t record,
                                               uint32_t value, uint16_t channel,
                                               uint32_t frame, uint32_t sample);
/* The score table: one per handle, count 32-bit entries (indexed from 0),
 * settings addressed by item codes and a text of at most 62 characters.
 * Create: 1 when made; 0 for count 0 (the current table stays). */
RZ_PUBLIC int32_t RZAPI DARARARCreateScoreTable(HGLOBAL h, uint16_t id,
                                                uint32_t count);
/* Items RZ_SCORE_...: COUNT (get only), SETTING2, SETTING3, INDEX4 to INDEX6
 * (an entry index, -1 clears), SETTING7, SETTING8, ENTRY (entry[index]; get:
 * bits 0-23), ENTRY_ALL (get only, all bits), SETTING15, SETTING16, WORDS17
 * (index 0 to 5).  Set: 1 when stored.  Get: *out is 0 unless delivered;
 * SETTING7, SETTING8, SETTING15, SETTING16 and WORDS17 deliver and return 0. */
RZ_PUBLIC int32_t RZAPI DARARARSetScoreTableInfo(HGLOBAL h, uint16_t item,
                                                 int32_t index, uint32_t value);
RZ_PUBLIC int32_t RZAPI DARARARGetScoreTableInfo(HGLOBAL h, uint16_t item,
                                                 int32_t index, uint32_t *out);
/* Item RZ_SCORE_TEXT only; index ignored.  1 when stored, 0 for 63
 * characters or more. */
RZ_PUBLIC int32_t RZAPI DARARARSetScoreTableText(HGLOBAL h, uint16_t item,
                                                 uint32_t index, const char *text);
/* text must hold RZ_SCORE_TEXT_ROOM bytes; it is emptied first.  The text's
 * length. */
RZ_PUBLIC uint16_t RZAPI DARARARGetScoreTableText(HGLOBAL h, uint16_t item,
                                                  uint32_t index, char *text);
/* Adds the table as a chunk to the last record: where its terminator stands
 * when it was ended, else at its end.  A record that was ended, or that the
 * caller says was (recordClosed not 0), ends with one terminator behind the
 * chunk; otherwise it stays open for DARARAREndRecordWave.  Works through a
 * handle opened for editing too.  The record's new end, or 0 when nothing was
 * written. */
RZ_PUBLIC int32_t RZAPI DARARARCreateScoreInfo(HGLOBAL h, uint16_t recordClosed);
/* Rewrites in place the stored chunk with this id (0: the first) in the record
 * of the last read: settings, text and entries.  A stored chunk never grows:
 * the table is cut to the entries it holds.  1 when rewritten, else 0. */
RZ_PUBLIC int32_t RZAPI DARARARUpdateScoreInfo(HGLOBAL h, uint16_t id);
/* Reads the record's stored chunk with this id (0: the first) into a new table
 * whose id is the id argument; the number of entries read, 0 when none.  A
 * stored chunk without entries updates an existing table's settings and text. */
RZ_PUBLIC int32_t RZAPI DARARARReadScoreInfo(HGLOBAL h, uint16_t record,
                                             uint16_t id);

/* ---- Texts, non-linear tables, user information and user data ----------------- */

/* Text lists.  CreateTextInfo writes the first min(count, buffer count)
 * entries of textBuffer (NULL: the handle's own) as a chunk of typeCode; the
 * write position after it, or 0.  UpdateTextInfo replaces, in place, the text
 * of the entry with this id, cut to the room it was written with; its index,
 * or -1 (read-only handle, no such entry, damaged list, failed write).
 * ReadTextInfo clears every entry's room and id, then loads the list; the
 * number of entries (texts keep at most 250 characters), 0 when none - the
 * count then stays.  Damaged lists are read only as far as they hold. */
RZ_PUBLIC int32_t RZAPI DARARARCreateTextInfo(HGLOBAL h, HGLOBAL textBuffer,
                                              uint16_t typeCode, uint16_t count);
RZ_PUBLIC int32_t RZAPI DARARARUpdateTextInfo(HGLOBAL h, uint32_t record,
                                              uint16_t typeCode, uint32_t id,
                                              const char *text);
RZ_PUBLIC uint32_t RZAPI DARARARReadTextInfo(HGLOBAL h, HGLOBAL textBuffer,
                                             uint32_t record, uint16_t typeCode);
/* Non-linear tables: per channel up to RZ_NONLINEAR_MAX_POINTS points, each
 * two values and a text.  Item RZ_NONLINEAR_COUNT sets (value1, at most 15) or
 * gets (the result) the channel's number of points; RZ_NONLINEAR_POINT sets or
 * gets point `point` (value1, value2, text of at most 27 characters).  Set: 1
 * when stored, else 0.  Get: the count; for a point below the count, point + 1
 * with value1, value2 and text delivered (each when not NULL); else 0. */
RZ_PUBLIC int32_t RZAPI DARARARSetNonLinearInfo(HGLOBAL h, uint16_t record,
                                                uint16_t item, uint16_t channel,
                                                uint16_t point, int32_t value1,
                                                uint32_t value2, const char *text);
/* text must hold RZ_NONLINEAR_TEXT_ROOM bytes. */
RZ_PUBLIC int32_t RZAPI DARARARGetNonLinearInfo(HGLOBAL h, uint16_t record,
                                                uint16_t item, uint16_t channel,
                                                uint16_t point, uint32_t *value1,
                                                uint32_t *value2, char *text);
/* Appends the table of one channel (an index) of the current record as a chunk
 * whose id is the channel number (index + 1); the write position after it,
 * or 0 when the channel has no points or is beyond the count. */
RZ_PUBLIC int32_t RZAPI DARARARCreateNonLineaInfo(HGLOBAL h, uint16_t channel);
/* Loads the stored table with this channel number (index + 1; 0: the first
 * table) into its channel; the number of points loaded (at most
 * RZ_NONLINEAR_MAX_POINTS, and only those the chunk holds whole), 0 when none. */
RZ_PUBLIC uint16_t RZAPI DARARARReadNonLinearInfo(HGLOBAL h, uint32_t record,
                                                  uint16_t channelNumber);
/* User information: count 32-bit values under typeCode and id, appended to
 * the record started last (record is not consulted; refused on a read-only
 * handle); the caller's array is never modified.  ReadUserInfo returns the
 * stored count (id 0: the first chunk of the type) and, when values is not
 * NULL, reads that many values into it; 0 when missing, short, or when the
 * chunk cannot hold its count. */
RZ_PUBLIC int32_t RZAPI DARARARCreateUserInfo(HGLOBAL h, uint32_t record,
                                              uint16_t typeCode, uint16_t id,
                                              const uint32_t *values,
                                              uint32_t count);
RZ_PUBLIC int32_t RZAPI DARARARReadUserInfo(HGLOBAL h, uint32_t record,
                                            uint16_t typeCode, uint16_t id,
                                            uint32_t *values);
/* The count word of the record's chunk of typeCode and id (id 0: the first):
 * elements, values or entries; 0 when none. */
RZ_PUBLIC uint32_t RZAPI DARARARGetUserDataNum(HGLOBAL h, uint32_t record,
                                               uint16_t typeCode, uint16_t id);
/* The user text list (RZ_CHUNK_USER_TEXT) under id: written and read like a text list;
 * its entry sizes are always stored most significant byte first and its text
 * ids least significant byte first.  Read keeps up to 255 characters. */
RZ_PUBLIC int32_t RZAPI DARARARCreateUserText(HGLOBAL h, HGLOBAL textBuffer,
                                              uint16_t id, uint16_t count);
RZ_PUBLIC uint16_t RZAPI DARARARReadUserText(HGLOBAL h, HGLOBAL textBuffer,
                                             uint32_t record, uint16_t id);
/* Typed user data items, one chunk each under id in the record started last:
 * bytes RZ_CHUNK_USER_BYTE, words _WORD, shorts _SHORT, dwords _DWORD, longs
 * _LONG, floats _FLOAT (raw bits, NaN payloads kept).  8- and 16-bit data end on a multiple of 4
 * with zero filler.  Creators: the write position after the chunk, or 0; the
 * caller's array is only read.  Readers (id 0: the first of the type) read at
 * most maxCount elements into buffer and return how many; 0 when missing or
 * when the chunk or file holds fewer. */
RZ_PUBLIC int32_t RZAPI DARARARCreateUserByte(HGLOBAL h, uint16_t id,
                                              uint32_t count, const uint8_t *data);
RZ_PUBLIC int32_t RZAPI DARARARCreateUserWord(HGLOBAL h, uint16_t id,
                                              uint32_t count, const uint16_t *data);
RZ_PUBLIC int32_t RZAPI DARARARCreateUserShort(HGLOBAL h, uint16_t id,
                                               uint32_t count, const int16_t *data);
RZ_PUBLIC int32_t RZAPI DARARARCreateUserDword(HGLOBAL h, uint16_t id,
                                               uint32_t count, const uint32_t *data);
RZ_PUBLIC int32_t RZAPI DARARARCreateUserLong(HGLOBAL h, uint16_t id,
                                              uint32_t count, const int32_t *data);
RZ_PUBLIC int32_t RZAPI DARARARCreateUserFloat(HGLOBAL h, uint16_t id,
                                               uint32_t count, const float *data);
RZ_PUBLIC int32_t RZAPI DARARARReadUserByte(HGLOBAL h, uint32_t record, uint16_t id,
                                            uint8_t *buffer, int32_t maxCount);
RZ_PUBLIC int32_t RZAPI DARARARReadUserWord(HGLOBAL h, uint32_t record, uint16_t id,
                                            uint16_t *buffer, int32_t maxCount);
RZ_PUBLIC int32_t RZAPI DARARARReadUserShort(HGLOBAL h, uint32_t record, uint16_t id,
                                             int16_t *buffer, int32_t maxCount);
RZ_PUBLIC int32_t RZAPI DARARARReadUserDword(HGLOBAL h, uint32_t record, uint16_t id,
                                             uint32_t *buffer, int32_t maxCount);
RZ_PUBLIC int32_t RZAPI DARARARReadUserLong(HGLOBAL h, uint32_t record, uint16_t id,
                                            int32_t *buffer, int32_t maxCount);
RZ_PUBLIC int32_t RZAPI DARARARReadUserFloat(HGLOBAL h, uint32_t record, uint16_t id,
                                             float *buffer, int32_t maxCount);

#ifdef __cplusplus
}
#endif

#endif /* RAZIVERA_H */
