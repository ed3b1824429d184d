#pragma once
// Helpers of the engine tests: scratch folders, copies of the shared
// FoxPro files, and running outside readers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/xbase/xbengine.h"

namespace xbtest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "xbtest.XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    [[nodiscard]] std::string File(const std::string& name) const { return path_ + "/" + name; }
    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline std::string SharedFoxpro() {
    return std::string(QUELTA_SHARED_DIR) + "/data/foxpro";
}

// Copies a folder of the shared FoxPro files (never written in place).
inline void CopyShared(const std::string& sub, const TempDir& to) {
    for (const auto& e : fs::directory_iterator(SharedFoxpro() + "/" + sub)) {
        if (!e.is_regular_file())
            continue;
        fs::path dest = fs::path(to.Path()) / e.path().filename();
        fs::copy_file(e.path(), dest, fs::copy_options::overwrite_existing);
        fs::permissions(dest, fs::perms::owner_read | fs::perms::owner_write);
    }
}

// Standard output of a command; the exit status lands in *status.
inline std::string Capture(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = ::pclose(p);
    if (status)
        *status = rc;
    return out;
}

inline XbFieldDef Def(const char* name, char type, int width, int decimals = 0) {
    XbFieldDef d{};
    std::memcpy(d.name, name, std::min(std::strlen(name), sizeof d.name - 1));
    d.type = type;
    d.width = width;
    d.decimals = decimals;
    return d;
}

inline std::string ErrorText() {
    char buf[512];
    xb_ErrorText(buf, sizeof buf);
    return buf;
}

inline std::string Str(const char* field) {
    std::vector<char> buf(70000);
    xb_GetString(field, buf.data(), static_cast<int>(buf.size()));
    return buf.data();
}

inline std::string Trim(const char* field) {
    std::vector<char> buf(70000);
    xb_GetTrimString(field, buf.data(), static_cast<int>(buf.size()));
    return buf.data();
}

inline bool Put(const char* field, const std::string& value) {
    return xb_Replace(field, XB_REPLACE_STRING, value.c_str(), static_cast<int>(value.size())) == 1;
}

inline std::string Memo(const char* field) {
    int len = 0;
    char* m = xb_GetMemo(field, &len);
    std::string s = m ? std::string(m, static_cast<std::size_t>(len)) : std::string("<null>");
    xb_MemDealloc(m);
    return s;
}

// A fresh engine state for each test.
struct EngineReset {
    EngineReset() { xb_SysProp(XB_PROP_EXIT, 0); }
    ~EngineReset() { xb_SysProp(XB_PROP_EXIT, 0); }
};

} // namespace xbtest
