// TagRas over the dial-up library with fake pon/poff scripts that print
// pppd's lines and write its pid files.
#include "mail/agras.h"

#include "mail/agsocket.h"
#include "mail/tests/tcp_server.h"
#include "platform/win/hooks.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace nettest;

namespace {

#define FAKES QUELTA_SOURCE_DIR "/platform/ras/tests/"

class Dialup : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureNetwork();
        char tmpl[] = "/tmp/agrastestXXXXXX";
        dir = mkdtemp(tmpl);
        fs::create_directories(dir / "peers");
        fs::create_directories(dir / "run");
        fs::create_directories(dir / "home");
        for (const char* peer : {"isp", "slowisp", "failing"})
            std::ofstream(dir / "peers" / peer) << "/dev/ttyS0\nuser bob\n";
        setenv("QUELTA_WINDIR", (dir / "home").c_str(), 1);
        setenv("QUELTA_RAS_PEERS", (dir / "peers").c_str(), 1);
        setenv("QUELTA_RAS_RUNDIR", (dir / "run").c_str(), 1);
        setenv("QUELTA_RAS_PON", FAKES "fake-pon.sh", 1);
        setenv("QUELTA_RAS_POFF", FAKES "fake-poff.sh", 1);
        TagRas::SetLibraryName(QUELTA_BIN_DIR "/librasapi32.so");
        win::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return win::IDOK;
        });
    }
    void TearDown() override {
        win::SetMessageBoxHook({});
        std::error_code ec;
        fs::permissions(dir / "peers", fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& e : fs::directory_iterator(dir / "run"))
            if (e.path().filename().string().rfind("ppp-", 0) == 0)
                std::system(("QUELTA_RAS_RUNDIR=" + (dir / "run").string() +
                             " " FAKES "fake-poff.sh " + e.path().stem().string().substr(4))
                                .c_str());
        fs::remove_all(dir);
    }
    std::string Slurp(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string HungUp() { return Slurp(dir / "run" / "poff.log"); }
    bool Dialled(const std::string& entry) { return fs::exists(dir / "run" / ("args-" + entry)); }
    fs::path dir;
    std::vector<std::string> boxes;
};

template <class E> std::string Raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST_F(Dialup, ServiceIsCheckedWithMessageBoxes) {
    TagRas ras;
    EXPECT_EQ(ras.Entries(), (std::vector<std::string>{"failing", "isp", "slowisp"}));
    ras.SetService("isp");
    EXPECT_EQ(ras.Service(), "isp");
    ras.SetService("nosuch");
    EXPECT_EQ(ras.Service(), "");
    ras.SetService("isp");
    ras.Connect();
    ras.SetService("slowisp");
    EXPECT_EQ(ras.Service(), "isp");
    ras.HangUp();
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "Invalid service name",
                         "This property can be set only before\restablishing the connection"}));

    fs::remove_all(dir / "peers");
    fs::remove(dir / "run" / "args-isp");
    TagRas none;
    none.SetService("isp");
    EXPECT_EQ(boxes.back(), "TagRas component was unable to detect\rRAS on your system.");
    EXPECT_EQ(none.Service(), "");
    none.Connect(); // no service: nothing is dialled
    EXPECT_TRUE(none.Connected());
    EXPECT_FALSE(Dialled("isp"));
}

TEST_F(Dialup, DialReportsStatesAndHangsUpOnce) {
    TagRas ras;
    ras.SetService("isp");
    ras.SetPassword("pw");
    std::vector<std::string> states;
    int disconnected = 0;
    ras.OnStatusChange = [&](TagRas&, const std::string& s) { states.push_back(s); };
    ras.OnDisconnected = [&](TagRas&) { ++disconnected; };
    ras.Connect();
    EXPECT_TRUE(ras.Connected());
    EXPECT_TRUE(ras.IsConnected()); // its own dial counts
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), "Opening port...");
    EXPECT_EQ(states.back(), "Connected");
    // Calling Connect again keeps the dial as this component's.
    ras.Connect();
    ras.Disconnect();
    ras.HangUp();
    EXPECT_EQ(HungUp(), "isp\n");
    EXPECT_EQ(disconnected, 1);
    EXPECT_FALSE(ras.Connected());
}

TEST_F(Dialup, FailedTimedOutAndCanceledDialsAreHungUp) {
    {
        TagRas ras;
        ras.SetService("failing");
        EXPECT_EQ(Raised<ERASError>([&] { ras.Connect(); }),
                  "The modem (or other connecting device) has reported an error.");
    }
    {
        TagRas ras;
        ras.SetService("slowisp");
        ras.SetTimeOut(1);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(Raised<ETimedOutError>([&] { ras.Connect(); }), "Operation timed out");
        EXPECT_LT(t.elapsed(), 3000);
    }
    {
        TagRas ras;
        ras.SetService("slowisp");
        QTimer::singleShot(300, [&] { ras.Disconnect(); });
        EXPECT_EQ(Raised<ECanceledError>([&] { ras.Connect(); }), "Operation has been canceled");
    }
    EXPECT_EQ(HungUp(), "failing\nslowisp\nslowisp\n");
    EXPECT_EQ(ERASError(12345).Message(), "RAS error no 12345");
    TagRas::SetLibraryName("libno-such-rasapi32.so");
    EXPECT_EQ(ERASError(623).Message(), "");
    TagRas missing;
    EXPECT_TRUE(missing.Entries().empty());
    missing.Connect(); // behaves as if no dial-up were wanted
}

