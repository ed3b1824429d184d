#pragma once
// Types, handles and result codes of the cursor layer: the data-set layer
// talks to tables through these, with 16-bit results (0 = success).
#include <cstdint>
#include <string>

namespace data {

using CurResult = std::uint16_t;
using hCurDb = int;  // directory slot 1..199
using hCurCur = int; // engine work area 1..255, or a list cursor
using hCurFilter = int;

// Result codes.
enum : CurResult {
    CUR_OK = 0,
    CURERR_ENGINEVERSION = 99,
    CURERR_BOF = 8705,
    CURERR_EOF = 8706,
    CURERR_NOCURRREC = 8709,
    CURERR_RECNOTFOUND = 8710,
    CURERR_ENDOFBLOB = 8711,
    CURERR_OBJNOTFOUND = 8712,
    CURERR_APPEND4 = 8965,
    CURERR_APPEND3 = 9218,
    CURERR_FILTERSFULL = 9219, // no free filter slot (code of ours)
    CURERR_INVALIDHNDL = 9990,
    CURERR_OUTOFRANGE = 9998,
    CURERR_NOSUCHLDRV = 10013,
    CURERR_NOTSUFFFIELDSIZE = 10019,
    CURERR_TABLEOPEN = 10024,
    CURERR_BLOBREAD = 10030,
    CURERR_APPEND2 = 10243,
    CURERR_LOCKED = 10245,
    CURERR_NOSUCHINDEX = 10757,
    CURERR_APPEND5 = 10763,
    CURERR_NOASSOCINDEX = 10764,
    CURERR_FILEOPEN = 11011,
};

// Category of a code: its high byte (34 = not found).
[[nodiscard]] inline int ErrCat(CurResult code) {
    return code >> 8;
}
inline constexpr int ERRCAT_NOTFOUND = 34;

// Logical field types and subtypes, as the data-set layer sees fields.
enum : std::uint16_t {
    fldZSTRING = 1,
    fldDATE = 2,
    fldBLOB = 3,
    fldBOOL = 4,
    fldINT16 = 5,
    fldFLOAT = 7,
    fldUNKNOWN = 255,
    fldstMEMO = 22,
    fldstOLEOBJ = 27,
    fldstBINARY = 28,
};
// Physical types, as the record stores them.
enum : std::uint16_t {
    fldxCHAR = 513,
    fldxNUM = 514,
    fldxMEMO = 515,
    fldxBOOL = 516,
    fldxDATE = 517,
    fldxOLE = 520,
    fldxBINARY = 521,
};

// Day number of 1899-12-30 (the date value 0) when 1 January of year 1 is day 1.
inline constexpr std::int32_t kDateDelta = 693594;

#pragma pack(push, 1)
// Field descriptor in the engine API's 62-byte layout.
struct FLDDesc {
    std::uint16_t iFldNum;
    char szName[32];
    std::uint16_t iFldType;
    std::uint16_t iSubType;
    std::int16_t iUnits1;
    std::int16_t iUnits2;
    std::uint16_t iOffset;
    std::uint16_t iLen;
    std::uint16_t iNullOffset;
    std::uint32_t efldvVchk;
    std::uint32_t efldrRights;
    std::uint16_t bCalcField;
    std::uint16_t iUnUsed[2];
};
#pragma pack(pop)
static_assert(sizeof(FLDDesc) == 62);

struct CURProps {
    std::string szName;      // base name of the table
    std::string szTableType; // "XBNTX", "XBFOX" or "XBNSX"
    int iFields = 0;
    int iRecSize = 0;
    int iRecBufSize = 0;
    int iBookMarkSize = 4;
    int eOpenMode = 0;  // 0 read-write, 1 read-only
    int eShareMode = 0; // 0 shared, 1 exclusive
    int exltMode = 2;   // translation mode
    int iIndexes = 0;
    bool bIndexed = false;
    int iTblLevel = 3;
    int iFilters = 0;
    int iValChecks = 0;
    int iSeqNums = 0;
    bool bTempTable = false;
};

struct RECProps {
    std::uint32_t iPhyRecNum = 0; // 0 at end of file
    bool bDeleteFlag = false;
};

struct IDXDesc {
    std::string szName; // index file name
    std::string szTagName;
    int iIndexId = 0; // order
    bool bUnique = false;
    bool bDescending = false;
    bool bMaintained = true;
    bool bSubset = false; // conditional
    bool bExpIdx = false;
    int iFldsInKey = 0;
    int aiKeyFld[16] = {};
    int iKeyLen = 255;
    std::string szKeyExp;
    std::string szKeyCond;
    bool bCaseInsensitive = false;
};

// Lock requests of the record functions.
enum class CurLock { NoLock = 0, WriteLock = 1, ReadLock = 2 };

// Callback filter: a zero result rejects the record.
using pfCurFilter = int (*)(std::uintptr_t clientData, const std::uint8_t* record,
                            std::int32_t recNo);
using pfCurConstraint = int (*)(std::uintptr_t clientData, const void* info);

// Properties that CurGetProp and CurSetProp know.
enum : std::uint32_t {
    curXLTMODE = 0x50005,
    dbDATABASETYPE = 0x40002,
};

} // namespace data
