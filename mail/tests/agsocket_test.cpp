// TagSocket against scripted loopback servers: lines and replies however
// the network splits them, bulk data, and every way a wait can end.
#include "mail/agsocket.h"

#include "mail/aghttp.h"
#include "mail/agwinsock.h"
#include "mail/tests/tcp_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

using namespace nettest;
using namespace std::string_literals;

namespace {

class TestSocket : public TagSocket {
public:
    TestSocket() {
        EnsureNetwork(); // creating a socket unloads the binding; load it again
        errors.clear();
        OnError = [this](TagSocket&, std::string& text) { errors.push_back(text); };
    }
    void SetService(const std::string& s) { serviceName_ = s; }
    void OpenTo(const std::string& server, int timeOut = 5) {
        SetServer(server);
        SetTimeOut(timeOut);
        Reset();
        Open();
        Connect();
    }
    std::vector<std::string> errors;
};

template <class E> std::string Raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST(TagSocket, LinesArriveWholeHoweverSplit) {
    ScriptedServer srv({Say("22", 50), Say("0 hel", 50), Say("lo\r\n"),
                        Say("250-first\r\n250-se", 50), Say("cond\r\n250 last\r\n"),
                        Say("250-one\r\n250\r\n"), Say("200 a\0b\r\n354 next\r\n"s), Hear(),
                        Linger()});
    TestSocket s;
    s.OpenTo(srv.Address());
    std::string line;
    EXPECT_EQ(s.ReadLine(line), 220);
    EXPECT_EQ(line, "220 hello");
    EXPECT_EQ(s.ReadReply(), 250);
    EXPECT_EQ(s.LastReply(), "250 last");
    // A bare code ends a multi-line reply.
    EXPECT_EQ(s.ReadReply(), 250);
    EXPECT_EQ(s.LastReply(), "250");
    EXPECT_EQ(s.ReadLine(line), 200);
    EXPECT_EQ(line, "200 a\0b"s);
    // Nothing beyond a line is taken from the socket.
    EXPECT_EQ(s.ReadLine(line), 354);
    s.SendLine("QUIT");
    s.Close();
    EXPECT_EQ(srv.Heard(), std::vector<std::string>{"QUIT"});
    EXPECT_TRUE(s.errors.empty());
}

TEST(TagSocket, ReplyCodes) {
    TestSocket s;
    EXPECT_EQ(s.GetReplyCode("250 ok"), 250);
    EXPECT_EQ(s.GetReplyCode("+OK"), -1);
    EXPECT_EQ(s.GetReplyCode("25"), -1);
    EXPECT_EQ(s.GetReplyCode("2a0 x"), -1);
}

TEST(TagSocket, SilenceTimesOutAndTheExpiryStays) {
    ScriptedServer srv({Wait(3500)});
    TestSocket s;
    int closed = 0;
    s.OnClosed = [&](TagSocket&) { ++closed; };
    s.OpenTo(srv.Address(), 1);
    std::string line;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Raised<ETimedOutError>([&] { s.ReadLine(line); }), "Operation timed out");
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(s.errors, std::vector<std::string>{"Operation timed out"});
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(closed, 1);
    // Without Reset the next wait ends at once, however long the time-out.
    ScriptedServer again({Say("220 hi\r\n"), Linger(3000)});
    s.SetServer(again.Address());
    s.SetTimeOut(30);
    s.Open();
    t.restart();
    EXPECT_EQ(Raised<ETimedOutError>([&] { s.Connect(); }), "Operation timed out");
    EXPECT_LT(t.elapsed(), 5000);
    ScriptedServer third({Say("220 hi\r\n"), Linger(3000)});
    s.OpenTo(third.Address());
    EXPECT_EQ(s.ReadLine(line), 220);
    s.Close();
}

TEST(TagSocket, ClosedRefusedAndUnknownEndAtOnce) {
    std::string line;
    QElapsedTimer t;
    {
        ScriptedServer srv({Say("220 partial"), Hangup()});
        TestSocket s;
        s.OpenTo(srv.Address(), 10);
        t.start();
        EXPECT_EQ(Raised<ESocketError>([&] { s.ReadLine(line); }),
                  "[10054] Connection reset by peer");
        EXPECT_LT(t.elapsed(), 2000);
    }
    {
        ScriptedServer srv({Say("220 hi\r\n", 100), Reset()});
        TestSocket s;
        s.OpenTo(srv.Address(), 10);
        EXPECT_EQ(s.ReadLine(line), 220);
        t.restart();
        EXPECT_EQ(Raised<ESocketError>([&] { s.ReadLine(line); }),
                  "[10054] Connection reset by peer");
        EXPECT_LT(t.elapsed(), 2000);
    }
    // Hanging up after whole lines, or before any: the next read learns of
    // it from the close, not from the time-out.
    {
        ScriptedServer srv({Say("220 hi\r\n"), Hangup()});
        TestSocket s;
        s.OpenTo(srv.Address(), 10);
        EXPECT_EQ(s.ReadLine(line), 220);
        EXPECT_EQ(Raised<ESocketError>([&] { s.ReadLine(line); }),
                  "[10054] Connection reset by peer");
    }
    {
        ScriptedServer srv({Hangup()});
        TestSocket s;
        s.OpenTo(srv.Address(), 10);
        std::ostringstream out;
        EXPECT_EQ(Raised<ESocketError>([&] { s.ReceiveToStream(out, 100); }),
                  "[10054] Connection reset by peer");
    }
    {
        TestSocket s;
        t.restart();
        EXPECT_EQ(Raised<ESocketError>(
                      [&] { s.OpenTo("127.0.0.1:" + std::to_string(ClosedPort()), 10); }),
                  "[10061] Connection refused");
        EXPECT_LT(t.elapsed(), 2000);
        EXPECT_EQ(s.errors, std::vector<std::string>{"[10061] Connection refused"});
        s.Close();
    }
    {
        TestSocket s;
        s.SetService("smtp");
        EXPECT_EQ(Raised<ESocketError>([&] { s.OpenTo("no-such-host.invalid", 10); }),
                  "[11001] Host not found");
    }
}

