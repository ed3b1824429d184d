#include "processor/agentfile.h"

#include "platform/win/paths.h"
#include "platform/win/profile.h"

namespace quelta {

namespace {
// Counts beyond this are stale or hostile; reading them would only stall a pass.
constexpr long kMaxEntries = 10000;
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

} // namespace quelta
