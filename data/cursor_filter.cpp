// Filters: expression filters become the engine's query, callback filters
// are asked by the record functions.
#include "data/cursor.h"
#include "data/cursor_p.h"
#include "platform/xbase/xbengine.h"

namespace data {
using namespace detail;

namespace detail {

void ApplyJoinedFilter(TCurWorkArea& a) {
    std::string joined;
    for (int i = 1; i <= kMaxFilters; ++i) {
        const TCurFilter& f = a.filters[static_cast<std::size_t>(i)];
        if (f.active && !f.expression.empty()) {
            if (!joined.empty())
                joined += " .and. ";
            joined += f.expression;
        }
    }
    xb_Query(joined.c_str());
}

} // namespace detail

namespace {

void UpdateCallbackFlag(TCurWorkArea& a) {
    a.functionFilter = false;
    for (int i = 1; i <= kMaxFilters; ++i)
        if (a.filters[static_cast<std::size_t>(i)].callbackFilter)
            a.functionFilter = true;
}

bool ValidSlot(hCurFilter filter) {
    return filter >= 1 && filter <= kMaxFilters;
}

// A one-off search: the next read returns the first record that matches the
// current filter joined with the slot's expression; the filter stays as it was.
void OneOffSearch(const TCurFilter& f) {
    const std::string previous = EngineText(xb_DBFilter);
    const std::string joined =
        previous.empty() ? f.expression : previous + " .and. " + f.expression;
    xb_Query(joined.c_str());
    xb_GoTop();
    const bool found = xb_Eof() == 0;
    const std::int32_t match = xb_RecNo();
    xb_Query(previous.c_str());
    if (found) {
        xb_Go(match);
        xb_Skip(-1);
    } else {
        xb_GoBottom();
        xb_Skip(1);
    }
}

} // namespace

CurResult CurAddFilter(hCurCur cursor, std::uintptr_t clientData, int priority, bool,
                       const void* exprTree, pfCurFilter callback, hCurFilter& filter) {
    filter = 0;
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    for (int i = 1; i <= kMaxFilters; ++i) {
        TCurFilter& f = a.filters[static_cast<std::size_t>(i)];
        if (!f.Free())
            continue;
        f = TCurFilter{};
        f.priority = priority;
        if (exprTree != nullptr) {
            const char* text = reinterpret_cast<const char*>(clientData);
            f.expression = text != nullptr ? text : "";
            if (f.expression.empty())
                return CURERR_INVALIDHNDL;
        } else {
            if (callback == nullptr)
                return CURERR_INVALIDHNDL;
            f.callbackFilter = true;
            f.callback = callback;
            f.clientData = clientData;
            a.functionFilter = true;
        }
        filter = i;
        return CUR_OK;
    }
    return CURERR_FILTERSFULL;
}

CurResult CurActivateFilter(hCurCur cursor, hCurFilter filter) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    if (filter == 0) {
        for (int i = 1; i <= kMaxFilters; ++i)
            if (!a.filters[static_cast<std::size_t>(i)].Free())
                a.filters[static_cast<std::size_t>(i)].active = true;
        ApplyJoinedFilter(a);
        return CUR_OK;
    }
    if (!ValidSlot(filter))
        return CURERR_INVALIDHNDL;
    TCurFilter& f = a.filters[static_cast<std::size_t>(filter)];
    if (f.Free() || f.active)
        return CUR_OK;
    f.active = true;
    if (f.expression.empty())
        return CUR_OK;
    if (f.priority == 2) {
        // A search filter is used once and not kept active.
        OneOffSearch(f);
        f.active = false;
    } else {
        ApplyJoinedFilter(a);
    }
    return CUR_OK;
}

CurResult CurDeactivateFilter(hCurCur cursor, hCurFilter filter) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    if (filter == 0) {
        for (int i = 1; i <= kMaxFilters; ++i)
            a.filters[static_cast<std::size_t>(i)].active = false;
        xb_Query("");
        return CUR_OK;
    }
    if (!ValidSlot(filter))
        return CURERR_INVALIDHNDL;
    TCurFilter& f = a.filters[static_cast<std::size_t>(filter)];
    if (!f.active)
        return CUR_OK;
    f.active = false;
    if (!f.expression.empty() && f.priority != 2)
        ApplyJoinedFilter(a);
    return CUR_OK;
}

CurResult CurDropFilter(hCurCur cursor, hCurFilter filter) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    if (!ValidSlot(filter))
        return CURERR_INVALIDHNDL;
    TCurFilter& f = a.filters[static_cast<std::size_t>(filter)];
    if (f.Free())
        return CUR_OK;
    const bool wasActiveExpression = f.active && !f.expression.empty() && f.priority != 2;
    f = TCurFilter{};
    if (wasActiveExpression)
        ApplyJoinedFilter(a);
    // The flag follows the callback filters that remain.
    UpdateCallbackFlag(a);
    return CUR_OK;
}

} // namespace data
