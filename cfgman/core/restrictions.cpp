#include "cfgman/core/restrictions.h"
#include "cfgman/core/text.h"

#include "cfgman/core/cfgtables.h"
#include "data/schema.h"
#include "mail/exception.h"
#include "platform/win/datetime.h"

#include <cctype>

namespace cfgman {

namespace {

bool WholeNumber(const std::string& text) {
    const std::string s = Trim(text);
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string Flag(bool on) {
    return on ? "Y" : "N";
}

void PositionRule(TCfgTables& t, std::int32_t recNo) {
    t.XbRules.Go(recNo);
    if (t.TableRules.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
}

void Store(data::TTable& rules, const TRuleRow& row) {
    rules.FieldByName("RULE").SetAsString(row.Rule);
    rules.FieldByName("COND").SetAsString(row.Cond);
    rules.FieldByName("CONDVAL1").SetAsString(row.CondVal1);
    rules.FieldByName("CONDVAL2").SetAsString(row.CondVal2);
    rules.FieldByName("ACT1").SetAsString(row.Act1);
    rules.FieldByName("ACT2").SetAsString(row.Act2);
}

} // namespace

const std::vector<std::string>& ConditionTexts() {
    static const std::vector<std::string> texts = {"If header field contains",
                                                   "If header field is longer than ",
                                                   "If size is greater than", "All messages"};
    return texts;
}

TRuleEdit DecodeRule(const TRuleRow& row) {
    TRuleEdit e;
    e.Name = row.Rule;
    e.Retrieve = row.Act1 == "Y";
    e.Remove = row.Act2 == "Y";
    const char cond =
        row.Cond.empty() ? ' ' : char(std::toupper(static_cast<unsigned char>(row.Cond[0])));
    switch (cond) {
    case 'C':
        e.Condition = rcContains;
        e.Field = row.CondVal1;
        e.Value = row.CondVal2;
        break;
    case 'L':
        e.Condition = rcLonger;
        e.SField = row.CondVal1;
        e.SValue = row.CondVal2;
        break;
    case 'G': {
        e.Condition = rcSize;
        const std::string v = Trim(row.CondVal2);
        e.Number = v.size() > 3 ? v.substr(0, v.size() - 3) : std::string();
        break;
    }
    case 'A':
        e.Condition = rcAll;
        break;
    default:
        e.Condition = rcNone;
        break;
    }
    return e;
}

TRuleRow EncodeRule(const TRuleEdit& e, const TRuleRow* stored) {
    TRuleRow row;
    row.Rule = e.Name.substr(0, kRuleNameWidth);
    row.Act1 = Flag(e.Retrieve);
    row.Act2 = Flag(e.Remove);
    switch (e.Condition) {
    case rcContains:
        row.Cond = "C";
        row.CondVal1 = e.Field;
        row.CondVal2 = e.Value;
        break;
    case rcLonger:
        row.Cond = "L";
        row.CondVal1 = e.SField;
        row.CondVal2 = Trim(e.SValue);
        break;
    case rcSize:
        row.Cond = "G";
        row.CondVal2 = Trim(e.Number) + "000";
        break;
    case rcAll:
        // "All messages" is stored as such; the values it does not use stay.
        row.Cond = "A";
        if (stored) {
            row.CondVal1 = stored->CondVal1;
            row.CondVal2 = stored->CondVal2;
        }
        break;
    default:
        if (stored) {
            row.Cond = stored->Cond;
            row.CondVal1 = stored->CondVal1;
            row.CondVal2 = stored->CondVal2;
        }
        break;
    }
    return row;
}

std::optional<std::string> CheckRule(const TRuleEdit& e) {
    if (Trim(e.Name).empty())
        return "The restriction needs a name.";
    if (e.Condition == rcLonger && !WholeNumber(e.SValue))
        return "'" + e.SValue + "' is not a whole number of characters.";
    if (e.Condition == rcSize && !WholeNumber(e.Number))
        return "'" + e.Number + "' is not a whole number of kilobytes.";
    return std::nullopt;
}

std::vector<TRowItem> AccountRules(TCfgTables& t, std::int32_t accountRecNo) {
    t.XbNodes2.Go(accountRecNo);
    std::vector<TRowItem> items;
    for (t.TableRules.First(); !t.TableRules.Eof(); t.TableRules.Next())
        items.push_back({t.TableRules.FieldByName("RULE").AsString(), t.TableRules.RecNo(),
                         t.TableRules.FieldByName("UNIQUE_ID").AsString()});
    return items;
}

TRuleRow ReadRule(TCfgTables& t, std::int32_t recNo) {
    PositionRule(t, recNo);
    auto f = [&](const char* name) { return Trim(t.TableRules.FieldByName(name).AsString()); };
    return {f("RULE"), f("COND"), f("CONDVAL1"), f("CONDVAL2"), f("ACT1"), f("ACT2")};
}

std::string AddRule(TCfgTables& t, std::int32_t accountRecNo, const TRuleEdit& edit) {
    if (auto problem = CheckRule(edit))
        throw EConvertError(*problem);
    t.XbNodes2.Go(accountRecNo);
    const std::string account = t.TableNodes2.FieldByName("UNIQUE_ID").AsString();
    const TRuleRow row = EncodeRule(edit, nullptr);
    const std::string id = data::UniqueId(win::Now(), row.Rule, data::kRuleSuffix);
    data::TTable& rules = t.TableRules;
    rules.Insert();
    try {
        rules.FieldByName("UNIQUE_ID").SetAsString(id);
        rules.FieldByName("LINK_ID").SetAsString(account);
        Store(rules, row);
        rules.Post();
    } catch (...) {
        rules.Cancel();
        throw;
    }
    return id;
}

void UpdateRule(TCfgTables& t, std::int32_t recNo, const TRuleEdit& edit) {
    if (auto problem = CheckRule(edit))
        throw EConvertError(*problem);
    const TRuleRow stored = ReadRule(t, recNo);
    const TRuleRow row = EncodeRule(edit, &stored);
    t.TableRules.Edit();
    try {
        Store(t.TableRules, row);
        t.TableRules.Post();
    } catch (...) {
        t.TableRules.Cancel();
        throw;
    }
}

void DeleteRule(TCfgTables& t, std::int32_t recNo) {
    PositionRule(t, recNo);
    t.TableRules.Delete();
}

} // namespace cfgman
