/*
 * razivera_codes.h - the named codes of the RAZIVERA interface.
 *
 * Every mode, selector, item code, chunk type, signal type and error code the
 * calls in razivera.h take or return, and the buffer rooms they need, named
 * once.  Included by razivera.h; plain C, values fixed for good (they are what
 * files and existing callers hold).
 */
#ifndef RAZIVERA_CODES_H
#define RAZIVERA_CODES_H

/* ---- RAZIVERAOpenBioFile modes ------------------------------------------ */
#define RZ_OPEN_READ 1       /* an existing file, read only */
#define RZ_OPEN_WRITE 2      /* an existing file, for writing */
#define RZ_OPEN_READ_WRITE 3 /* an existing file, for reading and editing */
#define RZ_OPEN_CREATE 4     /* a new file; an existing one is emptied */

/* ---- RAZIVERAGetErrorInfo modes and the error codes it hands out --------- */
#define RZ_ERROR_TAKE 1  /* take the newest code off the ring */
#define RZ_ERROR_CLEAR 2 /* empty the ring */
#define RZ_ERROR_TEXT_ROOM 4
#define RZ_ERROR_NO_BLOCK 1001       /* the handle block cannot be allocated */
#define RZ_ERROR_NO_LOCK 1002        /* the new handle block cannot be locked */
#define RZ_ERROR_NO_WORK_BUFFER 1003 /* the work buffer cannot be allocated */
#define RZ_ERROR_BAD_MAGIC 1010      /* the file does not start with the magic */
#define RZ_ERROR_BAD_VERSION 1011    /* the header's version is 300 or more */

/* ---- RAZIVERAGetSupportType ---------------------------------------------- */
#define RZ_SUPPORT_FILE_TYPE 1 /* the one supported type; its name is "VOZ" */
#define RZ_SUPPORT_NAME_ROOM 4

/* ---- RAZIVERAGetInfo / RAZIVERASetInfo selectors -------------------------- */
#define RZ_INFO_HEADER_VALID 1
#define RZ_INFO_FORMAT_VERSION 2
#define RZ_INFO_HEADER_CODE 3
#define RZ_INFO_BYTE_ORDER 4 /* RZ_BYTE_ORDER_LITTLE or RZ_BYTE_ORDER_BIG */
#define RZ_INFO_HEADER_LETTER 5
#define RZ_INFO_RECORD_COUNT 6
#define RZ_INFO_WRITE_POS 10 /* get only */
#define RZ_BYTE_ORDER_LITTLE 0 /* least significant byte first; the default */
#define RZ_BYTE_ORDER_BIG 1

/* ---- Limits of a file ---------------------------------------------------- */
#define RZ_MAX_RECORDS 32
#define RZ_MAX_CHANNELS 256
#define RZ_PATH_ROOM 260 /* a path must be shorter than this */

/* ---- DARARARSetWaveInfo / DARARARGetWaveInfo items ------------------------ */
#define RZ_WAVE_RECORD_CODE 1
#define RZ_WAVE_CHANNEL_COUNT 2 /* at most RZ_MAX_CHANNELS */
#define RZ_WAVE_FRAME_SECONDS 3
#define RZ_WAVE_TOTAL_FRAMES 4     /* get only */
#define RZ_WAVE_FRAME_SIZE 5       /* get only: bytes of one stored frame */
#define RZ_WAVE_FRAME_DATA_POS 8   /* get only: file offset of the frames */
#define RZ_WAVE_START_YEAR 10
#define RZ_WAVE_START_MONTH 11
#define RZ_WAVE_START_DAY 12
#define RZ_WAVE_START_HOUR 13
#define RZ_WAVE_START_MINUTE 14
#define RZ_WAVE_START_SECOND 15
#define RZ_WAVE_TOTAL_SAMPLES 20 /* samples per channel at the base rate */
#define RZ_WAVE_BASE_RATE 21     /* Hz; every channel's rate divides it */
#define RZ_WAVE_MAINS_FREQUENCY 22
#define RZ_WAVE_USER_VALUE1 25
#define RZ_WAVE_USER_VALUE2 26
#define RZ_WAVE_HAS_EVENT_TABLE 30 /* get only: 1 when the record has one */

