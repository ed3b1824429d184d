// TTable: opening, navigation, editing and master-detail ranges.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "data/cursor.h"
#include "data/dataset.h"
#include "data/schema.h"
#include "platform/win/paths.h"

namespace data {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void StartSession() {
    static bool started = false;
    if (!started) {
        Check(CurInit());
        started = true;
    }
}

} // namespace

// A detail table follows its master's current row.
class TTable::MasterLink : public TDataLink {
public:
    explicit MasterLink(TTable& detail) : detail_(detail) {}

protected:
    void ActiveChanged() override { Follow(); }
    void RecordChanged() override { Follow(); }

private:
    void Follow() {
        if (detail_.Active()) {
            detail_.CheckBrowseMode();
            detail_.ApplyRange();
            detail_.First();
        }
    }
    TTable& detail_;
};

TTable::TTable() = default;

TTable::~TTable() {
    try {
        Close();
    } catch (const std::exception&) {
        // A table closes with its owner whatever the engine says.
    }
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->SetDataSet(nullptr);
}

void TTable::CheckActive() const {
    if (!Active())
        throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TTable::CheckInactive() const {
    if (Active())
        throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TTable::CheckEditing() const {
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert)
        throw EDatabaseError("Dataset not in edit or insert mode");
}

void TTable::SetDatabaseName(const std::string& folder) {
    CheckInactive();
    databaseName_ = folder;
}

void TTable::SetTableName(const std::string& name) {
    CheckInactive();
    tableName_ = name;
}

void TTable::SetTableType(TTableType type) {
    CheckInactive();
    tableType_ = type;
}

void TTable::SetReadOnly(bool on) {
    CheckInactive();
    readOnly_ = on;
}

void TTable::SetExclusive(bool on) {
    exclusive_ = on;
}

void TTable::SetIndexName(const std::string& tag) {
    indexName_ = tag;
    if (!Active())
        return;
    CheckBrowseMode();
    Check(CurSwitchToIndex(cursor_, indexName_.c_str(), indexName_.c_str(), 0, false));
    ApplyRange();
    First();
}

TDataSource* TTable::MasterSource() const {
    return masterLink_ ? masterLink_->DataSource() : nullptr;
}

void TTable::SetMasterSource(TDataSource* source) {
    if (source == nullptr) {
        masterLink_.reset();
    } else {
        if (!masterLink_)
            masterLink_ = std::make_unique<MasterLink>(*this);
        masterLink_->SetDataSource(source);
    }
    if (Active() && source == nullptr) {
        Check(CurResetRange(cursor_));
        First();
    }
}

void TTable::SetMasterFields(const std::string& fields) {
    masterFields_ = fields;
    if (Active() && masterLink_) {
        ApplyRange();
        First();
    }
}

void TTable::SetFilter(const std::string& expression) {
    filter_ = expression;
    if (Active() && filtered_) {
        ApplyFilter();
        First();
    }
}

void TTable::SetFiltered(bool on) {
    filtered_ = on;
    if (Active()) {
        ApplyFilter();
        First();
    }
}

void TTable::SetActive(bool on) {
    if (on)
        Open();
    else
        Close();
}

void TTable::Open() {
    if (Active())
        return;
    StartSession();
    OpenCursor();
    state_ = TDataSetState::dsBrowse;
    UpdateIndexDefs();
    ApplyFilter();
    if (masterLink_ && masterLink_->Active())
        ApplyRange();
    First();
    if (AfterOpen)
        AfterOpen(*this);
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->NotifyActive();
}

void OpenAtStartUp(TTable& table) {
    try {
        table.Open();
    } catch (const EDatabaseError& e) {
        const std::string folder = win::IncludeTrailingPathDelimiter(table.DatabaseName());
        const std::string file = win::ResolvePath(folder + table.TableName());
        std::string advice;
        if (!win::DirectoryExists(win::ResolvePath(folder)))
            advice = "The database folder " + folder +
                     " does not exist. Create it with the tables: mkschema " + folder;
        else if (!win::FileExists(file))
            advice =
                "The table " + file + " does not exist. Create the tables with: mkschema " + folder;
        else
            advice = "The table " + file + " cannot be opened.";
        throw EDatabaseError(std::string(e.what()) + "\n" + advice, e.Code());
    }
}

void TTable::OpenCursor() {
    Check(CurOpenDatabase(nullptr, db_));
    Check(CurSetDirectory(db_, databaseName_.c_str()));
    const TTableType type = ResolveTableType(tableType_, tableName_);
    // The index name is the tag (31 characters at most) and the index file name too.
    const std::string index = indexName_.substr(0, 31);
    const char* tag = index.empty() ? nullptr : index.c_str();
    hCurCur cursor = 0;
    const CurResult r = CurOpenTable(db_, tableName_.c_str(), DriverName(type), tag, tag, 0,
                                     readOnly_ ? 1 : 0, exclusive_ ? 1 : 0, cursor);
    if (r != CUR_OK) {
        CurCloseDatabase(db_);
        db_ = 0;
        Check(r);
    }
    cursor_ = cursor;
    try {
        CURProps props;
        Check(CurGetCursorProps(cursor_, props));
        std::vector<FLDDesc> descs;
        Check(CurGetFieldDescs(cursor_, descs));
        fields_.clear();
        for (const FLDDesc& d : descs) {
            char letter = 'C';
            switch (d.iFldType) {
            case fldDATE:
                letter = 'D';
                break;
            case fldBLOB:
                letter = 'M';
                break;
            case fldINT16:
            case fldFLOAT:
                letter = 'N';
                break;
            case fldBOOL:
                letter = 'L';
                break;
            default:
                break;
            }
            fields_.push_back(std::make_unique<TField>(*this, d, letter));
        }
        buffer_.assign(static_cast<std::size_t>(props.iRecBufSize), ' ');
        CheckFieldDefs();
    } catch (...) {
        CurCloseCursor(cursor_);
        CurCloseDatabase(db_);
        cursor_ = 0;
        db_ = 0;
        fields_.clear();
        throw;
    }
}

// The shared tables must have the fields the programs define for them.
void TTable::CheckFieldDefs() const {
    const TableDef* def = FindTable(tableName_);
    if (def == nullptr)
        return;
    for (const FieldDef& f : def->fields) {
        const TField* field = nullptr;
        for (const auto& p : fields_)
            if (Upper(p->FieldName()) == f.name)
                field = p.get();
        if (field == nullptr)
            throw EDatabaseError("Field '" + f.name + "' not found");
        bool same = false;
        switch (f.type) {
        case 'C':
            same = field->DataType() == fldZSTRING && field->Size() == f.width;
            break;
        case 'D':
            same = field->DataType() == fldDATE;
            break;
        case 'N':
            same = field->DataType() == fldINT16 || field->DataType() == fldFLOAT;
            break;
        case 'M':
            same = field->IsBlob();
            break;
        default:
            same = true;
            break;
        }
        if (!same)
            throw EDatabaseError("Type mismatch for field '" + f.name + "'");
    }
}

void TTable::Close() {
    if (!Active())
        return;
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert)
        Cancel();
    CurRelRecordLock(cursor_, true);
    CurCloseCursor(cursor_);
    CurCloseDatabase(db_);
    cursor_ = 0;
    db_ = 0;
    filterHandle_ = 0;
    state_ = TDataSetState::dsInactive;
    fields_.clear();
    buffer_.clear();
    hasRow_ = false;
    eof_ = bof_ = true;
    recNo_ = 0;
    indexDefs_.clear();
    if (AfterClose)
        AfterClose(*this);
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->NotifyActive();
}

