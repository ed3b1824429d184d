// Messages whose keys meet, against a real Dovecot over several passes of
// postp and posta: one Message-ID on two messages, reports without one
// alike in date and subject, one message in two accounts whose files the
// user cleared (behind a deleted row of its key), an identifier shaped
// like another one's digest. Every message ends filed once or still on
// the server, never gone; agents run once per message and account, even
// though they change the filed file; the log says what stayed and why.
#include "retriever/tests/roadfixture.h"

#include "data/tests/deleterows.h"
#include "mail/tests/dovecot_server.h"

namespace {

namespace fs = std::filesystem;
using mailtest::ReadFile;
using roadtest::Road;

// Accounts "keep" (retrieve) and "take" (retrieve and delete) on mailboxes
// of the same names, each with the stamping agent.
class SameKey : public Road {
protected:
    void SetUp() override {
        Road::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* user : {"keep", "take", "one", "two"})
            dovecot_.AddUser(user, "secret");
        if (!dovecot_.Started())
            GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot_.Why();
    }
    void Accounts() {
        Account("K", dovecot_.Address(), "keep", "N");
        Account("T", dovecot_.Address(), "take", "Y");
        Stamp("K");
        Stamp("T");
    }
    void DeliverBoth(const std::string& text) {
        dovecot_.Deliver("keep", text);
        dovecot_.Deliver("take", text);
    }
    // The filed files' texts, in name order.
    std::vector<std::string> FiledTexts(const std::string& account) {
        std::vector<std::string> texts;
        for (const std::string& name : Names(account, "In"))
            texts.push_back(ReadFile(root_ + "messages/" + account + "/In/" + name));
        return texts;
    }
    // Each text holds its own body once, under a stamped subject.
    void ExpectFiledOnceEach(const std::string& account, const std::vector<std::string>& bodies) {
        const auto texts = FiledTexts(account);
        EXPECT_EQ(texts.size(), bodies.size()) << account;
        for (const std::string& body : bodies) {
            int found = 0;
            for (const std::string& text : texts)
                found += text.find(body) != std::string::npos;
            EXPECT_EQ(found, 1) << account << ": " << body;
        }
        for (const std::string& text : texts)
            EXPECT_NE(text.find("[seen] "), std::string::npos) << text;
        EXPECT_TRUE(Names(account, "Pending").empty()) << account;
        EXPECT_EQ(ReceivedKeys(account).size(), bodies.size()) << account;
        EXPECT_EQ(AgentRuns(account), static_cast<int>(bodies.size())) << account;
    }

    nettest::DovecotServer dovecot_;
};

std::string Mail(const std::string& head, const std::string& body) {
    return head + "\r\n" + body + "\r\n";
}

TEST_F(SameKey, TwoMessagesWithOneMessageIdAreEachFiledOnceAndACopyAlikeButForItsSizeStays) {
    Accounts();
    const std::string id = "Message-ID: <4711@broken-mailer.example>\r\n";
    const std::string first = Mail(id + "Date: Tue, 8 Dec 2026 10:00:00 +0000\r\nFrom: "
                                        "a@example.org\r\nSubject: Invoice\r\n",
                                   "first body");
    const std::string second = Mail(id + "Date: Tue, 8 Dec 2026 11:30:00 +0000\r\nFrom: "
                                         "b@example.org\r\nSubject: Reminder\r\n",
                                    "second body");
    // Every header line the first one's, another body: nothing shows which
    // of the two a stored copy is.
    const std::string alike =
        Mail(first.substr(0, first.find("\r\n\r\n") + 2), "a longer body than the first one has");
    DeliverBoth(first);
    DeliverBoth(second);
    Pass();
    if (HasFatalFailure())
        return;
    // One session fetched both: the second is stored under a name of its own.
    EXPECT_EQ(Logged("Retrieving  2 of 2"), 2);
    EXPECT_EQ(Logged("Message 2 has the key of another message: stored as "), 2);
    EXPECT_TRUE(dovecot_.Mailbox("take").empty());
    DeliverBoth(alike);
    for (int pass = 0; pass < 2; ++pass) {
        Pass();
        if (HasFatalFailure())
            return;
    }
    for (const char* account : {"K", "T"})
        ExpectFiledOnceEach(account, {"first body", "second body"});
    EXPECT_EQ(dovecot_.Mailbox("keep"), (std::vector<std::string>{first, second, alike}));
    EXPECT_EQ(dovecot_.Mailbox("take"), std::vector<std::string>{alike});
    // Judged in each of the two passes since it came.
    EXPECT_EQ(Logged("Message 1 was left on the server: a stored copy with its header lines "
                     "has another size than the server lists"),
              2)
        << ReadFile(prog_ + "mailproc.log");
}

