#include "mail/tests/dovecot_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace nettest {

namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";

std::uint16_t FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    std::uint16_t port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// True once the server greets a client with "+OK".
bool Greets(std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        timeval tv{2, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buf[64] = {};
        ok = ::recv(s, buf, sizeof buf - 1, 0) > 3 && std::strncmp(buf, "+OK", 3) == 0;
        ::send(s, "QUIT\r\n", 6, MSG_NOSIGNAL);
    }
    ::close(s);
    return ok;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Running as root, Dovecot's processes need unprivileged users of their own.
bool Root() {
    return ::geteuid() == 0;
}
uid_t MailUid() {
    return Root() ? 65534 : ::getuid();
}
gid_t MailGid() {
    return Root() ? 65534 : ::getgid();
}

std::string UserName(uid_t uid, const char* fallback) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? pw->pw_name : fallback;
}

} // namespace

DovecotServer::DovecotServer() {
    if (::access(kDovecot, X_OK) != 0) {
        why_ = "Dovecot (dovecot-pop3d) is not installed";
        return;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "dovecot.XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        why_ = "no scratch folder";
        return;
    }
    dir_ = tmpl;
    ::chmod(dir_.c_str(), 0755);
    for (const char* sub : {"run", "state", "mail"})
        std::filesystem::create_directories(dir_ + "/" + sub);
    WriteText(dir_ + "/passwd", "");
    port_ = FreePort();

    const bool root = Root();
    const std::string self = UserName(::getuid(), "root");
    const std::string loginUser = root ? "dovenull" : self;
    const std::string internalUser = root ? "dovecot" : self;
    std::ostringstream conf;
    conf << "base_dir = " << dir_ << "/run\n"
         << "state_dir = " << dir_ << "/state\n"
         << "log_path = " << dir_ << "/dovecot.log\n"
         << "protocols = pop3\nlisten = 127.0.0.1\nssl = no\n"
         << "disable_plaintext_auth = no\nauth_mechanisms = plain\nauth_failure_delay = 0\n"
         << "default_login_user = " << loginUser << "\n"
         << "default_internal_user = " << internalUser << "\n"
         << "first_valid_uid = 1\nfirst_valid_gid = 1\n"
         << "mail_location = maildir:" << dir_ << "/mail/%u\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " << dir_
         << "/passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << MailUid() << " gid=" << MailGid()
         << " home=" << dir_ << "/mail/%u\n}\n"
         << "service pop3-login {\n  chroot =\n  user = " << loginUser
         << "\n  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << port_
         << "\n  }\n}\n"
         << "service anvil {\n  chroot =\n}\n"
         << "service auth {\n  user = " << (root ? "root" : self) << "\n}\n";
    WriteText(dir_ + "/dovecot.conf", conf.str());

    const std::string conf_path = dir_ + "/dovecot.conf";
    const std::string out = dir_ + "/stderr.log";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    const char* argv[] = {kDovecot, "-F", "-c", conf_path.c_str(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, kDovecot, &fa, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        why_ = "Dovecot could not be started";
        return;
    }
    pid_ = pid;
    for (int i = 0; i < 100; ++i) {
        if (Greets(port_))
            return;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    why_ = "Dovecot did not start: " + Log();
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

DovecotServer::~DovecotServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string DovecotServer::MailDir(const std::string& user) const {
    return dir_ + "/mail/" + user;
}

void DovecotServer::AddUser(const std::string& name, const std::string& password) {
    const std::string passwd = dir_ + "/passwd";
    std::ofstream(passwd, std::ios::app) << name << ":{PLAIN}" << password << "\n";
    for (const char* sub : {"", "/new", "/cur", "/tmp"}) {
        const std::string p = MailDir(name) + sub;
        std::filesystem::create_directories(p);
        if (::chown(p.c_str(), MailUid(), MailGid()) != 0)
            why_ = "cannot hand the maildir to the mail user";
    }
}

void DovecotServer::Deliver(const std::string& user, const std::string& bytes) {
    // Maildir names sort by their leading time; a counter keeps the order.
    char name[64];
    const int n = delivered_++;
    std::snprintf(name, sizeof name, "%010d.M%06dP1.test", 1000000000 + n, n);
    const std::string tmp = MailDir(user) + "/tmp/" + name;
    WriteText(tmp, bytes);
    if (::chown(tmp.c_str(), MailUid(), MailGid()) != 0)
        why_ = "cannot hand the message to the mail user";
    std::filesystem::rename(tmp, MailDir(user) + "/new/" + name);
}

std::vector<std::string> DovecotServer::Mailbox(const std::string& user) const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(MailDir(user) + sub, ec)) {
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream ss;
            ss << in.rdbuf();
            files.emplace_back(e.path().filename().string(), ss.str());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> out;
    for (auto& f : files)
        out.push_back(std::move(f.second));
    return out;
}

std::string DovecotServer::Log() const {
    std::string text;
    for (const char* f : {"/dovecot.log", "/stderr.log"}) {
        std::ifstream in(dir_ + f, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        text += ss.str();
    }
    return text;
}

} // namespace nettest
