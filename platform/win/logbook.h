#pragma once
// The log the programs keep: each line is the date and time of now, " -- "
// and a text (or " -- Error-" and a message for the application-wide
// handler), the newest line first, kept in a file of the program folder
// between runs. Qt-free, so the programs' cores and windows share it.
#include <deque>
#include <functional>
#include <string>

namespace win {

// "<short date> <long time>" of the clock's now.
[[nodiscard]] std::string Stamp();
// "<short date> <long time> -- " + text, at the clock's now.
[[nodiscard]] std::string LogLine(const std::string& text);
// "<short date> <long time> -- Error-" + message.
[[nodiscard]] std::string ErrorLogLine(const std::string& message);

class TLogBook {
public:
    // Puts line at the top and tells OnLog; text is what a status bar shows.
    void Add(const std::string& line, const std::string& text);
    // Adds LogLine(text).
    void Log(const std::string& text) { Add(LogLine(text), text); }
    // The application-wide handler's part: a beep and ErrorLogLine(message).
    void Error(const std::string& message);

    [[nodiscard]] const std::deque<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

    // Replaces the lines with the file's (CRLF or LF lines, newest first).
    // A missing file is created with the lines there are; one that exists
    // but cannot be read is left alone and the lines stay.
    void Load(const std::string& path);
    // Writes the lines whole, CRLF after each; false when that failed (the
    // old file stays).
    bool Save(const std::string& path) const;

    std::function<void(const std::string& line, const std::string& text)> OnLog;

private:
    std::deque<std::string> lines_;
};

} // namespace win
