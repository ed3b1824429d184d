#pragma once
// The data-set layer: table objects with fields, master-detail links and
// edit states, over the cursor functions. Plain C++, no display needed.
//
// States: inactive --Open--> browse --Edit/Append/Insert--> edit|insert
//         --Post/Cancel--> browse --Close--> inactive.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/curtypes.h"
#include "mail/exception.h"
#include "platform/win/datetime.h"

namespace data {

// A failure of the data-set layer; the text is the cursor layer's error text.
class EDatabaseError : public Exception {
public:
    explicit EDatabaseError(const std::string& message, CurResult code = 0)
        : Exception(message), code_(code) {}
    [[nodiscard]] CurResult Code() const { return code_; }

private:
    CurResult code_;
};

// Texts that do not convert to a date or number raise the shared EConvertError.

// Throws EDatabaseError with the cursor layer's text for a non-zero result.
void Check(CurResult result);

enum class TTableType { ttDefault, ttParadox, ttDBase, ttASCII, ttXBNTX, ttXBFOX, ttXBNSX };
// "PARADOX", "PARADOX", "DBASE", "ASCIIDRV", "XBNTX", "XBFOX", "XBNSX".
[[nodiscard]] const char* DriverName(TTableType type);
// ttDefault becomes ttXBFOX for a name ending ".DBF", ttASCII for ".TXT".
[[nodiscard]] TTableType ResolveTableType(TTableType type, const std::string& tableName);
[[nodiscard]] bool IsXBaseType(TTableType type);

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Text dates in the program's short date format (win::DefaultFormatSettings).
// A two-digit year falls within 50 years of the current one.
[[nodiscard]] win::TDateTime StrToDate(const std::string& text);
[[nodiscard]] int StrToInt(const std::string& text);

class TTable;
class TDataSource;

class TField {
public:
    TField(TTable& table, const FLDDesc& desc, char letter);

    [[nodiscard]] const std::string& FieldName() const { return name_; }
    [[nodiscard]] int FieldNo() const { return desc_.iFldNum; }
    [[nodiscard]] std::uint16_t DataType() const { return desc_.iFldType; }
    [[nodiscard]] std::uint16_t SubType() const { return desc_.iSubType; }
    // Characters of a string field; 0 for the other kinds.
    [[nodiscard]] int Size() const;
    [[nodiscard]] bool IsBlob() const { return desc_.iFldType == fldBLOB; }

    // A field of spaces, or a memo without contents, reads as null.
    [[nodiscard]] bool IsNull() const;
    [[nodiscard]] std::string AsString() const;
    [[nodiscard]] int AsInteger() const;
    [[nodiscard]] win::TDateTime AsDateTime() const;
    [[nodiscard]] bool AsBoolean() const;
    [[nodiscard]] double AsFloat() const;

    // Writing needs the table in edit or insert state.
    void SetAsString(const std::string& value);
    void SetAsInteger(int value);
    void SetAsDateTime(win::TDateTime value);
    void SetAsBoolean(bool value);
    void SetAsFloat(double value);
    void Clear();

private:
    void Put(const void* value);
    TTable& table_;
    FLDDesc desc_;
    std::string name_;
    char letter_;
};

// Notified by a data source about its data set.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    [[nodiscard]] TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] TTable* DataSet() const;
    [[nodiscard]] bool Active() const;

protected:
    friend class TDataSource;
    virtual void ActiveChanged() {}
    // The current row changed (scroll, refresh, post).
    virtual void RecordChanged() {}

private:
    TDataSource* source_ = nullptr;
};

class TDataSource {
public:
    TDataSource() = default;
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    [[nodiscard]] TTable* DataSet() const { return dataSet_; }
    void SetDataSet(TTable* table);

    // The current row of the data set changed.
    std::function<void(TDataSource&)> OnDataChange;

private:
    friend class TDataLink;
    friend class TTable;
    void NotifyActive();
    void NotifyRecord();
    TTable* dataSet_ = nullptr;
    std::vector<TDataLink*> links_;
};

