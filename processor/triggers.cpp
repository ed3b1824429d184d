#include "processor/triggers.h"

#include "mail/msmsg.h"

namespace quelta {

namespace {

bool Occurs(const std::string& value, const std::string& text) {
    // An empty value occurs in nothing.
    return !value.empty() && text.find(value) != std::string::npos;
}

bool BeginsWith(const std::string& prefix, const std::string& text) {
    return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

} // namespace

std::string NormaliseTriggerHeader(const std::string& header) {
    std::string h = header;
    if (h.size() >= 2 && h[h.size() - 2] == ':')
        h.pop_back();
    if (h.size() >= 2 && h[h.size() - 2] == '>')
        h.pop_back();
    return h;
}

TTriggerTarget ClassifyTriggerHeader(const std::string& header) {
    std::string up = UpperAZ(header);
    if (up == "<ANY HEADER>")
        return TTriggerTarget::AnyHeader;
    if (up == "<BODY>")
        return TTriggerTarget::Body;
    return TTriggerTarget::Field;
}

bool EvaluateTrigger(const TAgentTrigger& trigger, const TmsCustomMessage& message, bool& result) {
    const std::string header = NormaliseTriggerHeader(trigger.Header);
    const TTriggerTarget target = ClassifyTriggerHeader(header);
    const std::string cond = UpperAZ(trigger.Condition);
    const std::string& v = trigger.Value;
    const std::string upV = UpperAZ(v);
    const auto& headerLines = message.Headers().Lines();
    const auto& bodyLines = message.Body().Lines();

    if (cond == "CONTAINS" || cond == "DOES NOT CONTAIN" || cond == "DOESN'T CONTAIN") {
        bool found = false;
        if (target == TTriggerTarget::Field) {
            found = Occurs(upV, UpperAZ(message.Headers().GetFieldValue(header)));
        } else {
            const auto& lines = target == TTriggerTarget::AnyHeader ? headerLines : bodyLines;
            for (const auto& line : lines)
                if ((found = Occurs(upV, UpperAZ(line))))
                    break;
        }
        // A trigger and its negation ignore case alike, so both never hold.
        result = cond == "CONTAINS" ? found : !found;
        return true;
    }
    if (cond == "BEGINS WITH") {
        switch (target) {
        case TTriggerTarget::Field:
            result = BeginsWith(upV, UpperAZ(message.Headers().GetFieldValue(header)));
            break;
        case TTriggerTarget::AnyHeader:
            result = false;
            for (const auto& line : headerLines)
                if ((result = BeginsWith(v, line)))
                    break;
            break;
        case TTriggerTarget::Body:
            result = !bodyLines.empty() && BeginsWith(upV, UpperAZ(bodyLines.front()));
            break;
        }
        return true;
    }
    return false;
}

bool AgentFires(const TAgentDefinition& agent, const TmsCustomMessage& message,
                std::vector<std::string>& results) {
    results.clear();
    if (agent.TriggerCount == 0)
        return true;
    for (const auto& trigger : agent.Triggers) {
        bool r;
        if (EvaluateTrigger(trigger, message, r))
            results.push_back(r ? "TRUE" : "FALSE");
    }
    if (results.empty())
        return false;
    for (const auto& r : results)
        if (r != "TRUE")
            return false;
    return true;
}

} // namespace quelta
