#pragma once
// The dialect's built-in functions (Len, Mid, DateAdd, CreateObject ...).
#include "platform/basic/value.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace basic {

class Interp;

// Built-ins only read their arguments (the caller may lend them variables).
using BuiltinFn = Value (*)(Interp& in, const std::span<const Value>& args);

// A built-in of one argument giving a whole number without a variant: false
// when the argument is not of the kind it takes (fn then gives the answer).
using WholeFn = bool (*)(const Value& arg, std::int64_t& out);

struct Builtin {
    BuiltinFn fn;
    int minArgs;
    int maxArgs;
    WholeFn whole = nullptr;
};

// Null when `lowerName` names no built-in.
[[nodiscard]] const Builtin* FindBuiltin(const std::string& lowerName);

} // namespace basic
