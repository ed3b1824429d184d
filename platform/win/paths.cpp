#include "platform/win/paths.h"

#include "platform/win/profile.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace win {

namespace {

bool StartsWithText(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

// A Windows drive path: the programs' default base folder has a home here,
// any other drive path is taken from the root.
std::string MapDrive(const std::string& p) {
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        std::string rest = p.substr(2);
        const std::string base = "/program files/dovira/quelta";
        if (StartsWithText(rest, base) && (rest.size() == base.size() || rest[base.size()] == '/'))
            return "/opt/dovira/quelta" + rest.substr(base.size());
        if (rest.empty() || rest[0] != '/')
            rest = "/" + rest;
        return rest;
    }
    return p;
}

bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// The entry of dir whose name equals name without regard to case, or "".
std::string FindEntry(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return "";
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (SameText(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace

std::string WindowsDirectory() {
    std::string dir;
    if (const char* w = std::getenv("QUELTA_WINDIR"); w && *w)
        dir = w;
    else if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        dir = std::string(x) + "/quelta";
    else if (const char* h = std::getenv("HOME"); h && *h)
        dir = std::string(h) + "/.config/quelta";
    else
        dir = "/tmp/quelta";
    dir = IncludeTrailingPathDelimiter(dir);
    ForceDirectories(dir);
    return dir;
}

std::string ProgramFolder() {
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return "./";
    return ExtractFilePath(std::string(buf.data(), static_cast<size_t>(n)));
}

std::string ResolvePath(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    p = MapDrive(p);
    if (p.empty() || Exists(p))
        return p;

    // Walk the components, matching each existing one without regard to case.
    std::string result = p[0] == '/' ? "/" : "";
    size_t pos = p[0] == '/' ? 1 : 0;
    bool matching = true;
    while (pos <= p.size()) {
        size_t slash = p.find('/', pos);
        std::string comp =
            p.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!comp.empty()) {
            std::string candidate = result + comp;
            if (matching && !Exists(candidate) && comp != "." && comp != "..") {
                std::string real = FindEntry(result, comp);
                if (!real.empty())
                    candidate = result + real;
                else
                    matching = false;
            }
            result = candidate;
        }
        if (slash == std::string::npos)
            break;
        if (!result.empty() && result.back() != '/')
            result += '/';
        pos = slash + 1;
    }
    return result;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(ResolvePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return ::stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    std::string p = ResolvePath(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.empty())
        return false;
    if (DirectoryExists(p))
        return true;
    std::string parent = ExtractFilePath(p);
    if (!parent.empty() && parent != p && parent != "/" && !ForceDirectories(parent))
        return false;
    return ::mkdir(p.c_str(), 0755) == 0 || DirectoryExists(p);
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (path.empty() || path.back() == '/' || path.back() == '\\')
        return path;
    return path + "/";
}

std::string ExtractFileName(const std::string& path) {
    size_t s = path.find_last_of("/\\");
    return s == std::string::npos ? path : path.substr(s + 1);
}

std::string ExtractFilePath(const std::string& path) {
    size_t s = path.find_last_of("/\\");
    return s == std::string::npos ? "" : path.substr(0, s + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    std::string base = path.substr(0, path.size() - name.size()) +
                       (dot == std::string::npos ? name : name.substr(0, dot));
    return base + ext;
}

} // namespace win