/* ---- DARARARSetWaveText / DARARARGetWaveText items ------------------------ */
#define RZ_WAVE_TEXT 1      /* the record's text */
#define RZ_WAVE_TEXT_PATH 2 /* get only: the file's path */
#define RZ_WAVE_TEXT_ROOM 33

/* ---- DARARARSetFrameChInfo / DARARARGetFrameChInfo items ------------------ */
#define RZ_CHANNEL_FLAGS 1 /* RZ_CHANNEL_FLAG_... bits */
#define RZ_CHANNEL_NUMBER 2
#define RZ_CHANNEL_VALUE3 3
#define RZ_CHANNEL_SAMPLE_RATE 4   /* Hz; setting it clears RZ_CHANNEL_FLAG_PERIOD */
#define RZ_CHANNEL_SAMPLE_PERIOD 5 /* us; setting it sets RZ_CHANNEL_FLAG_PERIOD */
#define RZ_CHANNEL_VALUE6 6
#define RZ_CHANNEL_VALUE7 7
#define RZ_CHANNEL_VALUE8 8
#define RZ_CHANNEL_VALUE9 9
#define RZ_CHANNEL_VALUE10 10
#define RZ_CHANNEL_FILTER_A 11 /* setting it clears RZ_CHANNEL_FLAG_FILTER_B */
#define RZ_CHANNEL_FILTER_B 12 /* setting it sets RZ_CHANNEL_FLAG_FILTER_B */
#define RZ_CHANNEL_VALUE13 13
#define RZ_CHANNEL_VALUE14 14
#define RZ_CHANNEL_SOURCE_RATE 15
#define RZ_CHANNEL_USER20 20 /* user channel values; 20 to 22 are 16-bit */
#define RZ_CHANNEL_USER21 21
#define RZ_CHANNEL_USER22 22
#define RZ_CHANNEL_USER23 23
#define RZ_CHANNEL_USER24 24
#define RZ_CHANNEL_USER25 25
#define RZ_CHANNEL_USER26 26
#define RZ_CHANNEL_USER27 27
#define RZ_CHANNEL_USER28 28
#define RZ_CHANNEL_USER29 29
/* Bits of RZ_CHANNEL_FLAGS: which of the two forms is stored. */
#define RZ_CHANNEL_FLAG_PERIOD 0x1   /* sampling held as a period */
#define RZ_CHANNEL_FLAG_FILTER_B 0x2 /* filter held in form B */

/* ---- DARARARSetFrameChText / DARARARGetFrameChText items ------------------ */
#define RZ_CHANNEL_LABEL 1
#define RZ_CHANNEL_UNIT 2
#define RZ_CHANNEL_LABEL_ROOM 64
#define RZ_CHANNEL_UNIT_ROOM 32

/* ---- DARARARGetSignalTypeName(Ex): signal type codes ---------------------- */
#define RZ_SIGNAL_OFF 0
#define RZ_SIGNAL_EVENT 1
#define RZ_SIGNAL_MARK1 2
#define RZ_SIGNAL_MARK2 3
#define RZ_SIGNAL_EEG 4
#define RZ_SIGNAL_EOG 5
#define RZ_SIGNAL_EMG 6
#define RZ_SIGNAL_ECG 7
#define RZ_SIGNAL_RESP 8
#define RZ_SIGNAL_TEMP 9
#define RZ_SIGNAL_PRESSURE 10
#define RZ_SIGNAL_SAO2 11
#define RZ_SIGNAL_AUDIO 12
#define RZ_SIGNAL_PULSE 13
#define RZ_SIGNAL_GSR 14
#define RZ_SIGNAL_POS 15
#define RZ_SIGNAL_ANALYSIS 16
#define RZ_SIGNAL_EXT 20
#define RZ_SIGNAL_NAME_ROOM 9
/* nameFlags bits of DARARARGetSignalTypeNameEx. */
#define RZ_SIGNAL_NAME_SPO2 0x1 /* RZ_SIGNAL_SAO2 reads "SpO2" */
#define RZ_SIGNAL_NAME_EDA 0x2  /* RZ_SIGNAL_GSR reads "EDA" */

