// Properties, error texts, sessions and the functions this layer does not support.
#include <cstdio>
#include <cstring>

#include "data/cursor.h"
#include "data/cursor_p.h"

namespace data {
using namespace detail;

CurResult CurGetProp(hCurCur object, std::uint32_t prop, void* value, int length, int* lengthOut) {
    if (lengthOut != nullptr)
        *lengthOut = 0;
    switch (prop) {
    case curXLTMODE: {
        TCurWorkArea* a = Find(object);
        const std::int32_t mode = a != nullptr ? a->translationMode : 0;
        if (value != nullptr && length >= static_cast<int>(sizeof mode))
            std::memcpy(value, &mode, sizeof mode);
        if (lengthOut != nullptr)
            *lengthOut = sizeof mode;
        break;
    }
    case dbDATABASETYPE:
        if (value != nullptr && length > 8)
            std::memcpy(value, "STANDARD", 9);
        if (lengthOut != nullptr)
            *lengthOut = 8;
        break;
    case 0x20002:
    case 0x20003:
    case 0x2000C:
    case 0x04040009:
    case 0xFF030001:
        break;
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08X", prop);
        ShowInfoBox(std::string("CurGetProp: iProp = ") + buf);
        break;
    }
    }
    return CUR_OK;
}

CurResult CurSetProp(hCurCur object, std::uint32_t prop, std::uintptr_t value) {
    if (prop == curXLTMODE)
        if (TCurWorkArea* a = Find(object))
            a->translationMode = static_cast<int>(value);
    return CUR_OK;
}

CurResult CurGetErrorString(CurResult code, std::string& text) {
    text = code == CURERR_FILEOPEN ? "File Open Error" : "Cursor Error : " + std::to_string(code);
    return CUR_OK;
}

CurResult CurGetErrorEntry(int, std::uint32_t& nativeCode, std::string& message) {
    nativeCode = 0;
    message.clear();
    return CUR_OK;
}

CurResult CurGetDatabaseDesc(const char*) {
    return CURERR_OBJNOTFOUND;
}

CurResult CurGetLdObj(hCurCur, int& ldObj) {
    ldObj = 1;
    return CUR_OK;
}

CurResult CurGetLdName(const char*, const char*, std::string& ldName) {
    ldName.clear();
    return CURERR_NOSUCHLDRV;
}

CurResult CurGetCurrSession(int& session) {
    session = 1;
    return CUR_OK;
}

CurResult CurStartSession() {
    return CUR_OK;
}
CurResult CurSetCurrSession() {
    return CUR_OK;
}
CurResult CurCloseSession() {
    return CUR_OK;
}
CurResult CurGetSesInfo() {
    return CUR_OK;
}
CurResult CurOpenCfgInfoList() {
    return CUR_OK;
}
CurResult CurCfgPosition() {
    return CUR_OK;
}
CurResult CurCfgDropRecord() {
    return CUR_OK;
}
CurResult CurRegisterCallBack() {
    return CUR_OK;
}
CurResult CurGetCallBack() {
    return CUR_OK;
}
CurResult CurGetObjFromName() {
    return CUR_OK;
}
CurResult OsLdLoadBySymbName() {
    return CUR_OK;
}
CurResult OsLdUnloadObj() {
    return CUR_OK;
}

CurResult CurGetObjFromObj(int& object) {
    object = 0;
    return CUR_OK;
}

CurResult CurBeginConstraintLayer(hCurCur cursor, pfCurConstraint callback,
                                  std::uintptr_t clientData) {
    if (TCurWorkArea* a = Find(cursor)) {
        a->constraint = callback;
        a->constraintData = clientData;
    }
    return CUR_OK;
}

CurResult CurEndConstraintLayer(hCurCur cursor) {
    if (TCurWorkArea* a = Find(cursor)) {
        a->constraint = nullptr;
        a->constraintData = 0;
    }
    return CUR_OK;
}

namespace {

CurResult NotSupported(const char* name) {
    ShowInfoBox(std::string("This cursor function is not supported: ") + name);
    return CUR_OK;
}

} // namespace

CurResult CurGetVchkDesc() {
    return NotSupported("CurGetVchkDesc");
}
CurResult CurCloseIndex() {
    return NotSupported("CurCloseIndex");
}
CurResult CurVerifyField() {
    return NotSupported("CurVerifyField");
}
CurResult CurSetPrivateDir() {
    return NotSupported("CurSetPrivateDir");
}
CurResult CurAddPassword() {
    return NotSupported("CurAddPassword");
}
CurResult CurDropPassword() {
    return NotSupported("CurDropPassword");
}
CurResult CurBeginDelayedUpdates() {
    return NotSupported("CurBeginDelayedUpdates");
}
CurResult CurEndDelayedUpdates() {
    return NotSupported("CurEndDelayedUpdates");
}
CurResult CurGetLdNameFromDB() {
    return NotSupported("GetCurLdNameFromDb");
}

} // namespace data
