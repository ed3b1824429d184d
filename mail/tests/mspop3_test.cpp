// The POP3 clients: the dialogue and its events against scripted servers
// (every failure Dovecot will not produce), and fetches from a real Dovecot.
#include "mail/mspop3.h"

#include "mail/msstrings.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/tcp_server.h"
#include "mail/tests/testutil.h"

#include <QTimer>
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

using namespace nettest;
using mailtest::ReadFile;
using mailtest::ScratchDir;

namespace {

template <class E> std::string Raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

class Pop : public TmsRemotePOP {
public:
    explicit Pop(const std::string& server) {
        EnsureNetwork();
        SetServer(server);
        SetUserName("user");
        SetPassword("pw");
        SetTimeOut(30); // generous: CI runs many servers at once
        auto note = [this](const char* what) {
            return [this, what](TagSocket&) { events.push_back(what); };
        };
        auto num = [this](const char* what) {
            return [this, what](TagSocket&, int n) {
                events.push_back(std::string(what) + " " + std::to_string(n));
            };
        };
        OnOpen = note("open");
        OnClosing = note("closing");
        OnClosed = note("closed");
        OnUpdatingInfo = note("updating");
        OnInfoUpdated = note("updated");
        OnTransferringData = note("transferring");
        OnDataTransfered = note("transfered");
        OnNextInfoUpdated = num("next");
        OnRetrieving = num("retrieving");
        OnRetrieved = num("retrieved");
        OnDeleting = num("deleting");
        OnError = [this](TagSocket&, std::string& text) { events.push_back("error " + text); };
    }
    std::vector<std::string> events;
};

std::vector<Step> Greeting(int count, long size) {
    return {Say("+OK ready\r\n"),
            Hear(),
            Say("+OK\r\n"),
            Hear(),
            Say("+OK\r\n"),
            Hear(),
            Say("+OK " + std::to_string(count) + " " + std::to_string(size) + "\r\n")};
}
// LIST n and TOP n 1 of one message.
std::vector<Step> ListTop(int n, long size, const std::string& headers) {
    return {Hear(), Say("+OK " + std::to_string(n) + " " + std::to_string(size) + "\r\n"), Hear(),
            Say("+OK\r\n" + headers + "\r\nfirst body line\r\n.\r\n")};
}
std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
std::vector<Step> Quit() {
    return {Hear(), Say("+OK bye\r\n"), Linger(3000)};
}

const std::string kHead1 = "Message-ID: <1@x>\r\nSubject: one\r\n";
const std::string kHead2 = "Subject: two\r\nFrom: a@b\r\n";

} // namespace

TEST(TPop3DotUnstuffer, OneByteAtATimeEqualsOneFeed) {
    const struct {
        const char* name;
        std::string wire, text;
    } cases[] = {
        {"doubled dot", "a\r\n..b\r\n", "a\r\n.b\r\n"},
        {"dot at start", "..x\r\n", ".x\r\n"},
        {"dots inside a line stay", "a.b..c\r\n", "a.b..c\r\n"},
        {"lone dot line", "a\r\n..\r\nb\r\n", "a\r\n.\r\nb\r\n"},
        {"8-bit and NUL-free bytes", "\xe9t\xe9\r\n...\r\n", "\xe9t\xe9\r\n..\r\n"},
        {"stuffed lines in a row", "..a\r\n..\r\n...b\r\nc", ".a\r\n.\r\n..b\r\nc"},
        // Only CR LF starts a line: a "." after a bare LF is data.
        {"bare line feeds", "x\n..y\n.\n", "x\n..y\n.\n"},
        {"a bare LF inside a CR LF line", "a\r\nb\n.\nc\r\n", "a\r\nb\n.\nc\r\n"},
        {"a bare CR", "a\r..b\r\n..c\r\n", "a\r..b\r\n.c\r\n"},
        {"CR CR LF", "a\r\r\n..b\r\n", "a\r\r\n.b\r\n"},
    };
    for (const auto& c : cases) {
        TPop3DotUnstuffer whole;
        EXPECT_EQ(whole.Feed(c.wire), c.text) << c.name;
        TPop3DotUnstuffer bytes;
        std::string out;
        for (char ch : c.wire)
            out += bytes.Feed(std::string_view(&ch, 1));
        EXPECT_EQ(out, c.text) << c.name;
    }
}

