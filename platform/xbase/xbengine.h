#pragma once
// Public interface of the xBase engine (libxbengine.so).
//
// Tables are FoxPro DBF files with FPT memos and CDX compound indexes. The
// engine keeps up to 255 work areas; most calls act on the current one
// (chosen with xb_Select). Every export has C linkage and never throws:
// failures come back as the documented result and are described by
// xb_LastError / xb_ErrorText.
//
// Buffers: a call that returns text takes (buf, bufLen), writes at most
// bufLen-1 bytes plus a NUL, and returns the full length of the value (so a
// caller can size its buffer). A NULL buf with bufLen 0 asks for the length.
// Field arguments are field names, matched without regard to case.
//
// Single-threaded: all calls of a process come from one thread.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define XB_EXPORT __attribute__((visibility("default")))
#else
#define XB_EXPORT
#endif

// ---- constants ------------------------------------------------------------

// Open modes of xb_Use.
enum {
    XB_SHARED = 0,
    XB_READONLY = 1,
    XB_EXCLUSIVE = 2,
};

// Index drivers of xb_Use: 1 single-tag files, 2 FoxPro CDX, 3 compound of
// the third kind. This engine keeps CDX indexes for all three.
enum {
    XB_DRIVER_NTX = 1,
    XB_DRIVER_FOX = 2,
    XB_DRIVER_NSX = 3,
};

// Value kinds of xb_Replace.
enum {
    XB_REPLACE_DOUBLE = 8,    // value: const double*
    XB_REPLACE_LOGICAL = 128, // value: const int* (non-zero = true)
    XB_REPLACE_STRING = 1024, // value: text; also numbers given as text
    XB_REPLACE_DATE = 1056,   // value: date text in the current date format
    XB_REPLACE_MEMO = 3072,   // value: memo text of `length` bytes
};

// Result types of xb_EvalTest (0 = the expression does not compile).
enum {
    XB_EVAL_CHARACTER = 1,
    XB_EVAL_NUMERIC = 2,
    XB_EVAL_LOGICAL = 3,
    XB_EVAL_DATE = 4,
};

// Results of xb_AppendEx.
enum {
    XB_APPEND_OK = 0,
    XB_APPEND_LOCKED = 1,   // the new record could not be locked
    XB_APPEND_FILELOCK = 2, // the table header lock was refused
    XB_APPEND_IO = 3,       // writing failed
    XB_APPEND_CORRUPT = 4,  // the table or an index is damaged
    XB_APPEND_READONLY = 5, // the table is open read-only
    XB_APPEND_NOTABLE = 6,  // no table in the current work area
};

// Index types of xb_IndexType.
enum {
    XB_INDEX_PLAIN = 1,
    XB_INDEX_UNIQUE = 2,
    XB_INDEX_CONDITIONAL = 3,
    XB_INDEX_UNIQUE_CONDITIONAL = 4,
};

// Date formats of xb_SetDateFormat.
enum {
    XB_DATE_AMERICAN = 0, // mm/dd/yy
    XB_DATE_ANSI = 1,     // yy.mm.dd
    XB_DATE_BRITISH = 2,  // dd/mm/yy
    XB_DATE_FRENCH = 3,   // dd/mm/yy
    XB_DATE_GERMAN = 4,   // dd.mm.yy
    XB_DATE_ITALIAN = 5,  // dd-mm-yy
    XB_DATE_SPANISH = 6,  // dd-mm-yy
    XB_DATE_WINDOWS = 99, // the system's short format; here mm/dd/yy
};

