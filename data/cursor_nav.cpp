// Navigation, records, bookmarks, writing and locks.
#include <cstring>
#include <vector>

#include "data/cursor.h"
#include "data/cursor_p.h"
#include "platform/xbase/xbengine.h"

namespace data {
using namespace detail;

namespace {

void ReadProps(RECProps* props) {
    if (props == nullptr)
        return;
    props->iPhyRecNum = xb_Eof() != 0 ? 0 : static_cast<std::uint32_t>(xb_RecNo());
    props->bDeleteFlag = xb_Eof() == 0 && xb_Deleted() != 0;
}

void ReadRecord(const TCurWorkArea& a, std::uint8_t* record) {
    if (record != nullptr)
        xb_GetRecord(reinterpret_cast<char*>(record), a.recordSize);
}

// The first active callback filter's verdict on the current record.
bool Accepted(const TCurWorkArea& a, const std::uint8_t* record) {
    if (!a.functionFilter)
        return true;
    for (int i = 1; i <= kMaxFilters; ++i) {
        const TCurFilter& f = a.filters[static_cast<std::size_t>(i)];
        if (f.active && f.callbackFilter && f.callback != nullptr)
            return f.callback(f.clientData, record, xb_RecNo()) != 0;
    }
    return true;
}

// Locks the current record and reads it again from the file: what another
// user stored before the lock was granted is what the caller gets.
bool Lock(CurLock lock) {
    if (lock == CurLock::NoLock)
        return true;
    if (xb_Rlock(0) == 0)
        return false;
    xb_Go(xb_RecNo());
    return true;
}

// Scratch record for the filter when the caller passes none.
std::uint8_t* Buffer(TCurWorkArea& a, std::uint8_t* record) {
    return record != nullptr ? record : a.saveBuffer.data();
}

// A refused write: locked by another user, else a failed write.
CurResult WriteFailure() {
    return xb_LastError() == XB_ERR_LOCKED ? CURERR_LOCKED : CURERR_APPEND3;
}

// The engine keeps a change it could not write and writes it at the next
// move; a write the caller was told failed must not happen later, so the
// record buffer goes back to what it held.
class UndoOnFailure {
public:
    explicit UndoOnFailure(int size) : before_(static_cast<std::size_t>(size)) {
        before_.resize(static_cast<std::size_t>(xb_GetRecord(before_.data(), size)));
    }
    [[nodiscard]] CurResult Fail() const {
        const CurResult result = WriteFailure();
        if (!before_.empty())
            xb_PutRecord(before_.data(), static_cast<int>(before_.size()));
        return result;
    }

private:
    std::vector<char> before_;
};

} // namespace

CurResult CurSetToBegin(hCurCur cursor) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    xb_GoTop();
    xb_Skip(-1);
    return CUR_OK;
}

CurResult CurSetToEnd(hCurCur cursor) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    xb_GoBottom();
    xb_Skip(1);
    return CUR_OK;
}

CurResult CurGetNextRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props) {
    if (cursor == kFieldListCursor) {
        auto it = Cursors().find(kFieldListCursor);
        if (it == Cursors().end())
            return CURERR_INVALIDHNDL;
        TCurWorkArea& list = *it->second;
        if (list.fieldListPos > list.fieldCount)
            return CURERR_EOF;
        if (record != nullptr)
            std::memcpy(record, &list.logical[static_cast<std::size_t>(list.fieldListPos - 1)],
                        sizeof(FLDDesc));
        ++list.fieldListPos;
        return CUR_OK;
    }
    if (cursor > 255)
        return CURERR_EOF;
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    std::uint8_t* buf = Buffer(*a, record);
    bool first = xb_Bof() != 0;
    for (;;) {
        if (first)
            xb_GoTop();
        else
            xb_Skip(1);
        first = false;
        if (xb_Eof() != 0) {
            ReadProps(props);
            ReadRecord(*a, record);
            xb_GoBottom();
            return CURERR_EOF;
        }
        ReadRecord(*a, buf);
        if (!Accepted(*a, buf))
            continue;
        if (!Lock(lock))
            return CURERR_LOCKED;
        ReadProps(props);
        ReadRecord(*a, record);
        return CUR_OK;
    }
}

