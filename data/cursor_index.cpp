// Index descriptors, index switching, keys, seeks and ranges.
#include <cstring>

#include "data/cursor.h"
#include "data/cursor_p.h"
#include "platform/win/paths.h"
#include "platform/xbase/xbengine.h"

namespace data {
using namespace detail;

CurResult CurGetIndexDesc(hCurCur cursor, int order, IDXDesc& desc) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    if (order < 1 || order > xb_SysProp(XB_PROP_INDEX_COUNT, 0))
        return CURERR_NOSUCHINDEX;
    // Read by order number, never made current: switching orders drops the
    // cursor's range and position (a detail view would show every row).
    desc = IDXDesc{};
    desc.iIndexId = order;
    desc.szName = EngineText(xb_IndexName, order);
    desc.szTagName = EngineText(xb_TagName, order);
    const int type = xb_IndexType(order);
    desc.bUnique = type == XB_INDEX_UNIQUE || type == XB_INDEX_UNIQUE_CONDITIONAL;
    desc.bSubset = type == XB_INDEX_CONDITIONAL || type == XB_INDEX_UNIQUE_CONDITIONAL;
    if (desc.bSubset)
        desc.szKeyCond = EngineText(xb_IndexCondition, order);
    desc.bDescending = xb_SysProp(XB_PROP_DESCENDING, order) >= 1;
    desc.bMaintained = true;
    desc.iKeyLen = 255;
    const std::string key = EngineText(xb_IndexKey, order);
    const std::string keyField = EngineText(xb_IndexKeyField, order);
    const std::string upperKey = UpperCase(key);
    if (UpperCase(keyField) != upperKey) {
        desc.bExpIdx = true;
        desc.szKeyExp = key;
    } else {
        const int first = xb_FieldNum(keyField.c_str());
        desc.aiKeyFld[0] = first;
        int count = first > 0 ? 1 : 0;
        for (int i = 1; i <= a.fieldCount && count < 16; ++i)
            if (i != first && upperKey.find(UpperCase(a.FieldName(i))) != std::string::npos)
                desc.aiKeyFld[count++] = i;
        desc.iFldsInKey = count;
    }
    desc.bCaseInsensitive = upperKey.find("UPPER") != std::string::npos;
    return CUR_OK;
}

CurResult CurGetIndexDescs(hCurCur cursor, std::vector<IDXDesc>& descs) {
    descs.clear();
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    const int count = static_cast<int>(xb_SysProp(XB_PROP_INDEX_COUNT, 0));
    for (int order = 1; order <= count; ++order) {
        IDXDesc d;
        if (CurGetIndexDesc(cursor, order, d) == CUR_OK)
            descs.push_back(d);
    }
    return CUR_OK;
}

namespace {

std::string BareName(const std::string& name) {
    return UpperCase(win::ChangeFileExt(win::ExtractFileName(name), ""));
}

} // namespace

CurResult CurSwitchToIndex(hCurCur cursor, const char*, const char* tagName, int, bool) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CUR_OK;
    if (tagName == nullptr || *tagName == '\0') {
        xb_SetOrder(0);
        return CUR_OK;
    }
    if (xb_SysProp(XB_PROP_ONE_TAG_FILES, 0) == 1) {
        const int count = static_cast<int>(xb_SysProp(XB_PROP_INDEX_COUNT, 0));
        for (int order = 1; order <= count; ++order)
            if (BareName(EngineText(xb_TagName, order)) == BareName(tagName)) {
                xb_SetOrder(order);
                break;
            }
        return CUR_OK;
    }
    xb_SetOrder(xb_TagArea(win::ExtractFileName(tagName).c_str()));
    return CUR_OK;
}

CurResult CurOpenIndex(hCurCur, const char*, int) {
    return CUR_OK;
}

