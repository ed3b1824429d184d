// The retriever's pass and POP3 session against a real Dovecot (restrictions,
// skips, byte-identical storing, deletion) and scripted servers (failures
// mid-session), its schedule, settings and command line, and postp itself.
#include "data/tests/appendrow.h"
#include "retriever/mailretriever.h"
#include "retriever/settings.h"

#include "data/schema.h"
#include "mail/exception.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/tcp_server.h"
#include "mail/tests/testutil.h"
#include "platform/win/datetime.h"
#include "platform/win/paths.h"
#include "processor/store.h"
#include "retriever/tests/pop3_mailbox.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace nettest;
using mailtest::ReadFile;
using mailtest::ScratchDir;
using mailtest::WriteFile;
namespace fs = std::filesystem;

namespace {

using Row = std::vector<std::pair<std::string, std::string>>;

std::string Msg(const std::string& headers, const std::string& body) {
    return headers + "\r\n" + body;
}

// A message of exactly size bytes.
std::string Sized(const std::string& headers, std::size_t size) {
    std::string m = headers + "\r\n";
    while (m.size() + 2 < size)
        m += std::string(std::min<std::size_t>(70, size - m.size() - 2), 'x') + "\r\n";
    m.resize(size - 2, 'x');
    return m + "\r\n";
}

class Retriever : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dovecot_ = new DovecotServer;
        // All users before the first log-in: the server reads its passwd-file once.
        for (int i = 1; i <= 20; ++i)
            dovecot_->AddUser("user" + std::to_string(i), "secret");
    }
    static void TearDownTestSuite() {
        delete dovecot_;
        dovecot_ = nullptr;
    }

    void SetUp() override {
        EnsureNetwork();
        win::SetClock([] { return win::EncodeDateTime({2026, 12, 9, 10, 0, 0, 0, 4}); });
        db_ = (dir_.Path() / "db").string() + "/";
        fs::create_directories(db_);
        ASSERT_EQ(
            std::system((std::string(QUELTA_BIN_DIR "/mkschema ") + db_ + " >/dev/null").c_str()),
            0);
        messages_ = (dir_.Path() / "messages").string() + "/";
        r_.SetFolders(messages_, (dir_.Path() / "agents").string() + "/", db_);
        r_.SetProgramFolder(dir_.Path().string());
        // A real server may hold a reply back for seconds (Dovecot delays
        // the log-ins after a failed one); only a hang should end a wait.
        r_.POP().SetTimeOut(60);
        r_.OnLog = [this](const std::string&, const std::string& text) { log_.push_back(text); };
    }
    void TearDown() override {
        win::SetClock({});
        if (HasFailure())
            for (const auto& line : log_)
                std::cout << "  log: " << line << "\n";
    }

    // A fresh mailbox for this test's account.
    std::string NewUser() {
        static int n = 0;
        return "user" + std::to_string(++n);
    }

    void Append(const std::string& table, const Row& fields) {
        data::test::AppendRow(db_, table, fields);
    }
    void Account(const std::string& id, const std::string& server, const std::string& login,
                 const std::string& password, const std::string& nextDate = "1/1/2000") {
        Append("NODES.DBF", {{"UNIQUE_ID", id},
                             {"NODE", "Node " + id},
                             {"POPADDRESS", server},
                             {"LOGIN", login},
                             {"PASSWORD", password},
                             {"NEXTDATE", nextDate},
                             {"NEXTTIME", nextDate.empty() ? "" : "08:00"},
                             {"FREQVAL", "15"}});
    }
    void Rule(const std::string& account, const std::string& name, const std::string& cond,
              const std::string& v1, const std::string& v2, const std::string& retrieve,
              const std::string& remove) {
        Append("rules.dbf", {{"UNIQUE_ID", name},
                             {"LINK_ID", account},
                             {"RULE", name},
                             {"COND", cond},
                             {"CONDVAL1", v1},
                             {"CONDVAL2", v2},
                             {"ACT1", retrieve},
                             {"ACT2", remove}});
    }
    std::string Pending(const std::string& account, const std::string& name) {
        return ReadFile(win::ResolvePath(messages_ + account + "/Pending/" + name));
    }
    std::vector<std::string> PendingNames(const std::string& account) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e :
             fs::directory_iterator(win::ResolvePath(messages_ + account + "/Pending"), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Logged(const std::string& text) const {
        return std::find(log_.begin(), log_.end(), text) != log_.end();
    }
    // The received row the processor writes for a message as it arrived.
    void Received(const std::string& account, const std::string& text, const std::string& file) {
        TmsHeaders headers;
        headers.SetText(text);
        headers.CutAtBlankLine();
        const quelta::TMessageIdentity identity =
            quelta::IdentityOf(headers, static_cast<long long>(text.size()));
        Append("received.dbf", {{"MESSAGE_ID", data::StoredMessageKey(quelta::HeaderKey(headers))},
                                {"LINK_ID", account},
                                {"FILENAME", file},
                                {"LASTUSER", identity.headers},
                                {"STATUS", identity.size}});
    }
    // What the processor does with each pending file: a received row under
    // the message's key, the file moved to In.
    void FileAsTheProcessorDoes(const std::string& account) {
        const std::string in = messages_ + account + "/In/";
        fs::create_directories(in);
        for (const std::string& name : PendingNames(account)) {
            Received(account, Pending(account, name), name);
            fs::rename(win::ResolvePath(messages_ + account + "/Pending/" + name), in + name);
        }
    }
    // Half an hour later: every account is due again.
    void Later() {
        static int minutes = 0;
        minutes += 30;
        win::SetClock([m = minutes] {
            return win::EncodeDateTime({2026, 12, 9, 10, 0, 0, 0, 4}) + m / 1440.0;
        });
    }
    // Runs one tick with retrieval on.
    void Tick() {
        if (!r_.Accounts().Active())
            r_.OpenTables();
        r_.SetProcessingOn(true);
        r_.TimerProcessTimer();
    }

    static DovecotServer* dovecot_;
    ScratchDir dir_;
    std::string db_, messages_;
    retriever::TMailRetriever r_;
    std::vector<std::string> log_;
};

