#include "processor/tests/passfixture.h"

#include "data/schema.h"
#include "data/tests/deleterows.h"
#include "data/tests/headerlock.h"
#include "platform/com/registry.h"
#include "platform/win/paths.h"
#include "processor/receivedrows.h"
#include "processor/startup.h"
#include "processor/store.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using passtest::PassTest;

TEST_F(PassTest, AccountWithoutAgentsFilesItsMessages) {
    AddAccount("ACC1");
    AddMessage("ACC1", "a.eml", "Ann <ann@example.com>", "Hello there", "body\r\n",
               "Message-ID: <id.1@example.com>\r\n");
    AddMessage("ACC1", "b.eml", "Bob <bob@example.com>", "No id", "body\r\n");
    passtest::Spit(In("ACC1") + "a.eml", "old copy");
    OpenTables();
    p_->AgentsMain();
    EXPECT_FALSE(std::filesystem::exists(Pending("ACC1") + "a.eml"));
    EXPECT_NE(passtest::Slurp(In("ACC1") + "a.eml").find("Hello there"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "b.eml"));
    auto rows = Rows("RECEIVED.DBF");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["MESSAGE_ID"], "<id.1@example.com>");
    EXPECT_EQ(rows[0]["LINK_ID"], "ACC1");
    EXPECT_EQ(rows[0]["FILENAME"], "a.eml");
    EXPECT_EQ(rows[1]["MESSAGE_ID"],
              quelta::HeaderKey(quelta::StoredHeaders(In("ACC1") + "b.eml")));
    EXPECT_EQ(rows[1]["MESSAGE_ID"].substr(0, 20), "19981208102030No id#");
    // Each row keeps what tells its message from another under its key.
    for (const auto& [row, file] : {std::pair{rows[0], "a.eml"}, std::pair{rows[1], "b.eml"}}) {
        const quelta::TMessageIdentity identity = quelta::StoredIdentity(In("ACC1") + file);
        EXPECT_EQ(row.at("LASTUSER"), identity.headers) << file;
        EXPECT_EQ(row.at("STATUS"), identity.size) << file;
    }
    EXPECT_TRUE(Actions().empty());
    EXPECT_TRUE(LogHas("Processing message a.eml"));
    EXPECT_TRUE(LogHas(" Successfully copied "));
    EXPECT_EQ(p_->ScanPasses(), 1);
}

TEST_F(PassTest, ActionsRowsOrderAndTheStopFlag) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "first");
    Attach("ACC1", "AG2", "second");
    Attach("ACC1", "AG3", "lazy");
    std::string out = root_ + "launched.txt";
    std::string script = root_ + "record.sh";
    // Written aside and renamed, so the file is whole once it exists.
    passtest::Spit(script, "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > " + out + ".part && mv " +
                               out + ".part " + out + "\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    WriteAgent("first", {{"Subject", "contains", "ORDER"}},
               {{{"PLAY SOUND", "/sounds/ding.wav", ""},
                 {"REMOVE FROM FURTHER AGENT PROCESSING", "REMOVE", ""},
                 {"LAUNCH PROGRAM", script + " one", "NORMAL"},
                 {"PRINT", "", ""}}});
    WriteAgent("second", {}, {{{"PLAY SOUND", "/sounds/never.wav", ""}}});
    WriteAgent("lazy", {}, {}, "interval");
    AddMessage("ACC1", "m.eml", "Ann <ann@example.com>", "Re: your order", "x\r\n",
               "Message-ID: <a b/c@x>\r\n");
    OpenTables();
    p_->AgentsMain();

    EXPECT_EQ(sounds_, std::vector<std::string>{"/sounds/ding.wav"});
    auto rows = Rows("ACTIONS.DBF");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["ACTION"], "Played Sound: /sounds/ding.wav");
    EXPECT_EQ(rows[0]["MESSAGE_ID"], "<a b/c@x>");
    EXPECT_EQ(rows[0]["NODE_ID"], "ACC1");
    EXPECT_EQ(rows[0]["AGENT_ID"], "AG1");
    EXPECT_EQ(rows[0]["UNIQUE_ID"].substr(14), "Played");
    EXPECT_FALSE(rows[0]["CREATEAT"].empty());
    const std::string copy = root_ + "prog/temp/-a b-c@x-.eml";
    EXPECT_EQ(rows[1]["ACTION"].substr(0, 16), "Launched Program");
    // Later agents are loaded and logged, but not run.
    EXPECT_TRUE(LogHas(" - Processing Agent second"));
    EXPECT_FALSE(LogHas("INTERVAL AGENT PROCESS ACTIVATED"));
    // The program runs on its own; a minute only ends a hang.
    for (int i = 0; i < 6000 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(passtest::Slurp(out), "one|" + copy); // the file is one whole argument
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "m.eml"));
}

