// Basic scripts as users write them: lexed, parsed and run under tight
// limits (statements, strings, arrays, calls), then their first line
// evaluated as an expression. A script may fail; it may not crash or hang
// the program that runs it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/basic/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string source(fuzz::Bytes(data, size));
    basic::TBasicEngine engine;
    basic::TBasicLimits& limits = engine.Limits();
    // Low enough that a loop failing on every statement (each failure
    // unwinding a deep expression) stays well inside the time-out.
    limits.MaxStatements = 20000;
    limits.MaxStringLength = 1u << 20;
    limits.MaxArrayLength = 1u << 16;
    limits.MaxCallDepth = 200;
    engine.OnDoEvents = [] {};
    engine.OnLog = [](const std::string&) {};
    engine.OnCreateObject = [](const std::string&) { return nullptr; };
    try {
        engine.RunText(source);
    } catch (const basic::EScriptError&) {
    }
    try {
        (void)engine.Evaluate(source.substr(0, source.find('\n')));
    } catch (const basic::EScriptError&) {
    }
    return 0;
}