DovecotServer* Retriever::dovecot_ = nullptr;

const std::string kDots = Msg("Message-ID: <a/b@x>\r\nSubject: dots\r\n",
                              ".\r\n..\r\n.x\r\n8-bit: \xe4\xf6\xfc \xc3\xa9\r\n\r\n");
const std::string kNoId =
    Msg("Date: Tue, 8 Dec 2026 10:11:12 +0000\r\nSubject: Hello: world\r\n", "hi\r\n");

} // namespace

TEST_F(Retriever, AllMessagesRetrievedStoredByteIdenticalAndDeleted) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string user = NewUser();
    dovecot_->Deliver(user, kDots);
    dovecot_->Deliver(user, kNoId);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "All", "a", "", "", "y", "Y");
    Tick();
    EXPECT_EQ(PendingNames("A1"),
              (std::vector<std::string>{"-a-b@x-.eml", "20261208101112Hello.eml"}));
    EXPECT_EQ(Pending("A1", "-a-b@x-.eml"), kDots);
    EXPECT_EQ(Pending("A1", "20261208101112Hello.eml"), kNoId);
    EXPECT_TRUE(dovecot_->Mailbox(user).empty());
    EXPECT_FALSE(r_.POP().IsOpen());
    EXPECT_EQ(r_.ScanPasses(), 1);
    for (const char* text :
         {"Node A1 -- retrieving mail", "Downloading Header 1 of 2 -- dots",
          "Downloading Header 2 of 2 -- Hello: world", "Rule All activated for message 1",
          "Rule All activated for message 2", "Retrieving  1 of 2", "Retrieving  2 of 2"})
        EXPECT_TRUE(Logged(text)) << text;

    // The schedule moved on before the session, and the account is not due again yet.
    auto& acc = r_.Accounts();
    acc.First();
    EXPECT_EQ(acc.FieldByName("LASTTIME").AsString(), "10:00");
    EXPECT_EQ(acc.FieldByName("NEXTTIME").AsString(), "10:15");
    EXPECT_EQ(acc.FieldByName("NEXTDATE").AsDateTime(), std::floor(win::Now()));
    log_.clear();
    dovecot_->Deliver(user, kNoId);
    r_.TimerProcessTimer();
    EXPECT_FALSE(Logged("Node A1 -- retrieving mail"));
    EXPECT_EQ(r_.ScanPasses(), 2);
}

TEST_F(Retriever, RestrictionsInOrderLastMatchWins) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string user = NewUser();
    const std::string spam = Msg("Message-ID: <s@x>\r\nSubject: Buy SPAM now\r\n", "b\r\n");
    const std::string ham = Msg("Message-ID: <h@x>\r\nSubject: Minutes\r\n", "b\r\n");
    dovecot_->Deliver(user, spam);
    dovecot_->Deliver(user, ham);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "Keep", "A", "", "", "Y", "N");
    Rule("A1", "Spam", "C", "Subject", "spam", "N", "Y");
    Rule("A1", "Never", "C", "ReplyTo", "", "N", "Y"); // no such field: never matches
    Tick();
    EXPECT_EQ(PendingNames("A1"), std::vector<std::string>{"-h@x-.eml"});
    EXPECT_EQ(dovecot_->Mailbox(user), std::vector<std::string>{ham});
    EXPECT_TRUE(Logged("Rule Spam activated for message 1"));
    EXPECT_FALSE(Logged("Rule Spam activated for message 2"));
    EXPECT_FALSE(Logged("Rule Never activated for message 1"));
}

TEST_F(Retriever, SizeAndLengthBoundaries) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string user = NewUser();
    const std::string exact = Sized("Message-ID: <g0@x>\r\nSubject: 0123456789\r\n", 100000);
    const std::string over = Sized("Message-ID: <g1@x>\r\nSubject: 0123456789\r\n", 100001);
    const std::string longer = Msg("Message-ID: <l1@x>\r\nSubject: 0123456789A\r\n", "b\r\n");
    for (const auto* m : {&exact, &over, &longer})
        dovecot_->Deliver(user, *m);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "Big", "G", "", "100000", "Y", "N");
    Rule("A1", "Long", "L", "subject", "10", "Y", "N");
    Tick();
    EXPECT_EQ(PendingNames("A1"), (std::vector<std::string>{"-g1@x-.eml", "-l1@x-.eml"}));
    EXPECT_EQ(Pending("A1", "-g1@x-.eml"), over);
    EXPECT_EQ(dovecot_->Mailbox(user).size(), 3u);
}

