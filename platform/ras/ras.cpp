// Dial-up over pppd: peers are phone-book entries, `pon` dials, `poff` hangs
// up, pid files tell which links are up. A dial runs the dial command with a
// QProcess; its output lines (pppd's messages) move the dial state on, and a
// short timer watches for the peer's pid file, which marks it connected:
//
//   OpenPort -> ConnectDevice / DeviceConnected / AllDevicesConnected
//            -> Authenticate -> Authenticated -> Projected -> Connected
//   any state -> failed (error in the notification) on a terminating line
//                or a non-zero exit of the dial command before the pid file
//   Connected -> lost (Disconnected with an error) when the link's process
//                ends or pppd reports the end, unless hung up through us
//
// The peers are the system's and are only read. What a user sets for an
// entry (user name, kept password) lives in a file of the user's own; a
// password reaches pppd through an options file only the user can read,
// never through a command line.
#include "platform/ras/rasapi.h"

#include "platform/win/paths.h"
#include "platform/win/tempfile.h"
#include "platform/win/wholefile.h"

#include <QObject>
#include <QProcess>
#include <QSignalBlocker>
#include <QStringList>
#include <QTimer>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#define RAS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string Setting(const char* name, const char* def) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : def;
}
std::string PeersDir() {
    return Setting("QUELTA_RAS_PEERS", "/etc/ppp/peers") + "/";
}
std::string RunDir() {
    return Setting("QUELTA_RAS_RUNDIR", "/run") + "/";
}

void CopyText(char* dst, std::size_t size, const std::string& src) {
    if (size == 0)
        return;
    const std::size_t n = std::min(size - 1, src.size());
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

bool ValidEntryName(const std::string& name) {
    if (name.empty() || name.size() > 256 || name[0] == '.')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '/' || c == 0x7F)
            return false;
    return true;
}

