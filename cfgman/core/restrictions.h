#pragma once
// Retrieval restrictions as rules.dbf holds them and as the restriction
// wizard and properties dialog edit them.
//
//   condition                          COND  CONDVAL1        CONDVAL2
//   0 "If header field contains"       C     the field       the value
//   1 "If header field is longer than" L     the field       characters (whole number)
//   2 "If size is greater than"        G     blank           kilobytes + "000"
//   3 "All messages"                   A     blank when added, kept when edited
#include "cfgman/core/rowitem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cfgman {

class TCfgTables;

enum TRuleCondition : int { rcNone = -1, rcContains = 0, rcLonger = 1, rcSize = 2, rcAll = 3 };

// The condition list's entries, in order.
[[nodiscard]] const std::vector<std::string>& ConditionTexts();

inline constexpr std::size_t kRuleNameWidth = 49;

struct TRuleRow {
    std::string Rule, Cond, CondVal1, CondVal2, Act1, Act2;
};

// What the dialogs show; each condition has its own boxes.
struct TRuleEdit {
    std::string Name;
    int Condition = rcContains;
    std::string Field = "From", Value;          // contains
    std::string SField = "Select a field:";     // longer than
    std::string SValue = "100", Number = "100"; // characters, kilobytes
    bool Retrieve = true, Remove = true;
};

[[nodiscard]] TRuleEdit DecodeRule(const TRuleRow& row);
// The row for the edit; stored is the row being edited (nullptr for a new
// one), whose CONDVAL1 and CONDVAL2 an "All messages" condition keeps.
[[nodiscard]] TRuleRow EncodeRule(const TRuleEdit& edit, const TRuleRow* stored);
// Whole numbers for "L" and "G", a name; nothing when the edit can be stored.
[[nodiscard]] std::optional<std::string> CheckRule(const TRuleEdit& edit);

// The restrictions of the account at accountRecNo (the second accounts view).
[[nodiscard]] std::vector<TRowItem> AccountRules(TCfgTables& t, std::int32_t accountRecNo);
[[nodiscard]] TRuleRow ReadRule(TCfgTables& t, std::int32_t recNo);
// Checks, then inserts a row linked to the account; returns its UNIQUE_ID.
std::string AddRule(TCfgTables& t, std::int32_t accountRecNo, const TRuleEdit& edit);
void UpdateRule(TCfgTables& t, std::int32_t recNo, const TRuleEdit& edit);
void DeleteRule(TCfgTables& t, std::int32_t recNo);

} // namespace cfgman