TEST_F(PassTest, DelayRefusesNonNumbersAndEndsTheAgent) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "wait");
    WriteAgent("wait", {}, {{{"DELAY THE AGENT", "-5", ""}, {"PLAY SOUND", "s.wav", ""}}});
    Attach("ACC1", "AG2", "wait2");
    WriteAgent("wait2", {}, {{{"DELAY THE AGENT", "0", ""}, {"DELAY THE AGENT", "abc", ""}}});
    Attach("ACC1", "AG3", "other");
    WriteAgent("other", {}, {{{"INTERVAL", "", ""}}}, "Interval");
    AddMessage("ACC1", "m.eml", "a@b.c", "s", "x\r\n");
    OpenTables();
    p_->AgentsMain();
    EXPECT_EQ(Actions(), (std::vector<std::string>{"FAILED to Delay for -5 seconds",
                                                   "Agent Delayed for 0 seconds",
                                                   "FAILED to Delay for abc seconds"}));
    EXPECT_TRUE(sounds_.empty());
    EXPECT_TRUE(LogHas("INTERVAL AGENT PROCESS ACTIVATED Not implemented!"));
}

TEST_F(PassTest, MissingTemplateSkipsTheRestButFilesTheMessage) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "reply");
    WriteAgent("reply", {}, {{{"AUTO-REPLY", root_ + "none.eml", ""}, {"PLAY SOUND", "s", ""}}});
    AddMessage("ACC1", "m.eml", "a@b.c", "s", "x\r\n");
    OpenTables();
    p_->AgentsMain();
    EXPECT_TRUE(
        LogHas("Unable to load outgoing mail message for auto-reply -- " + root_ + "none.eml"));
    EXPECT_TRUE(Actions().empty());
    EXPECT_TRUE(sounds_.empty());
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "m.eml"));
}

TEST_F(PassTest, UnloadableFileIsReportedOnceAndPassedOver) {
    AddAccount("ACC1");
    AddAccount("ACC2");
    passtest::Spit(Pending("ACC1") + "bad.eml", "");
    std::filesystem::permissions(Pending("ACC1") + "bad.eml", std::filesystem::perms::none);
    AddMessage("ACC2", "good.eml", "a@b.c", "s", "x\r\n");
    OpenTables();
    p_->AgentsMain();
    p_->AgentsMain();
    if (::geteuid() != 0 || LogHas("Unable to load")) { // root reads any file
        EXPECT_EQ(LogCount("Unable to load for processing filename: "), 1);
    }
    EXPECT_TRUE(std::filesystem::exists(In("ACC2") + "good.eml"));
}

