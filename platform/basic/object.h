#pragma once
// The bridge between scripts and objects: every object a script sees (the
// host's named objects, CreateObject results, Err) is reached by member
// name only, late-bound, as through IDispatch.
#include "platform/basic/value.h"

#include <string>
#include <vector>

namespace basic {

enum class InvokeKind {
    Get,    // value of a property or result of a method (obj.X, obj.X(1))
    Method, // statement call, result unused (obj.X 1)
    Put,    // obj.X = v; the value is the last argument
    PutRef, // Set obj.X = o; the value is the last argument
};

class Object {
public:
    virtual ~Object() = default;
    // `name` is as the script wrote it; empty means the default member.
    // Failures throw RunError.
    virtual Value Invoke(const std::string& name, InvokeKind kind, std::vector<Value>& args) = 0;
    // What `Is` compares: two wrappers of the same object are the same.
    [[nodiscard]] virtual const void* Identity() const { return this; }
};

} // namespace basic