void TTable::UpdateIndexDefs() {
    indexDefs_.clear();
    if (Active())
        CurGetIndexDescs(cursor_, indexDefs_);
}

// The detail's range: both ends are the master field's value, padded to the
// width of the detail's key field so that one key never matches another's prefix.
void TTable::ApplyRange() {
    if (!Active() || !masterLink_)
        return;
    TTable* master = masterLink_->DataSet();
    if (master == nullptr || !master->Active() || masterFields_.empty()) {
        Check(CurResetRange(cursor_));
        return;
    }
    std::string key;
    if (TField* f = master->FindField(masterFields_))
        key = f->AsString();
    else
        throw EDatabaseError("Field '" + masterFields_ + "' not found");
    if (TField* own = FindField(indexName_); own != nullptr && own->DataType() == fldZSTRING)
        key.resize(
            static_cast<std::size_t>(std::max<int>(own->Size(), static_cast<int>(key.size()))),
            ' ');
    Check(CurSetRange(cursor_, true, 0, 0, key.c_str(), true, 0, 0, key.c_str(), true));
}

void TTable::ApplyFilter() {
    if (!Active())
        return;
    if (filterHandle_ != 0) {
        CurDropFilter(cursor_, filterHandle_);
        filterHandle_ = 0;
    }
    if (filtered_ && !filter_.empty()) {
        static const char kTree = 1; // an expression filter carries its text
        Check(CurAddFilter(cursor_, reinterpret_cast<std::uintptr_t>(filter_.c_str()), 1, false,
                           &kTree, nullptr, filterHandle_));
        Check(CurActivateFilter(cursor_, filterHandle_));
    }
}

