#pragma once
// Loading and saving messages through strings in the MIME tests.
#include <regex>
#include <sstream>
#include <string>

#include "mail/msmsg.h"

namespace mailtest {

inline void Load(TmsCustomMessage& m, const std::string& text) {
    std::istringstream in(text);
    m.Clear();
    m.LoadFromStream(in);
}

inline std::string Save(TmsCustomMessage& m) {
    std::ostringstream out;
    m.SaveToStream(out);
    return out.str();
}

// The text with each boundary replaced by B1, B2... in order of appearance,
// so two writings of one message compare equal.
inline std::string NormalizeBoundaries(const std::string& text) {
    static const std::regex re("boundary=\"([0-8]{8})\"");
    std::string out = text;
    int n = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
        const std::string b = (*it)[1];
        const std::string repl = "B" + std::to_string(++n) + "_______";
        for (size_t pos = out.find(b); pos != std::string::npos; pos = out.find(b, pos))
            out.replace(pos, b.size(), repl.substr(0, 8));
    }
    return out;
}

// Lines joined with CR LF, each ended by one.
inline std::string Crlf(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

} // namespace mailtest