TEST_F(Retriever, StoredMessagesAreDeletedOnlyWhereTheRulesWouldFetchAndDeleteThem) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string user = NewUser();
    auto message = [](const std::string& id, const std::string& subject) {
        return Msg("Message-ID: " + id + "\r\nSubject: " + subject + "\r\n", "b\r\n");
    };
    // Received: a long key (its row holds the digest) and a short one.
    const std::string longId = "<" + std::string(60, 'r') + "@example.org>";
    const std::string cut = message(longId, "r");
    const std::string received = message("<e@x>", "e");
    // Stored as a session killed between storing and QUIT leaves them.
    const std::string pending = message("<p@x>", "p");
    const std::string filed = message("<i@x>", "i");
    const std::string fresh = message("<n@x>", "n");
    // Without a Message-ID, filed after an agent's script changed its subject.
    const std::string dated = Msg("Received: from a by b id 77\r\nDate: Tue, 8 Dec 2026 09:00:00 "
                                  "+0000\r\nFrom: r@x\r\nSubject: Report\r\n",
                                  "b\r\n");
    // A row written before keys kept their digest: its 40 characters may
    // be another message's, so it proves nothing.
    const std::string olderId = "<" + std::string(60, 'o') + "@example.org>";
    const std::string older = message(olderId, "o");
    // Received by another account, not this one.
    const std::string elsewhere = message("<w@x>", "w");
    // Rows of earlier versions, which kept no identity: a date key, which
    // another message may share, and a Message-ID, which another message
    // may carry. Left on the server, and the log says why.
    const std::string alarm =
        Msg("Date: Tue, 8 Dec 2026 09:30:00 +0000\r\nSubject: Alarm\r\n", "b\r\n");
    const std::string earlier = message("<old@x>", "old");
    TmsMessage edited;
    std::istringstream datedText(dated);
    edited.LoadFromStream(datedText);
    edited.SetSubject("[seen] Report");
    std::ostringstream editedText;
    edited.SaveToStream(editedText);
    for (const auto* m :
         {&cut, &received, &pending, &filed, &fresh, &dated, &older, &elsewhere, &alarm, &earlier})
        dovecot_->Deliver(user, *m);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "All", "A", "", "", "Y", "Y");
    fs::create_directories(messages_ + "A1/pending");
    fs::create_directories(messages_ + "A1/in");
    WriteFile(messages_ + "A1/pending/-p@x-.eml", pending);
    WriteFile(messages_ + "A1/in/-i@x-.eml", filed);
    WriteFile(messages_ + "A1/in/20261208090000Repor.eml", editedText.str());
    r_.OpenTables();
    // The processor files the messages after the retriever opened its tables.
    Received("A1", cut, quelta::MessageFileName(longId));
    Received("A1", received, "-e@x-.eml");
    Received("A1", dated, "20261208090000Repor.eml");
    Append("received.dbf", {{"MESSAGE_ID", data::CutMessageKey(olderId)}, {"LINK_ID", "A1"}});
    Received("A9", elsewhere, "-w@x-.eml");
    Append("received.dbf", {{"MESSAGE_ID", "20261208093000Alarm"}, {"LINK_ID", "A1"}});
    Append("received.dbf", {{"MESSAGE_ID", "<old@x>"}, {"LINK_ID", "A1"}});
    Tick();
    EXPECT_EQ(PendingNames("A1"),
              (std::vector<std::string>{"-n@x-.eml", quelta::MessageFileName(olderId), "-p@x-.eml",
                                        "-w@x-.eml"}));
    EXPECT_EQ(Pending("A1", "-n@x-.eml"), fresh);
    EXPECT_EQ(Pending("A1", quelta::MessageFileName(olderId)), older);
    EXPECT_EQ(dovecot_->Mailbox(user), (std::vector<std::string>{alarm, earlier}));
    for (const char* n : {"9", "10"})
        EXPECT_TRUE(Logged(std::string("Message ") + n +
                           " was left on the server: a received row of an earlier version has "
                           "its key and cannot tell whether it is this message"))
            << n;
    // Only the mail the rules judged afresh is logged.
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(Logged("Rule All activated for message " + std::to_string(n)),
                  n == 5 || n == 7 || n == 8)
            << n;
    for (const char* n : {"1", "2", "3", "4", "6", "9", "10"})
        EXPECT_FALSE(Logged(std::string("Retrieving  ") + n + " of 10")) << n;

    // With "retrieve, keep" the stored ones stay on the server; a rule that
    // deletes unread, added later, deletes only what was never stored.
    const std::string keep = NewUser();
    const std::string received2 = message("<e2@x>", "e2");
    const std::string spam = message("<s@x>", "s");
    for (const auto* m : {&pending, &received2, &fresh})
        dovecot_->Deliver(keep, *m);
    Account("A2", dovecot_->Address(), keep, "secret");
    Rule("A2", "Keep", "A", "", "", "Y", "N");
    fs::create_directories(messages_ + "A2/pending");
    WriteFile(messages_ + "A2/pending/-p@x-.eml", pending);
    r_.CloseTables();
    Received("A2", received2, "-e2@x-.eml");
    Tick();
    EXPECT_EQ(dovecot_->Mailbox(keep), (std::vector<std::string>{pending, received2, fresh}));
    EXPECT_EQ(PendingNames("A2"), (std::vector<std::string>{"-n@x-.eml", "-p@x-.eml"}));
    r_.CloseTables();
    Rule("A2", "Unread", "G", "", "0", "N", "Y"); // every message: delete unread
    dovecot_->Deliver(keep, spam);
    log_.clear();
    Later();
    Tick();
    EXPECT_EQ(dovecot_->Mailbox(keep), (std::vector<std::string>{pending, received2, fresh}));
    EXPECT_TRUE(Logged("Rule Unread activated for message 4"));
    for (const char* n : {"1", "2", "3"})
        for (const char* rule : {"Keep", "Unread"})
            EXPECT_FALSE(Logged(std::string("Rule ") + rule + " activated for message " + n))
                << rule << " " << n;
}

