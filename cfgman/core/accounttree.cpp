#include "cfgman/core/accounttree.h"

#include "cfgman/core/cfgtables.h"
#include "cfgman/core/rowlocks.h"
#include "data/schema.h"
#include "platform/win/datetime.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cfgman {

namespace {

std::string Text(data::TTable& t, const char* field) {
    return t.FieldByName(field).AsString();
}

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string KeyOf(data::TTable& t) {
    return Trimmed(Text(t, "UNIQUE_ID"));
}

// Fast reading for the length of a tree walk, off again also after a failure.
class TurboRead {
public:
    explicit TurboRead(TCfgTables& t) : t_(t) {
        t_.XbGroups.SetTurboRead(true);
        t_.XbNodes.SetTurboRead(true);
    }
    ~TurboRead() {
        t_.XbGroups.SetTurboRead(false);
        t_.XbNodes.SetTurboRead(false);
    }
    TurboRead(const TurboRead&) = delete;
    TurboRead& operator=(const TurboRead&) = delete;

private:
    TCfgTables& t_;
};

} // namespace

TTreeItem BuildAccountTree(TCfgTables& t) {
    for (data::TTable* view : {&t.TableGroups, &t.TableNodes, &t.TableGroups2, &t.TableNodes2})
        view->Refresh();
    TurboRead turbo(t);
    TTreeItem root{nkRoot, kRootText, 0, {}, {}};
    t.TableOrgs.First();
    t.TableGroups.First();
    while (!t.TableGroups.Eof()) {
        TTreeItem group{
            nkGroup, Text(t.TableGroups, "GROUP"), t.TableGroups.RecNo(), {}, KeyOf(t.TableGroups)};
        // The details restart at the first row of their new range.
        t.TableNodes.First();
        while (!t.TableNodes.Eof()) {
            TTreeItem account{nkAccount,
                              Text(t.TableNodes, "NODE"),
                              t.TableNodes.RecNo(),
                              {},
                              KeyOf(t.TableNodes)};
            t.TableAgents.First();
            while (!t.TableAgents.Eof()) {
                account.Children.push_back({nkAgent,
                                            Text(t.TableAgents, "AGENT"),
                                            t.TableAgents.RecNo(),
                                            {},
                                            KeyOf(t.TableAgents)});
                t.TableAgents.Next();
            }
            group.Children.push_back(std::move(account));
            t.TableNodes.Next();
        }
        root.Children.push_back(std::move(group));
        t.TableGroups.Next();
    }
    return root;
}

std::vector<TGroupChoice> WizardGroups(TCfgTables& t) {
    std::vector<TGroupChoice> groups;
    t.TableGroups.First();
    while (!t.TableGroups.Eof()) {
        groups.push_back({Text(t.TableGroups, "GROUP"), Text(t.TableGroups, "UNIQUE_ID")});
        t.TableGroups.Next();
    }
    return groups;
}

std::string CreateGroup(TCfgTables& t, const std::string& name) {
    const std::string folder = t.TableGroups.DatabaseName();
    // The key is the moment and two letters of the name; a key taken by a
    // group made within the same second waits for the next one.
    std::string id = data::UniqueId(win::Now(), name, data::kGroupSuffix);
    for (int tries = 0; KeyExists(folder, "GROUPS.DBF", "UNIQUE_ID", id); ++tries) {
        if (tries >= 20)
            throw data::EDatabaseError("No free group key for " + id);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        id = data::UniqueId(win::Now(), name, data::kGroupSuffix);
    }
    const std::string org = Text(t.TableOrgs, "UNIQUE_ID");
    t.TableGroups.Insert();
    try {
        t.TableGroups.FieldByName("UNIQUE_ID").SetAsString(id);
        t.TableGroups.FieldByName("LINK_ID").SetAsString(org);
        t.TableGroups.FieldByName("CREATEON").SetAsDateTime(win::Now());
        t.TableGroups.FieldByName("GROUP").SetAsString(name);
        t.TableGroups.FieldByName("NOTES").SetAsString(name);
        t.TableGroups.Post();
    } catch (...) {
        t.TableGroups.Cancel();
        throw;
    }
    return id;
}