TField& TTable::Fields(int index) {
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError("Field index out of range");
    return *fields_[static_cast<std::size_t>(index)];
}

TField* TTable::FindField(const std::string& name) {
    const std::string wanted = Upper(name);
    for (const auto& f : fields_)
        if (Upper(f->FieldName()) == wanted)
            return f.get();
    return nullptr;
}

TField& TTable::FieldByName(const std::string& name) {
    if (TField* f = FindField(name))
        return *f;
    throw EDatabaseError("Field '" + name + "' not found");
}

// ---- navigation --------------------------------------------------------------------

void TTable::Scrolled() {
    if (AfterScroll)
        AfterScroll(*this);
    RecordChanged();
}

void TTable::RecordChanged() {
    if (controlsDisabled_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->NotifyRecord();
}

void TTable::DisableControls() {
    ++controlsDisabled_;
}

void TTable::EnableControls() {
    if (controlsDisabled_ == 0 || --controlsDisabled_ > 0 || !changedWhileDisabled_)
        return;
    changedWhileDisabled_ = false;
    RecordChanged();
}

void TTable::First() {
    CheckActive();
    CheckBrowseMode();
    Check(CurSetToBegin(cursor_));
    RECProps props;
    const CurResult r = CurGetNextRecord(cursor_, CurLock::NoLock, buffer_.data(), &props);
    if (r == CURERR_EOF) {
        ClearCurrent();
        bof_ = true;
    } else {
        Check(r);
        hasRow_ = true;
        recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
        bof_ = true;
        eof_ = false;
    }
    Scrolled();
}

void TTable::Last() {
    CheckActive();
    CheckBrowseMode();
    Check(CurSetToEnd(cursor_));
    RECProps props;
    const CurResult r = CurGetPriorRecord(cursor_, CurLock::NoLock, buffer_.data(), &props);
    if (r == CURERR_BOF) {
        ClearCurrent();
        bof_ = true;
    } else {
        Check(r);
        hasRow_ = true;
        recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
        eof_ = true;
        bof_ = false;
    }
    Scrolled();
}

void TTable::UpdateCursorPos() {
    CheckActive();
    if (!hasRow_)
        return;
    std::uint8_t bookmark[4];
    std::memcpy(bookmark, &recNo_, sizeof recNo_);
    Check(CurSetToBookMark(cursor_, bookmark));
}

void TTable::Next() {
    CheckActive();
    CheckBrowseMode();
    if (!hasRow_) {
        eof_ = true;
        return;
    }
    UpdateCursorPos();
    std::vector<std::uint8_t> next(buffer_.size());
    RECProps props;
    const CurResult r = CurGetNextRecord(cursor_, CurLock::NoLock, next.data(), &props);
    if (r == CURERR_EOF) {
        eof_ = true;
        return;
    }
    Check(r);
    buffer_ = std::move(next);
    recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
    eof_ = bof_ = false;
    Scrolled();
}

void TTable::Prior() {
    CheckActive();
    CheckBrowseMode();
    if (!hasRow_) {
        bof_ = true;
        return;
    }
    UpdateCursorPos();
    std::vector<std::uint8_t> prior(buffer_.size());
    RECProps props;
    const CurResult r = CurGetPriorRecord(cursor_, CurLock::NoLock, prior.data(), &props);
    if (r == CURERR_BOF) {
        bof_ = true;
        return;
    }
    Check(r);
    buffer_ = std::move(prior);
    recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
    eof_ = bof_ = false;
    Scrolled();
}

int TTable::RecordCount() const {
    CheckActive();
    std::uint32_t count = 0;
    Check(CurGetRecordCount(cursor_, count));
    return static_cast<int>(count);
}

bool TTable::ReadCurrent(CurLock lock) {
    RECProps props;
    const CurResult r = CurGetRecord(cursor_, lock, buffer_.data(), &props);
    if (r == CURERR_EOF || r == CURERR_BOF || r == CURERR_NOCURRREC)
        return false;
    Check(r);
    hasRow_ = true;
    recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
    return true;
}

void TTable::ClearCurrent() {
    hasRow_ = false;
    eof_ = true;
    recNo_ = 0;
    std::fill(buffer_.begin(), buffer_.end(), ' ');
}

void TTable::Resync() {
    CheckActive();
    if (ReadCurrent(CurLock::NoLock)) {
        eof_ = bof_ = false;
    } else {
        ClearCurrent();
    }
    Scrolled();
}

void TTable::Refresh() {
    CheckActive();
    CheckBrowseMode();
    Check(CurForceReread(cursor_));
    if (hasRow_) {
        UpdateCursorPos();
        if (ReadCurrent(CurLock::NoLock)) {
            RecordChanged();
            return;
        }
        // The row went away (deleted by another program): show its successor.
        std::vector<std::uint8_t> next(buffer_.size());
        RECProps props;
        if (CurGetNextRecord(cursor_, CurLock::NoLock, next.data(), &props) == CUR_OK) {
            buffer_ = std::move(next);
            recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
            eof_ = bof_ = false;
            Scrolled();
            return;
        }
    }
    First();
}

// A search by a one-off filter: the cursor stands before the first match.
bool TTable::Locate(const std::string& fieldName, const std::string& value) {
    CheckActive();
    CheckBrowseMode();
    TField& field = FieldByName(fieldName);
    if (field.DataType() != fldZSTRING)
        throw EDatabaseError("Field '" + fieldName + "' is not a character field");
    // Padded to the width, so the comparison covers the whole field.
    std::string padded = value.substr(0, static_cast<std::size_t>(field.Size()));
    padded.resize(static_cast<std::size_t>(field.Size()), ' ');
    std::string literal;
    if (padded.find('"') == std::string::npos)
        literal = '"' + padded + '"';
    else if (padded.find('\'') == std::string::npos)
        literal = "'" + padded + "'";
    else if (padded.find(']') == std::string::npos)
        literal = "[" + padded + "]";
    else
        return false;
    const std::string expression = field.FieldName() + " = " + literal;
    static const char kTree = 1;
    hCurFilter search = 0;
    Check(CurAddFilter(cursor_, reinterpret_cast<std::uintptr_t>(expression.c_str()), 2, false,
                       &kTree, nullptr, search));
    const CurResult activated = CurActivateFilter(cursor_, search);
    std::vector<std::uint8_t> row(buffer_.size());
    RECProps props;
    const CurResult r = activated == CUR_OK
                            ? CurGetNextRecord(cursor_, CurLock::NoLock, row.data(), &props)
                            : activated;
    CurDropFilter(cursor_, search);
    if (r != CUR_OK) {
        UpdateCursorPos();
        return false;
    }
    buffer_ = std::move(row);
    recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
    hasRow_ = true;
    eof_ = bof_ = false;
    Scrolled();
    return true;
}

// ---- editing ---------------------------------------------------------------------------

void TTable::CheckBrowseMode() {
    CheckActive();
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert)
        Post();
}