TEST_F(PassTest, AgentsNeverRunTwiceOnOneMessage) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "count");
    WriteAgent("count", {}, {{{"PLAY SOUND", "s.wav", ""}}});
    AddMessage("ACC1", "done.eml", "a@b.c", "first", "x\r\n");
    // A pass that stopped after the agents ran: its mark is still there.
    passtest::Spit(Pending("ACC1") + "done.eml.run", "agents\nrow\n");
    // A filing that keeps failing: In cannot be made.
    AddAccount("ACC2");
    Attach("ACC2", "AG2", "count");
    AddMessage("ACC2", "stuck.eml", "a@b.c", "second", "x\r\n");
    passtest::Spit(root_ + "messages/ACC2/In", "a file where the folder should be");
    OpenTables();
    p_->AgentsMain();
    p_->AgentsMain();
    EXPECT_EQ(sounds_.size(), 1u); // only stuck.eml, and only once
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "done.eml"));
    EXPECT_FALSE(std::filesystem::exists(Pending("ACC1") + "done.eml.run"));
    EXPECT_TRUE(Rows("RECEIVED.DBF").size() == 1u); // the first one's row was already written
    EXPECT_EQ(LogCount(" - FAILED to copy "), 2);
    EXPECT_TRUE(std::filesystem::exists(Pending("ACC2") + "stuck.eml"));
}

TEST_F(PassTest, WhatAKilledPassLeftIsFiledOnceAndCleanedUp) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "count");
    WriteAgent("count", {}, {{{"PLAY SOUND", "s.wav", ""}}});
    // Killed after the received row, before its mark said so.
    AddMessage("ACC1", "m.eml", "a@b.c", "first", "x\r\n", "Message-ID: <m@x>\r\n");
    passtest::Spit(Pending("ACC1") + "m.eml.run", "agents\n");
    AppendRow(root_ + "db", "RECEIVED.DBF",
              {{"MESSAGE_ID", "<m@x>"}, {"LINK_ID", "ACC1"}, {"FILENAME", "m.eml"}});
    // The mark of a message filed just before the kill; temporary files
    // of killed writers (one of them ours, which still runs).
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), alive = std::to_string(::getpid());
    passtest::Spit(Pending("ACC1") + "gone.eml.run", "agents\nrow\n");
    passtest::Spit(Pending("ACC1") + "m.eml.~" + dead + ".part", "half");
    passtest::Spit(Pending("ACC1") + "n.eml.~" + dead + ".3.part", "half");
    passtest::Spit(In("ACC1") + "m.eml.~" + dead + ".part", "half");
    passtest::Spit(In("ACC1") + "k.eml.~" + alive + ".part", "ours");
    OpenTables();
    p_->AgentsMain();
    EXPECT_TRUE(sounds_.empty());
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
    std::vector<std::string> filed;
    for (const auto& e : std::filesystem::directory_iterator(In("ACC1")))
        filed.push_back(e.path().filename().string());
    std::sort(filed.begin(), filed.end());
    EXPECT_EQ(filed, (std::vector<std::string>{"k.eml.~" + alive + ".part", "m.eml"}));
}

TEST_F(PassTest, AReceivedRowRefusedUnderAnotherProgramsLockIsWrittenOnce) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "count");
    WriteAgent("count", {}, {{{"PLAY SOUND", "s.wav", ""}}});
    AddMessage("ACC1", "m.eml", "a@b.c", "first", "x\r\n", "Message-ID: <m@x>\r\n");
    OpenTables();
    // While the agent runs, another program starts to change the received
    // table, for longer than the lock time-out.
    std::unique_ptr<data::test::THeaderLockHolder> other;
    win::SetSoundPlayer([&](const std::string& p) {
        sounds_.push_back(p);
        other = std::make_unique<data::test::THeaderLockHolder>(
            win::ResolvePath(root_ + "db/received.dbf"));
    });
    EXPECT_THROW(p_->AgentsMain(), data::EDatabaseError);
    ASSERT_TRUE(other && other->Held());
    other.reset();
    win::SetSoundPlayer([this](const std::string& p) { sounds_.push_back(p); });
    // Refused at the received row, after the agents.
    EXPECT_EQ(sounds_.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(Pending("ACC1") + "m.eml"));
    p_->AgentsMain();
    p_->AgentsMain();
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 1u);
    EXPECT_EQ(sounds_.size(), 1u); // the agents ran once
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "m.eml"));
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
}