namespace {

std::string Rename(data::TTable& view, data::TXbTable& partner, const char* field,
                   std::int32_t recNo, const std::string& newText) {
    partner.Go(recNo);
    if (view.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    view.Edit();
    try {
        view.FieldByName(field).SetAsString(newText);
        view.Post();
    } catch (...) {
        view.Cancel();
        throw;
    }
    return newText;
}

} // namespace

std::string RenameGroup(TCfgTables& t, std::int32_t recNo, const std::string& oldText,
                        const std::string& newText) {
    Rename(t.TableGroups2, t.XbGroups2, "GROUP", recNo, newText);
    return "Group renamed from " + oldText + " to " + newText;
}

std::string RenameAccount(TCfgTables& t, std::int32_t recNo, const std::string& oldText,
                          const std::string& newText) {
    Rename(t.TableNodes2, t.XbNodes2, "NODE", recNo, newText);
    return "Node renamed from " + oldText + " to " + newText;
}

void DeleteAccount(TCfgTables& t, std::int32_t recNo) {
    t.XbNodes2.Go(recNo);
    if (t.TableNodes2.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    // A row another program holds refuses the deletion with the engine's text.
    t.TableNodes2.Delete();
}

TGroupDelete CheckGroupDelete(TCfgTables& t, std::int32_t recNo) {
    t.XbGroups.Go(recNo);
    if (t.XbGroups.Count() < 2)
        return TGroupDelete::LastGroup;
    t.TableNodes.First();
    return Text(t.TableNodes, "UNIQUE_ID").empty() ? TGroupDelete::Empty
                                                   : TGroupDelete::HasAccounts;
}

void DeleteGroup(TCfgTables& t, std::int32_t recNo) {
    t.XbGroups.Go(recNo);
    if (t.TableGroups.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    TRowLocks locks;
    locks.Take(t.XbGroups, recNo, "GROUPS.DBF");
    std::vector<std::int32_t> accounts;
    for (t.TableNodes.First(); !t.TableNodes.Eof(); t.TableNodes.Next()) {
        locks.Take(t.XbNodes, t.TableNodes.RecNo(), "nodes.dbf");
        accounts.push_back(t.TableNodes.RecNo());
    }
    // Account rows one by one from the first of the group's range.
    t.TableNodes.First();
    while (!t.TableNodes.IsEmpty())
        t.TableNodes.Delete();
    t.XbGroups.Go(recNo);
    t.TableGroups.Delete();
}

namespace {

// The record numbers of the live rows whose tag field is key, in tag order.
std::vector<std::int32_t> KeyRows(const std::string& folder, const std::string& tableFile,
                                  const std::string& tag, const std::string& key) {
    data::TTable table;
    data::TXbTable partner;
    data::TDataSource source;
    table.SetDatabaseName(folder);
    table.SetTableName(tableFile);
    table.SetTableType(data::TTableType::ttXBFOX);
    table.SetIndexName(tag);
    source.SetDataSet(&table);
    partner.SetDataSource(&source);
    table.Open();
    std::vector<std::int32_t> rows;
    if (partner.Seek(key))
        for (; !table.Eof() && Trimmed(Text(table, tag.c_str())) == key; table.Next())
            rows.push_back(table.RecNo());
    table.Close();
    return rows;
}

} // namespace

bool KeyExists(const std::string& folder, const std::string& tableFile, const std::string& tag,
               const std::string& key) {
    return !KeyRows(folder, tableFile, tag, key).empty();
}

std::int32_t LocateRow(data::TTable& view, data::TXbTable& partner, std::int32_t recNo,
                       const std::string& key) {
    std::int32_t row = recNo;
    if (!key.empty()) {
        const std::vector<std::int32_t> rows =
            KeyRows(view.DatabaseName(), view.TableName(), "UNIQUE_ID", key);
        if (rows.empty())
            return 0;
        if (std::find(rows.begin(), rows.end(), recNo) == rows.end())
            row = rows.front();
    }
    partner.Go(row);
    if (view.RecNo() != row)
        return 0;
    return row;
}

std::vector<std::vector<std::string>> ReadRows(data::TTable& table, data::TXbTable& partner,
                                               const std::vector<std::string>& fields) {
    std::vector<std::vector<std::string>> rows;
    if (!table.Active())
        return rows;
    const std::int32_t keep = table.RecNo();
    for (table.First(); !table.Eof(); table.Next()) {
        std::vector<std::string> row;
        for (const std::string& f : fields)
            row.push_back(table.FieldByName(f).AsString());
        rows.push_back(std::move(row));
    }
    if (keep != 0)
        partner.Go(keep);
    return rows;
}

} // namespace cfgman