// Property numbers of xb_SysProp. "get" properties ignore the value; "set"
// properties return the previous setting.
enum {
    XB_PROP_GET_SOFTSEEK = 1000,   // get: soft seek on (1) or off (0)
    XB_PROP_SET_SOFTSEEK = 1001,   // set soft seek
    XB_PROP_GET_EXACT = 1002,      // get: exact comparison
    XB_PROP_SET_EXACT = 1003,      // set exact comparison
    XB_PROP_RECHECK = 1006,        // get: 1 when a positioned record may have become invisible
    XB_PROP_APPEND_DEFER = 1007,   // set: stored; an append is always written whole at its commit
    XB_PROP_HEADER_CACHE = 1009,   // set: 1 lets turbo-read areas trust cached pages
    XB_PROP_MEMO_CONVERT = 1305,   // set: 1 converts memo line ends on store (0 keeps bytes)
    XB_PROP_INDEX_COUNT = 3000,    // get: number of orders of the current area
    XB_PROP_DESCENDING = 3002,     // get: 1 when the order given (else the current) is descending
    XB_PROP_RECORD_BUFFER = 65000, // get: address of the current record buffer
    XB_PROP_AREA_OPEN = 65002,     // value: area; 1 when a table is open in it
    XB_PROP_EXIT = 65005,          // closes every area and forgets the settings
    XB_PROP_ONE_TAG_FILES = 65006, // get: 1 when index files hold one tag each (0 here)
    XB_PROP_VARLEN_FIELD = 65012,  // value: field number; 1 when variable-length
    XB_PROP_REREAD = 65020,        // set: the current area reads again from its files what it kept
};

// Error codes of xb_LastError.
enum {
    XB_OK = 0,
    XB_ERR_IO = 1,          // the operating system refused a read or write
    XB_ERR_CORRUPT = 2,     // a file's contents are inconsistent (see xb_ErrorText)
    XB_ERR_NOFILE = 3,      // a file was not found
    XB_ERR_NOAREA = 4,      // no table open in the work area, or bad area number
    XB_ERR_ALIAS = 5,       // alias already in use or invalid
    XB_ERR_LOCKED = 6,      // a lock was refused (another user holds it)
    XB_ERR_EXCLUSIVE = 7,   // the operation needs the table open exclusively
    XB_ERR_READONLY = 8,    // the table is open read-only
    XB_ERR_FIELD = 9,       // no such field, or a value of the wrong type
    XB_ERR_EXPRESSION = 10, // an expression does not compile or evaluate
    XB_ERR_INDEX = 11,      // no such index or tag, or no current order
    XB_ERR_RANGE = 12,      // record number or argument out of range
    XB_ERR_ARGUMENT = 13,   // a NULL or malformed argument
    XB_ERR_EXISTS = 14,     // xb_Create would overwrite an existing file
    XB_ERR_NOTSUPPORTED = 15,
};

// One field of xb_Create. Types: C character, N numeric, F float, D date,
// L logical, M memo.
typedef struct XbFieldDef {
    char name[11]; // up to 10 characters, NUL-terminated
    char type;
    int width;
    int decimals;
} XbFieldDef;

// ---- errors and version ---------------------------------------------------

XB_EXPORT int xb_LastError(void);
// Text of the last error, naming the file and, for a corrupt file, the place.
XB_EXPORT int xb_ErrorText(char* buf, int bufLen);
// "XBase 02.40.01": characters 7 and 8 hold the major version.
XB_EXPORT const char* xb_Version(void);
// Optional notification on load; does nothing.
XB_EXPORT void NotifyUse(int what);

// ---- tables and work areas --------------------------------------------------

// Creates an empty table (and its memo file when a field is M). Refuses to
// overwrite. 1 on success, 0 on failure.
XB_EXPORT int xb_Create(const char* path, const XbFieldDef* fields, int count);
// Opens a table in the lowest free work area and selects it. alias NULL or ""
// takes the file's stem. The structural index (same base name, .cdx) opens
// with it, natural order. Returns the work area 1-255, 0 on failure.
XB_EXPORT int xb_Use(const char* path, const char* alias, int mode, int driver);
// Selects area 1-255 (an empty one too); returns the previously current area.
// An area outside 1-255 changes nothing.
XB_EXPORT int xb_Select(int area);
// The area holding alias (0 when none); NULL or "" gives the current area.
XB_EXPORT int xb_WorkArea(const char* alias);
// Alias of an area (0 = current); 0 length when the area is empty.
XB_EXPORT int xb_Alias(int area, char* buf, int bufLen);
XB_EXPORT int xb_Close(void);
XB_EXPORT int xb_CloseAll(void);

// ---- navigation -------------------------------------------------------------
// GoTop, GoBottom and Skip obey the scope, the filter and the deleted
// setting, in the current order. xb_Go lands on any record number; a number
// outside 1..RecCount gives end of file. Each returns 1, or 0 on failure
// (no table, read error).

