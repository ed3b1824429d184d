// posta killed in the middle of a send: the temporary copy of the message
// it was sending stays behind, and the next start removes it, while the
// temporary files of programs that still run stay.
#include "platform/win/paths.h"
#include "platform/win/tempfile.h"
#include "processor/posta/tests/postafixture.h"

#include <QProcessEnvironment>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using postatest::PostaTest;
namespace fs = std::filesystem;

namespace {

// Generous bounds that only end a hang.
constexpr auto kDeadline = std::chrono::seconds(120);

// An SMTP server that takes one message's envelope and data and then never
// answers: the client waits for the last reply until it is stopped.
class SilentServer {
public:
    SilentServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::listen(listen_, 4) == 0 &&
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~SilentServer() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    [[nodiscard]] int Port() const { return port_; }
    // The whole message has arrived; no reply to it will come.
    [[nodiscard]] bool DataReceived() const { return data_; }

private:
    // Waits for fd to be readable, checking for the end now and then.
    bool Readable(int fd) {
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0)
                return true;
        }
        return false;
    }
    bool ReadLine(int fd, std::string& line) {
        line.clear();
        char c = 0;
        while (!line.ends_with("\r\n")) {
            if (!Readable(fd) || ::recv(fd, &c, 1, 0) != 1)
                return false;
            line += c;
        }
        return true;
    }
    void Say(int fd, const char* text) { ::send(fd, text, std::strlen(text), MSG_NOSIGNAL); }
    void Run() {
        if (!Readable(listen_))
            return;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        Say(fd, "220 ready\r\n");
        std::string line;
        while (ReadLine(fd, line)) {
            if (!line.starts_with("DATA")) {
                Say(fd, "250 ok\r\n");
                continue;
            }
            Say(fd, "354 go on\r\n");
            while (ReadLine(fd, line) && line != ".\r\n") {
            }
            data_ = true;
            // Silence until the client goes away.
            while (ReadLine(fd, line)) {
            }
            break;
        }
        ::close(fd);
    }

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false}, data_{false};
    std::thread thread_;
};

std::vector<std::string> TempFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n.starts_with("ms") && n.ends_with(".tmp"))
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(PostaTest, ACopyLeftByAKilledSendIsRemovedAtTheNextStart) {
    SilentServer server;
    ASSERT_GT(server.Port(), 0);
    const std::string tmp = root_ + "tmp/";
    fs::create_directories(tmp);
    // A program that runs (this test) holds a temporary file of its own.
    const std::string live = win::ExtractFileName(win::CreateTempFile(tmp, "ms"));
    passtest::Spit(tmp + "msnotours.tmp", "another program's");

    AddAccount("ACC1", "127.0.0.1:" + std::to_string(server.Port()));
    Attach("ACC1", "AG1", "reply");
    passtest::Spit(root_ + "templates/r.eml", "Subject: Thanks\r\n\r\nThank you.\r\n");
    WriteAgent("reply", {}, {{{"AUTO-REPLY", root_ + "templates/r.eml", ""}}});
    AddMessage("ACC1", "m.eml", "Ann <ann@example.net>", "Order", "Please.\r\n",
               "Message-ID: <m@example.net>\r\n");
    const std::string program = root_ + "prog/posta";
    fs::copy_file(QUELTA_BIN_DIR "/posta", program);
    fs::create_symlink(QUELTA_BIN_DIR "/libwsock32.so", root_ + "prog/libwsock32.so");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
    env.insert("TMPDIR", QString::fromStdString(tmp));

    // The first run: killed while it waits for the server's answer.
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QString::fromStdString(program), {"/SINGLEPASS"});
    ASSERT_TRUE(first.waitForStarted(120000));
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!server.DataReceived() && first.state() == QProcess::Running &&
           std::chrono::steady_clock::now() < end)
        first.waitForFinished(20);
    ASSERT_TRUE(server.DataReceived()) << first.readAll().toStdString();
    const std::string left = "ms" + std::to_string(first.processId()) + "-";
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(120000));
    std::vector<std::string> files = TempFiles(tmp);
    std::erase(files, live);
    std::erase(files, "msnotours.tmp");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].starts_with(left)) << files[0]; // whose it is
    EXPECT_NE(passtest::Slurp(tmp + files[0]).find("Thank you."), std::string::npos);

    // The next start removes it; the message was answered once and is filed.
    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(QString::fromStdString(program), {"/SINGLEPASS"});
    ASSERT_TRUE(second.waitForFinished(120000)) << second.readAll().toStdString();
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(TempFiles(tmp), (std::vector<std::string>{live, "msnotours.tmp"}));
    EXPECT_TRUE(fs::exists(In("ACC1") + "m.eml"));
    EXPECT_EQ(Actions(), std::vector<std::string>{"AutoReply Generated, SUBJECT: Thanks"});
}
