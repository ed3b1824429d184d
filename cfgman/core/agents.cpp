#include "cfgman/core/agents.h"

#include "cfgman/core/accounttree.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/text.h"
#include "data/schema.h"
#include "platform/win/datetime.h"
#include "platform/win/formatdatetime.h"
#include "platform/win/paths.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace cfgman {

namespace {

std::string Text(data::TTable& t, const char* field) {
    std::string v = t.FieldByName(field).AsString();
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    return v;
}

// The rows locked for one rename, released whatever happens.
class RowLocks {
public:
    explicit RowLocks(data::TXbTable& partner) : partner_(partner) {}
    ~RowLocks() {
        for (std::int32_t recNo : held_)
            partner_.Unlock(recNo);
    }
    RowLocks(const RowLocks&) = delete;
    RowLocks& operator=(const RowLocks&) = delete;
    bool Take(std::int32_t recNo) {
        if (!partner_.Lock(recNo))
            return false;
        held_.push_back(recNo);
        return true;
    }

private:
    data::TXbTable& partner_;
    std::vector<std::int32_t> held_;
};

} // namespace

std::string AgentNameProblem(const std::string& name) {
    if (name.empty())
        return "Please enter a name for the agent.";
    if (name.size() > kAgentNameWidth)
        return "The agent name is too long; an agent name can hold at most " +
               std::to_string(kAgentNameWidth) + " characters.";
    for (char c : name) {
        if (c == '?' || c == '/' || c == '\\')
            return "An agent name cannot contain ?, / or \\.";
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "An agent name cannot contain line breaks or other control characters.";
    }
    return {};
}

std::string AgentStamp() {
    return win::DateTimeToStr(win::Now());
}

quelta::TAgentDefinition MessageAgent(std::vector<quelta::TAgentTrigger> triggers,
                                      std::vector<quelta::TAgentAction> actions,
                                      const std::string& created) {
    quelta::TAgentDefinition a;
    a.AgentType = "MESSAGE";
    a.AppVersion = quelta::kAgentAppVersion;
    a.ModifiedDateTime = AgentStamp();
    a.CreatedDateTime = created.empty() ? a.ModifiedDateTime : created;
    a.Triggers = std::move(triggers);
    a.Actions = std::move(actions);
    a.TriggerCount = static_cast<long>(a.Triggers.size());
    a.ActionCount = static_cast<long>(a.Actions.size());
    return a;
}

std::int32_t AttachAgent(TCfgTables& t, const std::string& accountKey, const std::string& agent) {
    const std::string account = Trim(accountKey);
    if (account.empty())
        throw data::EDatabaseError("No account is selected to attach the agent to.");
    // The account chosen, never the one a table happens to stand on.
    if (!KeyExists(t.TableNodes2.DatabaseName(), t.TableNodes2.TableName(), "UNIQUE_ID", account))
        throw data::EDatabaseError("The account is no longer in the tables; " + agent +
                                   " was not attached.");
    const std::string folder = t.TableAgents2.DatabaseName();
    std::string id = data::UniqueId(win::Now(), agent, data::kAgentSuffix);
    for (int tries = 0; KeyExists(folder, "Agents.dbf", "UNIQUE_ID", id); ++tries) {
        if (tries >= 20)
            throw data::EDatabaseError("No free attachment key for " + id);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        id = data::UniqueId(win::Now(), agent, data::kAgentSuffix);
    }
    t.TableAgents2.Insert();
    try {
        t.TableAgents2.FieldByName("UNIQUE_ID").SetAsString(id);
        t.TableAgents2.FieldByName("LINK_ID").SetAsString(account);
        t.TableAgents2.FieldByName("AGENT").SetAsString(agent);
        t.TableAgents2.Post();
    } catch (...) {
        t.TableAgents2.Cancel();
        throw;
    }
    return t.TableAgents2.RecNo();
}

bool DetachAgent(TCfgTables& t, std::int32_t recNo, const std::string& key) {
    if (!t.TableAgents2.Active() || recNo <= 0)
        return false;
    if (LocateRow(t.TableAgents2, t.XbAgents2, recNo, Trim(key)) == 0)
        return false;
    t.TableAgents2.Delete();
    return true;
}

TAgentRename RenameAgent(TCfgTables& t, const std::string& folder, const std::string& oldName,
                         const std::string& newName) {
    const std::string from = quelta::AgentFilePath(folder, oldName);
    const std::string to = quelta::AgentFilePath(folder, newName);
    // The name is found without regard to case, as the processor finds it:
    // another spelling of the same file is this agent, anything else is
    // another agent's.
    if (win::FileExists(to) && to != from)
        return TAgentRename::Exists;

    // The rows whose name reaches this file.
    std::vector<std::int32_t> rows;
    const std::int32_t keep = t.TableAgents2.RecNo();
    for (t.TableAgents2.First(); !t.TableAgents2.Eof(); t.TableAgents2.Next())
        if (quelta::AgentFilePath(folder, Text(t.TableAgents2, "AGENT")) == from)
            rows.push_back(t.TableAgents2.RecNo());
    RowLocks locks(t.XbAgents2);
    for (std::int32_t recNo : rows)
        if (!locks.Take(recNo))
            return TAgentRename::Locked;

    const std::string target = win::ExtractFilePath(from) + newName + ".agent";
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
        return TAgentRename::Failed;
    for (std::int32_t recNo : rows) {
        t.XbAgents2.Go(recNo);
        t.TableAgents2.Edit();
        try {
            t.TableAgents2.FieldByName("AGENT").SetAsString(newName);
            t.TableAgents2.Post();
        } catch (...) {
            t.TableAgents2.Cancel();
            throw;
        }
    }
    if (keep != 0)
        t.XbAgents2.Go(keep);
    return TAgentRename::Renamed;
}

bool DeleteAgentFile(const std::string& folder, const std::string& name) {
    const std::string path = quelta::AgentFilePath(folder, name);
    ::unlink(path.c_str());
    return !win::FileExists(path);
}

} // namespace cfgman
