#pragma once
// An agent definition file: an INI file of triggers and actions that the
// configuration manager writes and the agent processor reads per message.
//
//   [MAIN]          AgentType, and for a MESSAGE agent AppVersion,
//                   CreatedDateTime, ModifiedDateTime, CreateUser,
//                   ModifiedUser, TriggerCount, ActionCount
//   [HEADER] [CONDITION] [VALUE]              Entry1..EntryTriggerCount
//   [ACTIONPARAM1] [ACTIONPARAM2] [ACTIONPARAM3]  Entry1..EntryActionCount
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
    // Kept for the editors; the processor does not use them.
    std::string AppVersion, CreatedDateTime, ModifiedDateTime, CreateUser, ModifiedUser;
};

// The version the editors write into AppVersion.
inline constexpr const char* kAgentAppVersion = "1.018";
// The longest delay, in seconds, the processor carries out.
inline constexpr long kMaxAgentDelay = 3600;

// Upper case of the letters a to z only; other bytes stay as they are.
[[nodiscard]] std::string UpperAZ(const std::string& s);

// Reads the file; a missing file, section or key reads as its default, so a
// missing file gives an agent without a type that does nothing.
[[nodiscard]] TAgentDefinition ReadAgentFile(const std::string& path);

// The whole file for the agent: [MAIN] AgentType; for a MESSAGE agent also
// the version, stamps and users, TriggerCount and ActionCount from the two
// lists (the counts of the definition are not used) and their entries.
// A value keeps to its one line (line breaks become blanks) and is quoted
// where the reader would otherwise trim or unquote it.
[[nodiscard]] std::string AgentFileText(const TAgentDefinition& agent);

// Creates or replaces the file whole (temporary file, renamed into place), so
// the processor never reads half an agent and no entry of an earlier version
// stays. Raises EFCreateError when it cannot be written; the old file stays.
void WriteAgentFile(const std::string& path, const TAgentDefinition& agent);

// "<Agents folder><agent name>.agent"
[[nodiscard]] std::string AgentFilePath(const std::string& agentsFolder, const std::string& name);

} // namespace quelta
