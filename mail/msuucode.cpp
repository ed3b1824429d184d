#include "mail/msuucode.h"

#include <cctype>

#include "mail/exception.h"
#include "mail/msmime.h"
#include "platform/win/hooks.h"

namespace {

char uuChar(unsigned v) {
    return v == 0 ? '`' : static_cast<char>(32 + v);
}

int uuValue(char c) {
    if (c == '`')
        return 0;
    const auto u = static_cast<unsigned char>(c);
    if (u >= 33 && u <= 95)
        return u - 32;
    return -1;
}

bool startsWithBegin(std::string_view line) {
    if (line.size() < 5)
        return false;
    for (size_t i = 0; i < 5; ++i)
        if (std::toupper(static_cast<unsigned char>(line[i])) != "BEGIN"[i])
            return false;
    return true;
}

} // namespace

bool IsUUBeginLine(std::string_view line) {
    if (line.size() <= 8 || !startsWithBegin(line))
        return false;
    std::string_view rest = line.substr(5);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (rest.size() < 3)
        return false;
    size_t i = (rest[0] == '-' || rest[0] == '+') ? 1 : 0;
    if (i == 3)
        return false;
    for (; i < 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(rest[i])))
            return false;
    return true;
}

std::string UUFileName(std::string_view line) {
    // Past "begin", the blanks, the mode and the blanks after it; for the
    // usual "begin 644 " that is the first 10 characters.
    std::string_view rest = line.substr(std::min<size_t>(5, line.size()));
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    while (!rest.empty() && rest.front() != ' ')
        rest.remove_prefix(1);
    if (!rest.empty())
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '"') {
        const size_t q = rest.find('"', 1);
        return q == std::string_view::npos ? std::string() : std::string(rest.substr(1, q - 1));
    }
    return std::string(rest.substr(0, rest.find(' ')));
}

void DecodeUULineTo(std::string_view line, std::string& out) {
    win::ProcessMessages();
    if (line.empty())
        return;
    const int count = uuValue(line[0]);
    if (count < 0)
        throw EInOutError(SInvalidCharacter);
    std::string bytes;
    for (size_t i = 1; i < line.size(); i += 4) {
        unsigned v = 0;
        for (size_t k = 0; k < 4; ++k) {
            int x = 0;
            if (i + k < line.size()) {
                x = uuValue(line[i + k]);
                if (x < 0)
                    throw EInOutError(SInvalidCharacter);
            }
            v = (v << 6) | unsigned(x);
        }
        bytes += static_cast<char>(v >> 16);
        bytes += static_cast<char>(v >> 8);
        bytes += static_cast<char>(v);
    }
    if (bytes.size() > static_cast<size_t>(count))
        bytes.resize(static_cast<size_t>(count));
    out += bytes;
}

std::string DecodeUULine(std::string_view line) {
    std::string out;
    DecodeUULineTo(line, out);
    return out;
}

std::string EncodeUULine(std::string_view bytes) {
    win::ProcessMessages();
    if (bytes.size() > 45)
        bytes = bytes.substr(0, 45);
    const size_t n = bytes.size();
    std::string line(1, uuChar(static_cast<unsigned>(n)));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < n; i += 3) {
        const unsigned v = (unsigned(p[i]) << 16) | (i + 1 < n ? unsigned(p[i + 1]) << 8 : 0u) |
                           (i + 2 < n ? unsigned(p[i + 2]) : 0u);
        line += uuChar(v >> 18);
        line += uuChar((v >> 12) & 63);
        line += uuChar((v >> 6) & 63);
        line += uuChar(v & 63);
    }
    line.resize(1 + n * 4 / 3 + (n % 3 ? 1 : 0));
    return line;
}
