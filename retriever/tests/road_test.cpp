// Long identifiers alike in their first 40 and first 255 characters,
// against a real Dovecot, and a server that refuses to delete one message:
// at the end every message is filed once, byte for byte, or still on the
// server, never gone.
#include "retriever/tests/roadfixture.h"

#include "mail/tests/dovecot_server.h"
#include "retriever/tests/pop3_mailbox.h"

namespace {

namespace fs = std::filesystem;
using mailtest::ReadFile;
using roadtest::Road;

std::string Message(const std::string& id, int n) {
    return "Message-ID: " + id + "\r\nFrom: notifications@github.example\r\nSubject: comment " +
           std::to_string(n) + "\r\n\r\n.a line that starts with a dot\r\ncomment " +
           std::to_string(n) + "\r\n";
}

const std::string kPull = "<example-org/a-long-repository-name/pull/4711/";

std::vector<std::string> Ids() {
    std::vector<std::string> ids;
    for (int n = 1; n <= 3; ++n)
        ids.push_back(kPull + "c100" + std::to_string(n) + "@github.example>");
    for (int n = 1; n <= 2; ++n)
        ids.push_back("<" + std::string(300, 'h') + std::to_string(n) + "@example.org>");
    ids.push_back("<short@example.org>");
    return ids;
}

} // namespace

TEST_F(Road, LongIdentifiersOverSeveralPassesAreEachFiledOnce) {
    nettest::DovecotServer dovecot;
    dovecot.AddUser("keep", "secret");
    dovecot.AddUser("take", "secret");
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    Account("K1", dovecot.Address(), "keep", "N");
    Account("T1", dovecot.Address(), "take", "Y");
    const std::vector<std::string> ids = Ids();
    std::map<std::string, std::string> sent;
    // Delivered over three passes, each alike in its beginning to one before.
    const std::vector<std::vector<std::size_t>> waves = {{0, 3, 5}, {1, 4}, {2}, {}};
    for (const auto& wave : waves) {
        for (std::size_t k : wave) {
            const std::string text = Message(ids[k], static_cast<int>(k));
            sent[ids[k]] = text;
            dovecot.Deliver("keep", text);
            dovecot.Deliver("take", text);
        }
        Pass();
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(Filed("K1").size(), ids.size());
    EXPECT_EQ(Filed("T1").size(), ids.size());
    ExpectFiledOnceOrOnTheServer("K1", sent, dovecot.Mailbox("keep"));
    ExpectFiledOnceOrOnTheServer("T1", sent, dovecot.Mailbox("take"));
    EXPECT_EQ(dovecot.Mailbox("keep").size(), ids.size());
    EXPECT_TRUE(dovecot.Mailbox("take").empty());
}

TEST_F(Road, ARefusedDeleteKeepsOneMessageOnTheServerAndFilesTheOthers) {
    nettest::TPop3Mailbox box;
    const std::vector<std::string> ids = Ids();
    box.RefuseDelete(ids[1], "-ERR [SYS/PERM] Deleting is not allowed");
    Account("R1", box.Address(), "take", "Y");
    std::map<std::string, std::string> sent;
    auto deliver = [&](const std::string& id, int n) {
        sent[id] = Message(id, n);
        box.Deliver(sent[id]);
    };
    for (std::size_t k = 0; k < ids.size(); ++k)
        deliver(ids[k], static_cast<int>(k));
    deliver("<first-of-seven@example.org>", 7);
    Pass();
    for (int n = 8; n < 12; ++n)
        deliver("<pass-two." + std::to_string(n) + "@example.org>", n);
    Pass();
    Pass();
    EXPECT_EQ(box.Messages(), std::vector<std::string>{sent[ids[1]]});
    EXPECT_EQ(Filed("R1").size(), sent.size());
    ExpectFiledOnceOrOnTheServer("R1", sent, box.Messages());
    const std::string log = ReadFile(prog_ + "mailproc.log");
    EXPECT_NE(log.find(" -- Message 2 was not deleted on the server: -ERR [SYS/PERM] Deleting is "
                       "not allowed"),
              std::string::npos)
        << log;
}