TEST_F(PassTest, LongMessageIdsAreFiledUnderKeysOfTheirOwn) {
    // Alike in their first 40 characters, and in their first 255.
    const std::string pr = "<example-org/a-long-repository-name/pull/4711/";
    const std::vector<std::string> ids = {
        pr + "c1001@github.example>", pr + "c1002@github.example>",
        "<" + std::string(300, 'h') + "1@x>", "<" + std::string(300, 'h') + "2@x>"};
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "count");
    WriteAgent("count", {}, {{{"PLAY SOUND", "s.wav", ""}}});
    for (const std::string& id : ids)
        AddMessage("ACC1", quelta::MessageFileName(id), "a@b.c", "s", "x\r\n",
                   "Message-ID: " + id + "\r\n");
    // Also in another account, whose row comes first: killed after its
    // row, before the mark said so; the tag holds one row per key.
    AddAccount("ACC2");
    Attach("ACC2", "AG2", "count");
    const std::string name0 = quelta::MessageFileName(ids[0]);
    AppendRow(
        root_ + "db", "RECEIVED.DBF",
        {{"MESSAGE_ID", data::StoredMessageKey(ids[0])}, {"LINK_ID", "ACC2"}, {"FILENAME", name0}});
    OpenTables();
    p_->AgentsMain();
    AddMessage("ACC2", name0, "a@b.c", "s", "x\r\n", "Message-ID: " + ids[0] + "\r\n");
    passtest::Spit(Pending("ACC2") + name0 + ".run", "agents\n");
    p_->AgentsMain();

    const auto rows = Rows("RECEIVED.DBF");
    ASSERT_EQ(rows.size(), 5u);
    std::set<std::string> keys, expected;
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(rows[k + 1].at("LINK_ID"), "ACC1");
        keys.insert(rows[k + 1].at("MESSAGE_ID"));
        expected.insert(data::StoredMessageKey(ids[k]));
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_EQ(sounds_.size(), 4u); // ACC2's agents had run before the stop
    std::set<std::string> actionKeys;
    for (auto& r : Rows("ACTIONS.DBF"))
        actionKeys.insert(r["MESSAGE_ID"]);
    EXPECT_EQ(actionKeys, keys);
    EXPECT_TRUE(std::filesystem::exists(In("ACC2") + name0));
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC2")));
}

TEST_F(PassTest, OneMessageGetsOneRowAndOneRunOfItsAgentsPerAccount) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "count");
    WriteAgent("count", {}, {{{"PLAY SOUND", "s.wav", ""}}});
    // Rows deleted before, of the key of both messages: the unique tag
    // keeps its entry for the first row, a deleted one.
    for (const char* account : {"ACC1", "ACC9"})
        AppendRow(root_ + "db", "RECEIVED.DBF",
                  {{"MESSAGE_ID", "<m@x>"}, {"LINK_ID", account}, {"FILENAME", "old.eml"}});
    ASSERT_EQ(data::test::DeleteRows(root_ + "db", "RECEIVED.DBF", "FILENAME", "old.eml",
                                     data::test::TDeletion::DataLayer),
              2);
    // Killed after its row, before the mark said so.
    AddMessage("ACC1", "m.eml", "a@b.c", "first", "x\r\n", "Message-ID: <m@x>\r\n");
    const std::string path = Pending("ACC1") + "m.eml";
    quelta::TRunMark mark{"<m@x>", quelta::StoredIdentity(path), false};
    passtest::Spit(quelta::RunMarkPath(path), quelta::RunMarkText(mark));
    AppendRow(root_ + "db", "RECEIVED.DBF",
              {{"MESSAGE_ID", "<m@x>"},
               {"LINK_ID", "ACC1"},
               {"FILENAME", "m.eml"},
               {"LASTUSER", mark.identity.headers},
               {"STATUS", mark.identity.size}});
    // Another message under that key, and a copy of the first that comes
    // to Pending again (from a backup, say) under another name.
    AddMessage("ACC1", "other.eml", "c@d.e", "second", "y\r\n", "Message-ID: <m@x>\r\n");
    OpenTables();
    p_->AgentsMain();
    passtest::Spit(Pending("ACC1") + "again.eml", passtest::Slurp(In("ACC1") + "m.eml"));
    p_->AgentsMain();

    data::TXbEnvHold hidden; // the rows the programs see
    std::vector<std::string> files;
    for (auto& row : Rows("RECEIVED.DBF")) {
        EXPECT_EQ(row["MESSAGE_ID"], "<m@x>");
        files.push_back(row["FILENAME"]);
    }
    EXPECT_EQ(files, (std::vector<std::string>{"m.eml", "other.eml"}));
    EXPECT_EQ(sounds_.size(), 1u); // only the other message's agents ran
    EXPECT_TRUE(LogHas("Message again.eml was received before: its agents do not run again"));
    EXPECT_TRUE(std::filesystem::is_empty(Pending("ACC1")));
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "again.eml"));
}

