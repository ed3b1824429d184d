#pragma once
// Internal: type libraries over static descriptions.
#include "platform/com/typedesc.h"

namespace com::detail {

// module: a dlopen handle closed when the library is freed, or null.
HRESULT MakeTypeLib(const TypeLibInfo* info, void* module, ITypeLib** out);

// ASCII case-insensitive equality of a wide name and a narrow one.
bool SameName(const OLECHAR* a, const char* b);

} // namespace com::detail
