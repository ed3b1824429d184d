#pragma once
// Runs a script in a fresh engine and collects what it printed.
#include "platform/basic/engine.h"

#include <string>

namespace basic::test {

struct Outcome {
    std::string output; // printed lines, each followed by "\n"
    bool failed = false;
    int line = 0;
    int number = 0;
    std::string text;
};

inline Outcome RunScript(TBasicEngine& engine, const std::string& source) {
    Outcome o;
    engine.OnLog = [&](const std::string& line) { o.output += line + "\n"; };
    try {
        engine.RunText(source);
    } catch (const EScriptError& e) {
        o.failed = true;
        o.line = e.Line();
        o.number = e.Number();
        o.text = e.Text();
    }
    return o;
}

inline Outcome RunScript(const std::string& source) {
    TBasicEngine engine;
    return RunScript(engine, source);
}

} // namespace basic::test