TEST(ReceivedRows, AnAccountsRowsAreReadOnlyWhenItsKeyMeetsAnotherRow) {
    passtest::EnsureApp();
    QTemporaryDir dir;
    const std::string db = dir.path().toStdString() + "/";
    ASSERT_EQ(QProcess::execute(QUELTA_BIN_DIR "/mkschema", {QString::fromStdString(db)}), 0);
    data::TXbEnvHold hidden;
    // Many rows of two accounts; a few keys in both, one behind a deleted row.
    for (int n = 0; n < 300; ++n)
        for (const char* account : {"A1", "A2"})
            if (std::string(account) == "A1" || n % 2 == 0)
                data::test::AppendRow(db, "RECEIVED.DBF",
                                      {{"MESSAGE_ID", "<" + std::to_string(n) + "@x>"},
                                       {"LINK_ID", account},
                                       {"FILENAME", std::to_string(n) + ".eml"}});
    data::test::AppendRow(db, "RECEIVED.DBF",
                          {{"MESSAGE_ID", "<gone@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "gone"}});
    ASSERT_EQ(data::test::DeleteRows(db, "RECEIVED.DBF", "FILENAME", "gone",
                                     data::test::TDeletion::OutsideMark),
              1);
    data::test::AppendRow(db, "RECEIVED.DBF",
                          {{"MESSAGE_ID", "<gone@x>"}, {"LINK_ID", "A2"}, {"FILENAME", "back"}});
    quelta::TReceivedRows rows;
    rows.SetDatabaseFolder(db);
    const auto any = [](const quelta::TReceivedRow&) { return true; };
    auto files = [&](const std::string& key, const std::string& account) {
        std::vector<std::string> names;
        for (const auto& row : rows.Find(key, account, any))
            names.push_back(row.file);
        return names;
    };
    // The tag's row is the account's own, or no row holds the key: a seek.
    for (int n = 1; n < 300; n += 2)
        EXPECT_EQ(files("<" + std::to_string(n) + "@x>", "A1"),
                  std::vector<std::string>{std::to_string(n) + ".eml"});
    EXPECT_TRUE(files("<none@x>", "A2").empty());
    EXPECT_TRUE(files("<1@x>", "A2").empty()); // A1's row: A2's rows are read once
    EXPECT_EQ(rows.Walks(), 1);
    // Another account's row in front, or a deleted one: the account's rows,
    // read once for all of them.
    for (int n = 0; n < 300; n += 100)
        EXPECT_EQ(files("<" + std::to_string(n) + "@x>", "A2"),
                  std::vector<std::string>{std::to_string(n) + ".eml"});
    EXPECT_EQ(files("<gone@x>", "A2"), std::vector<std::string>{"back"});
    EXPECT_EQ(rows.Walks(), 1);
    rows.Forget();
    // The unique tag leads to the live row of a key: a seek finds it.
    EXPECT_EQ(files("<gone@x>", "A2"), std::vector<std::string>{"back"});
    EXPECT_EQ(rows.Walks(), 1);
    EXPECT_EQ(files("<0@x>", "A2"), std::vector<std::string>{"0.eml"});
    EXPECT_EQ(rows.Walks(), 2);
}

TEST_F(PassTest, CloseTakesEffectAfterTheMessageIsFiled) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "close");
    WriteAgent("close", {{"Subject", "contains", "stop"}},
               {{{"CLOSE QUELTA", "CLOSE", ""}, {"PLAY SOUND", "after.wav", ""}}});
    AddMessage("ACC1", "a.eml", "a@b.c", "please stop", "x\r\n");
    AddMessage("ACC1", "b.eml", "a@b.c", "later", "x\r\n");
    OpenTables();
    p_->AgentsMain();
    EXPECT_TRUE(p_->CloseRequested());
    EXPECT_EQ(sounds_, std::vector<std::string>{"after.wav"}); // the agent finishes
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "a.eml"));
    EXPECT_TRUE(std::filesystem::exists(Pending("ACC1") + "b.eml")); // pass ended there
    EXPECT_EQ(Actions(), (std::vector<std::string>{"Close Quelta", "Played Sound: after.wav"}));
}