TEST_F(Retriever, IdentifiersAlikeInTheirFirstCharactersAreEachFetchedOnceAndNeverLost) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    // Alike in their first 40 characters, and in their first 255.
    const std::string pr = "<example-org/a-long-repository-name/pull/4711/";
    const std::string id1 = pr + "c1001@github.example>", id2 = pr + "c1002@github.example>";
    const std::string id3 = "<" + std::string(300, 'h') + "3@x>",
                      id4 = "<" + std::string(300, 'h') + "4@x>";
    std::vector<std::string> m;
    for (const std::string* id : {&id1, &id3, &id2, &id4})
        m.push_back(Msg(
            "Message-ID: " + *id + "\r\nSubject: " + id->substr(id->size() - 8) + "\r\n", "b\r\n"));
    auto name = [](const std::string& id) { return quelta::MessageFileName(id); };

    // Kept on the server: each pass looks at the received table.
    const std::string keep = NewUser();
    Account("K1", dovecot_->Address(), keep, "secret");
    Rule("K1", "Keep", "A", "", "", "Y", "N");
    dovecot_->Deliver(keep, m[0]);
    dovecot_->Deliver(keep, m[1]);
    Tick();
    EXPECT_EQ(PendingNames("K1"), (std::vector<std::string>{name(id1), name(id3)}));
    FileAsTheProcessorDoes("K1");
    dovecot_->Deliver(keep, m[2]);
    dovecot_->Deliver(keep, m[3]);
    Later();
    Tick();
    ASSERT_EQ(PendingNames("K1"), (std::vector<std::string>{name(id2), name(id4)}));
    EXPECT_EQ(Pending("K1", name(id2)), m[2]);
    EXPECT_EQ(Pending("K1", name(id4)), m[3]);
    FileAsTheProcessorDoes("K1");
    // Filed while keys were cut to 255 characters: named after the cut key.
    const std::string id5 = "<" + std::string(300, 'h') + "5@x>";
    const std::string m5 = Msg("Message-ID: " + id5 + "\r\nSubject: 5\r\n", "b\r\n");
    WriteFile(messages_ + "K1/In/" + name(id5.substr(0, 255)), m5);
    dovecot_->Deliver(keep, m5);
    Later();
    Tick();
    EXPECT_TRUE(PendingNames("K1").empty());
    EXPECT_EQ(dovecot_->Mailbox(keep).size(), 5u);

    // Retrieved and deleted in one session: each is stored under its own
    // name before it goes from the server.
    const std::string take = NewUser();
    Account("T1", dovecot_->Address(), take, "secret");
    Rule("T1", "All", "A", "", "", "Y", "Y");
    for (const std::string& text : m)
        dovecot_->Deliver(take, text);
    Later();
    Tick();
    ASSERT_EQ(PendingNames("T1").size(), 4u);
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_EQ(Pending("T1", name(std::vector<std::string>{id1, id3, id2, id4}[k])), m[k]);
    EXPECT_TRUE(dovecot_->Mailbox(take).empty());
}

