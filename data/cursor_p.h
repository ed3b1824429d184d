#pragma once
// Internal state of the cursor layer: directory slots, the per-thread cursor
// table and the work-area objects. Not for the layers above.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/curtypes.h"

namespace data::detail {

inline constexpr int kMaxDirectories = 199;
inline constexpr hCurCur kFieldListCursor = 260;
inline constexpr hCurCur kEmptyListCursor = 261;
inline constexpr int kMaxFilters = 100;
inline constexpr std::uint32_t kMaxMemoText = 61440;

struct TCurFilter {
    std::string expression;
    bool active = false;
    bool callbackFilter = false;
    pfCurFilter callback = nullptr;
    std::uintptr_t clientData = 0;
    int priority = 0;
    [[nodiscard]] bool Free() const { return expression.empty() && !callbackFilter; }
};

class TCurWorkArea {
public:
    std::string alias;
    std::string fullPath;
    std::string tableName;
    std::array<TCurFilter, kMaxFilters + 1> filters{}; // slot 0 unused
    bool functionFilter = false;
    std::vector<FLDDesc> logical;
    std::vector<FLDDesc> physical;
    std::vector<std::string> fieldNames; // engine names, for the by-name engine calls
    std::vector<int> decimals;
    std::vector<char> letters; // type letter, "V" for variable-length
    int fieldCount = 0;
    std::vector<std::uint8_t> saveBuffer;
    int driver = 2;
    int recordSize = 0;
    int translationMode = 2;
    int workArea = 0;
    int openMode = 0;
    int shareMode = 0;
    int fieldListPos = 1;
    pfCurConstraint constraint = nullptr;
    std::uintptr_t constraintData = 0;

    // Reads names, letters and descriptors from the engine (area selected).
    void ReadDescriptors();
    [[nodiscard]] bool ValidField(int fieldNo) const {
        return fieldNo >= 1 && fieldNo <= fieldCount;
    }
    [[nodiscard]] const char* FieldName(int fieldNo) const {
        return fieldNames[static_cast<std::size_t>(fieldNo - 1)].c_str();
    }
    [[nodiscard]] const FLDDesc& Logical(int fieldNo) const {
        return logical[static_cast<std::size_t>(fieldNo - 1)];
    }
    [[nodiscard]] const FLDDesc& Physical(int fieldNo) const {
        return physical[static_cast<std::size_t>(fieldNo - 1)];
    }
};

// The cursor table of the calling thread.
std::map<hCurCur, std::unique_ptr<TCurWorkArea>>& Cursors();
// The table cursor, or nullptr when the handle is not an open table cursor.
TCurWorkArea* Find(hCurCur cursor);
// Finds the cursor and selects its work area; nullptr for an invalid handle.
TCurWorkArea* Select(hCurCur cursor);

// Selects a cursor's work area for the length of a call and selects the
// previously current one again afterwards (when that one is still open).
class TWA {
public:
    explicit TWA(hCurCur cursor);
    ~TWA();
    TWA(const TWA&) = delete;
    TWA& operator=(const TWA&) = delete;
    [[nodiscard]] bool Valid() const { return area_ != nullptr; }
    [[nodiscard]] TCurWorkArea* Area() const { return area_; }

private:
    TCurWorkArea* area_ = nullptr;
    int previous_ = 0;
};

// Swaps a caller's record into the engine for one field's memo or binary
// work and puts the engine's own record back when destroyed.
class TSaveRec {
public:
    TSaveRec(TCurWorkArea& area, const std::uint8_t* record);
    ~TSaveRec();
    TSaveRec(const TSaveRec&) = delete;
    TSaveRec& operator=(const TSaveRec&) = delete;

    [[nodiscard]] bool AtEof() const { return eof_; }
    // The engine's record as it stands now (after a memo store), into record.
    void CopyBack(std::uint8_t* record) const;
    void Restore();

private:
    TCurWorkArea& area_;
    std::vector<char> own_;
    bool eof_ = false;
    bool swapped_ = false;
};

// Engine text helpers: the whole value, whatever its length.
std::string EngineText(int (*fn)(char*, int));
std::string EngineText(int (*fn)(int, char*, int), int arg);
std::string EngineText(int (*fn)(const char*, char*, int), const char* arg);

// Engine path of a table or folder: "\" becomes "/", components found without regard to case.
std::string EnginePath(const std::string& path);
std::string UpperCase(std::string s);

// Seek kinds of step 5.
enum class SeekKind { Equal, Greater, GreaterEq };
CurResult SeekKey(TCurWorkArea& area, SeekKind kind, const std::string& key, bool direct);
// Key of a caller's record on the current order; nullptr: the current record's key.
std::string KeyFromRecord(TCurWorkArea& area, const std::uint8_t* record);
// Applies the joined expression of the active expression slots as the engine's query.
void ApplyJoinedFilter(TCurWorkArea& area);

} // namespace data::detail
