#include "platform/win/profile.h"

#include "platform/win/paths.h"
#include "platform/win/wholefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace win {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

// One line of the file as it was read, with what it means.
struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    std::string text; // the line without its line break
    std::string name; // section or key name, trimmed
    std::string value;
};

struct Document {
    std::vector<Line> lines;
    std::string eol = "\n";
    bool finalEol = true;
};

Line Classify(const std::string& text) {
    Line l;
    l.text = text;
    std::string t = Trim(text);
    if (t.empty() || t[0] == ';' || t[0] == '#')
        return l;
    if (t[0] == '[') {
        auto close = t.find(']');
        if (close != std::string::npos) {
            l.kind = Line::Section;
            l.name = Trim(t.substr(1, close - 1));
        }
        return l;
    }
    auto eq = t.find('=');
    if (eq == std::string::npos)
        return l;
    l.kind = Line::Key;
    l.name = Trim(t.substr(0, eq));
    l.value = Trim(t.substr(eq + 1));
    return l;
}

Document Load(const std::string& path) {
    Document doc;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return doc;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    if (all.find("\r\n") != std::string::npos)
        doc.eol = "\r\n";
    doc.finalEol = all.empty() || all.back() == '\n';
    size_t pos = 0;
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        std::string text = all.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        doc.lines.push_back(Classify(text));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    return doc;
}

// Index of the first section line with that name, or npos.
size_t FindSection(const Document& doc, const std::string& section) {
    for (size_t i = 0; i < doc.lines.size(); ++i)
        if (doc.lines[i].kind == Line::Section && SameText(doc.lines[i].name, section))
            return i;
    return std::string::npos;
}

// End (exclusive) of the section whose header is at index s.
size_t SectionEnd(const Document& doc, size_t s) {
    size_t i = s + 1;
    while (i < doc.lines.size() && doc.lines[i].kind != Line::Section)
        ++i;
    return i;
}

size_t FindKey(const Document& doc, size_t s, const std::string& key) {
    size_t end = SectionEnd(doc, s);
    for (size_t i = s + 1; i < end; ++i)
        if (doc.lines[i].kind == Line::Key && SameText(doc.lines[i].name, key))
            return i;
    return std::string::npos;
}

// Surrounding quotes are not part of a value, as the profile functions read it.
std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool ParseInteger(const std::string& text, long& out) {
    std::string t = Trim(text);
    if (t.empty())
        return false;
    size_t i = 0;
    bool neg = false;
    if (t[i] == '+' || t[i] == '-') {
        neg = t[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size())
        return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        int d;
        char c = t[i];
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL)
            return false;
    }
    out = static_cast<long>(neg ? -v : v);
    return true;
}

// Holds an exclusive lock on the file's folder for one read-modify-write, so
// two programs writing keys at once do not lose each other's change.
class FolderLock {
public:
    explicit FolderLock(const std::string& path) {
        std::string dir = ExtractFilePath(path);
        if (dir.empty())
            dir = ".";
        fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

void Save(const std::string& path, const Document& doc) {
    std::string out;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        out += doc.lines[i].text;
        if (i + 1 < doc.lines.size() || doc.finalEol)
            out += doc.eol;
    }
    WriteWholeFile(path, out);
}

template <typename Edit> void Modify(const std::string& path, Edit edit) {
    FolderLock lock(path);
    Document doc = Load(path);
    if (edit(doc))
        Save(path, doc);
}

} // namespace

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

TIniFile::TIniFile(const std::string& fileName) {
    if (fileName.find('/') == std::string::npos && fileName.find('\\') == std::string::npos)
        path_ = ResolvePath(WindowsDirectory() + fileName);
    else
        path_ = ResolvePath(fileName);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    Document doc = Load(path_);
    size_t s = FindSection(doc, section);
    if (s == std::string::npos)
        return def;
    size_t k = FindKey(doc, s, key);
    if (k == std::string::npos)
        return def;
    return Unquote(doc.lines[k].value);
}

long TIniFile::ReadInteger(const std::string& section, const std::string& key, long def) const {
    long v;
    return ParseInteger(ReadString(section, key, ""), v) ? v : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    std::string v = ReadString(section, key, "");
    long n;
    if (ParseInteger(v, n))
        return n != 0;
    if (SameText(v, "true") || SameText(v, "yes") || SameText(v, "on"))
        return true;
    if (SameText(v, "false") || SameText(v, "no") || SameText(v, "off"))
        return false;
    return def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    // A line break in a value would start a new line of the file.
    std::string clean;
    for (char c : value)
        clean += (c == '\r' || c == '\n') ? ' ' : c;
    Modify(path_, [&](Document& doc) {
        size_t s = FindSection(doc, section);
        if (s == std::string::npos) {
            if (!doc.lines.empty() && !Trim(doc.lines.back().text).empty())
                doc.lines.push_back(Classify(""));
            doc.lines.push_back(Classify("[" + section + "]"));
            doc.lines.push_back(Classify(key + "=" + clean));
            doc.finalEol = true;
            return true;
        }
        size_t k = FindKey(doc, s, key);
        if (k != std::string::npos) {
            doc.lines[k] = Classify(doc.lines[k].name + "=" + clean);
            return true;
        }
        // After the section's last non-blank line.
        size_t end = SectionEnd(doc, s);
        size_t at = end;
        while (at > s + 1 && Trim(doc.lines[at - 1].text).empty())
            --at;
        doc.lines.insert(doc.lines.begin() + static_cast<long>(at), Classify(key + "=" + clean));
        return true;
    });
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, long value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(const std::string& section) const {
    return FindSection(Load(path_), section) != std::string::npos;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    Document doc = Load(path_);
    size_t s = FindSection(doc, section);
    return s != std::string::npos && FindKey(doc, s, key) != std::string::npos;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
    Document doc = Load(path_);
    std::vector<std::string> keys;
    size_t s = FindSection(doc, section);
    if (s == std::string::npos)
        return keys;
    size_t end = SectionEnd(doc, s);
    for (size_t i = s + 1; i < end; ++i) {
        if (doc.lines[i].kind != Line::Key)
            continue;
        bool seen = false;
        for (const auto& k : keys)
            seen = seen || SameText(k, doc.lines[i].name);
        if (!seen)
            keys.push_back(doc.lines[i].name);
    }
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
    Document doc = Load(path_);
    std::vector<std::string> names;
    for (const auto& l : doc.lines) {
        if (l.kind != Line::Section)
            continue;
        bool seen = false;
        for (const auto& n : names)
            seen = seen || SameText(n, l.name);
        if (!seen)
            names.push_back(l.name);
    }
    return names;
}

void TIniFile::EraseSection(const std::string& section) {
    Modify(path_, [&](Document& doc) {
        bool changed = false;
        size_t s;
        while ((s = FindSection(doc, section)) != std::string::npos) {
            doc.lines.erase(doc.lines.begin() + static_cast<long>(s),
                            doc.lines.begin() + static_cast<long>(SectionEnd(doc, s)));
            changed = true;
        }
        return changed;
    });
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    Modify(path_, [&](Document& doc) {
        size_t s = FindSection(doc, section);
        if (s == std::string::npos)
            return false;
        size_t k = FindKey(doc, s, key);
        if (k == std::string::npos)
            return false;
        doc.lines.erase(doc.lines.begin() + static_cast<long>(k));
        return true;
    });
}

} // namespace win
