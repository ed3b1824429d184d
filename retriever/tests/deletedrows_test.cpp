// Rows deleted by another program are gone for the real postp from its
// first pass on, whether the configuration manager deleted them through the
// data layer or an outside tool set their deletion mark: a deleted account
// is not polled, a deleted restriction decides nothing, a deleted received
// row keeps nothing from being fetched. Each case first runs as a control
// on the same installation with the row still there.
#include "data/dataset.h"
#include "data/tests/appendrow.h"
#include "data/tests/deleterows.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/testutil.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>

namespace {

namespace fs = std::filesystem;
using data::test::TDeletion;
using mailtest::ReadFile;
using Row = std::vector<std::pair<std::string, std::string>>;

std::string Mail(const std::string& id, const std::string& subject) {
    return "Message-ID: <" + id +
           "@example.org>\r\nFrom: sender@example.org\r\nSubject: " + subject + "\r\n\r\nBody of " +
           id + "\r\n";
}

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class PostpDeletedRows : public ::testing::TestWithParam<TDeletion> {
protected:
    static void SetUpTestSuite() {
        dovecot_ = new nettest::DovecotServer;
        // All users before the first log-in: the server reads its passwd-file once.
        for (int i = 1; i <= 8; ++i)
            dovecot_->AddUser("gone" + std::to_string(i), "secret");
    }
    static void TearDownTestSuite() {
        delete dovecot_;
        dovecot_ = nullptr;
    }

    void SetUp() override {
        if (!dovecot_->Started())
            GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
        static int users = 0;
        user_ = "gone" + std::to_string(++users);
        root_ = dir_.Path().string() + "/";
        db_ = root_ + "db/";
        for (const std::string& d : {db_, root_ + "prog/", root_ + "win/"})
            fs::create_directories(d);
        ASSERT_TRUE(mailtest::RunShell(QUELTA_BIN_DIR "/mkschema '" + db_ + "' >/dev/null"));
        for (const char* file : {"postp", "libwsock32.so"})
            fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, root_ + "prog/" + file);
        win::TIniFile ini(root_ + "win/quelta.ini");
        ini.WriteString("Folders", "Messages", root_ + "messages/");
        ini.WriteString("Folders", "Agents", root_ + "agents/");
        ini.WriteString("Folders", "DataBase", db_);
        ini.WriteBool("ProcessorSettings", "AutoEnabled", true);
        // Polled at every run: next run in the past, interval 0.
        Append("NODES.DBF", {{"UNIQUE_ID", "A1"},
                             {"NODE", "Node A1"},
                             {"POPADDRESS", dovecot_->Address()},
                             {"LOGIN", user_},
                             {"PASSWORD", "secret"},
                             {"NEXTDATE", "1/1/2000"},
                             {"NEXTTIME", "00:00"},
                             {"FREQVAL", "0"}});
    }

    void Append(const std::string& table, const Row& fields) {
        data::test::AppendRow(db_, table, fields);
    }
    void Rule(const std::string& id, const std::string& cond, const std::string& field,
              const std::string& value, const std::string& retrieve, const std::string& remove) {
        Append("rules.dbf", {{"UNIQUE_ID", id},
                             {"LINK_ID", "A1"},
                             {"RULE", id},
                             {"COND", cond},
                             {"CONDVAL1", field},
                             {"CONDVAL2", value},
                             {"ACT1", retrieve},
                             {"ACT2", remove}});
    }
    void Delete(const std::string& table, const std::string& field, const std::string& value) {
        ASSERT_EQ(data::test::DeleteRows(db_, table, field, value, GetParam()), 1);
    }