TEST_F(Retriever, ARefusedDeleteIsLoggedAndTheOtherMessagesAreFetchedAndDeleted) {
    nettest::TPop3Mailbox box;
    box.RefuseDelete("<m3@x>", "-ERR [SYS/PERM] Mailbox is read-only");
    auto message = [](int n) {
        return Msg("Message-ID: <m" + std::to_string(n) + "@x>\r\nSubject: " + std::to_string(n) +
                       "\r\n",
                   ".dotted\r\n");
    };
    for (int n = 1; n <= 7; ++n)
        box.Deliver(message(n));
    auto session = [&box, heard = std::size_t(0)]() mutable {
        const auto all = box.Commands();
        const std::vector<std::string> last(all.begin() + static_cast<long>(heard), all.end());
        heard = all.size();
        return last;
    };
    Account("R1", box.Address(), "u", "p");
    Rule("R1", "All", "A", "", "", "Y", "Y");
    Tick();
    std::vector<std::string> names;
    for (int n = 1; n <= 7; ++n)
        names.push_back("-m" + std::to_string(n) + "@x-.eml");
    EXPECT_EQ(PendingNames("R1"), names);
    EXPECT_EQ(Pending("R1", "-m4@x-.eml"), message(4));
    EXPECT_EQ(box.Messages(), std::vector<std::string>{message(3)});
    EXPECT_TRUE(Logged("Message 3 was not deleted on the server: -ERR [SYS/PERM] Mailbox is "
                       "read-only"));
    EXPECT_EQ(r_.ScanPasses(), 1);
    EXPECT_EQ(session().back(), "QUIT");

    // The next pass: the refused one comes first and is not fetched again.
    for (int n = 8; n <= 13; ++n)
        box.Deliver(message(n));
    log_.clear();
    Later();
    Tick();
    for (int n = 8; n <= 13; ++n)
        names.push_back("-m" + std::to_string(n) + "@x-.eml");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(PendingNames("R1"), names);
    EXPECT_EQ(box.Messages(), std::vector<std::string>{message(3)});
    EXPECT_TRUE(Logged("Message 1 was not deleted on the server: -ERR [SYS/PERM] Mailbox is "
                       "read-only"));
    const auto second = session();
    EXPECT_EQ(std::count(second.begin(), second.end(), "RETR 1"), 0);
    EXPECT_EQ(std::count(second.begin(), second.end(), "DELE 1"), 1);
    EXPECT_EQ(second.back(), "QUIT");
    EXPECT_EQ(r_.ScanPasses(), 2);
}

TEST_F(Retriever, FileNamesThatCollideOrOverflowStillStoreEveryMessage) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string user = NewUser();
    // Two Message-IDs that clean to one name; two messages without one that
    // share their date key; a Message-ID longer than a file name may be.
    const std::string slash = Msg("Message-ID: <c/d@x>\r\nSubject: 1\r\n", "b\r\n");
    const std::string backslash = Msg("Message-ID: <c\\d@x>\r\nSubject: 2\r\n", "b\r\n");
    // (Each delivery leaves its own trace.)
    const std::string date1 = Msg("Received: from a by b id 1\r\nDate: Tue, 8 Dec 2026 10:11:12 "
                                  "+0000\r\nSubject: Alert one\r\n",
                                  "1\r\n");
    const std::string date2 = Msg("Received: from a by b id 2\r\nDate: Tue, 8 Dec 2026 10:11:12 "
                                  "+0000\r\nSubject: Alert two\r\n",
                                  "2\r\n");
    const std::string huge =
        Msg("Message-ID: <" + std::string(3000, 'h') + "@x>\r\nSubject: huge\r\n", "b\r\n");
    const std::string after = Msg("Message-ID: <after@x>\r\nSubject: after\r\n", "b\r\n");
    for (const auto* m : {&slash, &backslash, &date1, &date2, &huge, &after})
        dovecot_->Deliver(user, *m);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "All", "A", "", "", "Y", "Y");
    Tick();
    const auto names = PendingNames("A1");
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(Pending("A1", "-c-d@x-.eml"), slash);
    EXPECT_EQ(Pending("A1", "-c-d@x-~2.eml"), backslash);
    EXPECT_EQ(Pending("A1", "20261208101112Alert.eml"), date1);
    EXPECT_EQ(Pending("A1", "20261208101112Alert~2.eml"), date2);
    EXPECT_EQ(Pending("A1", "-after@x-.eml"), after);
    const auto cutName = std::find_if(names.begin(), names.end(),
                                      [](const std::string& n) { return n.starts_with("-hhh"); });
    ASSERT_NE(cutName, names.end());
    EXPECT_LE(cutName->size(), 255u - 20);
    EXPECT_EQ(Pending("A1", *cutName), huge);
    EXPECT_TRUE(dovecot_->Mailbox(user).empty());

    // Delivered again (a session killed before QUIT): each is found under
    // its own name, none is stored twice, all are deleted.
    for (const auto* m : {&backslash, &date2, &huge})
        dovecot_->Deliver(user, *m);
    win::SetClock([] { return win::EncodeDateTime({2026, 12, 9, 10, 30, 0, 0, 4}); });
    Tick();
    EXPECT_EQ(PendingNames("A1"), names);
    EXPECT_TRUE(dovecot_->Mailbox(user).empty());
}

TEST_F(Retriever, TemporaryFilesOfKilledWritersAreRemoved) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    // A process id that no longer runs, and our own, which does.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), alive = std::to_string(::getpid());
    const std::string user = NewUser();
    dovecot_->Deliver(user, kNoId);
    Account("A1", dovecot_->Address(), user, "secret");
    Rule("A1", "All", "A", "", "", "Y", "Y");
    fs::create_directories(messages_ + "A1/Pending");
    for (const std::string& pid : {dead, alive})
        WriteFile(messages_ + "A1/Pending/x.eml.~" + pid + ".part", "half");
    WriteFile(dir_.Path() / ("mailproc.log.~" + dead + ".part"), "half");
    r_.LoadLog();
    EXPECT_FALSE(fs::exists(dir_.Path() / ("mailproc.log.~" + dead + ".part")));
    Tick();
    EXPECT_EQ(PendingNames("A1"),
              (std::vector<std::string>{"20261208101112Hello.eml", "x.eml.~" + alive + ".part"}));
}

