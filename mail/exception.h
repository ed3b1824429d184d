#pragma once
// The one base of every failure the Qt-free code raises, and the general
// error kinds the mail, data and network components share. Each carries a
// readable message; handlers catch Exception (or std::exception) and show
// Message().
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    [[nodiscard]] std::string Message() const { return what(); }
};

// Input and output failed or the input is malformed ("Invalid Character").
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// A list was indexed outside its items.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A file could not be opened or created.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// A component was used or created in a way its class does not allow.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

// A value could not be copied into an object of another kind.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The standard texts of the kinds above.
[[noreturn]] void RaiseListIndexError(long index);
[[noreturn]] void RaiseFileOpenError(const std::string& fileName);
[[noreturn]] void RaiseFileCreateError(const std::string& fileName);
