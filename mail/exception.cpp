#include "mail/exception.h"

#include <cerrno>
#include <cstring>

void RaiseListIndexError(long index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void RaiseFileOpenError(const std::string& fileName) {
    const int err = errno;
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(err));
}

void RaiseFileCreateError(const std::string& fileName) {
    const int err = errno;
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(err));
}
