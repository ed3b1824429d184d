#include "processor/receivedrows.h"

#include "data/schema.h"
#include "platform/win/paths.h"

namespace quelta {

namespace {

std::string Trimmed(data::TTable& table, const char* field) {
    std::string value = table.FieldByName(field).AsString();
    while (!value.empty() && (value.back() == ' ' || value.back() == '\0'))
        value.pop_back();
    return value;
}

// The engine's deleted setting off for a while, then as it was.
class TDeletedShown {
public:
    TDeletedShown() : env_(data::TXbEnv::Instance()), was_(env_ && env_->Deleted()) {
        if (env_)
            env_->SetDeleted(false);
    }
    ~TDeletedShown() {
        if (env_)
            env_->SetDeleted(was_);
    }
    TDeletedShown(const TDeletedShown&) = delete;
    TDeletedShown& operator=(const TDeletedShown&) = delete;

private:
    data::TXbEnv* env_;
    bool was_;
};

} // namespace

void TReceivedRows::SetDatabaseFolder(const std::string& folder) {
    Close();
    folder_ = folder;
}

void TReceivedRows::Close() {
    for (data::TTable* t : {&byKey_, &byAccount_})
        if (t->Active())
            t->Close();
    walked_.clear();
}

void TReceivedRows::Forget() {
    walked_.clear();
}

void TReceivedRows::Open() {
    const struct {
        data::TTable& table;
        data::TDataSource& source;
        data::TXbTable& xb;
        const char* tag;
    } views[] = {{byKey_, byKeySource_, byKeyXb_, "MESSAGE_ID"},
                 {byAccount_, byAccountSource_, byAccountXb_, "LINK_ID"}};
    for (const auto& v : views) {
        if (v.table.Active())
            continue;
        v.table.SetDatabaseName(win::ResolvePath(folder_));
        v.table.SetTableName("received.dbf");
        v.table.SetTableType(data::TTableType::ttXBFOX);
        v.table.SetIndexName(v.tag);
        v.table.SetReadOnly(true);
        v.table.Open();
        v.source.SetDataSet(&v.table);
        v.xb.SetDataSource(&v.source);
    }
    fileWidth_ = static_cast<std::size_t>(byKey_.FieldByName("FILENAME").Size());
}

TReceivedRow TReceivedRows::Current(data::TTable& table) {
    return {Trimmed(table, "MESSAGE_ID"),
            Trimmed(table, "FILENAME"),
            {Trimmed(table, "LASTUSER"), Trimmed(table, "STATUS")}};
}

std::vector<TReceivedRow>
TReceivedRows::Find(const std::string& storedKey, const std::string& account,
                    const std::function<bool(const TReceivedRow&)>& wanted) {
    std::string key = storedKey;
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    if (key.empty())
        return {};
    Open();
    if (byKeyXb_.Seek(key) && Trimmed(byKey_, "MESSAGE_ID") == key) {
        if (Trimmed(byKey_, "LINK_ID") == account) {
            const TReceivedRow row = Current(byKey_);
            if (wanted(row))
                return {row};
        }
    } else {
        // No live row holds the tag's entry: a deleted one may, in front of live rows.
        TDeletedShown shown;
        if (!byKeyXb_.Seek(key) || Trimmed(byKey_, "MESSAGE_ID") != key)
            return {};
    }
    std::vector<TReceivedRow> rows;
    const auto [from, to] = Walked(account).equal_range(key);
    for (auto it = from; it != to; ++it)
        rows.push_back(it->second);
    return rows;
}

std::multimap<std::string, TReceivedRow>& TReceivedRows::Walked(const std::string& account) {
    auto walk = walked_.find(account);
    if (walk != walked_.end())
        return walk->second;
    Open();
    ++walks_;
    walk = walked_.emplace(account, std::multimap<std::string, TReceivedRow>()).first;
    if (byAccountXb_.Seek(account)) {
        for (; !byAccount_.Eof() && Trimmed(byAccount_, "LINK_ID") == account; byAccount_.Next()) {
            TReceivedRow row = Current(byAccount_);
            walk->second.emplace(row.key, std::move(row));
        }
    }
    return walk->second;
}

std::vector<TReceivedRow> TReceivedRows::Naming(const std::string& account, const std::string& file,
                                                const std::string& fileKey) {
    std::vector<TReceivedRow> rows;
    const auto& walked = Walked(account);
    const std::string held = file.substr(0, fileWidth_);
    const std::string key = data::StoredMessageKey(fileKey);
    for (const auto& [rowKey, row] : walked)
        if (row.file == held && (file.size() <= fileWidth_ || rowKey == key))
            rows.push_back(row);
    return rows;
}

void TReceivedRows::Added(const std::string& account, const TReceivedRow& row) {
    if (const auto walk = walked_.find(account); walk != walked_.end())
        walk->second.emplace(row.key, row);
}

} // namespace quelta
