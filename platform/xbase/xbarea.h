#pragma once
// A work area: one open table with its memo file and indexes, the position,
// the record buffer, the order, scope and filter, and the record locks.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/xbase/xbdbf.h"
#include "platform/xbase/xbengine.h"
#include "platform/xbase/xbglue.h"
#include "platform/xbase/xbmemo.h"

namespace xbase {

struct EngineSettings {
    bool deleted = false;
    bool exact = false;
    bool softSeek = false;
    bool century = false;
    int epoch = 1900;
    int dateFormat = XB_DATE_AMERICAN;
    int lockTimeoutSec = 1;
    int memoBlockSize = 64;
    int64_t appendDefer = 0;
    int64_t headerCache = 0;
    int64_t memoConvert = 0;
};
EngineSettings& Settings();

class WorkArea {
public:
    WorkArea(int number, std::string alias) : number_(number), alias_(std::move(alias)) {}
    ~WorkArea();

    void Open(const std::string& path, int mode, int driver);
    // Commits and releases everything; errors of the last commit are thrown.
    void Close();

    [[nodiscard]] int Number() const { return number_; }
    [[nodiscard]] const std::string& Alias() const { return alias_; }
    [[nodiscard]] DbfFile& Dbf() { return dbf_; }
    [[nodiscard]] const DbfFile& Dbf() const { return dbf_; }
    [[nodiscard]] bool Exclusive() const { return mode_ == XB_EXCLUSIVE; }
    [[nodiscard]] bool ReadOnly() const { return mode_ == XB_READONLY; }
    [[nodiscard]] int Driver() const { return driver_; }

    // Navigation in the current order under scope, filter and deleted.
    void GoTop();
    void GoBottom();
    void Skip(int count);
    void Go(std::int32_t recno);
    [[nodiscard]] bool Eof() const { return eof_; }
    [[nodiscard]] bool Bof() const { return bof_; }
    [[nodiscard]] std::uint32_t RecNo() const { return recno_; }
    [[nodiscard]] std::uint32_t RecCount();
    [[nodiscard]] std::uint32_t CountVisible();
    [[nodiscard]] std::uint32_t OrderRecNo();

    // Record buffer.
    [[nodiscard]] const std::string& Record() const { return rec_; }
    std::string& MutableRecord() { return rec_; }
    void PutRecord(const std::string& buf);
    void MarkChanged() { dirty_ = true; }
    int Append();
    void SetDeleted(bool deleted);
    void Commit();
    // Drops the changes no commit has written (see xb_Discard).
    void Discard();
    bool Lock(std::uint32_t recno);
    void Unlock(std::uint32_t recno);

    // Fields.
    [[nodiscard]] int FieldIndex(const std::string& name) const; // -1 when none
    [[nodiscard]] const FieldDesc& FieldAt(int index) const { return dbf_.Fields()[index]; }
    [[nodiscard]] const FieldDesc& FieldByName(const char* name) const; // throws
    [[nodiscard]] std::string FieldBytes(const FieldDesc& f) const {
        return rec_.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width));
    }
    // Stores a field's bytes (padded or cut to its width); a value stored is
    // no longer null.
    void SetFieldBytes(const FieldDesc& f, const std::string& value);
    // Stores a varchar or varbinary value, cut to the field's width.
    void SetVarValue(const FieldDesc& f, const std::string& value);
    // The field's value bytes in a record buffer (see DbfFile::Value).
    [[nodiscard]] std::string_view FieldValue(const FieldDesc& f, const std::string& record) const {
        return dbf_.Value(f, record);
    }
    [[nodiscard]] bool IsNull(const FieldDesc& f, const std::string& record) const {
        return dbf_.IsNull(f, record);
    }
    // Memo of a field in a given record buffer.
    void ReadMemo(const FieldDesc& f, const std::string& record, std::uint32_t& type,
                  std::string& data);
    void WriteMemo(const FieldDesc& f, std::uint32_t type, const std::string& data);
    [[nodiscard]] std::uint32_t MemoBlock(const FieldDesc& f, const std::string& record) const;

    // Indexes.
    int IndexOpen(const std::string& file);
    int IndexTag(const std::string& file, const std::string& tag, const std::string& expr,
                 bool unique, bool descending, const std::string& cond);
    int SetOrder(int order);
    [[nodiscard]] int Order() const { return order_; }
    [[nodiscard]] int OrderCount() const { return indexes_ ? indexes_->Count() : 0; }
    [[nodiscard]] OrderInfo Info(int order) const { return indexes_->Info(order); }
    [[nodiscard]] int TagOrder(const std::string& tag) const;
    [[nodiscard]] std::string CurrentKey();
    bool Seek(const std::string& key);
    void SetScope(const char* low, const char* high);

    // Filters and expressions.
    void SetFilter(const std::string& text);
    [[nodiscard]] const std::string& FilterText() const { return filterText_; }
    [[nodiscard]] EvalResult Evaluate(const std::string& text);

    void Pack();
    void Zap();
    void SetTurbo(bool on) { turbo_ = on; }
    // What the next steps read comes from the files again: rows another
    // program changed in place without telling anyone show.
    void Reread();
    [[nodiscard]] bool MayHaveVanished() const;

