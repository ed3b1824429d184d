// Rows deleted by another program are gone for the real posta from its
// first pass on: an agent detached in the configuration manager (its
// Agents.dbf row deleted through the data layer, or marked deleted by an
// outside tool) answers nothing more, where a control run on the same
// installation shows that it answered while attached.
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
        posta.setProcessEnvironment(env);
        posta.setProcessChannelMode(QProcess::MergedChannels);
        posta.start(QString::fromStdString(program), {"/SINGLEPASS"});
        ASSERT_TRUE(posta.waitForFinished(120000)) << posta.readAll().toStdString();
        ASSERT_EQ(posta.exitCode(), 0) << posta.readAll().toStdString();
    }
    int ActionRowsFor(const std::string& key) {
        int n = 0;
        for (auto& r : Rows("ACTIONS.DBF"))
            n += r["MESSAGE_ID"] == key;
        return n;
    }
};

TEST_P(PostaDeletedRows, ADetachedAgentAnswersNothing) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    passtest::Spit(root_ + "templates/r.eml",
                   "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\nThank you.\r\n");
    WriteAgent("reply", {}, {{{"AUTO-REPLY", root_ + "templates/r.eml", ""}}});
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "reply");

    // Control: attached, the agent answers.
    AddMessage("ACC1", "one.eml", "Ann <ann@example.org>", "First", "x\r\n",
               "Message-ID: <one@example.org>\r\n");
    RunPosta();
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(ActionRowsFor("<one@example.org>"), 1);

    ASSERT_EQ(data::test::DeleteRows(root_ + "db", "Agents.dbf", "UNIQUE_ID", "AG1", GetParam()),
              1);
    AddMessage("ACC1", "two.eml", "Bob <bob@example.org>", "Second", "y\r\n",
               "Message-ID: <two@example.org>\r\n");
    RunPosta();
    // Filed as mail of an account without agents: no answer, no action row.
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "two.eml"));
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(ActionRowsFor("<two@example.org>"), 0);
    const std::string log = passtest::Slurp(root_ + "prog/agentproc.log");
    EXPECT_EQ(log.find("Error-"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Deletions, PostaDeletedRows,
                         ::testing::Values(TDeletion::DataLayer, TDeletion::OutsideMark),
                         [](const auto& info) { return data::test::DeletionName(info.param); });

} // namespace
