#pragma once
// Merge codes in templates: "<<command~parameter>>", at most one per line,
// replaced by values from the message being answered, the account, the
// clock or the script engine.
#include <functional>
#include <string>

class TmsCustomMessage;
class TmsMessage;
namespace basic {
class TBasicEngine;
}

namespace quelta {

inline constexpr const char* kNoValue = "<no value provided>";
inline constexpr const char* kProcessorVersionText =
    "Dovira Quelta Mail Management System Version: 0.999";

struct TMergeContext {
    // The configuration manager's preview evaluates no expressions and knows
    // no account.
    bool Preview = false;
    std::string NodeName;    // the account's NODE
    std::string NodeAddress; // the account's ADDRESS
    std::string VersionText = kProcessorVersionText;
    // Values from the replied-to message as UTF-8 text, whole, for an
    // outgoing message whose texts are UTF-8 (the processor's replies).
    bool Utf8 = false;
    // Told when the expanded subject had to be cut to the 255 characters a
    // subject holds (its whole text given).
    std::function<void(const std::string&)> OnSubjectCut;
    std::function<void(const std::string&)> Log;
    // Evaluates a Basic expression into its result text with one enclosing
    // character at each end; false when the engine raised.
    std::function<bool(const std::string& expression, std::string& result)> Evaluate;
};

// An evaluator over the script engine: a failing expression leaves its line
// as it was.
[[nodiscard]] std::function<bool(const std::string&, std::string&)>
ScriptEvaluator(basic::TBasicEngine& engine);

// Expands the codes of the outgoing message's body lines, its subject and
// its header lines from the replied-to message, and returns the override
// recipient (empty when none).
std::string ProccessMergeCodes(TmsMessage& outgoing, const TmsCustomMessage& repliedTo,
                               const TMergeContext& context);

} // namespace quelta