TEST_F(Retriever, EmptyMailboxWrongPasswordAndBadRestriction) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    const std::string empty = NewUser();
    const std::string other = NewUser();
    dovecot_->Deliver(other, kNoId);
    Account("A1", dovecot_->Address(), empty, "secret", "");
    Account("A2", dovecot_->Address(), other, "wrong");
    Account("A3", dovecot_->Address(), other, "secret");
    Rule("A3", "Bad", "G", "", "12K", "Y", "Y");
    Tick();
    // A blank schedule is logged and the account polled.
    EXPECT_TRUE(Logged("Node A1 -- next run \" \" is not a date and time; retrieving now"));
    EXPECT_TRUE(Logged("There are no messages"));
    EXPECT_TRUE(Logged("-ERR [AUTH] Authentication failed."));
    EXPECT_FALSE(Logged("Node A3 -- retrieving mail")); // the failure ended the pass
    EXPECT_EQ(r_.ScanPasses(), 0);
    EXPECT_FALSE(r_.POP().IsOpen());
    log_.clear();
    Append("NODES.DBF", {}); // keeps natural order; A2 is no longer due
    r_.TimerProcessTimer();
    EXPECT_TRUE(Logged("'12K' is not a valid integer value"));
    EXPECT_TRUE(PendingNames("A3").empty());
    EXPECT_EQ(dovecot_->Mailbox(other).size(), 1u);
}

TEST_F(Retriever, ScriptedFailuresStoreNothingDeleteNothingAndQuit) {
    const std::string head = "Message-ID: <1@x>\r\nSubject: s\r\n";
    auto listTop = [&](const std::string& h) {
        return std::vector<Step>{Hear(), Say("+OK 1 900\r\n"), Hear(),
                                 Say("+OK\r\n" + h + "\r\nbody\r\n.\r\n")};
    };
    std::vector<Step> login = {Say("+OK\r\n"), Hear(), Say("+OK\r\n"),      Hear(),
                               Say("+OK\r\n"), Hear(), Say("+OK 1 900\r\n")};
    // The connection drops in the middle of RETR.
    std::vector<Step> drop = login;
    for (const auto& part :
         {listTop(head), listTop(head),
          std::vector<Step>{Hear(), Say("+OK 1 900\r\n"), Hear(),
                            Say("+OK\r\n" + head + "\r\nhalf a bo", 200), Hangup()}})
        drop.insert(drop.end(), part.begin(), part.end());
    // The headers changed between listing and fetching.
    std::vector<Step> changed = login;
    for (const auto& part : {listTop(head), listTop("Message-ID: <2@x>\r\n"),
                             std::vector<Step>{Hear(), Say("+OK bye\r\n"), Linger(3000)}})
        changed.insert(changed.end(), part.begin(), part.end());

    ScriptedServer dropSrv(drop);
    ScriptedServer changedSrv(changed);
    Account("D1", dropSrv.Address(), "u", "p");
    Rule("D1", "All", "A", "", "", "Y", "Y");
    Tick();
    EXPECT_TRUE(PendingNames("D1").empty()); // no half file, no temp file
    EXPECT_EQ(dropSrv.Heard().back(), "RETR 1");
    EXPECT_FALSE(r_.POP().IsOpen());
    EXPECT_EQ(r_.ScanPasses(), 0);

    r_.CloseTables();
    Append("NODES.DBF", {{"UNIQUE_ID", "D2"},
                         {"NODE", "Node D2"},
                         {"POPADDRESS", changedSrv.Address()},
                         {"LOGIN", "u"},
                         {"PASSWORD", "p"},
                         {"NEXTDATE", "1/1/2000"},
                         {"FREQVAL", "5"}});
    Rule("D2", "All", "A", "", "", "Y", "Y");
    log_.clear();
    Tick();
    EXPECT_TRUE(Logged("IDs are different"));
    EXPECT_TRUE(PendingNames("D2").empty());
    EXPECT_EQ(changedSrv.Heard().back(), "QUIT");
    EXPECT_FALSE(r_.POP().IsOpen());
}