std::vector<std::string> Entries() {
    std::vector<std::string> names;
    DIR* d = opendir(PeersDir().c_str());
    if (!d)
        return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        struct stat st;
        if (!ValidEntryName(n) || n.back() == '~' || stat((PeersDir() + n).c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool EntryExists(const std::string& name) {
    struct stat st;
    return ValidEntryName(name) && stat((PeersDir() + name).c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

// ---- pppd option files ----

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// The word after an option name ("user", "password"), unquoted.
bool OptionValue(const std::string& line, const std::string& option, std::string& value) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line.compare(i, option.size(), option) != 0)
        return false;
    i += option.size();
    if (i >= line.size() || (line[i] != ' ' && line[i] != '\t'))
        return false;
    i = line.find_first_not_of(" \t", i);
    value.clear();
    if (i == std::string::npos)
        return true;
    if (line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            value += line[i];
        }
    } else {
        const std::size_t e = line.find_first_of(" \t#", i);
        value = line.substr(i, e == std::string::npos ? std::string::npos : e - i);
    }
    return true;
}

std::string Quote(const std::string& v) {
    std::string q = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + "\"";
}

bool PrintableText(const char* s) {
    for (; *s; ++s)
        if (static_cast<unsigned char>(*s) < 0x20 || *s == 0x7F)
            return false;
    return true;
}

// What the peer file itself says about logging in.
struct PeerLogin {
    std::string user;
    std::string password;
    bool hasPassword = false;
};

PeerLogin ReadPeerLogin(const std::string& entry) {
    PeerLogin login;
    for (auto& l : ReadLines(PeersDir() + entry)) {
        std::string v;
        if (OptionValue(l, "user", v))
            login.user = v;
        if (OptionValue(l, "password", v)) {
            login.password = v;
            login.hasPassword = true;
        }
    }
    return login;
}

// ---- dial parameters kept per user ----
//
// dialup.ini beside the user's quelta.ini, mode 0600, replaced whole by one
// writer at a time (a lock on dialup.ini.lock):
//
//   [<entry>]
//   User=<user name>       only when it differs from the peer's "user"
//   Password=<password>    only while the password is kept
//
// Values run to the end of their line; they hold no control characters.

struct Kept {
    std::optional<std::string> user, password;
};
using KeptEntries = std::map<std::string, Kept>;

std::string KeptPath() {
    return win::WindowsDirectory() + "dialup.ini";
}

KeptEntries ReadKept() {
    KeptEntries kept;
    Kept* cur = nullptr;
    for (std::string l : ReadLines(KeptPath())) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        if (l.size() >= 2 && l.front() == '[' && l.back() == ']')
            cur = &kept[l.substr(1, l.size() - 2)];
        else if (cur && l.rfind("User=", 0) == 0)
            cur->user = l.substr(5);
        else if (cur && l.rfind("Password=", 0) == 0)
            cur->password = l.substr(9);
    }
    return kept;
}

std::string KeptText(const KeptEntries& kept) {
    std::string text;
    for (const auto& [entry, k] : kept) {
        if (!k.user && !k.password)
            continue;
        text += "[" + entry + "]\n";
        if (k.user)
            text += "User=" + *k.user + "\n";
        if (k.password)
            text += "Password=" + *k.password + "\n";
    }
    return text;
}

// A temporary file of mode 0600 beside the kept file, renamed over it.
bool WriteKept(const std::string& text) {
    const std::string path = KeptPath();
    std::string tmp = path + ".XXXXXX";
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, 0600) == 0 && win::WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// One writer at a time; KeptLock(false) holds nothing.
class KeptLock {
public:
    explicit KeptLock(bool take)
        : fd_(take ? open((KeptPath() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)
                   : -1) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~KeptLock() {
        if (fd_ >= 0)
            close(fd_);
    }
    KeptLock(const KeptLock&) = delete;
    KeptLock& operator=(const KeptLock&) = delete;
    [[nodiscard]] bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// ---- the login of one dial ----
//
// pppd reads "file <path>" with the rights of the user who started it. The
// options file lives in a private folder (0700) and is itself 0600; both go
// once pppd has read them (the dial command ended, or the dial did).

// Returns the private folder holding "options", or "" on a failure.
std::string WriteLoginOptions(const std::string& text) {
    std::string dir = win::GetTempPath() + "quelta-ras-XXXXXX";
    if (!mkdtemp(dir.data()))
        return "";
    const std::string file = dir + "/options";
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && fchmod(fd, 0600) == 0 && win::WriteAll(fd, text);
    if (fd >= 0)
        ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(file.c_str());
        rmdir(dir.c_str());
        return "";
    }
    return dir;
}

void RemoveLoginOptions(std::string& dir) {
    if (dir.empty())
        return;
    unlink((dir + "/options").c_str());
    rmdir(dir.c_str());
    dir.clear();
}

// ---- live links ----

struct Link {
    std::string entry;
    pid_t pid = 0;
    std::string device;
};

bool Alive(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

std::vector<Link> Links() {
    std::vector<Link> links;
    DIR* d = opendir(RunDir().c_str());
    if (!d)
        return links;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() <= 8 || n.compare(0, 4, "ppp-") != 0 ||
            n.compare(n.size() - 4, 4, ".pid") != 0)
            continue;
        auto lines = ReadLines(RunDir() + n);
        Link l;
        l.entry = n.substr(4, n.size() - 8);
        l.pid = lines.empty() ? 0 : static_cast<pid_t>(std::atol(lines[0].c_str()));
        l.device = lines.size() > 1 ? lines[1] : "";
        if (Alive(l.pid))
            links.push_back(l);
    }
    closedir(d);
    std::sort(links.begin(), links.end(),
              [](const Link& a, const Link& b) { return a.entry < b.entry; });
    return links;
}

bool FindLink(const std::string& entry, Link& out) {
    for (auto& l : Links())
        if (l.entry == entry) {
            out = l;
            return true;
        }
    return false;
}

std::string InterfaceAddress(const std::string& device) {
    ifaddrs* list = nullptr;
    std::string text;
    if (device.empty() || getifaddrs(&list) != 0)
        return text;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || device != a->ifa_name)
            continue;
        char buf[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, buf, sizeof buf);
        text = buf;
        break;
    }
    freeifaddrs(list);
    return text;
}

void RunHangUpCommand(const std::string& entry) {
    QProcess p;
    p.start(QString::fromStdString(Setting("QUELTA_RAS_POFF", "poff")),
            {QString::fromStdString(entry)});
    if (p.waitForStarted(5000))
        p.waitForFinished(10000);
}

// ---- dials and the links they brought up ----

