#pragma once
// Failures of the network components and the strings they raise with.
#include "mail/exception.h"

// A Winsock or component error; the text is the string of its id.
class ESocketError : public Exception {
public:
    using Exception::Exception;
};
// A wait ended by the inactivity time-out ("Operation timed out").
class ETimedOutError : public Exception {
public:
    using Exception::Exception;
};
// A wait ended by a cancel ("Operation has been canceled").
class ECanceledError : public Exception {
public:
    using Exception::Exception;
};
// A dial-up failure; the text comes from the dial-up library.
class ERASError : public Exception {
public:
    // The text of the code as the dial-up library gives it.
    explicit ERASError(unsigned code);
    [[nodiscard]] unsigned Code() const { return code_; }

private:
    unsigned code_;
};

enum : int {
    STimedOut = 57000,
    SCanceled = 57001,
    SServerRequired = 57002,
    SInvalidWinsockVersion = 57003,
    SErrorResolvingHost = 57004,
    SServiceRequired = 57005,
    SProxyPortRequired = 57006,
    SInvalidURL = 57007,
    SNotConnected = 57008,
};
