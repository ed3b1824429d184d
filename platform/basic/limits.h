#pragma once
// What a script may use before the engine stops it: the host sets these so
// that no script can hang or crash the program that runs it.
#include <cstddef>
#include <cstdint>

namespace basic {

struct TBasicLimits {
    // Statements (and loop turns) one run may execute; 0 means no limit.
    std::uint64_t MaxStatements = 50'000'000;
    // The do-events call-back fires after every this many statements.
    std::uint32_t DoEventsInterval = 1000;
    // Nested Sub/Function calls.
    std::uint32_t MaxCallDepth = 1000;
    // Machine stack the interpreter may use below its entry point; it never
    // takes more than the thread has left, less a margin for the host.
    std::size_t MaxStackBytes = 4u << 20;
    // Nesting of blocks and expressions in the source, and of arrays in arrays.
    std::uint32_t MaxNesting = 200;
    std::size_t MaxStringLength = 64u << 20;
    // Elements of one array, counting those of arrays inside it.
    std::size_t MaxArrayLength = 1u << 20;
};

} // namespace basic
