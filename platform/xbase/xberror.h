#pragma once
// Internal failure of the engine. It never leaves the library: every export
// catches it and turns it into its result plus xb_LastError / xb_ErrorText.
#include <stdexcept>
#include <string>

#include "platform/xbase/xbengine.h"

namespace xbase {

class Error : public std::runtime_error {
public:
    Error(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    [[nodiscard]] int Code() const { return code_; }

private:
    int code_;
};

// "Corrupt file": the contents contradict themselves. where names the file
// and the place ("header", "field 3", "record 17", "memo block 9").
[[noreturn]] void ThrowCorrupt(const std::string& file, const std::string& where,
                               const std::string& what);
[[noreturn]] void ThrowIo(const std::string& file, const std::string& what, int err);

} // namespace xbase
