// The whole road over several passes, as a user runs it: postp /SINGLEPASS
// fetches into Pending, posta /SINGLEPASS files into In with its received
// rows, and the next postp looks those rows up. Long identifiers alike in
// their first 40 and first 255 characters, against a real Dovecot, and a
// server that refuses to delete one message: at the end every message is
// filed once, byte for byte, or still on the server, never gone.
#include "data/dataset.h"
#include "data/schema.h"
#include "data/tests/appendrow.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/killrun.h"
#include "mail/tests/testutil.h"
#include "platform/win/profile.h"
#include "processor/store.h"
#include "retriever/tests/pop3_mailbox.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using mailtest::ReadFile;

namespace {

using Row = std::vector<std::pair<std::string, std::string>>;

class Road : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.Path().string() + "/";
        db_ = root_ + "db/";
        prog_ = root_ + "prog/";
        windir_ = root_ + "win/";
        for (const std::string& d : {db_, prog_, windir_})
            fs::create_directories(d);
        ASSERT_EQ(std::system((QUELTA_BIN_DIR "/mkschema '" + db_ + "' >/dev/null").c_str()), 0);
        // An installation of its own: the programs keep their logs beside
        // them and find the socket library there.
        for (const char* file : {"postp", "posta", "libwsock32.so"})
            fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog_ + file);
        win::TIniFile ini(windir_ + "quelta.ini");
        ini.WriteString("Folders", "Messages", root_ + "messages/");
        ini.WriteString("Folders", "Agents", root_ + "agents/");
        ini.WriteString("Folders", "DataBase", db_);
        ini.WriteBool("ProcessorSettings", "AutoEnabled", true);
        env_ = {"QT_QPA_PLATFORM=offscreen", "QUELTA_WINDIR=" + windir_};
        // In a sanitizer build the programs' memory errors still end a run
        // here, but not the leak check at their exit: this test is about
        // the mail, and now and then the check crashes (GCC 12's runtime
        // misreads the thread-local blocks of loaded libraries) or finds a
        // thread's data inside Qt; postp and posta check their leaks in
        // tests of their own.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env_.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                       (asan && *asan ? ":" : "") + "detect_leaks=0");
        ASSERT_EQ(
            crashtest::RunAndKill({QUELTA_BIN_DIR "/regsvr", "/s", QUELTA_BIN_DIR "/libQuelta.so"},
                                  env_, root_ + "regsvr.out", -1)
                .exitCode,
            0);
    }

    void Append(const std::string& table, const Row& fields) {
        data::test::AppendRow(db_, table, fields);
    }
    // Polled at every pass (interval 0) with one "all messages" restriction.
    void Account(const std::string& id, const std::string& server, const std::string& login,
                 const std::string& remove) {
        Append("NODES.DBF", {{"UNIQUE_ID", id},
                             {"NODE", "Node " + id},
                             {"POPADDRESS", server},
                             {"LOGIN", login},
                             {"PASSWORD", "secret"},
                             {"NEXTDATE", "1/1/2000"},
                             {"NEXTTIME", "00:00"},
                             {"FREQVAL", "0"}});
        Append("rules.dbf", {{"UNIQUE_ID", "R" + id},
                             {"LINK_ID", id},
                             {"RULE", "All"},
                             {"COND", "A"},
                             {"ACT1", "Y"},
                             {"ACT2", remove}});
    }
    // postp, then posta, each run whole.
    void Pass() {
        for (const char* program : {"postp", "posta"}) {
            const crashtest::TRun r = crashtest::RunAndKill({prog_ + program, "/SINGLEPASS"}, env_,
                                                            root_ + program + ".out", -1, 600);
            ASSERT_EQ(r.exitCode, 0) << program << "\n" << ReadFile(root_ + program + ".out");
        }
        const std::string logs =
            ReadFile(prog_ + "mailproc.log") + ReadFile(prog_ + "agentproc.log");
        ASSERT_EQ(logs.find("Error-"), std::string::npos) << logs;
    }
    // The account's filed files (name -> text) and its received rows' keys.
    std::map<std::string, std::string> Filed(const std::string& account) {
        std::map<std::string, std::string> files;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(root_ + "messages/" + account + "/In", ec))
            files[e.path().filename().string()] = ReadFile(e.path());
        return files;
    }
    std::vector<std::string> ReceivedKeys(const std::string& account) {
        std::vector<std::string> keys;
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName("RECEIVED.DBF");
        t.SetTableType(data::TTableType::ttXBFOX);
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            std::string link = t.FieldByName("LINK_ID").AsString();
            link.erase(link.find_last_not_of(' ') + 1);
            std::string key = t.FieldByName("MESSAGE_ID").AsString();
            key.erase(key.find_last_not_of(' ') + 1);
            if (link == account)
                keys.push_back(key);
        }
        t.Close();
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    // Every message filed once, under its own name, byte for byte, with
    // one received row; or, where no row and no file have it, on the server.
    void ExpectFiledOnceOrOnTheServer(const std::string& account,
                                      const std::map<std::string, std::string>& sent,
                                      const std::vector<std::string>& server) {
        const auto filed = Filed(account);
        EXPECT_TRUE(fs::is_empty(root_ + "messages/" + account + "/Pending")) << account;
        std::vector<std::string> keys;
        for (const auto& [id, text] : sent) {
            const auto it = filed.find(quelta::MessageFileName(id));
            if (it != filed.end()) {
                EXPECT_EQ(it->second, text) << account << " " << id;
                keys.push_back(data::StoredMessageKey(id));
            } else {
                EXPECT_NE(std::find(server.begin(), server.end(), text), server.end())
                    << account << ": gone: " << id;
            }
        }
        EXPECT_EQ(filed.size(), keys.size()) << account;
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(ReceivedKeys(account), keys) << account;
    }

    mailtest::ScratchDir dir_;
    std::string root_, db_, prog_, windir_;
    std::vector<std::string> env_;
};

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
