#include "platform/win/logbook.h"

#include "platform/win/formatdatetime.h"
#include "platform/win/hooks.h"
#include "platform/win/wholefile.h"

#include <fstream>
#include <sys/stat.h>

namespace win {

std::string Stamp() {
    const FormatSettings& fs = DefaultFormatSettings();
    return FormatDateTime(fs.ShortDateFormat + " " + fs.LongTimeFormat, Now());
}

std::string LogLine(const std::string& text) {
    return Stamp() + " -- " + text;
}

std::string ErrorLogLine(const std::string& message) {
    return Stamp() + " -- Error-" + message;
}

void TLogBook::Add(const std::string& line, const std::string& text) {
    lines_.push_front(line);
    if (OnLog)
        OnLog(line, text);
}

void TLogBook::Error(const std::string& message) {
    MessageBeep(MB_ICONASTERISK);
    Add(ErrorLogLine(message), message);
}

void TLogBook::Load(const std::string& path) {
    // A save that a kill cut short left its temporary file beside the log.
    const size_t slash = path.find_last_of('/');
    RemoveAbandonedParts(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0)
            Save(path);
        return;
    }
    lines_.clear();
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines_.push_back(line);
    }
}

bool TLogBook::Save(const std::string& path) const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\r\n";
    try {
        WriteWholeFile(path, text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace win