struct Dial {
    HRASCONN handle = 0;
    std::string entry;
    RASWINDOW* wnd = nullptr; // null once the receiver has gone
    unsigned state = RASCS_OpenPort;
    bool connected = false; // the link is up; only its loss is reported now
    bool ended = false;     // failed or lost: no more notifications
    pid_t linkPid = 0;
    std::string loginDir; // private folder of the login options, "" when none
    std::unique_ptr<QProcess> proc;
    std::unique_ptr<QTimer> poll;
    std::string partial;
};

std::map<HRASCONN, std::shared_ptr<Dial>>& Dials() {
    static std::map<HRASCONN, std::shared_ptr<Dial>> dials;
    return dials;
}
HRASCONN g_nextDial = 0x40000001u; // above any pid
int g_dispatching = 0;

void Notify(const std::shared_ptr<Dial>& d, unsigned state, DWORD error) {
    if (d->ended)
        return;
    d->state = state;
    if (error != 0)
        d->ended = true;
    else if (state == RASCS_Connected)
        d->connected = true;
    // pppd has read its options by now.
    if (d->ended || d->connected)
        RemoveLoginOptions(d->loginDir);
    if (d->poll && (d->ended || (d->connected && !d->wnd)))
        d->poll->stop();
    if (!d->wnd)
        return;
    ++g_dispatching;
    d->wnd->WndProc(d->wnd, RASDIALEVENT, state, static_cast<std::intptr_t>(error));
    --g_dispatching;
}

// An error ends a dial; once the link was up it is the link's loss.
void Fail(const std::shared_ptr<Dial>& d, DWORD error) {
    Notify(d, d->connected ? RASCS_Disconnected : d->state, error);
}

void OnLine(const std::shared_ptr<Dial>& d, const std::string& line);

// Hands every complete line the dial command has printed so far to OnLine.
void ReadOutput(const std::shared_ptr<Dial>& d) {
    if (!d->proc)
        return;
    d->partial += d->proc->readAll().toStdString();
    std::size_t nl;
    while (!d->ended && (nl = d->partial.find('\n')) != std::string::npos) {
        std::string line = d->partial.substr(0, nl);
        d->partial.erase(0, nl + 1);
        OnLine(d, line);
    }
}

void CheckLink(const std::shared_ptr<Dial>& d) {
    if (d->ended)
        return;
    Link l;
    const bool up = FindLink(d->entry, l);
    if (d->connected) {
        if (!up || l.pid != d->linkPid)
            Fail(d, RAS_ERROR_PORT_DISCONNECTED);
        return;
    }
    if (!up)
        return;
    // The lines printed before the link came up are reported first.
    if (d->proc) {
        const QSignalBlocker block(d->proc.get());
        d->proc->waitForReadyRead(0);
        ReadOutput(d);
    }
    if (d->ended)
        return;
    d->linkPid = l.pid;
    Notify(d, RASCS_Connected, 0);
}

void OnLine(const std::shared_ptr<Dial>& d, const std::string& line) {
    struct Rule {
        const char* text;
        unsigned state;
        DWORD error;
    };
    static const Rule rules[] = {
        {"Serial connection established", RASCS_DeviceConnected, 0},
        {"Using interface", RASCS_AllDevicesConnected, 0},
        {"Connect:", RASCS_Authenticate, 0},
        {"authentication succeeded", RASCS_Authenticated, 0},
        {"local  IP address", RASCS_Projected, 0},
        {"local IP address", RASCS_Projected, 0},
        {"authentication failed", 0, RAS_ERROR_AUTHENTICATION_FAILURE},
        {"Connect script failed", 0, RAS_ERROR_FROM_DEVICE},
        {"Modem hangup", 0, RAS_ERROR_PORT_DISCONNECTED},
        {"Connection terminated", 0, RAS_ERROR_PORT_DISCONNECTED},
    };
    for (const Rule& r : rules)
        if (line.find(r.text) != std::string::npos) {
            if (r.error)
                Fail(d, r.error);
            else if (!d->connected)
                Notify(d, r.state, 0);
            break;
        }
}