private:
    class HeaderLock;
    void RequireOrder() const;
    [[nodiscard]] std::string IndexPath(const std::string& file) const;
    // Shared opens keep the pages read under the header lock for as long as
    // the table's stamp stays the same: Revalidate (in the outermost header
    // lock) compares it and drops what another user may have changed.
    // Refresh re-reads the count; read without the lock, the record pages
    // kept are not trusted afterwards.
    void Revalidate();
    // Runs a step that only reads through the index and the records: first
    // without the header lock from the pages kept, when the stamp still
    // matches them, and accepted when the stamp has not moved by its end (a
    // writer raises it before touching anything); else, from the state
    // before, under the lock.
    // Runs step on the pages kept, as they were when the stamp was seen:
    // true when it ran and no change started meanwhile.
    template <class F> bool UnderStamp(const DbfFile::Stamp& seen, F&& step);
    template <class F> void ReadIndexed(F&& step);
    void Refresh();
    void ForgetRecords();
    void ForgetPages();
    // A change of a shared table: raises the change counter first, so other
    // users drop their pages, and keeps this area's pages in step.
    template <class F> void Change(F&& write);
    // fresh: from the file, not from the pages kept.
    void Load(std::uint32_t recno, bool fresh = false);
    void SetEof();
    bool Visible(const std::string& record, std::uint32_t recno);
    bool InScope(const std::string& key) const;
    bool VisibleAt(std::uint32_t recno);
    void StepNatural(int dir);
    void StepOrdered(int dir, std::optional<IndexPos> start);
    void SettleForward(std::optional<IndexPos> p);
    void SettleBackward(std::optional<IndexPos> p);
    // The first and last entries of the current order's walk within the
    // scope, each found by one seek to the scope's bound (or the tag's end).
    [[nodiscard]] std::optional<IndexPos> TopPos();
    [[nodiscard]] std::optional<IndexPos> BottomPos();
    // Whether the key lies past the scope's end for a walk up or down the
    // tag's entries (so does every entry after it).
    [[nodiscard]] bool BeyondScope(const std::string& key, bool up) const;
    // A scope found to hold no visible row, with the stamp of the pages that
    // showed it: while the stamp, the order, the scope and what hides rows
    // stay as they were, it holds none still and no seek is needed to say so.
    [[nodiscard]] bool KnownEmpty() const;
    void NoteEmpty();
    [[nodiscard]] std::optional<IndexPos> CurrentPos();
    // The index entry that led a step to the current record. Walks go on
    // from it, not from a key made again from the record, which a table
    // edited without its index may no longer match.
    void Landed(IndexPos&& at);
    void CommitNew();
    void CommitExisting();
    // Writes the record over old, moving its entries (see RepairRecord).
    void WriteChanged(const std::string& old);
    void TakeBack(std::uint32_t recno, const std::vector<std::optional<std::string>>& keys,
                  int done, const std::vector<std::pair<int, std::uint32_t>>& displaced);
    // Adds the record's entry; in a unique order a live record takes the
    // key from a deleted one (whose number is returned).
    std::optional<std::uint32_t> InsertKey(int order, const std::string& key, std::uint32_t recno,
                                           bool live);
    // Marks the table while a record's keys change (0: any record's), after
    // repairing what a killed writer left under the mark.
    void BeginIndexChange(std::uint32_t recno);
    void EndIndexChange();
    void EndChangeQuietly();
    void WidenChangeQuietly();
    // The change writes more than the record's entries (a split): after a
    // stop every tree is built again.
    void WidenIndexChange();
    // Under the header's write lock: what the mark says a killed writer left.
    void RepairMarked();
    void RepairRecord(std::uint32_t recno);
    // At a writable open: tags a killed writer left without some of its
    // keys are put right before anything reads them.
    void RepairKilledChange();
    void RequireWritable() const;
    void RequireExclusive(const char* what) const;
    [[nodiscard]] int LockTimeoutMs() const;

    int number_;
    std::string alias_;
    int mode_ = XB_SHARED;
    int driver_ = XB_DRIVER_FOX;
    DbfFile dbf_;
    MemoFile memo_;
    std::unique_ptr<IndexSet> indexes_;
    int order_ = 0;

    std::string rec_;                            // current buffer
    std::string disk_;                           // the current record as last read or written
    std::string scratch_, savedRec_, savedDisk_; // buffers kept for reading steps
    std::optional<IndexPos> landed_;             // see Landed
    int landedOrder_ = 0;
    std::uint32_t recno_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    bool dirty_ = false;
    bool pendingAppend_ = false;
    std::set<std::uint32_t> locks_;
    int headerLockDepth_ = 0;
    bool changeOpen_ = false;        // this area has set the index mark
    std::uint32_t changeRecord_ = 0; // the record the mark names (0: any)
    bool validated_ = false;         // the pages kept are trusted for this step
    bool turbo_ = false;
    // The stamp the pages kept agree with (none: not trusted).
    std::optional<DbfFile::Stamp> indexStamp_, recordStamp_;

    std::string filterText_;
    std::unique_ptr<CompiledExpr> filter_;
    std::uint64_t filterGeneration_ = 0; // raised whenever the filter changes
    struct EmptyScope {
        DbfFile::Stamp stamp;
        int order = 0;
        std::optional<std::string> low, high;
        std::uint64_t filter = 0;
        bool deleted = false;
    };
    std::optional<EmptyScope> emptyScope_;
    std::optional<std::string> scopeLow_, scopeHigh_;
    bool hasScope_ = false;
};

} // namespace xbase
