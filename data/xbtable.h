#pragma once
// TXbTable adds to a data set the xBase operations the data-set layer lacks
// (record numbers, seeks on the current tag, pack, zap, tags, engine
// properties), each run on the table's own work area and the previously
// current area selected again afterwards. TXbEnv holds the engine-wide
// settings of one program.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/dataset.h"

namespace data {

class TXbTable;

// An extra index entry without extension gets the type's single-index extension.
[[nodiscard]] std::string ExtraIndexFileName(TTableType type, const std::string& entry);

// Opens the filter and extra indexes of its table each time the table opens.
class TXbDataLink : public TDataLink {
public:
    explicit TXbDataLink(TXbTable& owner) : owner_(owner) {}

protected:
    void ActiveChanged() override;

private:
    TXbTable& owner_;
};

class TXbTable {
public:
    TXbTable();
    ~TXbTable();
    TXbTable(const TXbTable&) = delete;
    TXbTable& operator=(const TXbTable&) = delete;

    [[nodiscard]] TDataSource* DataSource() const { return link_->DataSource(); }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] const std::vector<std::string>& ExtraIndexes() const { return extraIndexes_; }
    void SetExtraIndexes(const std::vector<std::string>& files);
    [[nodiscard]] const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& expression);
    [[nodiscard]] bool TurboRead() const { return turboRead_; }
    void SetTurboRead(bool on);

    void Go(std::int32_t recNo);
    [[nodiscard]] std::int32_t RecNo();
    // False when the key is not on the current tag; the table is then at end of file.
    bool Seek(const std::string& key);
    void Delete();
    // Record locks of the table's own area, held until unlocked (0: all of
    // them); false when another program holds the record.
    bool Lock(std::int32_t recNo);
    void Unlock(std::int32_t recNo);
    [[nodiscard]] int Count();
    void Pack();
    void Zap();
    // Builds a tag (option 1: unique). The table keeps its own tag active
    // afterwards. 0 when the engine failed, with its text in LastEngineError.
    int IndexTag(const std::string& file, const std::string& tag, const std::string& expression,
                 int option, bool descending, const std::string& condition);
    [[nodiscard]] const std::string& LastEngineError() const { return engineError_; }
    int IndexOpen(const std::string& file);
    int SetOrder(int order);
    [[nodiscard]] std::string TagName(int order);
    [[nodiscard]] int IndexOrd();
    [[nodiscard]] int RecSize();
    int Query(const std::string& expression);
    std::int64_t SysProp(int property, std::int64_t value);

private:
    friend class TXbDataLink;
    // Binds the data set, selects its work area around op and selects the
    // area current before again. Without a data set: nothing runs.
    template <typename Op> auto Bracket(Op op) -> decltype(op(*static_cast<TTable*>(nullptr)));
    bool Bind();
    void OpenExtraIndexes();
    int OpenIndexFile(const std::string& file);
    void TableActiveChanged();
    // Index files named without a folder lie beside the table.
    [[nodiscard]] std::string IndexPath(const std::string& file) const;

    std::unique_ptr<TXbDataLink> link_;
    TTable* dataSet_ = nullptr;
    std::int16_t savedArea_ = 0;
    std::vector<std::string> extraIndexes_;
    std::string filter_;
    bool turboRead_ = false;
    std::string engineError_;
};

enum class TXbDateFrmt {
    dfAmerican,
    dfAnsi,
    dfBritish,
    dfFrench,
    dfGerman,
    dfItalian,
    dfSpanish,
    dfWinDefault
};

class TXbEnv;

// A second environment component: carries the one that exists.
class EXbEnvError : public EComponentError {
public:
    EXbEnvError(const std::string& message, TXbEnv& existing)
        : EComponentError(message), existing_(existing) {}
    [[nodiscard]] TXbEnv& Existing() const { return existing_; }

private:
    TXbEnv& existing_;
};

class TXbEnv {
public:
    // The program's one environment. A second Create raises EXbEnvError
    // "Removing extra TXbEnv component", handing back the existing one.
    static TXbEnv& Create();
    // Frees the environment when the last reference goes.
    static void Release();
    [[nodiscard]] static TXbEnv* Instance();

    [[nodiscard]] bool Exact() const { return exact_; }
    void SetExact(bool on);
    [[nodiscard]] bool Century() const { return century_; }
    void SetCentury(bool on);
    [[nodiscard]] int Epoch() const { return epoch_; }
    void SetEpoch(int year);
    [[nodiscard]] TXbDateFrmt DateFormat() const { return dateFormat_; }
    void SetDateFormat(TXbDateFrmt format);
    [[nodiscard]] int LockTimeout() const { return lockTimeout_; }
    void SetLockTimeout(int seconds);
    [[nodiscard]] int MemoBlockSize() const { return memoBlockSize_; }
    void SetMemoBlockSize(int size);
    [[nodiscard]] bool SoftSeek() const { return softSeek_; }
    void SetSoftSeek(bool on);
    [[nodiscard]] bool Deleted() const { return deleted_; }
    void SetDeleted(bool on);

private:
    TXbEnv();
    void ApplyCentury();

    bool exact_ = false;
    bool century_ = false;
    int epoch_ = 1900;
    TXbDateFrmt dateFormat_ = TXbDateFrmt::dfWinDefault;
    int lockTimeout_ = 1;
    int memoBlockSize_ = 64;
    bool softSeek_ = false;
    bool deleted_ = false;
};

// A program's hold on its environment, kept by the object that holds its
// tables: deleted rows are hidden from the first table access on. It makes
// the environment when the program has none (and frees it when it goes),
// else it sets the one there is.
class TXbEnvHold {
public:
    TXbEnvHold();
    ~TXbEnvHold();
    TXbEnvHold(const TXbEnvHold&) = delete;
    TXbEnvHold& operator=(const TXbEnvHold&) = delete;

private:
    bool owns_ = false;
};

} // namespace data
