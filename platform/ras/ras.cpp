// Dial-up over pppd: peers are phone-book entries, `pon` dials, `poff` hangs
// up, pid files tell which links are up. A dial runs the dial command with a
// QProcess; its output lines (pppd's messages) move the dial state on, and a
// short timer watches for the peer's pid file, which marks it connected:
//
//   OpenPort -> ConnectDevice / DeviceConnected / AllDevicesConnected
//            -> Authenticate -> Authenticated -> Projected -> Connected
//   any state -> failed (error in the notification) on a terminating line
//                or a non-zero exit of the dial command before the pid file
#include "platform/ras/rasapi.h"

#include <QObject>
#include <QProcess>
#include <QSignalBlocker>
#include <QStringList>
#include <QTimer>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
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

// ---- dials in progress ----

struct Dial {
    HRASCONN handle = 0;
    std::string entry;
    RASWINDOW* wnd = nullptr;
    unsigned state = RASCS_OpenPort;
    bool done = false; // connected or failed: no more notifications
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
    if (d->done)
        return;
    d->state = state;
    if (error != 0 || state == RASCS_Connected) {
        d->done = true;
        if (d->poll)
            d->poll->stop();
    }
    ++g_dispatching;
    d->wnd->WndProc(d->wnd, RASDIALEVENT, state, static_cast<std::intptr_t>(error));
    --g_dispatching;
}

void OnLine(const std::shared_ptr<Dial>& d, const std::string& line);

// Hands every complete line the dial command has printed so far to OnLine.
void ReadOutput(const std::shared_ptr<Dial>& d) {
    if (!d->proc)
        return;
    d->partial += d->proc->readAll().toStdString();
    std::size_t nl;
    while (!d->done && (nl = d->partial.find('\n')) != std::string::npos) {
        std::string line = d->partial.substr(0, nl);
        d->partial.erase(0, nl + 1);
        OnLine(d, line);
    }
}

void CheckLink(const std::shared_ptr<Dial>& d) {
    Link l;
    if (d->done || !FindLink(d->entry, l))
        return;
    // The lines printed before the link came up are reported first.
    if (d->proc) {
        const QSignalBlocker block(d->proc.get());
        d->proc->waitForReadyRead(0);
        ReadOutput(d);
    }
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
            Notify(d, r.error ? d->state : r.state, r.error);
            break;
        }
}

void DropDial(HRASCONN h) {
    auto it = Dials().find(h);
    if (it == Dials().end())
        return;
    auto d = it->second;
    Dials().erase(it);
    d->done = true;
    for (QObject* o : {static_cast<QObject*>(d->proc.get()), static_cast<QObject*>(d->poll.get())})
        if (o)
            o->disconnect();
    if (d->poll)
        d->poll->stop();
    if (d->proc && d->proc->state() != QProcess::NotRunning) {
        d->proc->kill();
        d->proc->waitForFinished(2000);
    }
    // Objects whose signal is being delivered now are deleted later.
    if (g_dispatching > 0) {
        if (d->proc)
            d->proc.release()->deleteLater();
        if (d->poll)
            d->poll.release()->deleteLater();
    }
}

DWORD StartDial(const RASDIALPARAMSA& p, RASWINDOW* wnd, HRASCONN* out) {
    const std::string entry = p.szEntryName;
    if (!EntryExists(entry))
        return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    auto d = std::make_shared<Dial>();
    d->handle = g_nextDial++;
    d->entry = entry;
    d->wnd = wnd;
    QStringList args{QString::fromStdString(entry)};
    // A password that the peer does not keep goes to pppd for this call only.
    bool saved = false;
    for (auto& l : ReadLines(PeersDir() + entry)) {
        std::string v;
        saved = saved || OptionValue(l, "password", v);
    }
    if (!saved && p.szPassword[0]) {
        if (p.szUserName[0])
            args << "user" << QString::fromStdString(p.szUserName);
        args << "password" << QString::fromStdString(p.szPassword);
    }
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
        if (code != 0 || st != QProcess::NormalExit)
            Notify(d, d->state, RAS_ERROR_FROM_DEVICE);
    });
    QObject::connect(d->proc.get(), &QProcess::errorOccurred, [weak](QProcess::ProcessError e) {
        auto d = weak.lock();
        if (d && e == QProcess::FailedToStart)
            Notify(d, d->state, RAS_ERROR_FROM_DEVICE);
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
        std::string user, password;
        bool saved = false;
        for (auto& l : ReadLines(PeersDir() + entry)) {
            std::string v;
            if (OptionValue(l, "user", v))
                user = v;
            if (OptionValue(l, "password", v)) {
                password = v;
                saved = true;
            }
        }
        CopyText(p->szUserName, sizeof p->szUserName, user);
        CopyText(p->szPassword, sizeof p->szPassword, password);
        *hasPassword = saved ? 1 : 0;
        return 0;
    });
}

RAS_EXPORT DWORD RasSetEntryDialParamsA(const char*, RASDIALPARAMSA* p, BOOL removePassword) {
    return Guard([&]() -> DWORD {
        if (!p || p->dwSize != sizeof(RASDIALPARAMSA))
            return RAS_ERROR_INVALID_PARAMETER;
        const std::string entry = p->szEntryName;
        if (!EntryExists(entry))
            return RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        // A line break in a value would add options to the peer.
        if (!PrintableText(p->szUserName) || !PrintableText(p->szPassword))
            return RAS_ERROR_INVALID_PARAMETER;
        const std::string path = PeersDir() + entry;
        std::vector<std::string> kept;
        for (auto& l : ReadLines(path)) {
            std::string v;
            if (OptionValue(l, "password", v) || (p->szUserName[0] && OptionValue(l, "user", v)))
                continue;
            kept.push_back(l);
        }
        if (p->szUserName[0])
            kept.push_back("user " + Quote(p->szUserName));
        if (!removePassword && p->szPassword[0])
            kept.push_back("password " + Quote(p->szPassword));
        const std::string tmp = path + ".tmp~";
        {
            std::ofstream out(tmp, std::ios::trunc);
            for (auto& l : kept)
                out << l << '\n';
            if (!out.flush())
                return RAS_ERROR_INVALID_PARAMETER;
        }
        chmod(tmp.c_str(), 0600);
        if (std::rename(tmp.c_str(), path.c_str()) != 0) {
            std::remove(tmp.c_str());
            return RAS_ERROR_INVALID_PARAMETER;
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