/* ---- DARARARSetFramePointWaveEx modes ------------------------------------- */
#define RZ_POINT_BASE_STEP 0   /* step baseRate / sampleRate, as the plain call */
#define RZ_POINT_EVERY 1       /* every input value in turn */
#define RZ_POINT_SOURCE_STEP 2 /* step sourceRate / sampleRate */

/* ---- DARARARSet/GetScoreTableInfo and ...Text items ----------------------- */
#define RZ_SCORE_COUNT 1 /* get only */
#define RZ_SCORE_SETTING2 2
#define RZ_SCORE_SETTING3 3
#define RZ_SCORE_INDEX4 4 /* RZ_SCORE_INDEX4 to 6: an entry index, -1 clears */
#define RZ_SCORE_INDEX5 5
#define RZ_SCORE_INDEX6 6
#define RZ_SCORE_SETTING7 7
#define RZ_SCORE_SETTING8 8
#define RZ_SCORE_ENTRY 10     /* entry[index]: set all 32 bits, get bits 0-23 */
#define RZ_SCORE_ENTRY_ALL 11 /* get only: entry[index], all 32 bits */
#define RZ_SCORE_SETTING15 15
#define RZ_SCORE_SETTING16 16
#define RZ_SCORE_WORDS17 17 /* index 0 to 5 */
#define RZ_SCORE_TEXT 20    /* the text calls' only item */
#define RZ_SCORE_TEXT_ROOM 63

/* ---- DARARARSetNonLinearInfo / DARARARGetNonLinearInfo items -------------- */
#define RZ_NONLINEAR_COUNT 1 /* the channel's number of points */
#define RZ_NONLINEAR_POINT 2 /* one point: value1, value2 and a text */
#define RZ_NONLINEAR_MAX_POINTS 16
#define RZ_NONLINEAR_TEXT_ROOM 28

/* ---- Text buffers and event tables ---------------------------------------- */
#define RZ_TEXT_BUFFER_ROOM 256 /* dest of the text buffer getters */
#define RZ_HANDLE_TEXT_CAPACITY 128 /* entries of the handle's own TextBuffer */
#define RZ_EVENT_DATA_MAX 1016  /* data bytes of one event table entry */

/* ---- Chunk types (RAZIVERAFindIndexPtr, text lists, user information) ----- */
#define RZ_CHUNK_RECORD 10 /* a record's header, not a chunk */
#define RZ_CHUNK_WAVE_INFO 100
#define RZ_CHUNK_FRAME_CH_INFO 120
#define RZ_CHUNK_FRAME_CH_ENTRY 125
#define RZ_CHUNK_FRAME_INFO 140
#define RZ_CHUNK_FRAME_WAVE 145
#define RZ_CHUNK_EVENT_TABLE 200
#define RZ_CHUNK_USER_TEXT 2000
#define RZ_CHUNK_USER_BYTE 2100
#define RZ_CHUNK_USER_WORD 2110
#define RZ_CHUNK_USER_SHORT 2120
#define RZ_CHUNK_USER_DWORD 2130
#define RZ_CHUNK_USER_LONG 2140
#define RZ_CHUNK_USER_FLOAT 2200
#define RZ_CHUNK_NONLINEAR_INFO 2600
#define RZ_CHUNK_USER_CH_INFO 2700
#define RZ_CHUNK_USER_CH_ENTRY 2705
#define RZ_CHUNK_SCORE_TABLE 3000
#define RZ_FIND_HEAD_WORDS 16 /* words RAZIVERAFindIndexPtr fills in head */

#endif /* RAZIVERA_CODES_H */