TEST(TagSocket, CancelFromATimerDuringASlowLookup) {
    TestSocket s;
    auto delay = reinterpret_cast<LPFN_WSSETLOOKUPDELAY>(Winsock().GetProc("WsSetLookupDelay"));
    delay(5000);
    int cancels = 0;
    s.OnCancel = [&](TagSocket&) { ++cancels; };
    QTimer::singleShot(200, [&] { s.Cancel(); });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Raised<ECanceledError>([&] { s.OpenTo("localhost:25", 10); }),
              "Operation has been canceled");
    delay(0);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(s.errors, std::vector<std::string>{"Operation has been canceled"});
}

TEST(TagSocket, LookupThatTimesOutNeverAnswersLater) {
    auto slow = std::make_unique<TestSocket>();
    auto delay = reinterpret_cast<LPFN_WSSETLOOKUPDELAY>(Winsock().GetProc("WsSetLookupDelay"));
    delay(1500);
    EXPECT_EQ(Raised<ETimedOutError>([&] { slow->OpenTo("localhost:25", 1); }),
              "Operation timed out");
    delay(0);
    slow.reset(); // the answer must not reach the destroyed component
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

TEST(TagSocket, ComponentErrors) {
    TestSocket s;
    std::string line;
    EXPECT_EQ(Raised<ESocketError>([&] { s.ReadLine(line); }),
              "You have to connect to the server first");
    EXPECT_EQ(Raised<ESocketError>([&] { s.OpenTo(""); }), "Server property is required");
    // A port that is no number falls back to the service, which is missing.
    EXPECT_EQ(Raised<ESocketError>([&] { s.OpenTo("127.0.0.1:abc"); }), "Service name is required");
    s.SetService("smtp");
    s.SetServer("127.0.0.1:abc");
    s.Reset();
    s.Open();
    EXPECT_EQ(s.Port(), 25);
    s.Close();

    // Lines are read byte by byte: give a busy machine time for 64 KiB.
    ScriptedServer srv({Say(std::string(TagSocket::kMaxLineLength + 10, 'x')), Linger(60000)});
    s.OpenTo(srv.Address(), 60);
    EXPECT_EQ(Raised<ESocketError>([&] { s.ReadLine(line); }), "[10040] Message too long");
    // A line break from data never reaches the wire.
    EXPECT_EQ(Raised<ESocketError>([&] { s.SendLine("RCPT TO:<a@b>\r\nDATA"); }),
              "[10022] Invalid argument");
    s.Close();
}

TEST(TagSocket, ReceiveToStreamFindsTheEndMarkAnywhere) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string expected;
    };
    const std::string big(40000, 'b');
    std::vector<Case> cases = {
        {"one piece", {Say("line 1\r\n..dots\r\n.\r\n")}, "line 1\r\n..dots\r\n"},
        {"mark split", {Say("a\r\nb\r\n.", 100), Say("\r\n")}, "a\r\nb\r\n"},
        {"mark split early", {Say("a\r\n", 100), Say(".\r\n")}, "a\r\n"},
        {"only the dot at the end", {Say("a\r\n", 100), Say(".", 100), Say("\r\n")}, "a\r\n"},
        {"empty data", {Say(".\r\n")}, ""},
        {"NUL bytes", {Say("a\0b\r\n.\r\n"s)}, "a b\r\n"},
        {"large", {Say(big + "\r\n.\r\n")}, big + "\r\n"},
    };
    for (auto& c : cases) {
        c.steps.push_back(Wait(200));
        c.steps.push_back(Say("+OK after\r\n"));
        c.steps.push_back(Linger(3000));
        ScriptedServer srv(c.steps);
        TestSocket s;
        s.OpenTo(srv.Address());
        std::ostringstream out;
        int progress = 0;
        s.OnProgress = [&](TagSocket&, int perc, long) {
            ++progress;
            EXPECT_EQ(perc, -1);
        };
        s.ReceiveToStream(out, -1);
        EXPECT_EQ(out.str(), c.expected) << c.name;
        EXPECT_GT(progress, 0) << c.name;
        std::string line;
        EXPECT_EQ(s.ReadLine(line), -1) << c.name;
        EXPECT_EQ(line, "+OK after") << c.name;
        s.Close();
    }
}

