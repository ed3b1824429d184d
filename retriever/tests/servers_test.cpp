// Servers that bend POP3, as met in the field, over several passes of
// postp and posta: a STAT with the count alone, data sent without
// dot-stuffing, a bare LF inside a line, a dial-up link that drops in the
// middle of a session. Every message ends filed once, as it was sent, or
// still on the server, and the log says why.
#include "retriever/tests/roadfixture.h"

#include "mail/tests/tcp_server.h"
#include "retriever/tests/pop3_mailbox.h"

#include <csignal>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using mailtest::ReadFile;
using roadtest::Road;

std::string Mail(const std::string& id, const std::string& body) {
    return "Message-ID: <" + id + "@example.org>\r\nFrom: a@example.org\r\nSubject: " + id +
           "\r\n\r\n" + body;
}

class Servers : public Road {
protected:
    // The filed file of a message sent with id.
    std::string Filed(const std::string& account, const std::string& id) {
        return ReadFile(root_ + "messages/" + account + "/In/" +
                        quelta::MessageFileName("<" + id + "@example.org>"));
    }
};

TEST_F(Servers, AStatWithTheCountAloneHasItsMessagesFetched) {
    nettest::TPop3Mailbox box;
    box.SetStatWithoutSize(true);
    const std::string one = Mail("one", "1\r\n"), two = Mail("two", "2\r\n");
    box.Deliver(one);
    box.Deliver(two);
    Account("S1", box.Address(), "u", "Y");
    Pass();
    Pass();
    EXPECT_EQ(Filed("S1", "one"), one);
    EXPECT_EQ(Filed("S1", "two"), two);
    EXPECT_TRUE(box.Messages().empty());
    EXPECT_EQ(Logged("There are no messages"), 1) << ReadFile(prog_ + "mailproc.log");
}

TEST_F(Servers, WithoutDotStuffingACutCopyNeverDeletesTheMessage) {
    nettest::TPop3Mailbox box;
    box.SetDotStuffing(false);
    // A lone "." in the body ends the data early: the rest of the message
    // then stands where the server's next reply should.
    const std::string first = Mail("first", "1\r\n");
    const std::string dotted = Mail("dotted", "above\r\n.\r\nbelow\r\n");
    const std::string last = Mail("last", "3\r\n");
    for (const auto* m : {&first, &dotted, &last})
        box.Deliver(*m);
    Account("D1", box.Address(), "u", "Y");
    EXPECT_FALSE(RunPass()); // the session breaks off after the cut copy
    for (int pass = 0; pass < 2; ++pass)
        Pass();
    EXPECT_EQ(Filed("D1", "first"), first);
    EXPECT_EQ(Filed("D1", "last"), last);
    EXPECT_EQ(Filed("D1", "dotted"), dotted.substr(0, dotted.find(".\r\nbelow")));
    EXPECT_EQ(box.Messages(), std::vector<std::string>{dotted});
    const std::string why = "was left on the server: a stored copy with its header lines has "
                            "another size than the server lists";
    EXPECT_EQ(Logged("Message 1 " + why), 2) << ReadFile(prog_ + "mailproc.log");
    EXPECT_EQ(
        Logged("Message 2 was left on the server: " + std::to_string(dotted.find(".\r\nbelow")) +
               " bytes arrived of the " + std::to_string(dotted.size()) + " the server listed"),
        1)
        << ReadFile(prog_ + "mailproc.log");
    EXPECT_EQ(ReceivedKeys("D1").size(), 3u);
}

TEST_F(Servers, ABareLineFeedInsideALineStartsNoLine) {
    nettest::TPop3Mailbox box; // stuffs the "." that follows CR LF, as RFC 1939 has it
    const std::string text = Mail("lf", "a\r\nb\n.\nc\r\n.d\r\n");
    box.Deliver(text);
    Account("L1", box.Address(), "u", "Y");
    Pass();
    Pass();
    EXPECT_EQ(Filed("L1", "lf"), text);
    EXPECT_TRUE(box.Messages().empty());
}

TEST_F(Servers, ALostDialUpLinkEndsTheSessionWithoutWaitingForTheServer) {
    // A phone-book entry of fake pppd scripts, and the dial-up library
    // beside the program, as installed.
    const std::string peers = root_ + "peers/", run = root_ + "run/";
    fs::create_directories(peers);
    fs::create_directories(run);
    std::ofstream(peers + "isp") << "/dev/ttyS0\nuser bob\n";
    fs::copy_file(QUELTA_BIN_DIR "/librasapi32.so", prog_ + "librasapi32.so");
    win::TIniFile(windir_ + "quelta.ini").WriteString("RAS", "Service", "isp");
    for (const std::string& var :
         {"QUELTA_RAS_PEERS=" + peers, "QUELTA_RAS_RUNDIR=" + run,
          std::string("QUELTA_RAS_PON=" QUELTA_SOURCE_DIR "/platform/ras/tests/fake-pon.sh"),
          std::string("QUELTA_RAS_POFF=" QUELTA_SOURCE_DIR "/platform/ras/tests/fake-poff.sh")})
        env_.push_back(var);
    // The modem hangs up while the server works on the listing; it never answers.
    auto hangUp = [run] {
        pid_t pid = 0;
        std::ifstream(run + "ppp-isp.pid") >> pid;
        if (pid > 0)
            ::kill(pid, SIGTERM);
        fs::remove(run + "ppp-isp.pid");
    };
    using namespace nettest;
    ScriptedServer srv({Say("+OK ready\r\n"), Hear(), Say("+OK\r\n"), Hear(), Say("+OK\r\n"),
                        Hear(), Say("+OK 1 40\r\n"), Hear(), Do(hangUp), Hear(), Hangup()});
    Account("R1", srv.Address(), "u", "Y");
    EXPECT_FALSE(RunPass());
    EXPECT_EQ(srv.Heard(),
              (std::vector<std::string>{"USER u", "PASS secret", "STAT", "LIST 1", "(closed) "}));
    EXPECT_EQ(Logged("Error-The connection was terminated by the remote computer before it could "
                     "be completed."),
              2)
        << ReadFile(prog_ + "mailproc.log");
    std::string log;
    std::getline(std::ifstream(run + "poff.log"), log);
    EXPECT_EQ(log, "isp"); // hung up once the session ended
}

} // namespace