TEST_F(Dialup, SocketDialsOnOpenAndHangsUpOnClose) {
    ScriptedServer srv({Say("220 hi\r\n"), Linger(3000)});
    TagRas ras;
    ras.SetService("isp");
    TagSocket s;
    EnsureNetwork();
    s.SetRAS(&ras);
    s.SetServer(srv.Address());
    s.Reset();
    s.Open();
    EXPECT_TRUE(Dialled("isp"));
    s.Connect();
    std::string line;
    EXPECT_EQ(s.ReadLine(line), 220);
    s.Close();
    EXPECT_EQ(HungUp(), "isp\n");
}

// Each file of a folder with its bytes and mode, and the folder's mode.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    struct stat st {};
    ::stat(folder.c_str(), &st);
    files["."] = std::to_string(st.st_mode);
    for (auto& e : fs::directory_iterator(folder)) {
        ::stat(e.path().c_str(), &st);
        std::ifstream in(e.path());
        std::stringstream text;
        text << in.rdbuf();
        files[e.path().filename().string()] = std::to_string(st.st_mode) + " " + text.str();
    }
    return files;
}

// Root has "nobody" dial; anyone else dials as themselves.
constexpr uid_t kNobody = 65534;

struct Outcome {
    int code = -1;
    std::string output;
};

Outcome AsOrdinaryUser(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (::geteuid() == 0)
        p.start("setpriv",
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--", program} +
                    args);
    else
        p.start(program, args);
    // The deadline only bounds a hang.
    if (!p.waitForFinished(120000))
        p.kill();
    p.waitForFinished(-1);
    Outcome r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = p.readAll().toStdString();
    return r;
}

TEST_F(Dialup, AnOrdinaryUserDialsAndThePeersStayAsTheyAre) {
    const QString dialer = QUELTA_BIN_DIR "/agras_dial";
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "running as root without setpriv: cannot dial as an ordinary user";
        if (AsOrdinaryUser("/bin/sh",
                           {"-c", "test -x \"$0\" && test -x \"$1\"", dialer, FAKES "fake-pon.sh"})
                .code != 0)
            GTEST_SKIP() << "nobody cannot run " << dialer.toStdString() << " and the fake pon";
        fs::create_directories(dir / "tmp");
        for (const char* sub : {"home", "run", "tmp"})
            ASSERT_EQ(::chown((dir / sub).c_str(), kNobody, kNobody), 0);
    }
    fs::create_directories(dir / "tmp");
    setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir / "peers", fs::perms::owner_write, fs::perm_options::remove);
    const auto peers = Snapshot(dir / "peers");

    const Outcome once = AsOrdinaryUser(dialer, {"isp", "pw", "0"}); // password not kept
    unsetenv("TMPDIR");
    ASSERT_EQ(once.code, 0) << once.output;
    const std::string args = Slurp(dir / "run" / "args-isp");
    EXPECT_EQ(args.find("pw"), std::string::npos) << args;
    EXPECT_NE(args.find(" file "), std::string::npos) << args;
    EXPECT_EQ(Slurp(dir / "run" / "options-isp"), "password \"pw\"\n");
    EXPECT_EQ(Slurp(dir / "run" / "mode-isp"), "600\n");
    EXPECT_TRUE(fs::is_empty(dir / "tmp")); // the handed file and its folder are gone
    EXPECT_FALSE(fs::exists(dir / "home" / "dialup.ini"));

    setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    const Outcome kept = AsOrdinaryUser(dialer, {"isp", "secret", "1"});
    // Kept for this user: the next dial needs no password of its own.
    const Outcome again = AsOrdinaryUser(dialer, {"isp", "", "0"});
    unsetenv("TMPDIR");
    ASSERT_EQ(kept.code, 0) << kept.output;
    ASSERT_EQ(again.code, 0) << again.output;
    EXPECT_EQ(Slurp(dir / "run" / "options-isp"), "password \"secret\"\n");
    EXPECT_EQ(Slurp(dir / "run" / "args-isp").find("secret"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "home" / "dialup.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, ::geteuid() == 0 ? kNobody : ::geteuid());
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    EXPECT_EQ(Snapshot(dir / "peers"), peers);
    EXPECT_EQ(HungUp(), "isp\nisp\nisp\n");
}

TEST_F(Dialup, ALinkLostAfterConnectingEndsTheRunningWait) {
    ScriptedServer srv({Say("220 hi\r\n"), Linger(120000)});
    TagRas ras;
    ras.SetService("isp");
    TagSocket s;
    EnsureNetwork();
    s.SetRAS(&ras);
    s.SetServer(srv.Address());
    s.SetTimeOut(30);
    s.Reset();
    s.Open();
    s.Connect();
    std::string line;
    ASSERT_EQ(s.ReadLine(line), 220);
    // pppd ends (the modem hung up) while the socket waits for a reply.
    QTimer::singleShot(0, [&] {
        std::ifstream pidFile(dir / "run" / "ppp-isp.pid");
        pid_t pid = 0;
        pidFile >> pid;
        ASSERT_GT(pid, 0);
        ::kill(pid, SIGTERM);
        fs::remove(dir / "run" / "ppp-isp.pid");
    });
    EXPECT_EQ(Raised<ERASError>([&] { s.ReadLine(line); }),
              "The connection was terminated by the remote computer before it could be "
              "completed.");
    EXPECT_EQ(ras.LastError(), static_cast<unsigned>(RAS_ERROR_PORT_DISCONNECTED));
    s.Close();
    EXPECT_EQ(HungUp(), "isp\n");
}

} // namespace
