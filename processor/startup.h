#pragma once
// What posta tells a user whose installation is not complete yet.
#include "platform/com/types.h"

#include <string>

namespace quelta {

// The text of a failure to create the automation objects: the system's
// text ("Class not registered (0x80040154)"), and for a library that is
// not registered, or cannot be loaded, where and how to register it.
[[nodiscard]] std::string AutomationStartUpText(HRESULT hr, const std::string& programFolder);

} // namespace quelta
