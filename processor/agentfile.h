#pragma once
// An agent definition file: an INI file of triggers and actions that the
// configuration manager writes and the agent processor reads per message.
#include <string>
#include <vector>

namespace quelta {

struct TAgentTrigger {
    std::string Header;    // [HEADER] EntryN: a field name, "<Any Header>" or "<Body>"
    std::string Condition; // [CONDITION] EntryN
    std::string Value;     // [VALUE] EntryN
};

struct TAgentAction {
    std::string Name;   // [ACTIONPARAM1] EntryN, compared in upper case
    std::string Param1; // [ACTIONPARAM2] EntryN: the main parameter
    std::string Param2; // [ACTIONPARAM3] EntryN: the second parameter
};

struct TAgentDefinition {
    std::string Name;      // the file's base name
    std::string AgentType; // upper case: "MESSAGE", "INTERVAL", "FUNCTION" or anything read
    long TriggerCount = 0;
    long ActionCount = 0;
    std::vector<TAgentTrigger> Triggers; // TriggerCount entries (none when negative)
    std::vector<TAgentAction> Actions;   // ActionCount entries (none when negative)
};

// Upper case of the letters a to z only; other bytes stay as they are.
[[nodiscard]] std::string UpperAZ(const std::string& s);

// Reads the file; a missing file, section or key reads as its default, so a
// missing file gives an agent without a type that does nothing.
[[nodiscard]] TAgentDefinition ReadAgentFile(const std::string& path);

// "<Agents folder><agent name>.agent"
[[nodiscard]] std::string AgentFilePath(const std::string& agentsFolder, const std::string& name);

} // namespace quelta
