#pragma once
// The failure a script reports to its host: where it happened and why.
#include <stdexcept>
#include <string>

namespace basic {

class EScriptError : public std::runtime_error {
public:
    EScriptError(int line, int number, const std::string& text)
        : std::runtime_error("Line " + std::to_string(line) + ": " + text), line_(line),
          number_(number), text_(text) {}
    // 1-based line of the statement; 0 when no line applies.
    [[nodiscard]] int Line() const { return line_; }
    // The dialect's error number (13 Type mismatch, 1025 Expected end of statement ...).
    [[nodiscard]] int Number() const { return number_; }
    [[nodiscard]] const std::string& Text() const { return text_; }

private:
    int line_;
    int number_;
    std::string text_;
};

} // namespace basic
