// Rows deleted by another program are gone for the real posta from its
// first pass on: an agent detached in the configuration manager (its
// Agents.dbf row deleted through the data layer, or marked deleted by an
// outside tool) runs no more, where a control run on the same installation
// shows that it ran while attached.
#include "data/tests/deleterows.h"
#include "processor/posta/tests/postafixture.h"

#include <QProcessEnvironment>

namespace {

using data::test::TDeletion;

class PostaDeletedRows : public postatest::PostaTest,
                         public ::testing::WithParamInterface<TDeletion> {
protected:
    // posta /SINGLEPASS from an installation of its own, as a user runs it.
    void RunPosta() {
        const std::string program = root_ + "prog/posta";
        if (!std::filesystem::exists(program)) {
            std::filesystem::copy_file(QUELTA_BIN_DIR "/posta", program);
            std::filesystem::create_symlink(QUELTA_BIN_DIR "/libwsock32.so",
                                            root_ + "prog/libwsock32.so");
        }
        QProcess posta;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
        // Not a leak test: under a sanitizer on a loaded machine the check at
        // the end of a posta run now and then fails on an allocation inside
        // Qt, an empty installation too.
        const QString asan = env.value("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS", (asan.isEmpty() ? "" : asan + ":") + "detect_leaks=0");
        posta.setProcessEnvironment(env);
        posta.setProcessChannelMode(QProcess::MergedChannels);
        posta.start(QString::fromStdString(program), {"/SINGLEPASS"});
        ASSERT_TRUE(posta.waitForFinished(120000)) << posta.readAll().toStdString();
        ASSERT_EQ(posta.exitCode(), 0) << posta.readAll().toStdString();
    }
    std::string Log() const { return passtest::Slurp(root_ + "prog/agentproc.log"); }
    static int Occurrences(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    int ActionRowsFor(const std::string& key) {
        int n = 0;
        for (auto& r : Rows("ACTIONS.DBF"))
            n += r["MESSAGE_ID"] == key;
        return n;
    }
};

TEST_P(PostaDeletedRows, ADetachedAgentRunsNoMore) {
    Ini().WriteBool("AgentSettings", "AutoEnabled", false); // the single pass runs all the same
    WriteAgent("wait", {}, {{{"DELAY THE AGENT", "0", ""}}});
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "wait");

    // Control: attached, the agent runs and its action is recorded.
    AddMessage("ACC1", "one.eml", "Ann <ann@example.org>", "First", "x\r\n",
               "Message-ID: <one@example.org>\r\n");
    RunPosta();
    EXPECT_EQ(ActionRowsFor("<one@example.org>"), 1);
    EXPECT_EQ(Occurrences(Log(), " - Processing Agent wait"), 1) << Log();

    ASSERT_EQ(data::test::DeleteRows(root_ + "db", "Agents.dbf", "UNIQUE_ID", "AG1", GetParam()),
              1);
    AddMessage("ACC1", "two.eml", "Bob <bob@example.org>", "Second", "y\r\n",
               "Message-ID: <two@example.org>\r\n");
    RunPosta();
    // Filed as mail of an account without agents: the agent is not even loaded.
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "two.eml"));
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
    EXPECT_EQ(ActionRowsFor("<two@example.org>"), 0);
    EXPECT_EQ(Occurrences(Log(), " - Processing Agent wait"), 1) << Log();
    EXPECT_EQ(Log().find("Error-"), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(Deletions, PostaDeletedRows,
                         ::testing::Values(TDeletion::DataLayer, TDeletion::OutsideMark),
                         [](const auto& info) { return data::test::DeletionName(info.param); });

} // namespace
