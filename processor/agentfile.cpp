#include "processor/agentfile.h"

#include "mail/mssafefile.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

namespace quelta {

namespace {
// Counts beyond this are stale or hostile; reading them would only stall a pass.
constexpr long kMaxEntries = 10000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The value as one line that reads back as it is: the profile reader trims
// blanks and takes off one pair of surrounding quotes, so such a value goes
// inside quotes of its own.
std::string IniValue(const std::string& value) {
    std::string v = value;
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    const bool quoted =
        v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
    if (!v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) || quoted))
        return '"' + v + '"';
    return v;
}

void Key(std::string& out, const std::string& key, const std::string& value) {
    out += key + "=" + IniValue(value) + "\n";
}

// One section of Entry1..EntryN taken from the list by field.
template <typename List, typename Field>
void Entries(std::string& out, const char* section, const List& list, Field field) {
    if (list.empty())
        return;
    out += std::string("\n[") + section + "]\n";
    for (std::size_t i = 0; i < list.size(); ++i)
        Key(out, "Entry" + std::to_string(i + 1), list[i].*field);
}

} // namespace

std::string UpperAZ(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string AgentFilePath(const std::string& agentsFolder, const std::string& name) {
    return win::ResolvePath(agentsFolder + name + ".agent");
}

TAgentDefinition ReadAgentFile(const std::string& path) {
    TAgentDefinition def;
    std::string base = win::ExtractFileName(path);
    std::string ext = win::ExtractFileExt(base);
    def.Name = base.substr(0, base.size() - ext.size());
    if (!win::FileExists(path))
        return def;
    win::TIniFile ini(path);
    def.AgentType = UpperAZ(ini.ReadString("MAIN", "AgentType", ""));
    def.TriggerCount = ini.ReadInteger("MAIN", "TriggerCount", 0);
    def.ActionCount = ini.ReadInteger("MAIN", "ActionCount", 0);
    def.AppVersion = ini.ReadString("MAIN", "AppVersion", "");
    def.CreatedDateTime = ini.ReadString("MAIN", "CreatedDateTime", "");
    def.ModifiedDateTime = ini.ReadString("MAIN", "ModifiedDateTime", "");
    def.CreateUser = ini.ReadString("MAIN", "CreateUser", "");
    def.ModifiedUser = ini.ReadString("MAIN", "ModifiedUser", "");
    for (long i = 1; i <= def.TriggerCount && i <= kMaxEntries; ++i) {
        std::string key = "Entry" + std::to_string(i);
        def.Triggers.push_back({ini.ReadString("HEADER", key, ""),
                                ini.ReadString("CONDITION", key, ""),
                                ini.ReadString("VALUE", key, "")});
    }
    for (long j = 1; j <= def.ActionCount && j <= kMaxEntries; ++j) {
        std::string key = "Entry" + std::to_string(j);
        def.Actions.push_back({ini.ReadString("ACTIONPARAM1", key, ""),
                               ini.ReadString("ACTIONPARAM2", key, ""),
                               ini.ReadString("ACTIONPARAM3", key, "")});
    }
    return def;
}

std::string AgentFileText(const TAgentDefinition& agent) {
    std::string out = "[MAIN]\n";
    Key(out, "AgentType", agent.AgentType);
    if (UpperAZ(agent.AgentType) != "MESSAGE")
        return out;
    Key(out, "AppVersion", agent.AppVersion);
    Key(out, "CreatedDateTime", agent.CreatedDateTime);
    Key(out, "ModifiedDateTime", agent.ModifiedDateTime);
    Key(out, "CreateUser", agent.CreateUser);
    Key(out, "ModifiedUser", agent.ModifiedUser);
    Key(out, "TriggerCount", std::to_string(agent.Triggers.size()));
    Key(out, "ActionCount", std::to_string(agent.Actions.size()));
    Entries(out, "HEADER", agent.Triggers, &TAgentTrigger::Header);
    Entries(out, "CONDITION", agent.Triggers, &TAgentTrigger::Condition);
    Entries(out, "VALUE", agent.Triggers, &TAgentTrigger::Value);
    Entries(out, "ACTIONPARAM1", agent.Actions, &TAgentAction::Name);
    Entries(out, "ACTIONPARAM2", agent.Actions, &TAgentAction::Param1);
    Entries(out, "ACTIONPARAM3", agent.Actions, &TAgentAction::Param2);
    return out;
}

void WriteAgentFile(const std::string& path, const TAgentDefinition& agent) {
    WriteFileWhole(path, AgentFileText(agent));
}

} // namespace quelta