TEST(TmsRemotePOP, SameMessageByIdElseByCommonLeadingLines) {
    auto item = [](std::initializer_list<std::string> lines) {
        auto i = std::make_unique<TmsRemoteInfoItem>();
        for (const auto& l : lines)
            i->Headers().Add(l);
        return i;
    };
    const struct {
        const char* name;
        std::unique_ptr<TmsRemoteInfoItem> a, b;
        bool same;
    } cases[] = {
        {"same id, other lines", item({"Message-ID: <a@x>", "X: 1"}), item({"Message-ID: <a@x>"}),
         true},
        {"ids differ in case", item({"Message-ID: <a@x>"}), item({"Message-ID: <A@x>"}), false},
        {"no ids, a line added at the end", item({"From: a", "To: b", "X-New: 1"}),
         item({"From: a", "To: b"}), true},
        {"no ids, first line differs", item({"From: a"}), item({"From: b"}), false},
        {"one id only: lines decide", item({"Message-ID: <a@x>", "S: 1"}), item({"S: 1"}), false},
        {"one list empty", item({}), item({"From: a"}), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TmsRemotePOP::SameMessage(*c.a, *c.b), c.same) << c.name;
    TmsRemoteInfoItem marks;
    marks.SetDeleteMark(true);
    EXPECT_EQ(marks.Marks(), 2);
    marks.SetRetrieveMark(true);
    EXPECT_EQ(marks.Marks(), 3);
}

TEST(TmsRemotePOP, PassDialogueEventsAndUnstuffedFile) {
    ScratchDir dir;
    const std::string body = "Message-ID: <1@x>\r\nSubject: one\r\n\r\n..dot\r\n.\xe9\r\n";
    ScriptedServer srv(
        Join({Greeting(2, 300),
              ListTop(1, 120, kHead1),
              ListTop(2, 180, kHead2),
              // message 1: check, fetch, check, delete
              ListTop(1, 120, kHead1),
              {Hear(), Say("+OK 1 120\r\n"), Hear(), Say("+OK\r\n" + body + ".\r\n")},
              ListTop(1, 120, kHead1),
              {Hear(), Say("+OK deleted\r\n")},
              // message 2: check (a header added since), delete only
              ListTop(2, 180, kHead2 + "X-Added: 1\r\n"),
              {Hear(), Say("+OK deleted\r\n")},
              Quit()}));
    Pop pop(srv.Address());
    pop.SetMessageDirectory(dir.Path().string());
    pop.SetKeepConnected(true);
    pop.UpdateInfo();
    ASSERT_EQ(pop.Info().Count(), 2);
    EXPECT_EQ(pop.MessageCount(), 2);
    EXPECT_EQ(pop.TotalSize(), 300);
    EXPECT_EQ(pop.Info().Items(1).Size(), 180);
    EXPECT_EQ(pop.Info().Items(0).Headers(), (TStringList{"Message-ID: <1@x>", "Subject: one"}));
    pop.MarkRetrieve(0);
    pop.MarkDelete(0);
    pop.MarkDelete(1);
    pop.ProcessMarked();
    EXPECT_FALSE(pop.IsOpen());
    EXPECT_EQ(srv.Heard(), (std::vector<std::string>{
                               "USER user", "PASS pw", "STAT", "LIST 1", "TOP 1 1", "LIST 2",
                               "TOP 2 1", "LIST 1", "TOP 1 1", "LIST 1", "RETR 1", "LIST 1",
                               "TOP 1 1", "DELE 1", "LIST 2", "TOP 2 1", "DELE 2", "QUIT"}));
    EXPECT_EQ(pop.events,
              (std::vector<std::string>{"open", "updating", "next 0", "next 1", "updated",
                                        "transferring", "retrieving 0", "retrieved 0", "deleting 0",
                                        "deleting 1", "transfered", "closing", "closed"}));
    EXPECT_EQ(ReadFile(dir / "msg_0.eml"),
              "Message-ID: <1@x>\r\nSubject: one\r\n\r\n.dot\r\n\xe9\r\n");
    // Marks stay as they were.
    EXPECT_TRUE(pop.Info().Items(0).RetrieveMark());
    EXPECT_TRUE(pop.Info().Items(1).DeleteMark());
}

TEST(TmsRemotePOP, ChangedHeadersStopThePassWithIDsAreDifferent) {
    ScriptedServer srv(Join({Greeting(1, 100), ListTop(1, 100, kHead1),
                             ListTop(1, 100, "Message-ID: <other@x>\r\n"), Quit()}));
    Pop pop(srv.Address());
    pop.SetKeepConnected(true);
    pop.OnUserMessageSave = [](TagSocket&, int, std::istream&) { FAIL() << "saved"; };
    pop.UpdateInfo();
    pop.MarkRetrieve(0);
    pop.MarkDelete(0);
    EXPECT_EQ(Raised<ESocketError>([&] { pop.ProcessMarked(); }), "IDs are different");
    EXPECT_EQ(pop.events.back(), "error IDs are different");
    // The caller closes: QUIT still goes out.
    pop.Disconnect();
    EXPECT_EQ(srv.Heard(), (std::vector<std::string>{"USER user", "PASS pw", "STAT", "LIST 1",
                                                     "TOP 1 1", "LIST 1", "TOP 1 1", "QUIT"}));
}

TEST(TmsRemotePOP, DroppedConnectionMidRetrStoresAndDeletesNothing) {
    ScratchDir dir;
    ScriptedServer srv(
        Join({Greeting(1, 5000),
              ListTop(1, 5000, kHead1),
              ListTop(1, 5000, kHead1),
              {Hear(), Say("+OK 1 5000\r\n"), Hear(),
               Say("+OK\r\n" + kHead1 + "\r\npart of the body\r\n", 100), Hangup()}}));
    Pop pop(srv.Address());
    pop.SetMessageDirectory(dir.Path().string());
    pop.SetKeepConnected(true);
    pop.UpdateInfo();
    pop.MarkRetrieve(0);
    pop.MarkDelete(0);
    EXPECT_THROW(pop.ProcessMarked(), Exception);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    const auto& heard = srv.Heard();
    EXPECT_EQ(heard.back(), "RETR 1");
    pop.Close();
}

TEST(TmsRemotePOP, ARefusedDeleteIsReportedAndThePassGoesOn) {
    ScriptedServer srv(Join({Greeting(2, 200),
                             ListTop(1, 100, kHead1),
                             ListTop(2, 100, kHead2),
                             ListTop(1, 100, kHead1),
                             {Hear(), Say("-ERR [SYS/PERM] locked\r\n")},
                             ListTop(2, 100, kHead2),
                             {Hear(), Say("+OK deleted\r\n")},
                             Quit()}));
    Pop pop(srv.Address());
    std::vector<std::string> replies;
    pop.OnDeleted = [&](TagSocket&, int n) {
        replies.push_back(std::to_string(n) + " " + pop.Reply());
    };
    pop.SetKeepConnected(true);
    pop.UpdateInfo();
    pop.MarkDelete(0);
    pop.MarkDelete(1);
    pop.ProcessMarked();
    EXPECT_EQ(replies, (std::vector<std::string>{"0 -ERR [SYS/PERM] locked", "1 +OK deleted"}));
    EXPECT_FALSE(pop.IsOpen());
    const auto& heard = srv.Heard();
    ASSERT_GE(heard.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(heard.end() - 6, heard.end()),
        (std::vector<std::string>{"TOP 1 1", "DELE 1", "LIST 2", "TOP 2 1", "DELE 2", "QUIT"}));
}

TEST(TmsRemotePOP, LoginFailures) {
    {
        Pop pop("127.0.0.1:1");
        pop.SetUserName("");
        EXPECT_EQ(Raised<ESocketError>([&] { pop.UpdateInfo(); }), "UserName property is required");
        pop.SetUserName("u");
        pop.SetPassword("");
        EXPECT_EQ(Raised<ESocketError>([&] { pop.UpdateInfo(); }), "Password property is required");
        EXPECT_TRUE(pop.events.empty() ||
                    pop.events.back() == "error Password property is required");
    }
    {
        ScriptedServer srv({Say("+OK hi\r\n"), Hear(), Say("+OK\r\n"), Hear(),
                            Say("-ERR [AUTH] Authentication failed.\r\n"), Linger(2000)});
        Pop pop(srv.Address());
        EXPECT_EQ(Raised<EServerError>([&] { pop.UpdateInfo(); }),
                  "-ERR [AUTH] Authentication failed.");
        pop.Close();
    }
    for (const char* stat : {"+OK x 100\r\n", "+OK 3 lots\r\n"}) {
        ScriptedServer srv({Say("+OK hi\r\n"), Hear(), Say("+OK\r\n"), Hear(), Say("+OK\r\n"),
                            Hear(), Say(stat), Linger(2000)});
        Pop pop(srv.Address());
        EXPECT_THROW(pop.UpdateInfo(), EConvertError) << stat;
        EXPECT_EQ(pop.MessageCount(), -1) << stat;
        pop.Close();
    }
    // No count at all: the counts keep their values, and the log-in stands.
    for (const char* stat : {"+OK\r\n", "+OK x\r\n"}) {
        ScriptedServer srv({Say("+OK hi\r\n"), Hear(), Say("+OK\r\n"), Hear(), Say("+OK\r\n"),
                            Hear(), Say(stat), Hear(), Say("+OK bye\r\n"), Linger(2000)});
        Pop pop(srv.Address());
        pop.UpdateInfo();
        EXPECT_EQ(pop.MessageCount(), -1) << stat;
        EXPECT_EQ(pop.TotalSize(), -1) << stat;
        EXPECT_EQ(pop.Info().Count(), 0) << stat;
        EXPECT_FALSE(pop.IsOpen()) << stat;
        EXPECT_EQ(srv.Heard().back(), "QUIT") << stat;
    }
    // A count without a size: both messages are listed, the size stays unknown.
    std::vector<Step> steps = {Say("+OK hi\r\n"), Hear(), Say("+OK\r\n"),  Hear(),
                               Say("+OK\r\n"),    Hear(), Say("+OK 2\r\n")};
    for (const std::string& head : {kHead1, kHead2})
        for (const std::string& reply : {std::string("+OK 1 40\r\n"), "+OK\r\n" + head + ".\r\n"})
            steps.insert(steps.end(), {Hear(), Say(reply)});
    steps.insert(steps.end(), {Hear(), Say("+OK bye\r\n"), Linger(2000)});
    ScriptedServer srv(steps);
    Pop pop(srv.Address());
    pop.UpdateInfo();
    EXPECT_EQ(pop.MessageCount(), 2);
    EXPECT_EQ(pop.TotalSize(), -1);
    ASSERT_EQ(pop.Info().Count(), 2);
    EXPECT_EQ(pop.Info().Items(1).Headers().GetFieldValue("Subject"), "two");
    EXPECT_EQ(srv.Heard().back(), "QUIT");
}

TEST(TmsRemotePOP, EmptyMailboxAndSlowLines) {
    // Every reply arrives in pieces with pauses, well inside the time-out.
    ScriptedServer srv({Say("+O", 300), Say("K ready\r", 300), Say("\n"), Hear(), Say("+OK\r\n"),
                        Hear(), Say("+OK\r\n"), Hear(), Say("+OK 0", 400), Say(" 0\r\n"), Hear(),
                        Say("+OK bye\r\n"), Linger(3000)});
    Pop pop(srv.Address());
    pop.UpdateInfo(); // KeepConnected false: disconnects
    EXPECT_EQ(pop.Info().Count(), 0);
    EXPECT_FALSE(pop.IsOpen());
    pop.events.clear();
    pop.ProcessMarked(); // nothing to do: does not even connect
    EXPECT_TRUE(pop.events.empty());
    EXPECT_EQ(srv.Heard(), (std::vector<std::string>{"USER user", "PASS pw", "STAT", "QUIT"}));
}

TEST(TimeCounter, EachWaitHasItsWholeTimeOut) {
    EnsureNetwork();
    using Clock = std::chrono::steady_clock;
    // One wait runs while another starts: the second still gets its second.
    TagWaiter first(60), second(1), idle(60);
    first.Start();
    bool later = false;
    QTimer::singleShot(300, [&] { later = true; });
    idle.Pump([&] { return later; });
    second.Start();
    const auto started = Clock::now();
    second.Pump([] { return false; });
    EXPECT_GE(Clock::now() - started, std::chrono::seconds(1));
    EXPECT_TRUE(second.Expired());
    EXPECT_FALSE(first.Expired());
    first.Stop();
    second.Stop();
}

TEST(TmsRemotePOP, RepliesSlowerThanATickButInsideTheTimeOut) {
    // Each reply half a second after its command, with a time-out of one.
    std::vector<Step> steps = {Wait(500), Say("+OK ready\r\n")};
    for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 1 100\r\n", "+OK 1 100\r\n",
                              "+OK\r\nSubject: slow\r\n\r\nbody\r\n.\r\n", "+OK bye\r\n"}) {
        steps.push_back(Hear());
        steps.push_back(Wait(500));
        steps.push_back(Say(reply));
    }
    steps.push_back(Linger(3000));
    ScriptedServer srv(steps);
    Pop pop(srv.Address());
    pop.SetTimeOut(1);
    pop.UpdateInfo();
    ASSERT_EQ(pop.Info().Count(), 1);
    EXPECT_EQ(pop.Info().Items(0).Headers().GetFieldValue("Subject"), "slow");
    EXPECT_EQ(srv.Heard().back(), "QUIT");
}