void TTable::Append() {
    CheckActive();
    CheckBrowseMode();
    if (readOnly_)
        throw EDatabaseError("Cannot modify a read-only dataset");
    saved_ = buffer_;
    savedRecNo_ = recNo_;
    savedHasRow_ = hasRow_;
    Check(CurInitRecord(cursor_, buffer_.data()));
    pendingMemos_.clear();
    state_ = TDataSetState::dsInsert;
    // A detail row starts with its master's key, as the link implies.
    if (masterLink_ && masterLink_->Active() && !masterFields_.empty())
        if (TField* own = FindField(indexName_))
            if (TField* m = masterLink_->DataSet()->FindField(masterFields_))
                own->SetAsString(m->AsString());
    if (AfterInsert)
        AfterInsert(*this);
}

void TTable::Insert() {
    Append();
}

void TTable::Edit() {
    CheckActive();
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert)
        return;
    if (readOnly_)
        throw EDatabaseError("Cannot modify a read-only dataset");
    if (!hasRow_) {
        Append();
        return;
    }
    // Lock the row and read it again, so the edit starts from what is stored now.
    UpdateCursorPos();
    RECProps props;
    const CurResult r = CurGetRecord(cursor_, CurLock::WriteLock, buffer_.data(), &props);
    if (r == CURERR_NOCURRREC || r == CURERR_EOF)
        throw EDatabaseError("Record/Key deleted.", r);
    Check(r);
    pendingMemos_.clear();
    state_ = TDataSetState::dsEdit;
}

