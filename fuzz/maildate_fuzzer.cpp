// Date header values as servers send them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "mail/msutils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    win::TDateTime when = 0;
    std::string rest;
    ParseMailDate(fuzz::Bytes(data, size), when, rest);
    return 0;
}