TEST_F(SameKey, ReportsWithoutMessageIdAlikeInDateAndSubjectAreEachFiledOnce) {
    Accounts();
    // One host, one second, the same first five characters of the subject.
    auto report = [](const std::string& from, const std::string& subject) {
        return Mail("Date: Tue, 8 Dec 2026 10:11:12 +0000\r\nFrom: " + from +
                        "\r\nSubject: " + subject + "\r\n",
                    subject + " on host 7");
    };
    DeliverBoth(report("disk@host7.example", "Alert: disk full"));
    DeliverBoth(report("fan@host7.example", "Alert: fan stopped"));
    Pass();
    if (HasFatalFailure())
        return;
    DeliverBoth(report("power@host7.example", "Alert: power lost"));
    for (int pass = 0; pass < 2; ++pass) {
        Pass();
        if (HasFatalFailure())
            return;
    }
    for (const char* account : {"K", "T"}) {
        ExpectFiledOnceEach(account, {"disk full on", "fan stopped on", "power lost on"});
        EXPECT_EQ(Names(account, "In"),
                  (std::vector<std::string>{"20261208101112Alert.eml", "20261208101112Alert~2.eml",
                                            "20261208101112Alert~3.eml"}));
    }
    EXPECT_EQ(dovecot_.Mailbox("keep").size(), 3u);
    EXPECT_TRUE(dovecot_.Mailbox("take").empty());
}

TEST_F(SameKey, OneMessageInTwoAccountsIsFetchedOnceForEachEvenAfterTheUserClearsItsFiles) {
    auto digest = [](int n) {
        return Mail("Message-ID: <list." + std::to_string(n) +
                        "@lists.example>\r\nFrom: list@lists.example\r\nSubject: Digest\r\n",
                    "digest " + std::to_string(n));
    };
    Account("A1", dovecot_.Address(), "one", "N");
    Account("A2", dovecot_.Address(), "two", "N");
    Stamp("A1");
    Stamp("A2");
    // The first row of the first digest's key is a deleted one: it came
    // before and the user deleted it; the unique tag keeps its entry. The
    // second digest's first row will be the first account's.
    Append("RECEIVED.DBF", {{"MESSAGE_ID", "<list.1@lists.example>"}, {"LINK_ID", "A2"}});
    ASSERT_EQ(data::test::DeleteRows(db_, "RECEIVED.DBF", "LINK_ID", "A2",
                                     data::test::TDeletion::DataLayer),
              1);
    for (const char* user : {"one", "two"})
        for (int n : {1, 2})
            dovecot_.Deliver(user, digest(n));
    Pass();
    if (HasFatalFailure())
        return;
    for (int pass = 0; pass < 2; ++pass) {
        // The user clears the received folders outside the programs.
        for (const char* account : {"A1", "A2"})
            for (const std::string& name : Names(account, "In"))
                fs::remove(root_ + "messages/" + account + "/In/" + name);
        Pass();
        if (HasFatalFailure())
            return;
    }
    for (const char* account : {"A1", "A2"}) {
        EXPECT_EQ(ReceivedKeys(account),
                  (std::vector<std::string>{"<list.1@lists.example>", "<list.2@lists.example>"}))
            << account;
        EXPECT_EQ(AgentRuns(account), 2) << account;
        EXPECT_TRUE(Names(account, "In").empty()) << account;
        EXPECT_TRUE(Names(account, "Pending").empty()) << account;
    }
    EXPECT_EQ(Logged("Retrieving  2 of 2"), 2);
    EXPECT_EQ(dovecot_.Mailbox("two"), (std::vector<std::string>{digest(1), digest(2)}));
}

TEST_F(SameKey, AnIdentifierShapedLikeAnotherOnesDigestDeletesNothingUnread) {
    Accounts();
    // Notification identifiers are predictable; a sender who knows the next
    // one sends its 40-character stored form as a Message-ID first.
    const std::string genuineId =
        "<example-org/a-long-repository-name/issues/4711/comment/2@github.example>";
    const std::string forgedId = data::StoredMessageKey(genuineId);
    ASSERT_EQ(forgedId.size(), 40u);
    const std::string forged =
        Mail("Message-ID: " + forgedId + "\r\nFrom: mallory@example.net\r\nSubject: Re: 4711\r\n",
             "forged body");
    const std::string genuine =
        Mail("Message-ID: " + genuineId +
                 "\r\nFrom: notifications@github.example\r\nSubject: Re: 4711\r\n",
             "genuine body");
    DeliverBoth(forged);
    Pass();
    if (HasFatalFailure())
        return;
    DeliverBoth(genuine);
    for (int pass = 0; pass < 2; ++pass) {
        Pass();
        if (HasFatalFailure())
            return;
    }
    for (const char* account : {"K", "T"}) {
        ExpectFiledOnceEach(account, {"forged body", "genuine body"});
        EXPECT_EQ(Names(account, "In"),
                  (std::vector<std::string>{quelta::MessageFileName(forgedId),
                                            quelta::MessageFileName(genuineId)}));
    }
    EXPECT_EQ(dovecot_.Mailbox("keep"), (std::vector<std::string>{forged, genuine}));
    EXPECT_TRUE(dovecot_.Mailbox("take").empty());
}

} // namespace