CurResult CurGetPriorRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    std::uint8_t* buf = Buffer(*a, record);
    for (;;) {
        xb_Skip(-1);
        if (xb_Bof() != 0) {
            xb_GoTop();
            ReadProps(props);
            return CURERR_BOF;
        }
        ReadRecord(*a, buf);
        if (!Accepted(*a, buf))
            continue;
        if (!Lock(lock))
            return CURERR_LOCKED;
        ReadProps(props);
        ReadRecord(*a, record);
        return CUR_OK;
    }
}

namespace {

// Whether the current record still passes the scope, filter and deleted
// setting: step away and back, and see whether the engine returns to it.
bool StillVisible() {
    const std::int32_t recNo = xb_RecNo();
    xb_Skip(1);
    if (xb_Eof() != 0) {
        xb_Go(recNo);
        if (xb_Eof() != 0 && xb_Bof() != 0)
            return true;
        xb_Skip(-1);
        if (xb_Bof() != 0) {
            // Perhaps the only visible record: then it is also the last one.
            xb_Go(recNo);
            if (xb_Eof() != 0 && xb_Bof() != 0)
                return true;
            xb_GoBottom();
        } else {
            xb_Skip(1);
        }
    } else {
        xb_Skip(-1);
    }
    return xb_Eof() == 0 && xb_RecNo() == recNo;
}

} // namespace

CurResult CurGetRecord(hCurCur cursor, CurLock lock, std::uint8_t* record, RECProps* props) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    if (xb_Eof() != 0)
        return CURERR_EOF;
    if (xb_Bof() != 0)
        return CURERR_BOF;
    if (!EngineText(xb_DBFilter).empty() || xb_SysProp(XB_PROP_RECHECK, 0) == 1) {
        const std::int32_t recNo = xb_RecNo();
        if (!StillVisible()) {
            if (recNo > xb_RecCount()) {
                xb_GoBottom();
                xb_Skip(1);
            } else {
                xb_Go(recNo);
            }
            return CURERR_NOCURRREC;
        }
    }
    if (!Lock(lock))
        return CURERR_LOCKED;
    ReadProps(props);
    ReadRecord(*a, record);
    return CUR_OK;
}

CurResult CurGetRecordCount(hCurCur cursor, std::uint32_t& count) {
    count = 0;
    if (Select(cursor) == nullptr)
        return CURERR_INVALIDHNDL;
    // Rows the cursor can reach: within the range and filter, deleted rows hidden when set.
    count = static_cast<std::uint32_t>(xb_Count());
    return CUR_OK;
}

CurResult CurGetBookMark(hCurCur cursor, std::uint8_t* bookmark) {
    if (Select(cursor) == nullptr || bookmark == nullptr)
        return CURERR_INVALIDHNDL;
    const std::int32_t recNo = xb_RecNo();
    std::memcpy(bookmark, &recNo, sizeof recNo);
    return CUR_OK;
}

CurResult CurSetToBookMark(hCurCur cursor, const std::uint8_t* bookmark) {
    if (Select(cursor) == nullptr || bookmark == nullptr)
        return CURERR_INVALIDHNDL;
    std::int32_t recNo = 0;
    std::memcpy(&recNo, bookmark, sizeof recNo);
    if (recNo < 1 || recNo > xb_RecCount()) {
        xb_GoBottom();
        xb_Skip(1);
    } else if (xb_Eof() != 0 || xb_Bof() != 0 || xb_RecNo() != recNo) {
        xb_Go(recNo);
    }
    // Already there (a walk's next step): the engine goes on from its place
    // with the pages it keeps; a go would read the record from the file.
    return CUR_OK;
}

CurResult CurCompareBookMarks(hCurCur cursor, const std::uint8_t* bookmark1,
                              const std::uint8_t* bookmark2, int& compare) {
    compare = 0;
    TWA wa(cursor);
    if (!wa.Valid() || bookmark1 == nullptr || bookmark2 == nullptr)
        return CURERR_INVALIDHNDL;
    std::int32_t r1 = 0, r2 = 0;
    std::memcpy(&r1, bookmark1, sizeof r1);
    std::memcpy(&r2, bookmark2, sizeof r2);
    if (xb_IndexOrd() > 0 && r1 != r2) {
        const std::int32_t here = xb_RecNo();
        const bool beforeFirst = xb_Bof() != 0;
        xb_Go(r1);
        const std::int32_t p1 = xb_OrderRecNo();
        xb_Go(r2);
        const std::int32_t p2 = xb_OrderRecNo();
        // Back where it stood; before the first record the next read is the first.
        if (beforeFirst) {
            xb_GoTop();
            xb_Skip(-1);
        } else {
            xb_Go(here);
        }
        r1 = p1;
        r2 = p2;
    }
    compare = r1 < r2 ? -1 : (r1 > r2 ? 1 : 0);
    return CUR_OK;
}

