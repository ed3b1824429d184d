#pragma once
// The received rows of one account that hold one key, found the same way by
// the retriever (is this message received?) and the processor (is its row
// written?).
//
// The MESSAGE_ID tag is unique: it keeps one entry per key, the first row
// written. The rows of other accounts, of other messages under the same key
// and deleted rows share that entry, so a seek alone cannot find every row
// of an account. A seek decides where it can: when the row it lands on is
// the account's own and the one asked for, or when no row, live or deleted,
// holds the key. Otherwise the account's rows are read once by their
// LINK_ID tag and kept until Forget.
#include "data/dataset.h"
#include "data/xbtable.h"
#include "processor/store.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quelta {

struct TReceivedRow {
    std::string key;  // MESSAGE_ID as stored
    std::string file; // FILENAME
    TMessageIdentity identity;
};

class TReceivedRows {
public:
    TReceivedRows() = default;
    TReceivedRows(const TReceivedRows&) = delete;
    TReceivedRows& operator=(const TReceivedRows&) = delete;

    // The tables open at the first look-up.
    void SetDatabaseFolder(const std::string& folder);
    void Close();
    // Rows other programs wrote or deleted since count from now on.
    void Forget();

    // The account's rows of a stored key: the row the seek found when
    // wanted takes it, else every one the account has.
    [[nodiscard]] std::vector<TReceivedRow>
    Find(const std::string& storedKey, const std::string& account,
         const std::function<bool(const TReceivedRow&)>& wanted);
    // The account's rows that name a file: which message a filed file
    // held when it arrived. FILENAME keeps the first 30 characters of a
    // name, so a longer name is the row's when the row's key is the key of
    // the message the file holds (fileKey, whole).
    [[nodiscard]] std::vector<TReceivedRow>
    Naming(const std::string& account, const std::string& file, const std::string& fileKey);
    // A row this program appended, for the walks kept.
    void Added(const std::string& account, const TReceivedRow& row);
    // How many times an account's rows were read: the cost beyond a seek.
    [[nodiscard]] int Walks() const { return walks_; }

private:
    void Open();
    static TReceivedRow Current(data::TTable& table);
    // The account's rows by stored key, read once.
    std::multimap<std::string, TReceivedRow>& Walked(const std::string& account);

    std::string folder_;
    data::TXbEnvHold env_; // deleted rows stay hidden but where a seek looks for them
    data::TTable byKey_, byAccount_;
    data::TDataSource byKeySource_, byAccountSource_;
    data::TXbTable byKeyXb_, byAccountXb_;
    // Account -> its rows by stored key, for the accounts walked.
    std::map<std::string, std::multimap<std::string, TReceivedRow>> walked_;
    int walks_ = 0;
    std::size_t fileWidth_ = 0;
};

} // namespace quelta