TEST_F(Retriever, AFileThatCannotBeWrittenIsNotDeletedAndTheSessionStillQuits) {
    const std::string head = "Message-ID: <3@x>\r\nSubject: s\r\n";
    const std::string message = head + "\r\nbody\r\n";
    const std::string list = "+OK 1 " + std::to_string(message.size()) + "\r\n";
    auto listTop = [&] {
        return std::vector<Step>{Hear(), Say(list), Hear(),
                                 Say("+OK\r\n" + head + "\r\nbody\r\n.\r\n")};
    };
    std::vector<Step> steps = {Say("+OK\r\n"), Hear(), Say("+OK\r\n"), Hear(),
                               Say("+OK\r\n"), Hear(), Say(list)};
    for (const auto& part :
         {listTop(), listTop(),
          std::vector<Step>{Hear(), Say(list), Hear(), Say("+OK\r\n" + message + ".\r\n")},
          listTop(), std::vector<Step>{Hear(), Say("+OK bye\r\n"), Linger(3000)}})
        steps.insert(steps.end(), part.begin(), part.end());
    ScriptedServer srv(steps);
    Account("F1", srv.Address(), "u", "p");
    Rule("F1", "All", "A", "", "", "Y", "Y");
    // A folder where the file should go: renaming the written file fails.
    fs::create_directories(messages_ + "F1/Pending/-3@x-.eml");
    WriteFile(messages_ + "F1/Pending/-3@x-.eml/in the way", "x");
    Tick();
    const auto& heard = srv.Heard();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "RETR 1"), 1);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "DELE 1"), 0);
    EXPECT_EQ(heard.back(), "QUIT");
    EXPECT_TRUE(std::any_of(log_.begin(), log_.end(), [](const std::string& line) {
        return line.rfind("Cannot create file", 0) == 0;
    }));
    EXPECT_EQ(PendingNames("F1"), std::vector<std::string>{"-3@x-.eml"}); // no temporary file left
    EXPECT_FALSE(r_.POP().IsOpen());
}

TEST(BackgroundWriter, FilesWholeFailuresWhereTheyHappened) {
    ScratchDir dir;
    const std::string base = dir.Path().string() + "/";
    fs::create_directories(base + "blocked");
    WriteFile(base + "blocked/x", "x");
    std::string big(3 << 20, 'b');
    {
        retriever::TBackgroundWriter w;
        for (int i = 0; i < 20; ++i)
            w.Write(base + std::to_string(i) + ".eml", big + std::to_string(i));
        w.Write(base + "blocked", "cannot replace a folder");
        w.Write(base + "last.eml", "last");
        w.Wait(base + "3.eml");
        EXPECT_EQ(ReadFile(base + "3.eml"), big + "3");
        EXPECT_THROW(w.Wait(base + "blocked"), EFCreateError);
        w.Wait(base + "blocked"); // reported once
        w.WaitAll();
        EXPECT_FALSE(w.Busy(base + "last.eml"));
        EXPECT_EQ(ReadFile(base + "last.eml"), "last");
        w.Write(base + "blocked", "again");
        EXPECT_THROW(w.WaitAll(), EFCreateError);
        // Dropped at the end: what is queued is still written whole.
        w.Write(base + "queued.eml", big);
    }
    EXPECT_EQ(ReadFile(base + "queued.eml"), big);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(ReadFile(base + std::to_string(i) + ".eml").size(),
                  big.size() + (i < 10 ? 1 : 2));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 23u); // 20, last, queued, the folder: no temporary files
}

TEST_F(Retriever, ScheduleMovesOnInWholeMinutes) {
    Account("S1", "127.0.0.1:1", "u", "p");
    r_.OpenTables();
    auto& acc = r_.Accounts();
    const struct {
        int hour, minute, freq;
        int nextDay;
        const char* nextTime;
    } cases[] = {{10, 0, 90, 9, "11:30"}, {23, 50, 15, 10, "00:05"}, {9, 59, 0, 9, "09:59"}};
    for (const auto& c : cases) {
        win::SetClock([&] {
            return win::EncodeDateTime({2026, 12, 9, c.hour, c.minute, 42, 0, 4});
        });
        acc.First();
        acc.Edit();
        acc.FieldByName("FREQVAL").SetAsInteger(c.freq);
        acc.Post();
        r_.AdvanceDateTime();
        acc.Refresh();
        EXPECT_EQ(acc.FieldByName("NEXTTIME").AsString(), c.nextTime) << c.freq;
        EXPECT_EQ(win::DecodeDateTime(acc.FieldByName("NEXTDATE").AsDateTime()).day, c.nextDay);
        EXPECT_EQ(win::DecodeDateTime(acc.FieldByName("LASTDATE").AsDateTime()).day, 9);
    }
}

TEST(RetrieverStartUp, MissingTablesNameTheFileAndWhatToRun) {
    ScratchDir dir;
    const std::string db = dir.Path().string() + "/db/";
    fs::create_directories(db);
    retriever::TMailRetriever r;
    r.SetFolders(dir.Path().string() + "/messages/", dir.Path().string() + "/agents/", db);
    try {
        r.OpenTables();
        FAIL() << "opened";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cursor Error : 10024\nThe table " + db +
                      "received.dbf does not exist. Create the tables with: mkschema " + db);
    }
}

TEST(StoredNames, AnySpellingInEitherFolderAsTheyAreNow) {
    ScratchDir dir;
    const std::string pending = dir.Path().string() + "/Pending/";
    const std::string in = dir.Path().string() + "/In/";
    fs::create_directories(pending);
    fs::create_directories(in);
    WriteFile(pending + "-Moved@X-.eml", "m");
    WriteFile(pending + "-gone@x-.eml", "g");
    WriteFile(in + "-Filed@X-.eml", "f");
    retriever::TStoredNames names;
    names.Load({pending, in, dir.Path().string() + "/Missing/"});
    EXPECT_TRUE(names.Contains(in, "-filed@x-.eml"));
    EXPECT_FALSE(names.Contains(pending, "-filed@x-.eml"));
    // The processor moves and removes files while the session runs.
    fs::rename(pending + "-Moved@X-.eml", in + "-Moved@X-.eml");
    fs::remove(pending + "-gone@x-.eml");
    EXPECT_FALSE(names.Contains(pending, "-moved@x-.eml"));
    EXPECT_TRUE(names.Contains(in, "-moved@x-.eml"));
    EXPECT_FALSE(names.Contains(pending, "-gone@x-.eml"));
    // A file written after the folders were read, spelled as asked.
    WriteFile(pending + "-new@x-.eml", "n");
    EXPECT_TRUE(names.Contains(pending, "-new@x-.eml"));
    fs::create_directories(pending + "-dir@x-.eml");
    EXPECT_FALSE(names.Contains(pending, "-DIR@x-.eml"));
}

