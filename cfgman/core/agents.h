#pragma once
// Agents as the configuration manager keeps them: one file per agent in the
// Agents folder (written whole by the editors), and the Agents.dbf rows that
// attach an agent to an account by its name.
#include "processor/agentfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cfgman {

class TCfgTables;

// Bytes of the Agents table's AGENT field: a longer name could not be
// attached, since the processor finds the file by the stored name.
inline constexpr std::size_t kAgentNameWidth = 99;

// Why the text cannot name an agent ("" when it can): empty, too long for
// the AGENT field, or holding "?", "/", "\" or a control character, which
// would name no file or one outside the Agents folder.
[[nodiscard]] std::string AgentNameProblem(const std::string& name);

// A MESSAGE agent of these triggers and actions as the editors write it,
// modified now; created keeps the stamp of an earlier version (empty: now).
[[nodiscard]] quelta::TAgentDefinition MessageAgent(std::vector<quelta::TAgentTrigger> triggers,
                                                    std::vector<quelta::TAgentAction> actions,
                                                    const std::string& created = {});

// The current date and time as the agent stamps hold it.
[[nodiscard]] std::string AgentStamp();

// Attaches the agent to the account whose UNIQUE_ID is accountKey with a
// new row of TableAgents2; returns its record number. Its key is the moment
// and the first six characters of the name; a key another row has waits for
// the next second. An account that no row holds any more, or no key at
// all, is refused (EDatabaseError) and nothing is written.
std::int32_t AttachAgent(TCfgTables& t, const std::string& accountKey, const std::string& agent);

// Deletes the attachment row at recNo, or wherever packing moved the row
// whose UNIQUE_ID is key; false, and nothing deleted, when no row holds
// the key any more.
bool DetachAgent(TCfgTables& t, std::int32_t recNo, const std::string& key);

enum class TAgentRename { Renamed, Exists, Locked, Failed };
// Renames the agent's file, never over another agent's, and makes the rows
// that attach it name the new file. The rows are locked first, so a row
// another program holds refuses the rename and nothing changes.
[[nodiscard]] TAgentRename RenameAgent(TCfgTables& t, const std::string& folder,
                                       const std::string& oldName, const std::string& newName);

// Deletes the agent's file; its rows stay. False when the file is still there.
bool DeleteAgentFile(const std::string& folder, const std::string& name);

} // namespace cfgman