CurResult CurSetToSeqNo(hCurCur cursor, std::uint32_t seqNo) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    xb_GoTop();
    if (seqNo > 1)
        xb_Skip(static_cast<int>(seqNo - 1));
    return CUR_OK;
}

CurResult CurSetToCursor(hCurCur destination, hCurCur source) {
    if (Select(source) == nullptr)
        return CURERR_INVALIDHNDL;
    const std::int32_t recNo = xb_RecNo();
    if (Select(destination) == nullptr)
        return CURERR_INVALIDHNDL;
    xb_Go(recNo);
    return CUR_OK;
}

// The engine keeps the pages it read while its change counter holds; a
// program that writes rows in place without raising it is seen only once
// they are read again.
CurResult CurForceReread(hCurCur cursor) {
    if (Select(cursor) != nullptr)
        xb_SysProp(XB_PROP_REREAD, 1);
    return CUR_OK;
}

// ---- writing ---------------------------------------------------------------

CurResult CurInsertRecord(hCurCur cursor, CurLock lock, const std::uint8_t* record) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    switch (xb_AppendEx()) {
    case XB_APPEND_OK:
        break;
    case XB_APPEND_LOCKED:
        return CURERR_LOCKED;
    case XB_APPEND_FILELOCK:
        return CURERR_APPEND2;
    case XB_APPEND_IO:
        return CURERR_APPEND3;
    case XB_APPEND_CORRUPT:
        return CURERR_APPEND4;
    case XB_APPEND_READONLY:
        return CURERR_APPEND5;
    default:
        return CURERR_INVALIDHNDL;
    }
    if (record != nullptr) {
        // The new record is never marked deleted, whatever the buffer's first byte.
        std::vector<char> copy(reinterpret_cast<const char*>(record),
                               reinterpret_cast<const char*>(record) + a->recordSize);
        copy[0] = ' ';
        xb_PutRecord(copy.data(), a->recordSize);
    }
    // The row reaches the file at commit: a failed write is an append that
    // failed, and the engine must not write it at a later move or close.
    if (xb_Commit() == 0) {
        const CurResult result = xb_LastError() == XB_ERR_LOCKED ? CURERR_APPEND2 : CURERR_APPEND3;
        xb_Discard();
        return result;
    }
    if (lock == CurLock::NoLock)
        xb_Unlock(xb_RecNo());
    return CUR_OK;
}

CurResult CurAppendRecord(hCurCur cursor, const std::uint8_t* record) {
    return CurInsertRecord(cursor, CurLock::NoLock, record);
}

CurResult CurModifyRecord(hCurCur cursor, const std::uint8_t* record, bool freeLock) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    if (xb_Eof() != 0)
        return CURERR_NOCURRREC;
    const UndoOnFailure undo(a->recordSize);
    if (record != nullptr) {
        // The deletion flag is the engine's, not the caller's copy of it.
        std::vector<char> copy(reinterpret_cast<const char*>(record),
                               reinterpret_cast<const char*>(record) + a->recordSize);
        copy[0] = xb_Deleted() != 0 ? '*' : ' ';
        xb_PutRecord(copy.data(), a->recordSize);
    }
    if (xb_Commit() == 0)
        return undo.Fail();
    if (freeLock)
        xb_Unlock(xb_RecNo());
    return CUR_OK;
}

CurResult CurDeleteRecord(hCurCur cursor, const std::uint8_t*) {
    TCurWorkArea* a = Select(cursor);
    if (a == nullptr)
        return CURERR_INVALIDHNDL;
    if (xb_Eof() != 0)
        return CURERR_NOCURRREC;
    const UndoOnFailure undo(a->recordSize);
    if (xb_Delete() == 0 || xb_Commit() == 0)
        return undo.Fail();
    return CUR_OK;
}

CurResult CurRelRecordLock(hCurCur cursor, bool all) {
    if (Select(cursor) == nullptr)
        return CURERR_INVALIDHNDL;
    xb_Unlock(all ? 0 : xb_RecNo());
    return CUR_OK;
}

} // namespace data