XB_EXPORT int xb_GoTop(void);
XB_EXPORT int xb_GoBottom(void);
XB_EXPORT int xb_Skip(int count);
XB_EXPORT int xb_Go(int32_t record);
XB_EXPORT int xb_Eof(void);
XB_EXPORT int xb_Bof(void);
// Current record number; RecCount + 1 at end of file.
XB_EXPORT int32_t xb_RecNo(void);
// Physical number of records.
XB_EXPORT int32_t xb_RecCount(void);
// Records visible under scope, filter and deleted setting.
XB_EXPORT int32_t xb_Count(void);
XB_EXPORT int xb_Deleted(void);
// Position of the current record in the current order, 1 = first; the record
// number in natural order; 0 at end of file.
XB_EXPORT int32_t xb_OrderRecNo(void);

// ---- records ----------------------------------------------------------------

// Copies the current record buffer (deletion byte first, RecSize bytes).
// Returns the bytes copied.
XB_EXPORT int xb_GetRecord(char* buf, int bufLen);
// Overwrites the current record buffer; written at the next commit or move.
XB_EXPORT int xb_PutRecord(const char* buf, int bufLen);
// Appends a blank record, locked, as the current record (XB_APPEND_*).
XB_EXPORT int xb_AppendEx(void);
// Marks the current record deleted / not deleted. 1 or 0.
XB_EXPORT int xb_Delete(void);
XB_EXPORT int xb_Recall(void);
// Locks a record (0 = current). 1 = locked, 0 = refused after the lock time-out.
XB_EXPORT int xb_Rlock(int32_t record);
// Releases one record lock, or all of the area with 0.
XB_EXPORT int xb_Unlock(int32_t record);
// Writes a changed record buffer and its index keys. 1 or 0.
XB_EXPORT int xb_Commit(void);
// Gives up what the record buffer holds and no commit has written: a
// pending append is dropped (the area is then at end of file), a changed
// record reads again as stored. 1 or 0.
XB_EXPORT int xb_Discard(void);
// Stores a value into a field of the record buffer (kinds XB_REPLACE_*).
// length: bytes of a text value, -1 for NUL-terminated. 1 or 0.
XB_EXPORT int xb_Replace(const char* field, int kind, const void* value, int length);

// ---- field values of the current record -------------------------------------

XB_EXPORT int xb_GetTrimString(const char* field, char* buf, int bufLen);
XB_EXPORT int xb_GetString(const char* field, char* buf, int bufLen);
// A date field in the current date format; "" when blank.
XB_EXPORT int xb_GetDateString(const char* field, char* buf, int bufLen);
XB_EXPORT int xb_GetLogical(const char* field);
XB_EXPORT int xb_Empty(const char* field);
// Memo contents, NUL-terminated, allocated by the engine; free with
// xb_MemDealloc. *length receives the bytes without the NUL. NULL on failure.
XB_EXPORT char* xb_GetMemo(const char* field, int* length);
XB_EXPORT void xb_MemDealloc(void* memory);
// Binary contents: the memo's bytes, whatever they hold.
XB_EXPORT int xb_GetBlob(const char* field, char* buf, int bufLen);
// Length of contents stored as binary (0 for text memos and empty fields).
XB_EXPORT int xb_GetBlobLength(const char* field);
// Stores bytes as binary contents. 1 or 0.
XB_EXPORT int xb_PutBlob(const char* field, const char* data, int length);
// 0: the engine writes no encrypted tables or memos (kind 0 table, 1 memo).
XB_EXPORT int xb_IsEncrypted(int kind);

// ---- field catalogue (field numbers from 1) ----------------------------------

XB_EXPORT int xb_FieldCount(void);
XB_EXPORT int xb_FieldName(int field, char* buf, int bufLen);
// The type letter ('C', 'N', ...), 0 for a bad number.
XB_EXPORT int xb_FieldType(int field);
XB_EXPORT int xb_FieldWidth(int field);
XB_EXPORT int xb_FieldDecimals(int field);
// 1-based offset in the record; offset 1 is the deletion byte.
XB_EXPORT int xb_FieldOffset(int field);
// Number of a field name, 0 when none.
XB_EXPORT int xb_FieldNum(const char* name);
// Record size including the deletion byte.
XB_EXPORT int xb_RecSize(void);
// Full path of the table file.
XB_EXPORT int xb_BaseName(char* buf, int bufLen);

