#pragma once
// Failures of the message model and of the MIME parser.
#include "mail/exception.h"

// A message misses what sending or saving needs (texts 57100-57116).
class EMessageError : public Exception {
public:
    using Exception::Exception;
};

// The body of a message does not have the structure its headers announce
// (texts 57109-57111).
class EMessageParserError : public Exception {
public:
    using Exception::Exception;
};
