#pragma once
// Helpers of the mail tests: scratch folders, files, and running outside
// peers (coreutils, sharutils, Debian's Python) on files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "mail/strlist.h"

// Readable failure output for line lists.
inline void PrintTo(const TStringList& list, std::ostream* os) {
    *os << "{";
    for (int i = 0; i < list.Count(); ++i)
        *os << (i ? ", \"" : "\"") << list[i] << "\"";
    *os << "}";
}

namespace mailtest {

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// A fresh folder, removed with the object.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mailtest.XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// Runs a shell command line built by the test from fixed parts and scratch
// paths; true when it exits with 0.
inline bool RunShell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

inline bool HaveProgram(const std::string& path) {
    return std::filesystem::exists(path);
}

inline std::string RandomBytes(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Lines of a text broken at LF, with a CR before the LF dropped.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos)
            j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        i = j + 1;
    }
    return lines;
}

inline std::string Hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

inline std::string Unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

constexpr const char* kPython = "/usr/bin/python3";

} // namespace mailtest