std::string TTable::ReadMemo(int fieldNo) const {
    if (!hasRow_ || state_ == TDataSetState::dsInsert)
        return {};
    std::vector<std::uint8_t> record = buffer_;
    std::uint32_t size = 0;
    Check(CurGetBlobSize(cursor_, record.data(), fieldNo, size));
    std::string text(size, '\0');
    std::uint32_t read = 0;
    if (size > 0) {
        const CurResult r = CurGetBlob(cursor_, record.data(), fieldNo, 0, size,
                                       reinterpret_cast<std::uint8_t*>(text.data()), read);
        if (r != CUR_OK && r != CURERR_ENDOFBLOB)
            Check(r);
    }
    text.resize(read);
    return text;
}

void TTable::WritePendingMemos() {
    for (const auto& [fieldNo, text] : pendingMemos_)
        Check(CurPutBlob(cursor_, buffer_.data(), fieldNo, 0,
                         static_cast<std::uint32_t>(text.size()),
                         reinterpret_cast<const std::uint8_t*>(text.data())));
    pendingMemos_.clear();
}

void TTable::Post() {
    CheckActive();
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert)
        return;
    if (BeforePost)
        BeforePost(*this);
    if (state_ == TDataSetState::dsEdit) {
        UpdateCursorPos();
        WritePendingMemos();
        Check(CurModifyRecord(cursor_, buffer_.data(), true));
    } else {
        const bool memos = !pendingMemos_.empty();
        Check(
            CurInsertRecord(cursor_, memos ? CurLock::WriteLock : CurLock::NoLock, buffer_.data()));
        std::uint8_t bookmark[4];
        Check(CurGetBookMark(cursor_, bookmark));
        std::memcpy(&recNo_, bookmark, sizeof recNo_);
        hasRow_ = true;
        if (memos) {
            WritePendingMemos();
            Check(CurModifyRecord(cursor_, buffer_.data(), true));
        }
    }
    state_ = TDataSetState::dsBrowse;
    eof_ = bof_ = false;
    // Show the row as stored.
    UpdateCursorPos();
    ReadCurrent(CurLock::NoLock);
    if (AfterPost)
        AfterPost(*this);
    RecordChanged();
}

void TTable::Cancel() {
    CheckActive();
    if (state_ == TDataSetState::dsEdit) {
        CurRelRecordLock(cursor_, false);
        state_ = TDataSetState::dsBrowse;
        pendingMemos_.clear();
        UpdateCursorPos();
        ReadCurrent(CurLock::NoLock);
    } else if (state_ == TDataSetState::dsInsert) {
        state_ = TDataSetState::dsBrowse;
        pendingMemos_.clear();
        buffer_ = saved_;
        recNo_ = savedRecNo_;
        hasRow_ = savedHasRow_;
    }
}

void TTable::Delete() {
    CheckActive();
    if (state_ == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (state_ == TDataSetState::dsEdit)
        Cancel();
    if (!hasRow_)
        throw EDatabaseError("Cannot perform this operation on an empty dataset");
    UpdateCursorPos();
    const CurResult r = CurDeleteRecord(cursor_, buffer_.data());
    if (ErrCat(r) != ERRCAT_NOTFOUND)
        Check(r);
    // Show the next row, else the one before, else nothing.
    std::vector<std::uint8_t> row(buffer_.size());
    RECProps props;
    if (CurGetNextRecord(cursor_, CurLock::NoLock, row.data(), &props) == CUR_OK) {
        buffer_ = std::move(row);
        recNo_ = static_cast<std::int32_t>(props.iPhyRecNum);
        eof_ = bof_ = false;
        Scrolled();
        return;
    }
    Last();
}

} // namespace data
