#pragma once
// The dialect's built-in functions (Len, Mid, DateAdd, CreateObject ...).
#include "platform/basic/value.h"

#include <span>
#include <string>
#include <vector>

namespace basic {

class Interp;

// Built-ins only read their arguments (the caller may lend them variables).
using BuiltinFn = Value (*)(Interp& in, const std::span<const Value>& args);

struct Builtin {
    BuiltinFn fn;
    int minArgs;
    int maxArgs;
};

// Null when `lowerName` names no built-in.
[[nodiscard]] const Builtin* FindBuiltin(const std::string& lowerName);

} // namespace basic
