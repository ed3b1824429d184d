#pragma once
// Turns script text into its parsed form. Throws EScriptError with the line
// and the dialect's text ("Expected 'Then'", "Expected end of statement").
#include "platform/basic/ast_p.h"
#include "platform/basic/limits.h"

#include <memory>
#include <string>

namespace basic::parse {

[[nodiscard]] std::unique_ptr<ast::Program> Program(const std::string& source,
                                                    const TBasicLimits& limits);
// One expression, nothing after it.
[[nodiscard]] ast::ExprP Expression(const std::string& source, const TBasicLimits& limits);

} // namespace basic::parse