TEST(RetrieverSettings, DefaultsKeysAndCommandLine) {
    ScratchDir dir;
    win::TIniFile ini((dir.Path() / "quelta.ini").string());
    auto s = retriever::ReadSettings(ini);
    EXPECT_EQ(s.rasService, "None");
    EXPECT_TRUE(s.autoEnabled);
    EXPECT_EQ(s.messagesFolder, "c:\\program files\\dovira\\quelta\\messages\\");
    EXPECT_EQ(s.agentsFolder, "c:\\program files\\dovira\\quelta\\agents\\");
    EXPECT_EQ(s.dataBaseFolder, "c:\\program files\\dovira\\quelta\\");
    EXPECT_EQ(win::ResolvePath(s.dataBaseFolder), "/opt/dovira/quelta/");
    EXPECT_EQ((std::vector<int>{s.left, s.top, s.height, s.width}),
              (std::vector<int>{25, 25, 309, 359}));
    retriever::WriteAutoEnabled(ini, false);
    retriever::WriteWindowPos(ini, 1, 2, 3, 4);
    s = retriever::ReadSettings(ini);
    EXPECT_FALSE(s.autoEnabled);
    EXPECT_EQ((std::vector<int>{s.left, s.top, s.height, s.width}), (std::vector<int>{1, 2, 3, 4}));

    using retriever::TCommand;
    EXPECT_EQ(retriever::ParseCommandLine({}), TCommand::None);
    EXPECT_EQ(retriever::ParseCommandLine({"/singlepass"}), TCommand::SinglePass);
    EXPECT_EQ(retriever::ParseCommandLine({"/SINGLEPASSNOW", "x"}), TCommand::SinglePass);
    EXPECT_EQ(retriever::ParseCommandLine({"/SINGLE"}), TCommand::Unknown);
    EXPECT_EQ(retriever::ParseCommandLine({"-x", "/SINGLEPASS"}), TCommand::Unknown);
    EXPECT_EQ(retriever::UnknownOptionText("-x"), "Command-line option \"-x\" not understood");
}

TEST_F(Retriever, PostpSinglePassRunsHeadlessOnlyWhenRetrievalIsOn) {
    if (!dovecot_->Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_->Why();
    if (!fs::exists(QUELTA_BIN_DIR "/postp"))
        GTEST_SKIP() << "postp not built";
    const std::string user = NewUser();
    dovecot_->Deliver(user, kDots);
    Account("P1", dovecot_->Address(), user, "secret");
    Rule("P1", "All", "A", "", "", "Y", "N");
    // A copy of the program keeps its log beside it, in the test's folder.
    const std::string prog = (dir_.Path() / "prog").string() + "/";
    const std::string windir = (dir_.Path() / "win").string() + "/";
    fs::create_directories(prog);
    fs::create_directories(windir);
    // An installed program has the socket layer beside it (a search path
    // does not reach it when a sanitizer's runtime makes the dlopen call).
    for (const char* file : {"postp", "libwsock32.so"})
        fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    win::TIniFile ini(windir + "quelta.ini");
    ini.WriteString("Folders", "Messages", messages_);
    ini.WriteString("Folders", "Agents", (dir_.Path() / "agents").string() + "/");
    ini.WriteString("Folders", "DataBase", db_);
    auto run = [&] {
        const std::string cmd = "QT_QPA_PLATFORM=offscreen QUELTA_WINDIR='" + windir +
                                "' timeout 120 '" + prog + "postp' /singlepass >/dev/null 2>&1";
        return std::system(cmd.c_str());
    };
    retriever::WriteAutoEnabled(ini, false);
    EXPECT_EQ(run(), 0);
    std::string log = ReadFile(prog + "mailproc.log");
    EXPECT_NE(log.find(" -- Mail retriever running in single pass mode.\r\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("retrieving mail"), std::string::npos) << log;
    EXPECT_TRUE(PendingNames("P1").empty());

    retriever::WriteAutoEnabled(ini, true);
    EXPECT_EQ(run(), 0);
    log = ReadFile(prog + "mailproc.log");
    EXPECT_NE(log.find(" -- Node P1 -- retrieving mail\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error-"), std::string::npos) << log;
    EXPECT_EQ(Pending("P1", "-a-b@x-.eml"), kDots);
    EXPECT_EQ(dovecot_->Mailbox(user).size(), 1u);
    EXPECT_EQ(ini.ReadInteger("PWindowPos", "Width", 0), 359);
}