// ---- indexes (orders from 1; order 0 = natural record order) ----------------

// Opens an index file; its first tag becomes the current order, whose number
// is returned (0 on failure).
XB_EXPORT int xb_IndexOpen(const char* file);
// Builds a tag in the index file (created when missing; NULL or "" = the
// structural index) and makes it current. option 1: unique (first row per key
// kept). Returns the new order, 0 on failure. Needs an exclusive open or a
// lockable table.
XB_EXPORT int xb_IndexTag(const char* file, const char* tag, const char* expression, int option,
                          int descending, const char* condition);
// Sets the current order; returns the previous one, -1 on failure.
XB_EXPORT int xb_SetOrder(int order);
// The order that carries tag (0 when none).
XB_EXPORT int xb_TagArea(const char* tag);
XB_EXPORT int xb_TagName(int order, char* buf, int bufLen);
XB_EXPORT int xb_IndexOrd(void);
// Index file of an order (full path).
XB_EXPORT int xb_IndexName(int order, char* buf, int bufLen);
XB_EXPORT int xb_IndexKey(int order, char* buf, int bufLen);
// The field the key is built from: the key expression itself for a bare field,
// else the first field the expression names.
XB_EXPORT int xb_IndexKeyField(int order, char* buf, int bufLen);
XB_EXPORT int xb_IndexType(int order);
XB_EXPORT int xb_IndexCondition(int order, char* buf, int bufLen);
// Key of the current record in the current order.
XB_EXPORT int xb_KeyData(char* buf, int bufLen);

// ---- seeks, scopes, filters -------------------------------------------------

// Seeks key text on the current order. Non-zero = found. Not found: end of
// file, or with soft seek the next key. With exact off, the search key is
// compared over its own length; with exact on over the key's full length.
XB_EXPORT int xb_Seek(const char* key);
// Limits the current order to keys from low to high (inclusive, compared as
// seeks compare). NULL clears an end; both NULL clear the scope.
XB_EXPORT int xb_SetScope(const char* low, const char* high);
// Sets the filter expression ("" or NULL clears). 1 or 0 (bad expression).
XB_EXPORT int xb_Query(const char* expression);
// Current filter text.
XB_EXPORT int xb_DBFilter(char* buf, int bufLen);

// ---- expressions on the current record --------------------------------------

// Type of the expression's value (XB_EVAL_*), 0 when it does not compile.
XB_EXPORT int xb_EvalTest(const char* expression);
// The value as text (numbers as STR gives them, dates "yyyymmdd").
XB_EXPORT int xb_EvalString(const char* expression, char* buf, int bufLen);
XB_EXPORT int xb_EvalLogical(const char* expression);

// ---- maintenance (exclusive opens only) -------------------------------------

// Removes deleted records and rebuilds the indexes. 1, or 0 on a shared open.
XB_EXPORT int xb_Pack(void);
// Removes every record. 1, or 0 on a shared open.
XB_EXPORT int xb_Zap(void);

// ---- settings ---------------------------------------------------------------
// Each setting call returns the previous value.

XB_EXPORT int xb_SetTurboRead(int on);
// Returns the previous epoch.
XB_EXPORT int xb_SetEpoch(int year);
XB_EXPORT int xb_SetCentury(int on);
XB_EXPORT int xb_SetDateFormat(int format);
XB_EXPORT int xb_SetDeleted(int on);
XB_EXPORT int xb_SetExact(int on);
// Seconds a lock request keeps trying.
XB_EXPORT int xb_SetLockTimeout(int seconds);
XB_EXPORT int xb_SetMemoBlockSize(int size);
XB_EXPORT int xb_SetSoftSeek(int on);
// 1: strings are NUL-terminated byte strings (the only type).
XB_EXPORT int xb_SetStringType(int type);

XB_EXPORT int64_t xb_SysProp(int property, int64_t value);

#ifdef __cplusplus
} // extern "C"
#endif