namespace detail {

std::string KeyFromRecord(TCurWorkArea& a, const std::uint8_t* record) {
    const int order = xb_IndexOrd();
    const std::string expr = EngineText(xb_IndexKey, order);
    if (record == nullptr)
        return EngineText(xb_KeyData);
    // A bare character or date field: the key is the field's characters as stored.
    const int fieldNo = xb_FieldNum(expr.c_str());
    if (a.ValidField(fieldNo)) {
        const char letter = a.letters[static_cast<std::size_t>(fieldNo - 1)];
        const FLDDesc& p = a.Physical(fieldNo);
        if ((letter == 'C' || letter == 'D') && p.iOffset + p.iLen <= a.recordSize)
            return std::string(reinterpret_cast<const char*>(record) + p.iOffset, p.iLen);
    }
    // Any other expression is evaluated on the caller's record inside the engine;
    // the engine's own record is always put back, so it is never written over.
    xb_Commit();
    std::vector<char> own(static_cast<std::size_t>(a.recordSize));
    xb_GetRecord(own.data(), a.recordSize);
    xb_PutRecord(reinterpret_cast<const char*>(record), a.recordSize);
    std::string key;
    switch (xb_EvalTest(expr.c_str())) {
    case XB_EVAL_NUMERIC:
        key = EngineText(xb_EvalString, ("LTRIM(STR(" + expr + ", 19))").c_str());
        break;
    case XB_EVAL_LOGICAL:
        key = xb_EvalLogical(expr.c_str()) != 0 ? ".T." : ".F.";
        break;
    default:
        key = EngineText(xb_EvalString, expr.c_str());
        break;
    }
    xb_PutRecord(own.data(), a.recordSize);
    return key;
}

CurResult SeekKey(TCurWorkArea&, SeekKind kind, const std::string& keyText, bool direct) {
    if (xb_IndexOrd() == 0)
        return CURERR_NOASSOCINDEX;
    const std::int64_t softSeek = xb_SysProp(XB_PROP_GET_SOFTSEEK, 0);
    const std::int64_t exact = xb_SysProp(XB_PROP_GET_EXACT, 0);
    std::string key = keyText;
    if (kind == SeekKind::Equal) {
        xb_SysProp(XB_PROP_SET_EXACT, 1);
        xb_SysProp(XB_PROP_SET_SOFTSEEK, 0);
    } else {
        xb_SysProp(XB_PROP_SET_EXACT, 0);
        xb_SysProp(XB_PROP_SET_SOFTSEEK, 1);
        if (kind == SeekKind::Greater && !key.empty())
            key.back() = static_cast<char>(static_cast<unsigned char>(key.back()) + 1);
    }
    const std::int32_t here = xb_RecNo();
    const bool found = xb_Seek(key.c_str()) != 0;
    xb_SysProp(XB_PROP_SET_SOFTSEEK, softSeek);
    xb_SysProp(XB_PROP_SET_EXACT, exact);
    if (kind == SeekKind::Equal && !found) {
        if (direct) {
            if (here >= 1 && here <= xb_RecCount())
                xb_Go(here);
            else {
                xb_GoBottom();
                xb_Skip(1);
            }
        }
        return CURERR_RECNOTFOUND;
    }
    return CUR_OK;
}

} // namespace detail

CurResult CurExtractKey(hCurCur cursor, const std::uint8_t* record, std::string& key) {
    key.clear();
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    if (xb_IndexOrd() == 0)
        return CURERR_NOASSOCINDEX;
    key = KeyFromRecord(*a, record);
    return CUR_OK;
}

CurResult CurGetRecordForKey(hCurCur cursor, bool directKey, int fieldCount, int length,
                             const void* key, std::uint8_t* record) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    if (xb_IndexOrd() == 0)
        return CURERR_NOASSOCINDEX;
    const SeekKind kind = (directKey || fieldCount > 0) ? SeekKind::Equal : SeekKind::GreaterEq;
    std::string text;
    if (directKey) {
        const char* k = static_cast<const char*>(key);
        text = k == nullptr
                   ? std::string()
                   : (length > 0 ? std::string(k, strnlen(k, static_cast<std::size_t>(length)))
                                 : std::string(k));
    } else {
        text = KeyFromRecord(a, static_cast<const std::uint8_t*>(key));
    }
    const CurResult r = SeekKey(a, kind, text, directKey);
    if (record != nullptr && xb_Eof() == 0)
        xb_GetRecord(reinterpret_cast<char*>(record), a.recordSize);
    return r;
}

CurResult CurSetRange(hCurCur cursor, bool keyItself, int, int, const void* key1, bool, int, int,
                      const void* key2, bool) {
    {
        TWA wa(cursor);
        if (!wa.Valid())
            return CURERR_INVALIDHNDL;
        TCurWorkArea& a = *wa.Area();
        std::string low, high;
        if (keyItself) {
            low = key1 != nullptr ? static_cast<const char*>(key1) : "";
            high = key2 != nullptr ? static_cast<const char*>(key2) : "";
        } else {
            low = KeyFromRecord(a, static_cast<const std::uint8_t*>(key1));
            high = KeyFromRecord(a, static_cast<const std::uint8_t*>(key2));
        }
        xb_SetScope(key1 != nullptr ? low.c_str() : nullptr,
                    key2 != nullptr ? high.c_str() : nullptr);
    }
    return CurSetToBegin(cursor);
}

CurResult CurResetRange(hCurCur cursor) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    const std::int32_t recNo = xb_RecNo();
    const bool atEnd = xb_Eof() != 0 || recNo == xb_RecCount() + 1;
    xb_SetScope(nullptr, nullptr);
    if (atEnd) {
        xb_GoBottom();
        xb_Skip(1);
    } else {
        xb_Go(recNo);
    }
    return CUR_OK;
}

} // namespace data
