#include "cfgman/core/accounts.h"

#include "cfgman/core/cfgtables.h"
#include "cfgman/core/schedule.h"
#include "cfgman/core/text.h"
#include "data/schema.h"
#include "mail/exception.h"
#include "platform/win/datetime.h"

namespace cfgman {

namespace {

// minutes null: the interval is not written, so it is not checked either.
std::optional<std::string> ScheduleProblem(const std::string* minutes, const std::string& date,
                                           const std::string& time) {
    if (minutes && !ParseInterval(*minutes))
        return "'" + *minutes + "' is not a number of minutes from 0 to " +
               std::to_string(kMaxInterval);
    if (!ParseScheduleDate(date))
        return "'" + date + "' is not a valid date";
    if (!ParseScheduleTime(time))
        return "'" + time + "' is not a valid time";
    return std::nullopt;
}

void Put(data::TTable& t, const char* field, const std::string& value) {
    t.FieldByName(field).SetAsString(value);
}

// The fields both account windows write, from checked texts; minutes null
// leaves the interval as stored.
void PutAccount(data::TTable& n, const std::string& name, const std::string& smtp,
                const std::string& pop, const std::string& login, const std::string& password,
                const std::string& address, const std::string* minutes, win::TDateTime next,
                const std::string& time) {
    Put(n, "NODE", name);
    Put(n, "SMTPADDRES", smtp);
    Put(n, "POPADDRESS", pop);
    Put(n, "LOGIN", login);
    Put(n, "PASSWORD", password);
    Put(n, "ADDRESS", address);
    if (minutes)
        n.FieldByName("FREQVAL").SetAsInteger(*ParseInterval(*minutes));
    n.FieldByName("NEXTDATE").SetAsDateTime(next);
    Put(n, "NEXTTIME", time);
}

} // namespace

std::optional<TEntryProblem> CheckNewAccount(const TNewAccount& a) {
    if (a.Name.empty())
        return TEntryProblem{1, "The account needs a name."};
    if (a.GroupId.empty())
        return TEntryProblem{2, "Select the group the account belongs to."};
    if (auto p = ScheduleProblem(&a.Minutes, a.NextDate, a.NextTime))
        return TEntryProblem{6, *p};
    return std::nullopt;
}

std::string LoginFromAddress(const std::string& address, const std::string& login) {
    const auto at = address.find('@');
    return at == std::string::npos ? login : address.substr(0, at);
}

std::string AddAccount(TCfgTables& t, const TNewAccount& a, const std::string& id) {
    if (auto problem = CheckNewAccount(a))
        throw EConvertError(problem->Message);
    const std::string uid = id.substr(0, 20);
    const win::TDateTime next = *ParseScheduleDate(a.NextDate);
    const std::string time = TimeOfDay(*ParseScheduleTime(a.NextTime));
    data::TTable& nodes = t.TableNodes2;
    nodes.Append();
    try {
        Put(nodes, "UNIQUE_ID", uid);
        Put(nodes, "LINK_ID", a.GroupId);
        PutAccount(nodes, a.Name, a.Smtp, a.Pop, a.Login, a.Password, a.Email, &a.Minutes, next,
                   time);
        Put(nodes, "FREQTYPE", "H");
        nodes.FieldByName("LASTDATE").SetAsDateTime(next);
        Put(nodes, "LASTTIME", time);
        nodes.Post();
    } catch (...) {
        nodes.Cancel();
        throw;
    }
    data::TTable& rules = t.TableRules;
    rules.Insert();
    try {
        Put(rules, "UNIQUE_ID", data::UniqueId(win::Now(), uid, data::kRuleSuffix));
        Put(rules, "LINK_ID", uid);
        Put(rules, "RULE", "Control Restriction");
        Put(rules, "COND", "A");
        Put(rules, "ACT1", a.Retrieve ? "Y" : "N");
        Put(rules, "ACT2", a.Delete ? "Y" : "N");
        rules.Post();
    } catch (...) {
        rules.Cancel();
        throw;
    }
    return uid;
}

TAccountFields ReadAccount(TCfgTables& t, std::int32_t recNo) {
    t.XbNodes2.Go(recNo);
    data::TTable& n = t.TableNodes2;
    if (n.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    TAccountFields f;
    f.Name = n.FieldByName("NODE").AsString();
    f.Notes = n.FieldByName("NOTES").AsString();
    f.Address = n.FieldByName("ADDRESS").AsString();
    f.Login = n.FieldByName("LOGIN").AsString();
    f.Password = n.FieldByName("PASSWORD").AsString();
    f.Pop = n.FieldByName("POPADDRESS").AsString();
    f.Smtp = n.FieldByName("SMTPADDRES").AsString();
    f.Minutes = n.FieldByName("FREQVAL").IsNull()
                    ? std::string("0")
                    : std::to_string(n.FieldByName("FREQVAL").AsInteger());
    // A blank date shows today.
    f.NextDate = ScheduleDateText(
        n.FieldByName("NEXTDATE").IsNull() ? win::Now() : n.FieldByName("NEXTDATE").AsDateTime());
    const std::string time = n.FieldByName("NEXTTIME").AsString();
    if (!time.empty()) {
        const auto minutes = ParseScheduleTime(time);
        if (!minutes)
            throw EConvertError("'" + time + "' is not a valid time");
        win::TDateTime at = 0;
        win::TryEncodeTime(*minutes / 60, *minutes % 60, 0, 0, at);
        f.NextTime = ScheduleTimeText(at);
    }
    return f;
}

std::optional<std::string> CheckAccountFields(const TAccountFields& f) {
    return ScheduleProblem(f.KeepInterval ? nullptr : &f.Minutes, f.NextDate, f.NextTime);
}

void WriteAccount(TCfgTables& t, std::int32_t recNo, const TAccountFields& f) {
    if (auto problem = CheckAccountFields(f))
        throw EConvertError(*problem);
    t.XbNodes2.Go(recNo);
    data::TTable& n = t.TableNodes2;
    if (n.RecNo() != recNo)
        throw data::EDatabaseError("Failed to position record, please re-index.");
    n.Edit();
    try {
        PutAccount(n, f.Name, f.Smtp, f.Pop, f.Login, f.Password, f.Address,
                   f.KeepInterval ? nullptr : &f.Minutes, *ParseScheduleDate(f.NextDate),
                   TimeOfDay(*ParseScheduleTime(f.NextTime)));
        Put(n, "NOTES", f.Notes);
        n.Post();
    } catch (...) {
        n.Cancel();
        throw;
    }
    t.TableNodes.Refresh();
}

} // namespace cfgman

namespace cfgman {

std::vector<TRowItem> AttachedAgents(const std::string& dataBase, const std::string& accountId) {
    data::TTable agents;
    data::TXbTable partner;
    data::TDataSource source;
    agents.SetDatabaseName(dataBase);
    agents.SetTableName("Agents.dbf");
    agents.SetTableType(data::TTableType::ttXBFOX);
    agents.SetIndexName("LINK_ID");
    source.SetDataSet(&agents);
    partner.SetDataSource(&source);
    agents.Open();
    std::vector<TRowItem> items;
    if (!accountId.empty() && partner.Seek(accountId))
        for (; !agents.Eof() && Trim(agents.FieldByName("LINK_ID").AsString()) == Trim(accountId);
             agents.Next())
            items.push_back({agents.FieldByName("AGENT").AsString(), agents.RecNo(),
                             Trim(agents.FieldByName("UNIQUE_ID").AsString())});
    agents.Close();
    return items;
}

} // namespace cfgman
