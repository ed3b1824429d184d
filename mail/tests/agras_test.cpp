// TagRas over the dial-up library with fake pon/poff scripts that print
// pppd's lines and write its pid files.
#include "mail/agras.h"

#include "mail/agsocket.h"
#include "mail/tests/tcp_server.h"
#include "platform/win/hooks.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
        for (const char* peer : {"isp", "slowisp", "failing"})
            std::ofstream(dir / "peers" / peer) << "/dev/ttyS0\nuser bob\n";
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
        for (auto& e : fs::directory_iterator(dir / "run"))
            if (e.path().filename().string().rfind("ppp-", 0) == 0)
                std::system(("QUELTA_RAS_RUNDIR=" + (dir / "run").string() +
                             " " FAKES "fake-poff.sh " + e.path().stem().string().substr(4))
                                .c_str());
        fs::remove_all(dir);
    }
    std::string HungUp() {
        std::ifstream in(dir / "run" / "poff.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
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

} // namespace
