#include "platform/com/registry.h"
#include "platform/win/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct HKEY__ {
    int root;
    std::vector<std::string> path;
};

// File layout (text, one item a line):
//   QUELTA-REGISTRY 1
//   [HKEY_CLASSES_ROOT\CLSID\{...}]     a key; components %HH-escaped
//   @=sz:"text"                          its default value
//   "Name"=hex(4):01,00,00,00            a named value of type 4
// Strings escape \, " and bytes outside 0x20-0x7E as \\, \" and \xHH.
// Keys appear parent first, in creation order; empty keys are kept.
namespace {

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
constexpr int kRoots = 3;

struct Value {
    std::string name; // "" is the default value
    DWORD type = REG_SZ;
    std::string data; // REG_SZ/REG_EXPAND_SZ without the terminating NUL
};

struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> subs;
};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

Key* Child(Key& k, std::string_view name) {
    for (auto& s : k.subs)
        if (SameText(s->name, name))
            return s.get();
    return nullptr;
}

// The named subkey, made (and created set) when it is missing.
Key* ChildOrNew(Key& k, const std::string& name, bool& created) {
    if (Key* c = Child(k, name))
        return c;
    k.subs.push_back(std::make_unique<Key>());
    k.subs.back()->name = name;
    created = true;
    return k.subs.back().get();
}

Value* FindValue(Key& k, std::string_view name) {
    for (auto& v : k.values)
        if (SameText(v.name, name))
            return &v;
    return nullptr;
}

struct Tree {
    Key roots[kRoots];
    Key* Find(int root, const std::vector<std::string>& path) {
        Key* k = &roots[root];
        for (const auto& c : path)
            if (!(k = Child(*k, c)))
                return nullptr;
        return k;
    }
};

// ---- text form ----