TEST(TmsPOP, KeepsFetchedMessages) {
    ScriptedServer srv(Join(
        {Greeting(1, 60),
         {Hear(), Say("+OK 1 60\r\n"), Hear(), Say("+OK\r\nSubject: kept\r\n\r\n..x\r\n.\r\n")},
         Quit()}));
    TmsPOP pop;
    EnsureNetwork();
    pop.SetServer(srv.Address());
    pop.SetUserName("u");
    pop.SetPassword("p");
    pop.SetTimeOut(30);
    pop.ConnectIfNeeded();
    pop.RetrieveMessage(0);
    pop.Disconnect();
    ASSERT_EQ(pop.Messages().Count(), 1);
    EXPECT_EQ(pop.Messages().GetItem(0).Headers().GetFieldValue("Subject"), "kept");
    EXPECT_EQ(pop.Messages().GetItem(0).Body()[0], ".x");
}

TEST(TmsRemotePOP, RealDovecot) {
    DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("demo", "secret");
    const std::string m1 = "Message-ID: <a/b@x>\r\nSubject: dots\r\n\r\n.\r\n..\r\n.x\r\n"
                           "8-bit: \xe4\xf6\xfc\xc3\xa9\r\n";
    const std::string m2 = "Subject: no id\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\n\r\nhi\r\n";
    dovecot.Deliver("demo", m1);
    dovecot.Deliver("demo", m2);

    ScratchDir dir;
    Pop pop(dovecot.Address());
    pop.SetUserName("demo");
    pop.SetPassword("wrong");
    EXPECT_THROW(pop.UpdateInfo(), EServerError);
    pop.Disconnect();
    pop.SetPassword("secret");
    pop.SetMessageDirectory(dir.Path().string());
    pop.SetKeepConnected(true);
    pop.UpdateInfo();
    ASSERT_EQ(pop.Info().Count(), 2);
    EXPECT_EQ(pop.Info().Items(0).Headers().GetFieldValue("Message-ID"), "<a/b@x>");
    EXPECT_EQ(pop.Info().Items(0).Size(), static_cast<long>(m1.size()));
    pop.MarkRetrieve(0);
    pop.MarkRetrieve(1);
    pop.MarkDelete(1);
    pop.ProcessMarked();
    EXPECT_EQ(ReadFile(dir / "msg_0.eml"), m1);
    EXPECT_EQ(ReadFile(dir / "msg_1.eml"), m2);
    EXPECT_EQ(dovecot.Mailbox("demo"), std::vector<std::string>{m1});
}