    // postp /singlepass from its installation, as a user runs it. In a
    // sanitizer build its leaks are checked at exit; when the checker
    // itself breaks down there (GCC 12's tracer now and then dies on a
    // loaded machine), that says nothing of postp, whose work is done.
    void RunPostp() {
        QProcess postp;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
        postp.setProcessEnvironment(env);
        postp.setProcessChannelMode(QProcess::MergedChannels);
        postp.start(QString::fromStdString(root_ + "prog/postp"), {"/singlepass"});
        const bool ended = postp.waitForFinished(600000);
        const std::string output = postp.readAll().toStdString();
        ASSERT_TRUE(ended) << output;
        const bool ok = postp.exitStatus() == QProcess::NormalExit && postp.exitCode() == 0;
        if (!ok && CheckerBrokeDown(output))
            std::cout << "  the leak check broke down at postp's exit (no leak reported):\n"
                      << output;
        else
            ASSERT_TRUE(ok) << "exit code " << postp.exitCode() << "\n" << output;
        EXPECT_EQ(Log().find("Error-"), std::string::npos) << Log();
    }
    // The leak checker failed on its own: no leak and no other error reported.
    static bool CheckerBrokeDown(const std::string& output) {
        return output.find("LeakSanitizer has encountered a fatal error") != std::string::npos &&
               output.find("detected memory leaks") == std::string::npos &&
               output.find("ERROR: AddressSanitizer") == std::string::npos &&
               output.find("runtime error:") == std::string::npos;
    }
    std::string Log() const { return ReadFile(root_ + "prog/mailproc.log"); }
    // What the account's Pending folder holds, by file name.
    std::string Fetched(const std::string& id) const {
        return ReadFile(
            win::ResolvePath(root_ + "messages/A1/Pending/-" + id + "@example.org-.eml"));
    }
    std::vector<std::string> Mailbox() const { return dovecot_->Mailbox(user_); }

    static nettest::DovecotServer* dovecot_;
    mailtest::ScratchDir dir_;
    std::string root_, db_, user_;
};

nettest::DovecotServer* PostpDeletedRows::dovecot_ = nullptr;

TEST_P(PostpDeletedRows, ADeletedAccountIsNotPolled) {
    Rule("ALL", "A", "", "", "Y", "N");
    dovecot_->Deliver(user_, Mail("one", "First"));
    RunPostp();
    EXPECT_EQ(Fetched("one"), Mail("one", "First"));
    EXPECT_EQ(Occurrences(Log(), "Node A1 -- retrieving mail"), 1) << Log();

    Delete("NODES.DBF", "UNIQUE_ID", "A1");
    dovecot_->Deliver(user_, Mail("two", "Second"));
    RunPostp();
    EXPECT_EQ(Fetched("two"), "");
    EXPECT_EQ(Occurrences(Log(), "Node A1 -- retrieving mail"), 1) << Log();
    EXPECT_EQ(Mailbox().size(), 2u);
}

TEST_P(PostpDeletedRows, ADeletedRestrictionDecidesNothing) {
    Rule("ALL", "A", "", "", "Y", "N");
    // Offers are deleted on the server unread.
    Rule("OFFERS", "C", "Subject", "Offer", "N", "Y");
    dovecot_->Deliver(user_, Mail("offer1", "Offer one"));
    RunPostp();
    EXPECT_EQ(Fetched("offer1"), "");
    EXPECT_TRUE(Mailbox().empty());

    Delete("rules.dbf", "UNIQUE_ID", "OFFERS");
    dovecot_->Deliver(user_, Mail("offer2", "Offer two"));
    RunPostp();
    EXPECT_EQ(Fetched("offer2"), Mail("offer2", "Offer two"));
    EXPECT_EQ(Mailbox(), std::vector<std::string>{Mail("offer2", "Offer two")});
}

TEST_P(PostpDeletedRows, ADeletedReceivedRowBlocksNoFetch) {
    Rule("ALL", "A", "", "", "Y", "N");
    Append("RECEIVED.DBF", {{"MESSAGE_ID", "<seen@example.org>"}, {"LINK_ID", "A1"}});
    dovecot_->Deliver(user_, Mail("seen", "Seen before"));
    RunPostp();
    EXPECT_EQ(Fetched("seen"), "");

    Delete("RECEIVED.DBF", "MESSAGE_ID", "<seen@example.org>");
    RunPostp();
    EXPECT_EQ(Fetched("seen"), Mail("seen", "Seen before"));
    EXPECT_EQ(Mailbox().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Deletions, PostpDeletedRows,
                         ::testing::Values(TDeletion::DataLayer, TDeletion::OutsideMark),
                         [](const auto& info) { return data::test::DeletionName(info.param); });

} // namespace
