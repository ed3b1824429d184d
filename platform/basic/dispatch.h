#pragma once
// Scripts reach COM objects late-bound through IDispatch: members by name,
// arguments in the Windows order, failures as the dialect's errors.
#include "platform/basic/object.h"
#include "platform/com/com.h"

#include <memory>
#include <string>

namespace basic {

// The script's view of `dispatch`, which it holds (AddRef) while the
// wrapper lives. Null for a null pointer.
[[nodiscard]] std::shared_ptr<Object> WrapDispatch(IDispatch* dispatch);

// CreateObject through the registry: CLSIDFromProgID, then CoCreateInstance
// for IDispatch. Null when the ProgID is unknown or the server fails.
[[nodiscard]] std::shared_ptr<Object> CreateComObject(const std::string& progId);

// Conversions at the boundary. A script object that is not a COM object
// cannot be passed (Type mismatch).
[[nodiscard]] Value FromVariant(const VARIANT& v);
void ToVariant(const Value& v, VARIANT& out);

} // namespace basic
