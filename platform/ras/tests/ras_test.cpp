// librasapi32 loaded by name, over a peers folder made here and fake
// pon/poff scripts that print pppd's lines and write its pid files.
#include "platform/ras/rasapi.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "ras_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

template <class F> F Sym(const char* name) {
    static void* lib = dlopen(QUELTA_BIN_DIR "/librasapi32.so", RTLD_NOW | RTLD_LOCAL);
    return reinterpret_cast<F>(lib ? dlsym(lib, name) : nullptr);
}

struct Recorder : RASWINDOW {
    std::vector<std::pair<unsigned, long>> got; // state, error
    Recorder() {
        WndProc = [](RASWINDOW* self, unsigned msg, std::uintptr_t w, std::intptr_t l) {
            if (msg == RASDIALEVENT)
                static_cast<Recorder*>(self)->got.emplace_back(static_cast<unsigned>(w), l);
        };
    }
    bool Ended() const {
        return !got.empty() && (got.back().second != 0 || got.back().first == RASCS_Connected);
    }
};

bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Ras : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        char tmpl[] = "/tmp/rastestXXXXXX";
        dir = mkdtemp(tmpl);
        fs::create_directories(dir / "peers");
        fs::create_directories(dir / "run");
        fs::create_directories(dir / "home");
        setenv("QUELTA_WINDIR", (dir / "home").c_str(), 1);
        setenv("QUELTA_RAS_PEERS", (dir / "peers").c_str(), 1);
        setenv("QUELTA_RAS_RUNDIR", (dir / "run").c_str(), 1);
        setenv("QUELTA_RAS_PON", QUELTA_SOURCE_DIR "/platform/ras/tests/fake-pon.sh", 1);
        setenv("QUELTA_RAS_POFF", QUELTA_SOURCE_DIR "/platform/ras/tests/fake-poff.sh", 1);
        ASSERT_NE(Sym<LPFN_RASDIALA>("RasDialA"), nullptr);
    }
    void TearDown() override {
        for (auto& e : fs::directory_iterator(dir / "run"))
            if (e.path().filename().string().rfind("ppp-", 0) == 0)
                std::system(("QUELTA_RAS_RUNDIR=" + (dir / "run").string() + " " +
                             QUELTA_SOURCE_DIR "/platform/ras/tests/fake-poff.sh " +
                             e.path().stem().string().substr(4))
                                .c_str());
        fs::remove_all(dir);
    }
    void Peer(const std::string& name, const std::string& text = "/dev/ttyS0\n") {
        std::ofstream(dir / "peers" / name) << text;
    }
    static RASDIALPARAMSA Params(const std::string& entry) {
        RASDIALPARAMSA p{};
        p.dwSize = sizeof p;
        std::snprintf(p.szEntryName, sizeof p.szEntryName, "%s", entry.c_str());
        return p;
    }
    fs::path dir;
};

