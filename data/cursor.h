#pragma once
// The cursor functions that the data-set layer calls: a database is a
// folder, a cursor is an engine work area, a record buffer is the raw
// xBase record (deletion byte, then each field's characters).
//
// One thread: the directory slots are process-wide, the cursor table per
// thread. Every function selects the cursor's work area itself.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/curtypes.h"

namespace data {

// Start, end and databases.
CurResult CurInit();
CurResult CurExit();
CurResult CurDLLExit();
CurResult CurOpenDatabase(const char* name, hCurDb& hDb);
CurResult CurCloseDatabase(hCurDb hDb);
CurResult CurSetDirectory(hCurDb hDb, const char* directory);
CurResult CurAddAlias(const char* alias, const char* type, const char* params);
CurResult CurFormFullName(hCurDb hDb, const char* tableName, std::string& fullName);

// Cursors. Open mode 0 read-write, 1 read-only; share mode 0 shared, 1 exclusive.
CurResult CurOpenTable(hCurDb hDb, const char* tableName, const char* driverType,
                       const char* indexName, const char* indexTagName, int indexId, int openMode,
                       int shareMode, hCurCur& cursor);
CurResult CurCloseCursor(hCurCur cursor);
CurResult CurGetCursorProps(hCurCur cursor, CURProps& props);
CurResult CurGetFieldDescs(hCurCur cursor, std::vector<FLDDesc>& descs);
CurResult CurOpenFieldList(hCurDb hDb, const char* tableName, const char* driverType,
                           hCurCur& cursor);
CurResult CurOpenVchkList(hCurCur cursor, hCurCur& list);
CurResult CurCloneCursor(hCurCur cursor, hCurCur& clone);

// Fields and records. Values: fldZSTRING a char buffer of width + 1;
// fldDATE int32 day number; fldBOOL and fldINT16 int16; fldFLOAT double.
CurResult CurInitRecord(hCurCur cursor, std::uint8_t* record);
CurResult CurGetField(hCurCur cursor, int fieldNo, const std::uint8_t* record, void* value,
                      bool* blank);
CurResult CurPutField(hCurCur cursor, int fieldNo, std::uint8_t* record, const void* value);
CurResult CurOpenBlob(hCurCur cursor, std::uint8_t* record, int fieldNo);
CurResult CurGetBlobSize(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t& size);
CurResult CurGetBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t offset,
                     std::uint32_t length, std::uint8_t* dest, std::uint32_t& read);
CurResult CurPutBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t offset,
                     std::uint32_t length, const std::uint8_t* data);
CurResult CurTruncateBlob(hCurCur cursor, std::uint8_t* record, int fieldNo, std::uint32_t length);
CurResult CurFreeBlob(hCurCur cursor, std::uint8_t* record, int fieldNo);
CurResult CurNativeToAnsi(const char* src, int length, std::string& dest);
CurResult CurAnsiToNative(const char* src, int length, std::string& dest);

// Navigation.
CurResult CurSetToBegin(hCurCur cursor);
CurResult CurSetToEnd(hCurCur cursor);
CurResult CurGetNextRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props);
CurResult CurGetPriorRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props);
CurResult CurGetRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props);
CurResult CurGetRecordCount(hCurCur cursor, std::uint32_t& count);
CurResult CurGetBookMark(hCurCur cursor, std::uint8_t* bookmark);
CurResult CurSetToBookMark(hCurCur cursor, const std::uint8_t* bookmark);
CurResult CurCompareBookMarks(hCurCur cursor, const std::uint8_t* bookmark1,
                              const std::uint8_t* bookmark2, int& compare);
CurResult CurSetToSeqNo(hCurCur cursor, std::uint32_t seqNo);
CurResult CurSetToCursor(hCurCur destination, hCurCur source);
CurResult CurForceReread(hCurCur cursor);