bool Plain(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

std::string EscapeComponent(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        if (Plain(c) && c != '%' && c != '[' && c != ']' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string UnescapeComponent(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
            out += static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    char buf[8];
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (Plain(c)) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

// Reads a quoted string at the start of s; false when malformed.
bool Unquote(std::string_view& s, std::string& out) {
    if (s.empty() || s.front() != '"')
        return false;
    out.clear();
    size_t i = 1;
    for (; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i >= s.size())
            return false;
        if (s[i] == 'x') {
            if (i + 2 >= s.size() || Hex(s[i + 1]) < 0 || Hex(s[i + 2]) < 0)
                return false;
            out += static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    if (i >= s.size())
        return false;
    s.remove_prefix(i + 1);
    return true;
}

void WriteKey(std::ostream& os, const Key& k, const std::string& path) {
    os << '[' << path << "]\n";
    for (const auto& v : k.values) {
        os << (v.name.empty() ? std::string("@") : Quote(v.name)) << '=';
        if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
            os << (v.type == REG_SZ ? "sz:" : "esz:") << Quote(v.data) << '\n';
        } else {
            os << "hex(" << v.type << "):";
            char buf[4];
            for (size_t i = 0; i < v.data.size(); ++i) {
                std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(v.data[i]));
                os << (i ? "," : "") << buf;
            }
            os << '\n';
        }
    }
    for (const auto& s : k.subs)
        WriteKey(os, *s, path + '\\' + EscapeComponent(s->name));
}

std::string Serialise(const Tree& t) {
    std::ostringstream os;
    os << "QUELTA-REGISTRY 1\n";
    for (int r = 0; r < kRoots; ++r)
        if (!t.roots[r].subs.empty() || !t.roots[r].values.empty())
            WriteKey(os, t.roots[r], kRootNames[r]);
    return os.str();
}

// Malformed lines are skipped: a damaged file loses only those lines.
void ParseLine(Tree& t, Key*& cur, std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        std::string_view p = line.substr(1, line.size() - 2);
        cur = nullptr;
        size_t sep = p.find('\\');
        std::string_view rootName = p.substr(0, sep);
        int root = -1;
        for (int r = 0; r < kRoots; ++r)
            if (SameText(rootName, kRootNames[r]))
                root = r;
        if (root < 0)
            return;
        Key* k = &t.roots[root];
        while (sep != std::string_view::npos) {
            p.remove_prefix(sep + 1);
            sep = p.find('\\');
            std::string name = UnescapeComponent(p.substr(0, sep));
            if (name.empty())
                continue;
            bool created = false;
            k = ChildOrNew(*k, name, created);
        }
        cur = k;
        return;
    }
    if (!cur || line.empty() || (line.front() != '@' && line.front() != '"'))
        return;
    Value v;
    if (line.front() == '@')
        line.remove_prefix(1);
    else if (!Unquote(line, v.name))
        return;
    if (line.empty() || line.front() != '=')
        return;
    line.remove_prefix(1);
    if (line.starts_with("sz:") || line.starts_with("esz:")) {
        v.type = line.starts_with("sz:") ? REG_SZ : REG_EXPAND_SZ;
        line.remove_prefix(v.type == REG_SZ ? 3 : 4);
        if (!Unquote(line, v.data))
            return;
    } else if (line.starts_with("hex(")) {
        line.remove_prefix(4);
        size_t close = line.find("):");
        if (close == std::string_view::npos)
            return;
        v.type = static_cast<DWORD>(
            std::strtoul(std::string(line.substr(0, close)).c_str(), nullptr, 10));
        line.remove_prefix(close + 2);
        while (line.size() >= 2) {
            if (Hex(line[0]) < 0 || Hex(line[1]) < 0)
                return;
            v.data += static_cast<char>(Hex(line[0]) * 16 + Hex(line[1]));
            line.remove_prefix(line.size() > 2 ? 3 : 2);
        }
    } else {
        return;
    }
    if (Value* old = FindValue(*cur, v.name))
        *old = v;
    else
        cur->values.push_back(std::move(v));
}

LONG Load(Tree& t) {
    int fd = open(com::RegistryFileName().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ERROR_SUCCESS : ERROR_READ_FAULT; // none yet: empty
    std::string text;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return ERROR_READ_FAULT;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    Key* cur = nullptr;
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        ParseLine(t, cur, rest.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        rest.remove_prefix(nl + 1);
    }
    return ERROR_SUCCESS;
}

LONG Save(const Tree& t) {
    const std::string path = com::RegistryFileName();
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return ERROR_WRITE_FAULT;
    const std::string text = Serialise(t);
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == text.size() && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}

// One change at a time: within the process by the mutex, between processes
// by a lock on a companion file (the registry file itself is replaced).
std::mutex gMutex;
std::set<HKEY> gHandles;

class Lock {
public:
    Lock() : guard_(gMutex) {
        fd_ = open((com::RegistryFileName() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~Lock() {
        if (fd_ >= 0)
            close(fd_); // releases the lock
    }

private:
    std::lock_guard<std::mutex> guard_;
    int fd_ = -1;
};

int RootOf(HKEY h) {
    for (int r = 0; r < kRoots; ++r)
        if (h == reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u + r)))
            return r;
    return -1;
}

std::vector<std::string> Split(const char* sub) {
    std::vector<std::string> out;
    if (!sub)
        return out;
    std::string_view s = sub;
    while (!s.empty()) {
        size_t sep = s.find('\\');
        std::string_view c = s.substr(0, sep);
        if (!c.empty())
            out.emplace_back(c);
        if (sep == std::string_view::npos)
            break;
        s.remove_prefix(sep + 1);
    }
    return out;
}

// The handle's root and path with sub appended; gMutex held.
LONG Resolve(HKEY h, const char* sub, int& root, std::vector<std::string>& path) {
    root = RootOf(h);
    if (root >= 0) {
        path = Split(sub);
        return ERROR_SUCCESS;
    }
    if (!h || !gHandles.count(h))
        return ERROR_INVALID_HANDLE;
    root = h->root;
    path = h->path;
    for (auto& c : Split(sub))
        path.push_back(std::move(c));
    return ERROR_SUCCESS;
}

// Resolves hKey+sub, loads the tree and checks that hKey's own key exists.
LONG Prepare(Tree& t, HKEY h, const char* sub, int& root, std::vector<std::string>& path) {
    LONG rc = Resolve(h, sub, root, path);
    if (rc != ERROR_SUCCESS)
        return rc;
    if ((rc = Load(t)) != ERROR_SUCCESS)
        return rc;
    if (RootOf(h) < 0 && !t.Find(root, h->path))
        return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

// What one registry call works on: the tree loaded under the lock and
// the key path the call names (the handle's own key is known to exist).
struct Call {
    Tree t;
    int root = 0;
    std::vector<std::string> path;
    [[nodiscard]] Key* Target() { return t.Find(root, path); }
};

// Every call's prologue: the lock, the file loaded, hKey+sub resolved; then
// body(call). A failure to allocate anywhere is ERROR_OUTOFMEMORY.
template <class Body> LONG WithRegistry(HKEY hKey, const char* sub, Body body) {
    try {
        Lock lock;
        Call c;
        LONG rc = Prepare(c.t, hKey, sub, c.root, c.path);
        if (rc != ERROR_SUCCESS)
            return rc;
        return body(c);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LONG NewHandle(int root, std::vector<std::string> path, PHKEY out) {
    auto* h = new (std::nothrow) HKEY__{root, std::move(path)};
    if (!h)
        return ERROR_OUTOFMEMORY;
    gHandles.insert(h);
    *out = h;
    return ERROR_SUCCESS;
}

Key* CreatePath(Tree& t, int root, const std::vector<std::string>& path, bool& created) {
    Key* k = &t.roots[root];
    for (const auto& c : path)
        k = ChildOrNew(*k, c, created);
    return k;
}

LONG SetValue(HKEY hKey, const char* sub, const char* valueName, DWORD type, std::string data,
              bool create) {
    return WithRegistry(hKey, sub, [&](Call& c) {
        bool created = false;
        Key* k = create ? CreatePath(c.t, c.root, c.path, created) : c.Target();
        if (!k)
            return ERROR_FILE_NOT_FOUND;
        if ((type == REG_SZ || type == REG_EXPAND_SZ) && !data.empty() && data.back() == '\0')
            data.pop_back();
        std::string name = valueName ? valueName : "";
        if (Value* v = FindValue(*k, name)) {
            v->type = type;
            v->data = std::move(data);
        } else {
            k->values.push_back(Value{name, type, std::move(data)});
        }
        return Save(c.t);
    });
}

// Copies a value out as RegQueryValueEx does.
LONG CopyOut(const Value& v, DWORD* type, BYTE* data, DWORD* cb) {
    std::string bytes = v.data;
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
        bytes += '\0';
    if (type)
        *type = v.type;
    if (!cb)
        return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD need = static_cast<DWORD>(bytes.size());
    if (data && *cb < need) {
        *cb = need;
        return ERROR_MORE_DATA;
    }
    if (data)
        std::memcpy(data, bytes.data(), need);
    *cb = need;
    return ERROR_SUCCESS;
}

} // namespace

namespace com {

std::string RegistryFileName() {
    return win::WindowsDirectory() + "quelta.reg";
}

LONG RegSetString(HKEY root, const std::string& subKey, const std::string& valueName,
                  const std::string& value) {
    return SetValue(root, subKey.c_str(), valueName.c_str(), REG_SZ, value, true);
}

bool RegGetString(HKEY root, const std::string& subKey, const std::string& valueName,
                  std::string& value) {
    HKEY k;
    if (RegOpenKey(root, subKey.c_str(), &k) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, cb = 0;
    LONG rc = RegQueryValueEx(k, valueName.c_str(), nullptr, &type, nullptr, &cb);
    std::string buf(cb, '\0');
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueEx(k, valueName.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buf.data()), &cb);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS)
        return false;
    buf.resize(cb);
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !buf.empty() && buf.back() == '\0')
        buf.pop_back();
    value = buf;
    return true;
}

bool RegKeyExists(HKEY root, const std::string& subKey) {
    HKEY k;
    if (RegOpenKey(root, subKey.c_str(), &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

} // namespace com

extern "C" {

LONG RegCreateKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    return WithRegistry(hKey, lpSubKey, [&](Call& c) {
        bool created = false;
        CreatePath(c.t, c.root, c.path, created);
        LONG rc = ERROR_SUCCESS;
        if (created && (rc = Save(c.t)) != ERROR_SUCCESS)
            return rc;
        return NewHandle(c.root, std::move(c.path), phkResult);
    });
}

LONG RegOpenKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    return WithRegistry(hKey, lpSubKey, [&](Call& c) {
        if (!c.Target())
            return ERROR_FILE_NOT_FOUND;
        return NewHandle(c.root, std::move(c.path), phkResult);
    });
}

LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    return RegOpenKey(hKey, lpSubKey, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    if (RootOf(hKey) >= 0)
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(gMutex);
    if (!hKey || !gHandles.erase(hKey))
        return ERROR_INVALID_HANDLE;
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegSetValue(HKEY hKey, const char* lpSubKey, DWORD dwType, const char* lpData, DWORD) {
    if (dwType != REG_SZ || !lpData)
        return ERROR_INVALID_PARAMETER;
    try {
        return SetValue(hKey, lpSubKey, "", REG_SZ, lpData, true);
    } catch (...) {
        return ERROR_OUTOFMEMORY; // making the text
    }
}

LONG RegQueryValue(HKEY hKey, const char* lpSubKey, char* lpData, LONG* lpcbData) {
    return WithRegistry(hKey, lpSubKey, [&](Call& c) {
        Key* k = c.Target();
        if (!k)
            return ERROR_FILE_NOT_FOUND;
        Value v;
        if (Value* d = FindValue(*k, ""))
            v = *d;
        v.type = REG_SZ;
        DWORD cb = lpcbData ? static_cast<DWORD>(*lpcbData) : 0;
        LONG rc = CopyOut(v, nullptr, reinterpret_cast<BYTE*>(lpData), lpcbData ? &cb : nullptr);
        if (lpcbData)
            *lpcbData = static_cast<LONG>(cb);
        return rc;
    });
}

LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                   DWORD cbData) {
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    try {
        std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
        return SetValue(hKey, nullptr, lpValueName, dwType, std::move(data), false);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData) {
    return WithRegistry(hKey, nullptr, [&](Call& c) {
        Key* k = c.Target();
        Value* v = k ? FindValue(*k, lpValueName ? lpValueName : "") : nullptr;
        if (!v)
            return ERROR_FILE_NOT_FOUND;
        return CopyOut(*v, lpType, lpData, lpcbData);
    });
}

LONG RegDeleteValue(HKEY hKey, const char* lpValueName) {
    return WithRegistry(hKey, nullptr, [&](Call& c) {
        Key* k = c.Target();
        std::string name = lpValueName ? lpValueName : "";
        auto it = k ? std::find_if(k->values.begin(), k->values.end(),
                                   [&](const Value& v) { return SameText(v.name, name); })
                    : std::vector<Value>::iterator{};
        if (!k || it == k->values.end())
            return ERROR_FILE_NOT_FOUND;
        k->values.erase(it);
        return Save(c.t);
    });
}

LONG RegDeleteKey(HKEY hKey, const char* lpSubKey) {
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return WithRegistry(hKey, lpSubKey, [&](Call& c) {
        if (c.path.empty())
            return ERROR_ACCESS_DENIED; // a root key
        std::vector<std::string> parentPath(c.path.begin(), c.path.end() - 1);
        Key* parent = c.t.Find(c.root, parentPath);
        Key* k = parent ? Child(*parent, c.path.back()) : nullptr;
        if (!k)
            return ERROR_FILE_NOT_FOUND;
        if (!k->subs.empty())
            return ERROR_ACCESS_DENIED;
        parent->subs.erase(std::find_if(parent->subs.begin(), parent->subs.end(),
                                        [&](const auto& s) { return s.get() == k; }));
        return Save(c.t);
    });
}

LONG RegEnumKey(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
    if (!lpName)
        return ERROR_INVALID_PARAMETER;
    return WithRegistry(hKey, nullptr, [&](Call& c) {
        Key* k = c.Target();
        if (!k || dwIndex >= k->subs.size())
            return ERROR_NO_MORE_ITEMS;
        const std::string& name = k->subs[dwIndex]->name;
        if (name.size() + 1 > cchName)
            return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD*,
                  DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (!lpValueName || !lpcchValueName)
        return ERROR_INVALID_PARAMETER;
    return WithRegistry(hKey, nullptr, [&](Call& c) {
        Key* k = c.Target();
        if (!k || dwIndex >= k->values.size())
            return ERROR_NO_MORE_ITEMS;
        const Value& v = k->values[dwIndex];
        if (v.name.size() + 1 > *lpcchValueName)
            return ERROR_MORE_DATA;
        std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
        *lpcchValueName = static_cast<DWORD>(v.name.size());
        return CopyOut(v, lpType, lpData, lpcbData);
    });
}

} // extern "C"