TEST_F(Ras, EntriesAreThePeers) {
    Peer("isp");
    Peer("work");
    Peer(".hidden");
    Peer("isp~");
    auto enumEntries = Sym<LPFN_RASENUMENTRIESA>("RasEnumEntriesA");
    std::vector<RASENTRYNAMEA> buf(25);
    buf[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = static_cast<DWORD>(buf.size() * sizeof(RASENTRYNAMEA)), n = 0;
    ASSERT_EQ(enumEntries(nullptr, nullptr, buf.data(), &cb, &n), 0u);
    ASSERT_EQ(n, 2u);
    EXPECT_STREQ(buf[0].szEntryName, "isp");
    EXPECT_STREQ(buf[1].szEntryName, "work");
    for (int i = 0; i < 30; ++i)
        Peer("p" + std::to_string(i));
    cb = static_cast<DWORD>(buf.size() * sizeof(RASENTRYNAMEA));
    EXPECT_EQ(enumEntries(nullptr, nullptr, buf.data(), &cb, &n), RAS_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 32u * sizeof(RASENTRYNAMEA));
}

TEST_F(Ras, DialConnectsListsAndHangsUp) {
    Peer("isp");
    Recorder wnd;
    RASDIALPARAMSA p = Params("isp");
    HRASCONN h = 0;
    ASSERT_EQ(Sym<LPFN_RASDIALA>("RasDialA")(nullptr, nullptr, &p, RAS_NOTIFIER_WINDOW, &wnd, &h),
              0u);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Ended(); }));
    EXPECT_EQ(wnd.got.front().first, RASCS_OpenPort);
    EXPECT_EQ(wnd.got.back(), (std::pair<unsigned, long>{RASCS_Connected, 0}));
    std::vector<unsigned> states;
    for (auto& g : wnd.got)
        states.push_back(g.first);
    EXPECT_NE(std::find(states.begin(), states.end(), RASCS_Authenticated), states.end());

    std::vector<RASCONNA> conns(10);
    conns[0].dwSize = sizeof(RASCONNA);
    DWORD cb = 10 * sizeof(RASCONNA), n = 0;
    ASSERT_EQ(Sym<LPFN_RASENUMCONNECTIONSA>("RasEnumConnectionsA")(conns.data(), &cb, &n), 0u);
    ASSERT_EQ(n, 1u);
    EXPECT_STREQ(conns[0].szEntryName, "isp");
    EXPECT_NE(conns[0].hrasconn, h); // the link's handle, not the dial's
    RASPPPIPA ip{};
    ip.dwSize = sizeof ip;
    cb = sizeof ip;
    ASSERT_EQ(Sym<LPFN_RASGETPROJECTIONINFOA>("RasGetProjectionInfoA")(conns[0].hrasconn,
                                                                       RASP_PppIp, &ip, &cb),
              0u);
    EXPECT_STREQ(ip.szIpAddress, "127.0.0.1");

    EXPECT_EQ(Sym<LPFN_RASHANGUPA>("RasHangUpA")(h), 0u);
    EXPECT_FALSE(fs::exists(dir / "run" / "ppp-isp.pid"));
    EXPECT_EQ(Slurp(dir / "run" / "poff.log"), "isp\n");
    cb = 10 * sizeof(RASCONNA);
    ASSERT_EQ(Sym<LPFN_RASENUMCONNECTIONSA>("RasEnumConnectionsA")(conns.data(), &cb, &n), 0u);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Sym<LPFN_RASHANGUPA>("RasHangUpA")(h), RAS_ERROR_INVALID_HANDLE);
}

TEST_F(Ras, FailingDialReportsTheDeviceError) {
    Peer("failing");
    Recorder wnd;
    RASDIALPARAMSA p = Params("failing");
    HRASCONN h = 0;
    ASSERT_EQ(Sym<LPFN_RASDIALA>("RasDialA")(nullptr, nullptr, &p, RAS_NOTIFIER_WINDOW, &wnd, &h),
              0u);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Ended(); }));
    EXPECT_EQ(wnd.got.back().second, static_cast<long>(RAS_ERROR_FROM_DEVICE));
    EXPECT_EQ(Sym<LPFN_RASHANGUPA>("RasHangUpA")(h), 0u);

    p = Params("nosuchpeer");
    EXPECT_EQ(Sym<LPFN_RASDIALA>("RasDialA")(nullptr, nullptr, &p, RAS_NOTIFIER_WINDOW, &wnd, &h),
              RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    char text[256];
    ASSERT_EQ(Sym<LPFN_RASGETERRORSTRINGA>("RasGetErrorStringA")(623, text, sizeof text), 0u);
    EXPECT_STREQ(text, "The system could not find the phone book entry for this connection.");
    EXPECT_NE(Sym<LPFN_RASGETERRORSTRINGA>("RasGetErrorStringA")(12345, text, sizeof text), 0u);
}