TEST_F(PassTest, ShutDownRecordsItsRowAndWaitsForThePass) {
    AddAccount("ACC1");
    Attach("ACC1", "AG1", "off");
    WriteAgent("off", {}, {{{"SHUT DOWN WINDOWS", "REBOOT", ""}}});
    AddMessage("ACC1", "a.eml", "a@b.c", "x", "x\r\n");
    OpenTables();
    p_->AgentsMain();
    EXPECT_TRUE(p_->ShutdownRequested());
    EXPECT_EQ(p_->ShutdownFlags(), unsigned(win::EWX_REBOOT));
    EXPECT_EQ(Actions(), std::vector<std::string>{"Close Quelta"});
}

TEST_F(PassTest, RepliesForwardsAndRedirectsReachTheServer) {
    if (!passtest::HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    passtest::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("ACC1", "127.0.0.1:" + std::to_string(sink.Port()));
    Attach("ACC1", "AG1", "desk");
    passtest::Spit(root_ + "templates/thanks.eml",
                   "From: x@y\r\nTo: <<REPLYFIELD~Email>>\r\nSubject: Re: <<REPLYHEADER~Subject>>"
                   "\r\n\r\nDear <<REPLYHEADER~FROMNAME>>,\r\nyour order <<REPLYFIELD~Order>> is "
                   "in.\r\n.\r\n<<SYSTEM~CURRENTNODE>>\r\n");
    WriteAgent("desk", {{"<Body>", "contains", "order="}},
               {{{"FORWARD TO", "boss@example.com", "FYI"},
                 {"AUTO-REPLY", root_ + "templates/thanks.eml", ""},
                 {"REDIRECT TO", "archive@example.com", ""}}});
    AddMessage("ACC1", "m.eml", "John Smith <john@example.com>", "Order 17",
               "Order=17\r\nEmail=buyer@example.com\r\n", "Cc: copy@example.com\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();
    if (sink.Count() != 3) {
        for (const auto& l : p_->LogLines())
            ADD_FAILURE() << l;
    }
    ASSERT_EQ(sink.Count(), 3);

    const std::string fwd = sink.Read("1.eml");
    EXPECT_NE(sink.Read("1.json").find("\"boss@example.com\"]"), std::string::npos);
    EXPECT_EQ(sink.Read("1.json").find("copy@example.com"), std::string::npos);
    EXPECT_NE(fwd.find("X-QueltaForward: True"), std::string::npos);
    EXPECT_NE(fwd.find("Forwarded Message:  Originally from: John Smith john@example.com\r\n" +
                       std::string(50, '-') + "\r\nFYI\r\nOrder=17"),
              std::string::npos)
        << fwd;

    const std::string reply = sink.Read("2.eml");
    EXPECT_NE(sink.Read("2.json").find("buyer@example.com"), std::string::npos);
    EXPECT_NE(reply.find("X-QueltaAuto-Reply: True"), std::string::npos);
    EXPECT_NE(reply.find("Dear John Smith,\r\nyour order 17 is in.\r\n"), std::string::npos)
        << reply;
    EXPECT_NE(reply.find("Re: Order 17\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("Sales Desk"), std::string::npos);

    const std::string red = sink.Read("3.eml");
    EXPECT_NE(sink.Read("3.json").find("archive@example.com"), std::string::npos);
    EXPECT_NE(red.find("X-QueltaRedirect: True"), std::string::npos);
    EXPECT_NE(red.find("Processed by Quelta Account: Sales Desk\r\nOriginally To: "
                       "sales@example.com\r\nMessage Redirected To: archive@example.com\r\n"),
              std::string::npos)
        << red;
    EXPECT_EQ(Actions(), (std::vector<std::string>{"Message Forwarded to: boss@example.com",
                                                   "AutoReply Generated, SUBJECT: Re: Order 17",
                                                   "Message Redirected to: archive@example.com"}));
}

TEST_F(PassTest, SendFailureIsLoggedAndTheRowStays) {
    AddAccount("ACC1", "127.0.0.1:1");
    Attach("ACC1", "AG1", "r");
    passtest::Spit(root_ + "t.eml", "Subject: Thanks\r\n\r\nhi\r\n");
    WriteAgent("r", {}, {{{"AUTO-REPLY", root_ + "t.eml", ""}, {"PLAY SOUND", "s", ""}}});
    AddMessage("ACC1", "m.eml", "a@b.c", "s", "x\r\n");
    OpenTables();
    p_->LoadSocketLayer();
    p_->AgentsMain();
    EXPECT_TRUE(LogHas("ERROR -- Could not send outgoing mail [10061]"));
    EXPECT_TRUE(LogHas(" Subject: Thanks"));
    EXPECT_EQ(Actions(), (std::vector<std::string>{"AutoReply Generated, SUBJECT: Thanks",
                                                   "Played Sound: s"}));
    EXPECT_TRUE(std::filesystem::exists(In("ACC1") + "m.eml"));
}

TEST_F(PassTest, MissingTablesNameTheFileAndWhatToRun) {
    const std::string db = root_ + "empty/";
    std::filesystem::create_directories(db);
    quelta::TAgentProcessor p;
    p.SetFolders(root_ + "messages", root_ + "agents", db);
    try {
        p.OpenTables();
        FAIL() << "opened";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cursor Error : 10024\nThe table " + db +
                      "NODES.DBF does not exist. Create the tables with: mkschema " + db);
    }
    EXPECT_EQ(quelta::AutomationStartUpText(REGDB_E_CLASSNOTREG, "/opt/q/"),
              "Class not registered (0x80040154)\nThe automation library is not registered in " +
                  com::RegistryFileName() + ". Register it with: regsvr /opt/q/libQuelta.so");
}

TEST_F(PassTest, LogLinesNewestFirstAndSaved) {
    p_->SendtoLog("one", 0);
    p_->SendtoLog("hidden", 9);
    p_->SetDebugMode(true);
    p_->SendtoLog("two", 9);
    p_->AppException("boom");
    ASSERT_EQ(p_->LogLines().size(), 3u);
    EXPECT_NE(p_->LogLines()[0].find(" -- Error-boom"), std::string::npos);
    EXPECT_EQ(p_->LogLines()[1], "DEBUGMESSAGE -- two");
    EXPECT_NE(p_->LogLines()[2].find(" -- one"), std::string::npos);
    p_->SaveLog();
    quelta::TAgentProcessor other;
    other.SetProgramFolder(root_ + "prog");
    other.LoadLog();
    EXPECT_EQ(other.LogLines(), p_->LogLines());
}