void DropDial(HRASCONN h) {
    auto it = Dials().find(h);
    if (it == Dials().end())
        return;
    auto d = it->second;
    Dials().erase(it);
    d->ended = true;
    for (QObject* o : {static_cast<QObject*>(d->proc.get()), static_cast<QObject*>(d->poll.get())})
        if (o)
            o->disconnect();
    if (d->poll)
        d->poll->stop();
    if (d->proc && d->proc->state() != QProcess::NotRunning) {
        d->proc->kill();
        d->proc->waitForFinished(2000);
    }
    RemoveLoginOptions(d->loginDir);
    // Objects whose signal is being delivered now are deleted later.
    if (g_dispatching > 0) {
        if (d->proc)
            d->proc.release()->deleteLater();
        if (d->poll)
            d->poll.release()->deleteLater();
    }
}

// The pppd options that log in for this dial: what the peer does not say
// itself. Empty when there is nothing to add.
std::string LoginOptions(const RASDIALPARAMSA& p, const PeerLogin& peer) {
    std::string text;
    if (p.szUserName[0] && peer.user != p.szUserName)
        text += "user " + Quote(p.szUserName) + "\n";
    if (!peer.hasPassword && p.szPassword[0])
        text += "password " + Quote(p.szPassword) + "\n";
    return text;
}

DWORD StartDial(const RASDIALPARAMSA& p, RASWINDOW* wnd, HRASCONN* out) {
    const std::string entry = p.szEntryName;
    if (!EntryExists(entry))
        return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    // A line break would add options of its own.
    if (!PrintableText(p.szUserName) || !PrintableText(p.szPassword))
        return RAS_ERROR_INVALID_PARAMETER;
    auto d = std::make_shared<Dial>();
    d->entry = entry;
    d->wnd = wnd;
    QStringList args{QString::fromStdString(entry)};
    // Every local user can read a command line: the login goes in a file.
    if (const std::string login = LoginOptions(p, ReadPeerLogin(entry)); !login.empty()) {
        d->loginDir = WriteLoginOptions(login);
        if (d->loginDir.empty())
            return RAS_ERROR_CANNOT_WRITE_PHONEBOOK;
        args << "file" << QString::fromStdString(d->loginDir + "/options");
    }
    d->handle = g_nextDial++;
    d->proc = std::make_unique<QProcess>();
    d->proc->setProcessChannelMode(QProcess::MergedChannels);
    d->poll = std::make_unique<QTimer>();
    d->poll->setInterval(100);
    std::weak_ptr<Dial> weak = d;
    QObject::connect(d->proc.get(), &QProcess::readyRead, [weak] {
        if (auto d = weak.lock()) {
            ReadOutput(d);
            CheckLink(d);
        }
    });
    QObject::connect(d->proc.get(), &QProcess::finished, [weak](int code, QProcess::ExitStatus st) {
        auto d = weak.lock();
        if (!d)
            return;
        ReadOutput(d);
        CheckLink(d);
        // pppd read its options before it went to the background.
        RemoveLoginOptions(d->loginDir);
        if (code != 0 || st != QProcess::NormalExit)
            Fail(d, RAS_ERROR_FROM_DEVICE);
    });
    QObject::connect(d->proc.get(), &QProcess::errorOccurred, [weak](QProcess::ProcessError e) {
        auto d = weak.lock();
        if (d && e == QProcess::FailedToStart)
            Fail(d, RAS_ERROR_FROM_DEVICE);
    });
    QObject::connect(d->poll.get(), &QTimer::timeout, [weak] {
        if (auto d = weak.lock())
            CheckLink(d);
    });
    Dials()[d->handle] = d;
    *out = d->handle;
    // The first state is reported once the caller has its handle.
    QTimer::singleShot(0, d->poll.get(), [weak] {
        if (auto d = weak.lock())
            Notify(d, RASCS_OpenPort, 0);
    });
    d->proc->start(QString::fromStdString(Setting("QUELTA_RAS_PON", "pon")), args);
    d->poll->start();
    return 0;
}

