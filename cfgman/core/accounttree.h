#pragma once
// The account tree's content without its window: the first organisation's
// groups, each group's accounts and each account's attached agents, built
// from the walk tables; and the group and account changes made from the tree.
#include <cstdint>
#include <string>
#include <vector>

namespace data {
class TTable;
class TXbTable;
} // namespace data

namespace cfgman {

class TCfgTables;

// The image index tells a node's kind.
enum TNodeKind : int { nkAgent = 2, nkRoot = 5, nkAccount = 6, nkGroup = 7 };

struct TTreeItem {
    int Image = nkRoot;
    std::string Text;
    std::int32_t RecNo = 0; // the row's record number; 0 for the root
    std::vector<TTreeItem> Children;
    // The row's UNIQUE_ID: record numbers change when the tables are packed.
    std::string Key;
};

inline constexpr const char* kRootText = "E-Mail Accounts";

// Refreshes the walk and selection views and walks them (fast reading on
// for groups and accounts meanwhile). Only the first organisation counts.
[[nodiscard]] TTreeItem BuildAccountTree(TCfgTables& t);

// The group rows of the first organisation in LINK_ID order: caption and key.
struct TGroupChoice {
    std::string Group, UniqueId;
};
[[nodiscard]] std::vector<TGroupChoice> WizardGroups(TCfgTables& t);

// A new group row of the current organisation; returns its UNIQUE_ID, which
// is never one a row already has.
std::string CreateGroup(TCfgTables& t, const std::string& name);

// Renames the row at recNo; returns the log text.
std::string RenameGroup(TCfgTables& t, std::int32_t recNo, const std::string& oldText,
                        const std::string& newText);
std::string RenameAccount(TCfgTables& t, std::int32_t recNo, const std::string& oldText,
                          const std::string& newText);

// The account row only; its restrictions, agents, messages and folders stay.
void DeleteAccount(TCfgTables& t, std::int32_t recNo);

enum class TGroupDelete { LastGroup, HasAccounts, Empty };
// What deleting the group at recNo would meet; leaves TableGroups on the group.
[[nodiscard]] TGroupDelete CheckGroupDelete(TCfgTables& t, std::int32_t recNo);
// Deletes the group's account rows, then the group row. Every row is locked
// first, so a row another program holds refuses the whole deletion
// (EDatabaseError) and nothing is deleted.
void DeleteGroup(TCfgTables& t, std::int32_t recNo);

// True when a row of the table file in the folder holds key on its tag.
[[nodiscard]] bool KeyExists(const std::string& folder, const std::string& tableFile,
                             const std::string& tag, const std::string& key);

// Puts the view (a table without master) on the row whose UNIQUE_ID is
// key and returns its record number: recNo when that row still holds the
// key, else the row that does. 0, the view left where it was, when no row
// holds the key any more. A row without a key is taken at recNo.
std::int32_t LocateRow(data::TTable& view, data::TXbTable& partner, std::int32_t recNo,
                       const std::string& key);

// The rows of the table's current range as text, fields in the order given;
// the table goes back to its row through its partner.
[[nodiscard]] std::vector<std::vector<std::string>>
ReadRows(data::TTable& table, data::TXbTable& partner, const std::vector<std::string>& fields);

} // namespace cfgman