class TTable {
public:
    TTable();
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    // Settings; the table must be closed to change the first four.
    [[nodiscard]] const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& folder);
    [[nodiscard]] const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& name);
    [[nodiscard]] TTableType TableType() const { return tableType_; }
    void SetTableType(TTableType type);
    [[nodiscard]] bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    // Takes effect at the next open.
    [[nodiscard]] bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool on);
    // The tag name; on an open table the order switches and the table goes to its first row.
    [[nodiscard]] const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& tag);
    [[nodiscard]] TDataSource* MasterSource() const;
    void SetMasterSource(TDataSource* source);
    [[nodiscard]] const std::string& MasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& fields);
    // An xBase expression, applied while Filtered is on.
    [[nodiscard]] const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& expression);
    [[nodiscard]] bool Filtered() const { return filtered_; }
    void SetFiltered(bool on);

    void Open();
    void Close();
    [[nodiscard]] bool Active() const { return cursor_ != 0; }
    void SetActive(bool on);
    [[nodiscard]] TDataSetState State() const { return state_; }
    // The cursor handle (the engine work area); 0 when closed.
    [[nodiscard]] hCurCur Handle() const { return cursor_; }

    void First();
    void Next();
    void Prior();
    void Last();
    [[nodiscard]] bool Eof() const { return eof_; }
    [[nodiscard]] bool Bof() const { return bof_; }
    [[nodiscard]] bool IsEmpty() const { return !hasRow_; }
    // Physical record number of the current row; 0 without one.
    [[nodiscard]] std::int32_t RecNo() const { return hasRow_ ? recNo_ : 0; }
    // Rows visible under range, filter and the deleted setting.
    [[nodiscard]] int RecordCount() const;

    [[nodiscard]] int FieldCount() const { return static_cast<int>(fields_.size()); }
    [[nodiscard]] TField& Fields(int index);
    [[nodiscard]] TField* FindField(const std::string& name);
    // Throws EDatabaseError "Field 'NAME' not found" for an unknown name.
    [[nodiscard]] TField& FieldByName(const std::string& name);

    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Moves to the first row whose character field holds exactly value;
    // false (and the row unchanged) when there is none.
    bool Locate(const std::string& fieldName, const std::string& value);
    // Reads the current row again from the table (other programs write it).
    void Refresh();
    // Posts a pending edit or insert.
    void CheckBrowseMode();
    // Brings the cursor to the data set's current row.
    void UpdateCursorPos();
    // Shows the row the cursor stands on (after positioning the engine directly).
    void Resync();
    // End of file with no current row: what a failed search leaves.
    void ClearCurrent();
    // While controls are disabled (calls nest), moving to another row tells
    // no data source: detail tables stay where they are, which a walk that
    // reads only this table's fields does not need. Enabling them again
    // tells the sources once, when the row changed meanwhile.
    void DisableControls();
    void EnableControls();
    [[nodiscard]] bool ControlsDisabled() const { return controlsDisabled_ > 0; }
    // Tags of the open table.
    [[nodiscard]] const std::vector<IDXDesc>& IndexDefs() const { return indexDefs_; }
    void UpdateIndexDefs();

    std::function<void(TTable&)> AfterInsert;
    std::function<void(TTable&)> BeforePost;
    std::function<void(TTable&)> AfterPost;
    std::function<void(TTable&)> AfterScroll;
    std::function<void(TTable&)> AfterOpen;
    std::function<void(TTable&)> AfterClose;

private:
    friend class TField;
    friend class TDataSource;
    class MasterLink;

    void CheckActive() const;
    void CheckInactive() const;
    void CheckEditing() const;
    void OpenCursor();
    void CheckFieldDefs() const;
    void ApplyRange();
    void ApplyFilter();
    bool ReadCurrent(CurLock lock);
    void Scrolled();
    void RecordChanged();
    void WritePendingMemos();
    std::string ReadMemo(int fieldNo) const;

    std::string databaseName_;
    std::string tableName_;
    TTableType tableType_ = TTableType::ttDefault;
    bool readOnly_ = false;
    bool exclusive_ = false;
    std::string indexName_;
    std::unique_ptr<MasterLink> masterLink_;
    std::string masterFields_;
    std::string filter_;
    bool filtered_ = false;
    hCurFilter filterHandle_ = 0;

    hCurDb db_ = 0;
    hCurCur cursor_ = 0;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> saved_; // the row shown before an insert
    std::int32_t recNo_ = 0;
    std::int32_t savedRecNo_ = 0;
    bool savedHasRow_ = false;
    bool hasRow_ = false;
    bool eof_ = true;
    bool bof_ = true;
    std::vector<std::unique_ptr<TField>> fields_;
    std::map<int, std::string> pendingMemos_;
    std::vector<IDXDesc> indexDefs_;
    std::vector<TDataSource*> sources_; // data sources showing this table
    int controlsDisabled_ = 0;
    bool changedWhileDisabled_ = false;
};

// Opens the table as the programs do at start-up. A failure keeps the
// cursor layer's text ("Cursor Error : 10024") and adds, on a line of its
// own, the table's file, and for a missing one how the tables are made.
void OpenAtStartUp(TTable& table);

} // namespace data