const std::map<unsigned, const char*>& ErrorTexts() {
    static const std::map<unsigned, const char*> t = {
        {RAS_ERROR_INVALID_HANDLE, "The handle is invalid."},
        {RAS_ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {RAS_ERROR_BUFFER_TOO_SMALL, "The buffer is too small."},
        {RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY,
         "The system could not find the phone book entry for this connection."},
        {RAS_ERROR_CANNOT_WRITE_PHONEBOOK, "The system could not update the phone book file."},
        {RAS_ERROR_PORT_DISCONNECTED,
         "The connection was terminated by the remote computer before it could be completed."},
        {RAS_ERROR_FROM_DEVICE, "The modem (or other connecting device) has reported an error."},
        {RAS_ERROR_AUTHENTICATION_FAILURE,
         "Access was denied because the username and/or password was invalid on the domain."},
    };
    return t;
}

const std::map<unsigned, const char*>& Strings() {
    static const std::map<unsigned, const char*> t = {
        {120, "Opening port..."},
        {122, "Connecting device..."},
        {124, "Verifying username and password..."},
        {128, "Logging on to network..."},
        {129, "Connected"},
        {131, "Authenticated"},
    };
    return t;
}

template <class F> DWORD Guard(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return RAS_ERROR_INVALID_PARAMETER;
    }
}

} // namespace

RAS_EXPORT DWORD RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* buf, DWORD* cb,
                                 DWORD* count) {
    return Guard([&]() -> DWORD {
        if (!cb || !count || (buf && buf->dwSize != sizeof(RASENTRYNAMEA)))
            return RAS_ERROR_INVALID_PARAMETER;
        auto names = Entries();
        const DWORD need = static_cast<DWORD>(names.size() * sizeof(RASENTRYNAMEA));
        if (!buf || *cb < need) {
            *cb = need;
            *count = 0;
            return RAS_ERROR_BUFFER_TOO_SMALL;
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            buf[i].dwSize = sizeof(RASENTRYNAMEA);
            CopyText(buf[i].szEntryName, sizeof buf[i].szEntryName, names[i]);
        }
        *cb = need;
        *count = static_cast<DWORD>(names.size());
        return 0;
    });
}

RAS_EXPORT DWORD RasEnumConnectionsA(RASCONNA* buf, DWORD* cb, DWORD* count) {
    return Guard([&]() -> DWORD {
        if (!cb || !count || (buf && buf->dwSize != sizeof(RASCONNA)))
            return RAS_ERROR_INVALID_PARAMETER;
        auto links = Links();
        const DWORD need = static_cast<DWORD>(links.size() * sizeof(RASCONNA));
        if (!buf || *cb < need) {
            *cb = need;
            *count = 0;
            return RAS_ERROR_BUFFER_TOO_SMALL;
        }
        for (std::size_t i = 0; i < links.size(); ++i) {
            RASCONNA& c = buf[i];
            c.dwSize = sizeof(RASCONNA);
            c.hrasconn = static_cast<HRASCONN>(links[i].pid);
            CopyText(c.szEntryName, sizeof c.szEntryName, links[i].entry);
            CopyText(c.szDeviceType, sizeof c.szDeviceType, "ppp");
            CopyText(c.szDeviceName, sizeof c.szDeviceName, links[i].device);
        }
        *cb = need;
        *count = static_cast<DWORD>(links.size());
        return 0;
    });
}

RAS_EXPORT DWORD RasGetProjectionInfoA(HRASCONN conn, DWORD projection, void* info, DWORD* cb) {
    return Guard([&]() -> DWORD {
        if (projection != RASP_PppIp || !info || !cb)
            return RAS_ERROR_INVALID_PARAMETER;
        if (*cb < sizeof(RASPPPIPA)) {
            *cb = sizeof(RASPPPIPA);
            return RAS_ERROR_BUFFER_TOO_SMALL;
        }
        for (auto& l : Links())
            if (static_cast<HRASCONN>(l.pid) == conn) {
                RASPPPIPA ip{};
                ip.dwSize = sizeof ip;
                CopyText(ip.szIpAddress, sizeof ip.szIpAddress, InterfaceAddress(l.device));
                std::memcpy(info, &ip, sizeof ip);
                return 0;
            }
        return RAS_ERROR_INVALID_HANDLE;
    });
}

