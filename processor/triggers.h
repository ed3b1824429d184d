#pragma once
// Whether an agent's triggers hold for a message.
#include "processor/agentfile.h"

#include <string>
#include <vector>

class TmsCustomMessage;

namespace quelta {

enum class TTriggerTarget { Field, AnyHeader, Body };

// The header name as the trigger means it: a trailing character after ":"
// or ">" is dropped ("Subject:x" looks at "Subject:").
[[nodiscard]] std::string NormaliseTriggerHeader(const std::string& header);
[[nodiscard]] TTriggerTarget ClassifyTriggerHeader(const std::string& header);

// Evaluates one trigger; false when its condition is unknown (it then adds
// no result).
bool EvaluateTrigger(const TAgentTrigger& trigger, const TmsCustomMessage& message, bool& result);

// Evaluates every trigger (none is skipped) into results, one "TRUE" or
// "FALSE" per known condition, and says whether the agent fires: with no
// triggers at all, or when there are results and every one is "TRUE".
bool AgentFires(const TAgentDefinition& agent, const TmsCustomMessage& message,
                std::vector<std::string>& results);

} // namespace quelta