// Writing and locks.
CurResult CurInsertRecord(hCurCur cursor, CurLock lock, const std::uint8_t* record);
CurResult CurAppendRecord(hCurCur cursor, const std::uint8_t* record);
CurResult CurModifyRecord(hCurCur cursor, const std::uint8_t* record, bool freeLock);
CurResult CurDeleteRecord(hCurCur cursor, const std::uint8_t* record);
CurResult CurRelRecordLock(hCurCur cursor, bool all);

// Index and keys.
CurResult CurGetIndexDesc(hCurCur cursor, int order, IDXDesc& desc);
CurResult CurGetIndexDescs(hCurCur cursor, std::vector<IDXDesc>& descs);
CurResult CurSwitchToIndex(hCurCur cursor, const char* indexName, const char* tagName, int indexId,
                           bool currRec);
CurResult CurOpenIndex(hCurCur cursor, const char* indexName, int indexId);
CurResult CurExtractKey(hCurCur cursor, const std::uint8_t* record, std::string& key);
CurResult CurGetRecordForKey(hCurCur cursor, bool directKey, int fieldCount, int length,
                             const void* key, std::uint8_t* record);

// Ranges and filters. Expression filters pass their xBase text as clientData
// (a const char*) with a non-null expression tree.
CurResult CurSetRange(hCurCur cursor, bool keyItself, int fields1, int length1, const void* key1,
                      bool inclusive1, int fields2, int length2, const void* key2, bool inclusive2);
CurResult CurResetRange(hCurCur cursor);
CurResult CurAddFilter(hCurCur cursor, std::uintptr_t clientData, int priority, bool canAbort,
                       const void* exprTree, pfCurFilter callback, hCurFilter& filter);
CurResult CurActivateFilter(hCurCur cursor, hCurFilter filter);
CurResult CurDeactivateFilter(hCurCur cursor, hCurFilter filter);
CurResult CurDropFilter(hCurCur cursor, hCurFilter filter);

// Properties, errors and sessions.
CurResult CurGetProp(hCurCur object, std::uint32_t prop, void* value, int length, int* lengthOut);
CurResult CurSetProp(hCurCur object, std::uint32_t prop, std::uintptr_t value);
CurResult CurGetErrorString(CurResult code, std::string& text);
CurResult CurGetErrorEntry(int entry, std::uint32_t& nativeCode, std::string& message);
CurResult CurGetDatabaseDesc(const char* name);
CurResult CurGetLdObj(hCurCur cursor, int& ldObj);
CurResult CurGetLdName(const char* driver, const char* objName, std::string& ldName);
CurResult CurGetCurrSession(int& session);
CurResult CurStartSession();
CurResult CurSetCurrSession();
CurResult CurCloseSession();
CurResult CurGetSesInfo();
CurResult CurOpenCfgInfoList();
CurResult CurCfgPosition();
CurResult CurCfgDropRecord();
CurResult CurRegisterCallBack();
CurResult CurGetCallBack();
CurResult CurGetObjFromName();
CurResult CurGetObjFromObj(int& object);
CurResult OsLdLoadBySymbName();
CurResult OsLdUnloadObj();
CurResult CurBeginConstraintLayer(hCurCur cursor, pfCurConstraint callback,
                                  std::uintptr_t clientData);
CurResult CurEndConstraintLayer(hCurCur cursor);

// Not supported: each shows "This cursor function is not supported: " and its name.
CurResult CurGetVchkDesc();
CurResult CurCloseIndex();
CurResult CurVerifyField();
CurResult CurSetPrivateDir();
CurResult CurAddPassword();
CurResult CurDropPassword();
CurResult CurBeginDelayedUpdates();
CurResult CurEndDelayedUpdates();
CurResult CurGetLdNameFromDB();

// The information box of the layer: a hook, shown through win::MessageBox
// unless a program or a test sets its own.
using InfoBoxHook = std::function<void(const std::string& text)>;
void SetInfoBoxHook(InfoBoxHook hook);
void ShowInfoBox(const std::string& text);

// Program settings the conversions use: decimal separator of float fields.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

} // namespace data
