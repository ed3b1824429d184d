#pragma once
// The library's count of live objects and outside factory references.
#include "platform/com/autoobj.h"

namespace quelta {
com::ServerModule& Module();
} // namespace quelta