RAS_EXPORT DWORD RasGetEntryDialParamsA(const char*, RASDIALPARAMSA* p, BOOL* hasPassword) {
    return Guard([&]() -> DWORD {
        if (!p || !hasPassword || p->dwSize != sizeof(RASDIALPARAMSA))
            return RAS_ERROR_INVALID_PARAMETER;
        const std::string entry = p->szEntryName;
        if (!EntryExists(entry))
            return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        const PeerLogin peer = ReadPeerLogin(entry);
        const KeptEntries all = ReadKept();
        const auto kept = all.find(entry);
        const Kept k = kept == all.end() ? Kept{} : kept->second;
        // A password in the peer is the one pppd uses.
        const std::optional<std::string> password =
            peer.hasPassword ? std::optional(peer.password) : k.password;
        CopyText(p->szUserName, sizeof p->szUserName, k.user.value_or(peer.user));
        CopyText(p->szPassword, sizeof p->szPassword, password.value_or(""));
        *hasPassword = password ? 1 : 0;
        return 0;
    });
}

// Keeps the user name and, unless removePassword, the password for this
// user only; the peer is not written.
RAS_EXPORT DWORD RasSetEntryDialParamsA(const char*, RASDIALPARAMSA* p, BOOL removePassword) {
    return Guard([&]() -> DWORD {
        if (!p || p->dwSize != sizeof(RASDIALPARAMSA))
            return RAS_ERROR_INVALID_PARAMETER;
        const std::string entry = p->szEntryName;
        if (!EntryExists(entry))
            return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        // A line break would start a line of its own.
        if (!PrintableText(p->szUserName) || !PrintableText(p->szPassword))
            return RAS_ERROR_INVALID_PARAMETER;
        Kept k;
        if (p->szUserName[0] && ReadPeerLogin(entry).user != p->szUserName)
            k.user = p->szUserName;
        if (!removePassword && p->szPassword[0])
            k.password = p->szPassword;
        // Each dial sets its parameters: most change nothing and write nothing.
        for (bool locked : {false, true}) {
            const KeptLock lock(locked);
            if (locked && !lock.Held())
                return RAS_ERROR_CANNOT_WRITE_PHONEBOOK;
            KeptEntries all = ReadKept();
            const std::string before = KeptText(all);
            all[entry] = k;
            const std::string after = KeptText(all);
            if (after == before)
                return 0;
            if (locked && !WriteKept(after))
                return RAS_ERROR_CANNOT_WRITE_PHONEBOOK;
        }
        return 0;
    });
}

RAS_EXPORT DWORD RasDialA(void*, const char*, RASDIALPARAMSA* p, DWORD notifierType, void* notifier,
                          HRASCONN* conn) {
    return Guard([&]() -> DWORD {
        if (!p || !conn || p->dwSize != sizeof(RASDIALPARAMSA) ||
            notifierType != RAS_NOTIFIER_WINDOW || !notifier)
            return RAS_ERROR_INVALID_PARAMETER;
        return StartDial(*p, static_cast<RASWINDOW*>(notifier), conn);
    });
}

RAS_EXPORT DWORD RasHangUpA(HRASCONN conn) {
    return Guard([&]() -> DWORD {
        auto it = Dials().find(conn);
        if (it != Dials().end()) {
            const std::string entry = it->second->entry;
            DropDial(conn);
            RunHangUpCommand(entry);
            return 0;
        }
        for (auto& l : Links())
            if (static_cast<HRASCONN>(l.pid) == conn) {
                RunHangUpCommand(l.entry);
                return 0;
            }
        return RAS_ERROR_INVALID_HANDLE;
    });
}

RAS_EXPORT void RasReleaseNotifier(RASWINDOW* wnd) {
    for (auto& [handle, d] : Dials())
        if (d->wnd == wnd) {
            d->wnd = nullptr;
            if (d->poll && (d->connected || d->ended))
                d->poll->stop();
        }
}

RAS_EXPORT DWORD RasGetErrorStringA(unsigned code, char* buf, DWORD size) {
    auto it = ErrorTexts().find(code);
    if (!buf || size == 0 || it == ErrorTexts().end())
        return RAS_ERROR_INVALID_PARAMETER;
    CopyText(buf, size, it->second);
    return 0;
}

RAS_EXPORT int RasLoadStringA(unsigned id, char* buf, int size) {
    auto it = Strings().find(id);
    if (!buf || size <= 0 || it == Strings().end())
        return 0;
    CopyText(buf, static_cast<std::size_t>(size), it->second);
    return static_cast<int>(std::strlen(buf));
}