TEST_F(Ras, DialParametersAreTheUsersOwnAndNeverOnACommandLine) {
    Peer("isp", "/dev/ttyS0\nuser \"bob\"\nnoauth\n");
    const std::string peer = Slurp(dir / "peers" / "isp");
    const fs::path kept = dir / "home" / "dialup.ini";
    auto get = Sym<LPFN_RASGETENTRYDIALPARAMSA>("RasGetEntryDialParamsA");
    auto set = Sym<LPFN_RASSETENTRYDIALPARAMSA>("RasSetEntryDialParamsA");
    RASDIALPARAMSA p = Params("isp");
    BOOL has = 1;
    ASSERT_EQ(get(nullptr, &p, &has), 0u);
    EXPECT_EQ(has, 0);
    EXPECT_STREQ(p.szUserName, "bob");
    ASSERT_EQ(set(nullptr, &p, 1), 0u); // nothing to keep: nothing written
    EXPECT_FALSE(fs::exists(kept));

    std::snprintf(p.szUserName, sizeof p.szUserName, "alice");
    std::snprintf(p.szPassword, sizeof p.szPassword, "s\"cr t");
    ASSERT_EQ(set(nullptr, &p, 0), 0u);
    RASDIALPARAMSA q = Params("isp");
    ASSERT_EQ(get(nullptr, &q, &has), 0u);
    EXPECT_EQ(has, 1);
    EXPECT_STREQ(q.szUserName, "alice");
    EXPECT_STREQ(q.szPassword, "s\"cr t");
    EXPECT_EQ(fs::status(kept).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Slurp(dir / "peers" / "isp"), peer);
    // Another user's folder keeps nothing of it.
    setenv("QUELTA_WINDIR", dir.c_str(), 1);
    ASSERT_EQ(get(nullptr, &q, &has), 0u);
    EXPECT_EQ(has, 0);
    EXPECT_STREQ(q.szUserName, "bob");
    setenv("QUELTA_WINDIR", (dir / "home").c_str(), 1);

    ASSERT_EQ(set(nullptr, &p, 1), 0u); // the password removed again
    ASSERT_EQ(get(nullptr, &q, &has), 0u);
    EXPECT_EQ(has, 0);
    EXPECT_STREQ(q.szUserName, "alice");
    std::snprintf(p.szPassword, sizeof p.szPassword, "x\nUser=evil");
    EXPECT_EQ(set(nullptr, &p, 0), RAS_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Slurp(kept).find("evil"), std::string::npos);

    // The dial hands the login to pppd in a file of its own, gone afterwards.
    std::snprintf(p.szPassword, sizeof p.szPassword, "pw");
    Recorder wnd;
    HRASCONN h = 0;
    ASSERT_EQ(Sym<LPFN_RASDIALA>("RasDialA")(nullptr, nullptr, &p, RAS_NOTIFIER_WINDOW, &wnd, &h),
              0u);
    ASSERT_TRUE(PumpUntil([&] { return wnd.Ended(); }));
    const std::string args = Slurp(dir / "run" / "args-isp");
    EXPECT_EQ(args.find("pw"), std::string::npos) << args;
    ASSERT_EQ(args.rfind("isp file /", 0), 0u) << args;
    EXPECT_FALSE(fs::exists(fs::path(args.substr(9, args.size() - 10)).parent_path()));
    EXPECT_EQ(Slurp(dir / "run" / "options-isp"), "user \"alice\"\npassword \"pw\"\n");
    EXPECT_EQ(Slurp(dir / "run" / "mode-isp"), "600\n");
    EXPECT_EQ(Slurp(dir / "peers" / "isp"), peer);
    Sym<LPFN_RASHANGUPA>("RasHangUpA")(h);
}

TEST(RasStrings, DialStateTexts) {
    char buf[255];
    auto load = Sym<LPFN_RASLOADSTRINGA>("RasLoadStringA");
    ASSERT_NE(load, nullptr);
    EXPECT_GT(load(129, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Connected");
    EXPECT_EQ(load(0, buf, sizeof buf), 0);
}

} // namespace
