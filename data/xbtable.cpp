#include "data/xbtable.h"

#include <type_traits>

#include "data/cursor.h"
#include "platform/win/paths.h"
#include "platform/xbase/xbengine.h"

namespace data {

namespace {

std::string EngineErrorText() {
    char buf[512] = {};
    xb_ErrorText(buf, sizeof buf);
    return buf;
}

std::string EngineTagName(int order) {
    char buf[256] = {};
    xb_TagName(order, buf, sizeof buf);
    return buf;
}

} // namespace

std::string ExtraIndexFileName(TTableType type, const std::string& entry) {
    if (!win::ExtractFileExt(entry).empty())
        return entry;
    switch (type) {
    case TTableType::ttXBNTX:
        return entry + ".NTX";
    case TTableType::ttXBFOX:
        return entry + ".IDX";
    case TTableType::ttXBNSX:
        return entry + ".NSX";
    default:
        return entry;
    }
}

void TXbDataLink::ActiveChanged() {
    owner_.TableActiveChanged();
}

TXbTable::TXbTable() : link_(std::make_unique<TXbDataLink>(*this)) {}

TXbTable::~TXbTable() = default;

void TXbTable::SetDataSource(TDataSource* source) {
    link_->SetDataSource(source);
}

bool TXbTable::Bind() {
    if (DataSource() != nullptr && DataSource()->DataSet() != nullptr)
        dataSet_ = DataSource()->DataSet();
    return dataSet_ != nullptr;
}

template <typename Op>
auto TXbTable::Bracket(Op op) -> decltype(op(*static_cast<TTable*>(nullptr))) {
    using R = decltype(op(*static_cast<TTable*>(nullptr)));
    if (!Bind()) {
        savedArea_ = 0;
        if constexpr (std::is_void_v<R>)
            return;
        else
            return R{};
    }
    TTable& t = *dataSet_;
    const int own = t.Active() ? t.Handle() : 0;
    savedArea_ = static_cast<std::int16_t>(own != 0 ? xb_Select(own) : xb_WorkArea(nullptr));
    struct Reselect {
        int saved;
        int own;
        ~Reselect() {
            if (saved != 0 && saved != own)
                xb_Select(saved);
        }
    } reselect{savedArea_, own};
    return op(t);
}

void TXbTable::TableActiveChanged() {
    // A data set taken away from the source is not kept: it may be gone.
    if (DataSource() == nullptr || DataSource()->DataSet() == nullptr)
        dataSet_ = nullptr;
    Bind();
    if (dataSet_ == nullptr || !dataSet_->Active())
        return;
    if (!filter_.empty())
        Query(filter_);
    if (!extraIndexes_.empty())
        OpenExtraIndexes();
}

std::string TXbTable::IndexPath(const std::string& file) const {
    // A bag named without extension is the compound index of that name.
    std::string path = win::ExtractFileExt(file).empty() ? file + ".cdx" : file;
    if (dataSet_ != nullptr && path.find_first_of("\\/:") == std::string::npos &&
        !dataSet_->DatabaseName().empty())
        path = win::IncludeTrailingPathDelimiter(dataSet_->DatabaseName()) + path;
    return win::ResolvePath(path);
}

// With the table's work area selected.
int TXbTable::OpenIndexFile(const std::string& file) {
    TTable& t = *dataSet_;
    t.CheckBrowseMode();
    const int order = xb_IndexOpen(IndexPath(file).c_str());
    if (order > 0) {
        t.SetIndexName(EngineTagName(order));
        t.UpdateIndexDefs();
        t.Refresh();
    }
    return order;
}

void TXbTable::OpenExtraIndexes() {
    Bracket([&](TTable& t) {
        if (!t.Active())
            return;
        int keep = xb_IndexOrd();
        xb_SetOrder(0);
        const TTableType type = ResolveTableType(t.TableType(), t.TableName());
        for (const std::string& entry : extraIndexes_) {
            const int order = OpenIndexFile(ExtraIndexFileName(type, entry));
            if (keep == 0)
                keep = order;
        }
        xb_SetOrder(keep);
        t.SetIndexName(EngineTagName(keep));
    });
}

void TXbTable::SetExtraIndexes(const std::vector<std::string>& files) {
    extraIndexes_ = files;
    if (Bind() && dataSet_->Active() && !extraIndexes_.empty())
        OpenExtraIndexes();
}

void TXbTable::SetFilter(const std::string& expression) {
    filter_ = expression;
    if (Bind() && dataSet_->Active())
        Query(expression);
}

void TXbTable::SetTurboRead(bool on) {
    turboRead_ = on;
    Bracket([&](TTable& t) {
        if (t.Active())
            xb_SetTurboRead(on ? 1 : 0);
    });
}

void TXbTable::Go(std::int32_t recNo) {
    Bracket([&](TTable& t) {
        t.CheckBrowseMode();
        t.UpdateCursorPos();
        xb_Go(recNo);
        t.Resync();
    });
}

std::int32_t TXbTable::RecNo() {
    return Bracket([&](TTable& t) { return t.RecNo(); });
}

namespace {

// A key on a bare character field, padded to the field's width: a shorter
// key would otherwise find a longer one that merely starts with it.
std::string FullKey(const std::string& key) {
    char expr[256] = {};
    xb_IndexKey(xb_IndexOrd(), expr, sizeof expr);
    const int field = xb_FieldNum(expr);
    if (field == 0 || xb_FieldType(field) != 'C')
        return key;
    const std::size_t width = static_cast<std::size_t>(xb_FieldWidth(field));
    return key.size() < width ? key + std::string(width - key.size(), ' ') : key;
}

} // namespace

bool TXbTable::Seek(const std::string& key) {
    return Bracket([&](TTable& t) {
        t.CheckBrowseMode();
        t.UpdateCursorPos();
        if (xb_Seek(FullKey(key).c_str()) != 0) {
            t.Resync();
            return true;
        }
        // End of file with no current row: nothing a caller could take for the match.
        t.ClearCurrent();
        return false;
    });
}

void TXbTable::Delete() {
    Bracket([&](TTable& t) { t.Delete(); });
}

bool TXbTable::Lock(std::int32_t recNo) {
    return Bracket([&](TTable& t) { return t.Active() && xb_Rlock(recNo) == 1; });
}

void TXbTable::Unlock(std::int32_t recNo) {
    Bracket([&](TTable& t) {
        if (t.Active())
            xb_Unlock(recNo);
    });
}

int TXbTable::Count() {
    return Bracket([&](TTable& t) { return t.Active() ? static_cast<int>(xb_Count()) : 0; });
}

void TXbTable::Pack() {
    Bracket([&](TTable& t) {
        t.CheckBrowseMode();
        t.UpdateCursorPos();
        const bool ok = xb_Pack() != 0;
        const std::string error = ok ? std::string() : EngineErrorText();
        // Record numbers change: start again from the first row.
        t.First();
        if (!ok)
            throw EDatabaseError(error);
    });
}

void TXbTable::Zap() {
    Bracket([&](TTable& t) {
        t.CheckBrowseMode();
        t.UpdateCursorPos();
        const bool ok = xb_Zap() != 0;
        const std::string error = ok ? std::string() : EngineErrorText();
        t.First();
        if (!ok)
            throw EDatabaseError(error);
    });
}

int TXbTable::IndexTag(const std::string& file, const std::string& tag,
                       const std::string& expression, int option, bool descending,
                       const std::string& condition) {
    return Bracket([&](TTable& t) {
        t.CheckBrowseMode();
        const std::string path = file.empty() ? std::string() : IndexPath(file);
        const int result = xb_IndexTag(path.c_str(), tag.c_str(), expression.c_str(), option,
                                       descending ? 1 : 0, condition.c_str());
        // The calls below would replace the engine's text.
        engineError_ = result == 0 ? EngineErrorText() : std::string();
        // The table's own tag stays the active order, so its range and its
        // master-detail link keep working after a rebuild.
        t.UpdateIndexDefs();
        if (t.IndexName().empty())
            xb_SetOrder(0);
        else
            CurSwitchToIndex(t.Handle(), t.IndexName().c_str(), t.IndexName().c_str(), 0, false);
        t.Refresh();
        return result;
    });
}

int TXbTable::IndexOpen(const std::string& file) {
    return Bracket([&](TTable& t) { return t.Active() ? OpenIndexFile(file) : 0; });
}

int TXbTable::SetOrder(int order) {
    return Bracket([&](TTable& t) {
        const int result = xb_SetOrder(order);
        const std::string tag = EngineTagName(order);
        if (t.Active())
            t.SetIndexName(tag);
        return result;
    });
}

std::string TXbTable::TagName(int order) {
    return Bracket([&](TTable&) { return EngineTagName(order); });
}

int TXbTable::IndexOrd() {
    return Bracket([&](TTable&) { return xb_IndexOrd(); });
}

int TXbTable::RecSize() {
    return Bracket([&](TTable&) { return xb_RecSize(); });
}

int TXbTable::Query(const std::string& expression) {
    filter_ = expression;
    return Bracket([&](TTable& t) {
        if (!t.Active())
            return 0;
        t.CheckBrowseMode();
        t.UpdateCursorPos();
        const int result = xb_Query(expression.c_str());
        t.Refresh();
        return result;
    });
}

std::int64_t TXbTable::SysProp(int property, std::int64_t value) {
    return Bracket([&](TTable&) { return xb_SysProp(property, value); });
}

} // namespace data