TEST(TagSocket, WhatComesWithALineOrTheDataWaitsForTheNextRead) {
    // One packet: a reply, its data, the next reply, and a multi-line reply
    // that the server's close must not cut short.
    ScriptedServer srv(
        {Say("+OK 2\r\nline\r\n..dot\r\n.\r\n+OK next\r\n250-a\r\n250 b\r\n", 300), Hangup()});
    TestSocket s;
    s.OpenTo(srv.Address());
    std::string line;
    EXPECT_EQ(s.ReadLine(line), -1);
    EXPECT_EQ(line, "+OK 2");
    std::ostringstream out;
    s.ReceiveToStream(out, -1);
    EXPECT_EQ(out.str(), "line\r\n..dot\r\n");
    EXPECT_EQ(s.ReadLine(line), -1);
    EXPECT_EQ(line, "+OK next");
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1000) // the close arrives before the last lines are read
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(s.ReadReply(), 250);
    EXPECT_EQ(s.LastReply(), "250 b");
    // Nothing of this connection reaches the next one.
    s.Close();
    ScriptedServer next({Say("220 fresh\r\n"), Linger(3000)});
    s.OpenTo(next.Address());
    EXPECT_EQ(s.ReadLine(line), 220);
    EXPECT_EQ(line, "220 fresh");
    s.Close();
    EXPECT_TRUE(s.errors.empty());
}

TEST(TagSocket, ReceiveToStreamEndsWhenTheServerCloses) {
    ScriptedServer srv({Say("a\r\nb"), Hangup()});
    TestSocket s;
    s.OpenTo(srv.Address(), 10);
    std::ostringstream out;
    EXPECT_EQ(Raised<ESocketError>([&] { s.ReceiveToStream(out, 100); }),
              "[10054] Connection reset by peer");
}

TEST(TagSocket, SendStreamSendsEverythingInChunks) {
    std::string body;
    for (int i = 0; body.size() < 5000; ++i)
        body += "line " + std::to_string(i) + "\r\n";
    body += ".\r\n"; // the data's own end mark for the server's reading
    ScriptedServer srv({HearData(), Linger(3000)});
    TestSocket s;
    s.OpenTo(srv.Address());
    std::vector<std::pair<int, long>> progress;
    s.OnProgress = [&](TagSocket&, int perc, long n) { progress.emplace_back(perc, n); };
    std::istringstream in(body);
    s.SendStream(in);
    s.Close();
    EXPECT_EQ(srv.Heard(), std::vector<std::string>{body});
    ASSERT_EQ(progress.size(), 4u); // three chunks of 2047 bytes or less, then (0, 0)
    EXPECT_EQ(progress[0], (std::pair<int, long>{
                               static_cast<int>(std::lround(2047 * 100.0 / body.size())), 2047}));
    EXPECT_EQ(progress[2], (std::pair<int, long>{100, static_cast<long>(body.size())}));
    EXPECT_EQ(progress[3], (std::pair<int, long>{0, 0}));
}

TEST(TagSocket, WinsockLoadedSwitchesTheBinding) {
    TestSocket s;
    EXPECT_TRUE(s.WinsockLoaded());
    {
        TagSocket another; // creating one unloads the binding
        EXPECT_FALSE(s.WinsockLoaded());
        EXPECT_TRUE(TagSocket::IsWinsockAvailable());
        EXPECT_FALSE(s.WinsockLoaded());
        s.SetServer("127.0.0.1:25");
        s.Reset();
        EXPECT_EQ(Raised<EWinsockDLLError>([&] { s.Open(); }), "Winsock is not loaded");
        another.SetWinsockLoaded(true);
    }
    EXPECT_TRUE(s.WinsockLoaded());
}

TEST(TagHTTP, UrlAndProxy) {
    EnsureNetwork();
    TagHTTP h;
    EnsureNetwork();
    EXPECT_EQ(h.DefaultPort(), 80);
    h.SetURL("HTTP://www.example.org/docs/page.htm");
    EXPECT_EQ(h.Server(), "www.example.org");
    EXPECT_EQ(h.Path(), "/docs/page.htm");
    EXPECT_EQ(h.DocumentName(), "page.htm");
    h.SetURL("http://host:8080");
    EXPECT_EQ(h.Server(), "host:8080");
    EXPECT_EQ(h.Path(), "/");
    EXPECT_EQ(Raised<ESocketError>([&] { h.SetURL("ftp://x/"); }), "Invalid URL");
    EXPECT_EQ(Raised<ESocketError>([&] { h.SetProxy("proxy"); }), "Proxy port is required");
    h.SetProxy("proxy:3128");
    h.SetURL("http://www.example.org/a.b/");
    EXPECT_EQ(h.Server(), "proxy:3128");
    EXPECT_EQ(h.DocumentName(), "index.html");
    EXPECT_EQ(h.ContentType(), "application/x-www-form-urlencoded");
}

} // namespace
